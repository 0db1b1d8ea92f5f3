// A transport for the link's tests: records every write with its parity and
// answers complete requests through a responder, as a drive on a line would.
#pragma once

#include "link/transport.h"

#include <QTimer>

#include <functional>
#include <vector>

namespace kt::link::test {

struct Written {
    QByteArray bytes;
    Transport::Parity parity;
};

class FakeTransport : public Transport {
public:
    // The reply to a whole request (start byte and body); empty: no reply.
    using Responder = std::function<QByteArray(const QByteArray& request)>;

    explicit FakeTransport(Responder responder, std::vector<Written>* log = nullptr)
        : m_responder(std::move(responder)), m_log(log) {}

    bool Open() override { return m_open = m_canOpen; }
    OpenFailure LastOpenFailure() const override { return m_openFailure; }
    void Close() override { m_open = false; }
    bool IsOpen() const override { return m_open; }
    void SetParity(Parity parity) override { m_parity = parity; }
    void Write(const QByteArray& bytes) override {
        if (m_log)
            m_log->push_back({bytes, m_parity});
        if (m_parity == Parity::Mark) {
            m_request = bytes;
        } else {
            m_request += bytes;
            Deliver(m_responder ? m_responder(m_request) : QByteArray());
        }
        QTimer::singleShot(0, this, &Transport::Sent);
    }
    qint64 BytesAvailable() const override { return m_input.size(); }
    QByteArray ReadAll() override { return std::exchange(m_input, {}); }

    // Bytes arriving from the line, as a notification after this call.
    void Deliver(const QByteArray& bytes) {
        if (bytes.isEmpty())
            return;
        QTimer::singleShot(0, this, [this, bytes] {
            m_input += bytes;
            emit Received();
        });
    }
    void FailLine(int code, bool portLost) {
        QTimer::singleShot(0, this, [this, code, portLost] { emit LineError(code, portLost); });
    }
    // Unavailable: no such port or in use; PermissionDenied: the user may not
    // open it.
    void FailOpen(OpenFailure failure) {
        m_canOpen = false;
        m_openFailure = failure;
    }

private:
    Responder m_responder;
    std::vector<Written>* m_log;
    Parity m_parity = Parity::Space;
    QByteArray m_request;
    QByteArray m_input;
    bool m_open = false;
    bool m_canOpen = true;
    OpenFailure m_openFailure = OpenFailure::Unavailable;
};

} // namespace kt::link::test
