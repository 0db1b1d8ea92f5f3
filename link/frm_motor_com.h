// The serial packet link: the one object of the process that talks to the
// drive. It finds the port on which a drive answers, keeps it open, and runs
// one request/reply exchange at a time: the start byte with mark parity, the
// rest with space parity, the reply collected and checked, time-outs with
// four automatic resends and then the retry question.
//
// It is one state machine (link/README.md holds its table): who holds the
// link (nobody, a user's command, a user's port search), what the wire does
// (idle, start byte going out, awaiting the reply, asking the user), the one
// exchange on the wire, and a queue of requests waiting for the wire. A
// user's (foreground) command blocks in its own local event loop until its
// own exchange ends; a second one meanwhile is answered "busy". Background
// requests (the monitor's reads) are submitted with a completion and never
// wait: they never search, never ask, never show a box. It knows frames, not
// drive values: those belong to the command set.
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
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

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

// Who a request is for: the user, who waits and is asked, or the background,
// which neither waits nor asks and gives way to every user's command.
enum class Priority : std::uint8_t { Foreground, Background };

// One request as SendPacket takes it.
struct Request {
    std::uint8_t function = 0;
    std::int32_t address = 0; // 0 to 65535
    std::uint8_t dataCount = 0;
    QByteArray data; // a write's DataCount bytes
    bool writeToMotor = false;
};

// How a request ended.
struct Completion {
    std::uint8_t result = kFailed;
    QByteArray data;  // a read's data bytes, on success
    qint64 msecs = 0; // the link's clock (Elapsed()) when the reply was taken or the request failed
    QString failure;  // why it failed, one sentence
};
using CompletionHandler = std::function<void(const Completion&)>;

class FrmMotorCom : public QObject {
    Q_OBJECT

public:
    static constexpr int kMaxPort = 31;
    static constexpr int kMaxResends = 4;

    // What the wire does.
    enum class Phase : std::uint8_t {
        Idle,          // no exchange on the wire
        Sending,       // the start byte is going out (mark parity)
        AwaitingReply, // the rest went out; the reply time runs
        AskingUser,    // the resends are spent; the retry question is open
    };
    // Who holds the link. Background requests go out only while nobody does.
    enum class Holder : std::uint8_t {
        None,
        Command, // a user's command, from its start until it returns
        Search,  // that command searching the ports
    };

    // A user's command holding the link, from its construction to its end:
    // a second user's command meanwhile is busy, background requests wait
    // in the queue. One command of several exchanges (erase then download)
    // holds the link for all of them. Not held when another command holds it.
    class Hold {
    public:
        explicit Hold(FrmMotorCom& link);
        ~Hold();
        Hold(const Hold&) = delete;
        Hold& operator=(const Hold&) = delete;
        explicit operator bool() const { return !m_link.isNull(); }

    private:
        friend class FrmMotorCom;
        QPointer<FrmMotorCom> m_link;
    };

    FrmMotorCom(platform::PromptService& prompts, TransportFactory factory,
                QObject* parent = nullptr);
    ~FrmMotorCom() override;

    // One exchange of a user's command. For a write, ComData holds the
    // DataCount bytes to send; after a successful read it holds the
    // DataCount bytes received, and it is left alone otherwise. Waits,
    // keeping events flowing, until the exchange ends; searches the ports
    // first when none is known.
    std::uint8_t SendPacket(std::uint8_t Fn, std::int32_t Address, std::uint8_t DataCount,
                            QByteArray& ComData, bool WriteToMotor = false);
    // The same for the command that holds the link (busy for any other hold).
    std::uint8_t SendPacket(const Hold& hold, std::uint8_t Fn, std::int32_t Address,
                            std::uint8_t DataCount, QByteArray& ComData, bool WriteToMotor);
    // A background request: queued behind every request already waiting, it
    // goes out when the wire is free and no user's command holds the link.
    // Returns at once; `done` runs exactly once, from the event loop (never
    // inside this call), as soon as the request ends: its time is when the
    // reply was taken. It needs a port already found (2 otherwise). Nothing
    // runs when `context` is gone by then.
    void SubmitBackground(const Request& request, QObject* context, CompletionHandler done);
    // Drops the queued background requests of `context`, without their
    // completions; one already on the wire ends as usual.
    void WithdrawBackground(const QObject* context);

    // The port the drive answers on, searching ports 1 to 31 when none is
    // known yet; 0 when no drive answers, or while another command holds
    // the link.
    std::uint8_t OpenPort();

    std::uint8_t PortNumber() const { return m_portNumber; }
    // A port searched before ports 1 to 31 (0: none); the order of the rest
    // is unchanged.
    void SetPreferredPort(int portNumber) { m_preferredPort = portNumber; }
    int PreferredPort() const { return m_preferredPort; }
    // Closes the port so that the next command searches again; false, and
    // nothing changes, while the link is busy.
    bool ForgetPort();
    // The ports the last search could not open for lack of permission, by
    // device name ("port N" when the transport has none).
    const QStringList& DeniedPorts() const { return m_deniedPorts; }
    // How to get access to deniedPorts; empty when there are none.
    static QString PermissionHint(const QStringList& deniedPorts);
    // "CommError " and the code, then a line saying what it means.
    static QString CommErrorText(int code);

    // True while an exchange is on the wire, a request waits for it, or a
    // user's command holds the link (even one whose exchange has ended
    // while a question opened during its wait is still up).
    bool Busy() const {
        return m_phase != Phase::Idle || m_holder != Holder::None || !m_queue.empty();
    }
    bool Searching() const { return m_holder == Holder::Search; }
    Phase CurrentPhase() const { return m_phase; }
    Holder CurrentHolder() const { return m_holder; }
    // The priority of the exchange on the wire; nothing while it is idle.
    std::optional<Priority> OnWire() const;
    // Requests waiting for the wire.
    int Waiting() const { return static_cast<int>(m_queue.size()); }
    // Milliseconds since the link was made: the clock of completions and
    // observers.
    qint64 Elapsed() const { return m_clock.elapsed(); }

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
    // A request waiting for the wire, or on it.
    struct Pending {
        std::uint64_t id = 0;
        Request request;
        Priority priority = Priority::Foreground;
        bool hasContext = false;
        QPointer<QObject> context;
        CompletionHandler done;
    };
    // The exchange on the wire: its own request, reply and attempts, so that
    // nothing a later exchange does can be read back as this one's result.
    struct Exchange {
        Pending pending;
        bool probe = false; // of a port search
        int portNumber = 0; // 0 while searching
        QByteArray startByte;
        QByteArray txPacket;
        QByteArray rxData;
        int retryCount = 0;
        int sends = 0; // every sending, the user's retries included
    };

    std::uint8_t Search();
    bool SearchPort(int candidate);
    // Runs a foreground request through the queue and waits for its end.
    Completion RunForeground(const Request& request);
    // Queues a request and waits in a loop of its own until it ends.
    Completion Await(Pending pending, bool ahead);
    void Pump();
    void Start(Pending pending);
    // A background request that never reached the wire, told from the event loop.
    void Reject(Pending pending, std::uint8_t result, const QString& failure);
    void SendStartByte();
    void OnSent();
    void OnReceived();
    void OnLineError(QPointer<Transport> from, int code, bool portLost);
    void OnTimeout();
    void EndExchange(bool failed, const QString& failure = {});
    void Release();
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
    int m_preferredPort = 0;

    // The state: who holds the link, what the wire does, the exchange on
    // it, and the requests waiting for it (foreground ones first).
    Holder m_holder = Holder::None;
    Phase m_phase = Phase::Idle;
    std::optional<Exchange> m_wire;
    std::deque<Pending> m_queue;
    std::uint64_t m_lastId = 0;

    // Whom a line error reported while the wire is idle concerns.
    Priority m_lastPriority = Priority::Foreground;
    std::vector<LinkObserver*> m_observers;
    QElapsedTimer m_clock;
};

} // namespace kt::link
