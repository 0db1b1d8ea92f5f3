// The serial packet link: the one object of the process that talks to the
// drive. It finds the port on which a drive answers, keeps it open, and runs
// one request/reply exchange at a time: the start byte with mark parity, the
// rest with space parity, the reply collected and checked, time-outs with
// four automatic resends and then the retry question. A command issued while
// an exchange waits is answered "busy". It knows frames, not drive values:
// those belong to the command set.
#pragma once

#include "link/transport.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>

class QEventLoop;

namespace kt::platform {
class PromptService;
}

namespace kt::link {

// The transport of port number n (1 to 31), or nothing when there is no such port.
using TransportFactory = std::function<std::unique_ptr<Transport>(int portNumber)>;

// Result codes of the link and the command set.
enum LinkResult : std::uint8_t {
    kSent = 0,        // exchange completed
    kFailed = 1,      // bad checksum, line error, or resends exhausted
    kNoDrivePort = 2, // no port answers as a drive
    kBusy = 3,        // another exchange is waiting; nothing was sent
    kOutOfRange = 4,  // an argument the drive cannot take; nothing was sent
};

class FrmMotorCom : public QObject {
    Q_OBJECT

public:
    static constexpr int kMaxPort = 31;
    static constexpr int kMaxResends = 4;

    FrmMotorCom(platform::PromptService& prompts, TransportFactory factory,
                QObject* parent = nullptr);
    ~FrmMotorCom() override;

    // One exchange. For a write, ComData holds the DataCount bytes to send;
    // after a successful read it holds the DataCount bytes received, and it
    // is left alone otherwise. Waits, keeping events flowing, until the
    // exchange ends.
    std::uint8_t SendPacket(std::uint8_t Fn, std::int32_t Address, std::uint8_t DataCount,
                            QByteArray& ComData, bool WriteToMotor = false);

    // The port the drive answers on, searching ports 1 to 31 when none is
    // known yet; 0 when no drive answers.
    std::uint8_t OpenPort();

    std::uint8_t PortNumber() const { return m_portNumber; }
    bool Busy() const { return m_busy; }
    bool Searching() const { return m_searching; }

    // Milliseconds allowed for the reply to a request of dataCount bytes;
    // tests shorten it.
    using ReplyTimeout = std::function<int(int dataCount)>;
    void SetReplyTimeout(ReplyTimeout timeout) { m_replyTimeout = std::move(timeout); }
    static int DefaultReplyTimeout(int dataCount) { return (dataCount + 2) * 50 + 100; }

private:
    void SendStartByte();
    void OnSent();
    void OnReceived();
    void OnLineError(int code, bool portLost);
    void OnTimeout();
    void EndExchange(bool failed);
    void ClosePort();
    QByteArray TakeWaitingBytes();

    platform::PromptService& m_prompts;
    TransportFactory m_factory;
    std::unique_ptr<Transport> m_port;
    QTimer m_timComError;
    ReplyTimeout m_replyTimeout = &FrmMotorCom::DefaultReplyTimeout;
    QPointer<QEventLoop> m_wait;

    std::uint8_t m_portNumber = 0;
    bool m_searching = false;
    bool m_busy = false;
    bool m_comFailed = false;
    int m_retryCount = 0;
    std::uint8_t m_curDataCount = 0;
    bool m_curWriteToMotor = false;
    // Which notification the exchange waits for next.
    bool m_awaitingSent = false;
    bool m_awaitingReply = false;
    QByteArray m_startByte;
    QByteArray m_txPacket;
    QByteArray m_rxData;
};

} // namespace kt::link
