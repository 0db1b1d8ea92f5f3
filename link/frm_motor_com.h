// The serial packet link: the one object of the process that talks to the
// drive. It finds the port on which a drive answers, keeps it open, and runs
// one request/reply exchange at a time: the start byte with mark parity, the
// rest with space parity, the reply collected and checked, time-outs with
// four automatic resends and then the retry question. A command issued while
// an exchange waits is answered "busy". Background commands (the monitor's
// repeated reads) never ask and never search; a user's command that meets one
// waits for its exchange to end and then runs. It knows frames, not drive
// values: those belong to the command set.
#pragma once

#include "link/link_observer.h"
#include "link/transport.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

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

// Who a command is for. A background command gives way: it is refused while
// any other command holds the link, fails without asking, and a foreground
// command that meets its exchange waits for it instead of failing "busy".
enum class Priority : std::uint8_t { Foreground, Background };

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
    // The same with a priority. A background command needs a port already
    // found (2 otherwise), and its failures are kept for
    // LastBackgroundFailure() instead of being asked or shown.
    std::uint8_t SendPacket(std::uint8_t Fn, std::int32_t Address, std::uint8_t DataCount,
                            QByteArray& ComData, bool WriteToMotor, Priority priority);
    // Why the last failed background exchange failed, as a sentence.
    const QString& LastBackgroundFailure() const { return m_backgroundFailure; }

    // The port the drive answers on, searching ports 1 to 31 when none is
    // known yet; 0 when no drive answers.
    std::uint8_t OpenPort();

    std::uint8_t PortNumber() const { return m_portNumber; }
    // A port searched before ports 1 to 31 (0: none); the order of the rest
    // is unchanged.
    void SetPreferredPort(int portNumber) { m_preferredPort = portNumber; }
    int PreferredPort() const { return m_preferredPort; }
    // Closes the port so that the next command searches again; false, and
    // nothing changes, while a command holds the link.
    bool ForgetPort();
    // The ports the last search could not open for lack of permission, by
    // device name ("port N" when the transport has none).
    const QStringList& DeniedPorts() const { return m_deniedPorts; }
    // How to get access to deniedPorts; empty when there are none.
    static QString PermissionHint(const QStringList& deniedPorts);
    // "CommError " and the code, then a line saying what it means.
    static QString CommErrorText(int code);
    // True while a command (an exchange or a port search) has not returned,
    // even when its exchange has ended and a question opened during its wait
    // still holds it up.
    bool Busy() const { return m_commands > 0; }
    // The same for the user's own commands only: a background exchange in
    // progress is waited for, never a reason to refuse the user.
    bool ForegroundBusy() const { return m_foreground > 0; }
    bool Searching() const { return m_searching; }

    // Milliseconds allowed for the reply to a request of dataCount bytes;
    // tests shorten it.
    using ReplyTimeout = std::function<int(int dataCount)>;
    void SetReplyTimeout(ReplyTimeout timeout) { m_replyTimeout = std::move(timeout); }
    static int DefaultReplyTimeout(int dataCount) { return (dataCount + 2) * 50 + 100; }
    // The allowance the link asks for a request of dataCount bytes.
    int ReplyTimeoutFor(int dataCount) const { return m_replyTimeout(dataCount); }

    // Observers see every exchange from now on; they must outlive the link
    // or be removed first.
    void AddObserver(LinkObserver* observer);
    void RemoveObserver(LinkObserver* observer);

signals:
    // A search found the drive on this port.
    void portFound(int portNumber);

private:
    // One exchange: its own request, reply and outcome, so that nothing a
    // later exchange does can be read back as this one's result.
    struct Exchange {
        int portNumber = 0; // 0 while searching
        std::uint8_t function = 0;
        std::uint16_t address = 0;
        std::uint8_t dataCount = 0;
        bool writeToMotor = false;
        bool background = false;
        QByteArray startByte;
        QByteArray txPacket;
        QByteArray rxData;
        int retryCount = 0;
        int sends = 0; // every sending, the user's retries included
        // Which notification the exchange waits for next.
        bool awaitingSent = false;
        bool awaitingReply = false;
        bool ended = false;
        bool failed = false;
        QString failure; // why, for a background exchange
        QEventLoop* wait = nullptr;
    };
    // Counts the commands that have not returned yet.
    class CommandScope;

    std::uint8_t Search();
    bool SearchPort(int candidate);
    bool WaitForBackground();
    std::uint8_t Run(std::uint8_t Fn, std::uint16_t Address, std::uint8_t DataCount,
                     QByteArray& ComData, bool WriteToMotor, bool background = false);
    void SendStartByte();
    void OnSent();
    void OnReceived();
    void OnLineError(QPointer<Transport> from, int code, bool portLost);
    void OnTimeout();
    void EndExchange(bool failed, const QString& failure = {});
    void AttachPort(std::unique_ptr<Transport> port);
    void ClosePort();
    QByteArray TakeWaitingBytes();
    void Notify(LinkEvent::Kind kind, const Exchange* exchange, const QByteArray& bytes = {},
                int code = 0);

    platform::PromptService& m_prompts;
    TransportFactory m_factory;
    std::unique_ptr<Transport> m_port;
    QTimer m_timComError;
    ReplyTimeout m_replyTimeout = &FrmMotorCom::DefaultReplyTimeout;

    std::uint8_t m_portNumber = 0;
    QStringList m_deniedPorts;
    bool m_searching = false;
    int m_commands = 0;
    int m_foreground = 0; // of m_commands, those not in the background
    int m_preferredPort = 0;
    bool m_lastBackground = false; // the last exchange was a background one
    QString m_backgroundFailure;
    // A foreground command waiting for a background exchange to end.
    QEventLoop* m_backgroundWait = nullptr;
    // The exchange in progress, if any; it lives in its Run() frame.
    Exchange* m_current = nullptr;
    std::vector<LinkObserver*> m_observers;
    QElapsedTimer m_clock;
};

} // namespace kt::link
