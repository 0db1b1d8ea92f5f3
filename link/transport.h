// One serial line to a drive, as the link uses it: open and close, the parity
// bit of the bytes written next, writing, reading what has arrived, and
// notifications when written bytes have left the line, when bytes arrive and
// when the line fails. The link talks to this and never to a port itself, so
// a real serial port, a pseudo-terminal or an in-process drive can stand behind.
#pragma once

#include <QByteArray>
#include <QObject>
#include <QString>

namespace kt::link {

// Line error codes shown after "CommError ".
enum LineErrorCode : int {
    kLineBreak = 1001,
    kLineFraming = 1004,
    kLineOverrun = 1006,
    kLineParity = 1009,
    kLinePortLost = 1011, // the device went away (unplugged)
    kLineOther = 1012,
};

// Why Open() failed: a user denied access to a port can be told how to get
// it; a missing or busy port is simply passed over.
enum class OpenFailure { Unavailable, PermissionDenied };

class Transport : public QObject {
    Q_OBJECT

public:
    // The parity bit as the ninth data bit: mark (1) starts a request.
    enum class Parity { Mark, Space };

    using QObject::QObject;
    ~Transport() override = default;

    virtual bool Open() = 0; // false when the port is missing or in use
    virtual void Close() = 0;
    virtual bool IsOpen() const = 0;
    // After Open() returned false.
    virtual OpenFailure LastOpenFailure() const { return OpenFailure::Unavailable; }
    // The device the user knows the port by; empty when there is none.
    virtual QString DeviceName() const { return {}; }

    // Applies to the bytes written after this call.
    virtual void SetParity(Parity parity) = 0;
    // Queues bytes; Sent() follows once all written bytes have left the line.
    virtual void Write(const QByteArray& bytes) = 0;

    virtual qint64 BytesAvailable() const = 0;
    virtual QByteArray ReadAll() = 0;

signals:
    // Everything written so far has left the line (the transmitter is empty).
    void Sent();
    // Bytes have arrived; BytesAvailable() tells how many are waiting.
    void Received();
    // The line failed; portLost when the port itself is gone and must be
    // found again.
    void LineError(int code, bool portLost);
};

} // namespace kt::link
