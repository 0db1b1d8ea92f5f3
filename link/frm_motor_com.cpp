#include "link/frm_motor_com.h"

#include "drivemap/drive_catalogue.h"
#include "link/packet.h"
#include "platform/prompt_service.h"

#include <QAbstractEventDispatcher>
#include <QEventLoop>

#include <algorithm>

namespace kt::link {

FrmMotorCom::FrmMotorCom(platform::PromptService& prompts, TransportFactory factory,
                         QObject* parent)
    : QObject(parent), m_prompts(prompts), m_factory(std::move(factory)) {
    m_timComError.setSingleShot(true);
    m_timComError.setTimerType(Qt::PreciseTimer);
    connect(&m_timComError, &QTimer::timeout, this, &FrmMotorCom::OnTimeout);
    m_clock.start();
}

FrmMotorCom::~FrmMotorCom() = default;

QString FrmMotorCom::PermissionHint(const QStringList& deniedPorts) {
    if (deniedPorts.isEmpty())
        return {};
    return QStringLiteral("You may not open %1: permission denied.\n"
                          "Serial ports belong to the dialout group. Join it with\n"
                          "  sudo usermod -aG dialout $USER\n"
                          "then log out and log in again.")
        .arg(deniedPorts.join(QStringLiteral(", ")));
}

QString FrmMotorCom::CommErrorText(int code) {
    QString text = QStringLiteral("CommError ") + QString::number(code);
    const char* meaning = nullptr;
    switch (code) {
    case kLineBreak:
        meaning = "The line was cut off (break). Check the cable and the drive's power.";
        break;
    case kLineFraming:
        meaning = "A byte arrived garbled (framing error). Check the cable.";
        break;
    case kLineOverrun:
        meaning = "Bytes arrived faster than they were read, and some were lost. Try again.";
        break;
    case kLineParity:
        meaning = "A byte arrived with a wrong parity bit. Check the cable.";
        break;
    case kLinePortLost:
        meaning = "The serial port has gone: the cable may be unplugged. Plug it in and try again.";
        break;
    case kLineOther:
        meaning = "The serial port reported an error. Check the cable and the drive.";
        break;
    default:
        break;
    }
    if (meaning)
        text.append(u'\n').append(QString::fromLatin1(meaning));
    return text;
}

void FrmMotorCom::AddObserver(LinkObserver* observer) {
    if (observer &&
        std::find(m_observers.begin(), m_observers.end(), observer) == m_observers.end())
        m_observers.push_back(observer);
}

void FrmMotorCom::RemoveObserver(LinkObserver* observer) {
    std::erase(m_observers, observer);
}

void FrmMotorCom::Notify(LinkEvent::Kind kind, const Exchange* exchange, const QByteArray& bytes,
                         int code) {
    if (m_observers.empty() || !exchange)
        return;
    LinkEvent event;
    event.kind = kind;
    event.msecs = m_clock.elapsed();
    const Request& request = exchange->pending.request;
    event.portNumber = exchange->portNumber;
    event.function = request.function;
    event.address = static_cast<std::uint16_t>(request.address);
    event.dataCount = request.dataCount;
    event.write = request.writeToMotor;
    event.background = exchange->pending.priority == Priority::Background;
    event.attempt = std::max(exchange->sends - 1, 0);
    event.code = code;
    event.bytes = bytes;
    // A copy: an observer may remove itself.
    const std::vector<LinkObserver*> observers = m_observers;
    for (LinkObserver* observer : observers)
        observer->Observe(event);
}

FrmMotorCom::Hold::Hold(FrmMotorCom& link) {
    if (link.m_holder != Holder::None)
        return;
    link.m_holder = Holder::Command;
    m_link = &link;
}

FrmMotorCom::Hold::~Hold() {
    if (m_link)
        m_link->Release();
}

void FrmMotorCom::Release() {
    m_holder = Holder::None;
    // Background requests waited for the command: the wire is theirs again.
    Pump();
}

std::optional<Priority> FrmMotorCom::OnWire() const {
    if (!m_wire)
        return std::nullopt;
    return m_wire->pending.priority;
}

namespace {

bool Sendable(std::int32_t address, std::uint8_t dataCount, const QByteArray& data, bool write) {
    return address >= 0 && address <= 0xFFFF && (!write || data.size() == dataCount);
}

const QString kNoPortOpen = QStringLiteral("No drive port is open.");

} // namespace

std::uint8_t FrmMotorCom::SendPacket(std::uint8_t Fn, std::int32_t Address, std::uint8_t DataCount,
                                     QByteArray& ComData, bool WriteToMotor) {
    // Any user's command that has not returned holds the link, even one
    // whose exchange has ended while a question opened during its wait is
    // still up: a command started from that question must not run inside it.
    const Hold hold(*this);
    if (!hold)
        return kBusy;
    return SendPacket(hold, Fn, Address, DataCount, ComData, WriteToMotor);
}

std::uint8_t FrmMotorCom::SendPacket(const Hold& hold, std::uint8_t Fn, std::int32_t Address,
                                     std::uint8_t DataCount, QByteArray& ComData,
                                     bool WriteToMotor) {
    if (hold.m_link != this)
        return kBusy;
    if (!Sendable(Address, DataCount, ComData, WriteToMotor))
        return kOutOfRange;
    const Request request{Fn, Address, DataCount, WriteToMotor ? ComData : QByteArray(),
                          WriteToMotor};
    // A second round when the port was lost under a background exchange
    // while this request waited for the wire: search again, as any command
    // does that finds no port.
    for (int round = 0; round < 2; ++round) {
        if (m_portNumber == 0 && Search() == 0)
            return kNoDrivePort;
        if (!m_port)
            return kNoDrivePort;
        const Completion completion = RunForeground(request);
        if (completion.result == kNoDrivePort && m_portNumber == 0)
            continue;
        if (completion.result == kSent && !WriteToMotor)
            ComData = completion.data;
        return completion.result;
    }
    return kNoDrivePort;
}

void FrmMotorCom::SubmitBackground(const Request& request, QObject* context,
                                   CompletionHandler done) {
    Pending pending;
    pending.id = ++m_lastId;
    pending.request = request;
    pending.priority = Priority::Background;
    pending.hasContext = context != nullptr;
    pending.context = context;
    pending.done = std::move(done);
    if (!Sendable(request.address, request.dataCount, request.data, request.writeToMotor)) {
        Reject(std::move(pending), kOutOfRange, QStringLiteral("The request cannot be sent."));
        return;
    }
    // Behind everything already waiting: background requests go in turn.
    m_queue.push_back(std::move(pending));
    Pump();
}

void FrmMotorCom::WithdrawBackground(const QObject* context) {
    std::erase_if(m_queue, [context](const Pending& pending) {
        return pending.priority == Priority::Background && pending.hasContext &&
               pending.context == context;
    });
}

Completion FrmMotorCom::RunForeground(const Request& request) {
    Pending pending;
    pending.request = request;
    pending.priority = Priority::Foreground;
    // Ahead of every background request: it goes out as soon as the wire
    // is free.
    return Await(std::move(pending), true);
}

Completion FrmMotorCom::Await(Pending pending, bool ahead) {
    Completion outcome;
    bool ended = false;
    QEventLoop wait;
    const std::uint64_t id = pending.id = ++m_lastId;
    pending.done = [&outcome, &ended, &wait](const Completion& completion) {
        outcome = completion;
        ended = true;
        if (wait.isRunning())
            wait.quit();
    };
    if (ahead)
        m_queue.push_front(std::move(pending));
    else
        m_queue.push_back(std::move(pending));
    Pump();
    // Events keep flowing while we wait: the port's notifications and the
    // time-out drive the exchange, in whatever loop runs them.
    if (!ended) {
        // A nested loop delivers events posted before it began (a reply
        // already in, the start byte's Sent) only once the dispatcher is
        // woken again.
        if (QAbstractEventDispatcher* dispatcher = QAbstractEventDispatcher::instance())
            dispatcher->wakeUp();
        wait.exec();
    }
    if (!ended) {
        // The loop was ended from outside (the application quits): give the
        // request up so that the link stays usable.
        if (m_wire && m_wire->pending.id == id) {
            EndExchange(true);
        } else {
            std::erase_if(m_queue, [id](const Pending& waiting) { return waiting.id == id; });
            outcome.result = kBusy;
            outcome.failure = QStringLiteral("The request was given up before it went out.");
        }
    }
    return outcome;
}

void FrmMotorCom::Pump() {
    while (m_phase == Phase::Idle && !m_queue.empty()) {
        const bool background = m_queue.front().priority == Priority::Background;
        // A user's command holds the link: background requests wait for it.
        if (background && m_holder != Holder::None)
            return;
        Pending pending = std::move(m_queue.front());
        m_queue.pop_front();
        if (background && pending.hasContext && !pending.context)
            continue; // whoever asked is gone
        // The background never searches: it needs the port found for the user.
        if (!m_port || (background && m_portNumber == 0)) {
            if (background) {
                Reject(std::move(pending), kNoDrivePort, kNoPortOpen);
            } else {
                Completion none;
                none.result = kNoDrivePort;
                none.msecs = m_clock.elapsed();
                none.failure = kNoPortOpen;
                pending.done(none);
            }
            continue;
        }
        Start(std::move(pending));
    }
}

void FrmMotorCom::Reject(Pending pending, std::uint8_t result, const QString& failure) {
    Completion completion;
    completion.result = result;
    completion.msecs = m_clock.elapsed();
    completion.failure = failure;
    if (!pending.done)
        return;
    // Posted: a completion never runs inside the call that submitted it, so
    // a caller that submits again from its completion cannot recurse.
    QObject* receiver = pending.hasContext ? pending.context.data() : this;
    if (!receiver)
        return;
    QTimer::singleShot(0, receiver,
                       [done = std::move(pending.done), completion] { done(completion); });
}

std::uint8_t FrmMotorCom::OpenPort() {
    if (m_portNumber != 0)
        return m_portNumber;
    const Hold hold(*this);
    if (!hold) // a search or exchange of another command is waiting
        return 0;
    return Search();
}

bool FrmMotorCom::ForgetPort() {
    if (Busy())
        return false;
    ClosePort();
    m_portNumber = 0;
    return true;
}

std::uint8_t FrmMotorCom::Search() {
    // The port may change only with the wire idle; a background exchange
    // needs a port, so none is on the wire while no port is known.
    if (m_phase != Phase::Idle)
        return 0;
    m_holder = Holder::Search;
    m_deniedPorts.clear();
    const int preferred = m_preferredPort >= 1 && m_preferredPort <= kMaxPort ? m_preferredPort : 0;
    bool found = preferred != 0 && SearchPort(preferred);
    for (int candidate = 1; !found && candidate <= kMaxPort; ++candidate)
        found = candidate != preferred && SearchPort(candidate);
    m_holder = Holder::Command;
    if (found)
        emit portFound(m_portNumber);
    return m_portNumber;
}

bool FrmMotorCom::SearchPort(int candidate) {
    ClosePort();
    AttachPort(m_factory ? m_factory(candidate) : nullptr);
    if (!m_port)
        return false;
    if (!m_port->Open()) {
        if (m_port->LastOpenFailure() == OpenFailure::PermissionDenied) {
            const QString name = m_port->DeviceName();
            m_deniedPorts << (name.isEmpty() ? QStringLiteral("port %1").arg(candidate) : name);
        }
        ClosePort();
        return false;
    }
    const drivemap::DriveValue& id = drivemap::At(drivemap::Id::Identification);
    const Completion probe = RunForeground({drivemap::kAccess, id.address, id.size, {}, false});
    const QByteArray& identification = probe.data;
    if (probe.result != kSent || identification.size() != id.size || !m_port ||
        static_cast<std::uint8_t>(identification[0]) != drivemap::kIdentificationValue) {
        ClosePort();
        return false;
    }
    m_portNumber = static_cast<std::uint8_t>(candidate);
    return true;
}

void FrmMotorCom::Start(Pending pending) {
    m_wire = Exchange{};
    Exchange& exchange = *m_wire;
    const Request& request = pending.request;
    exchange.probe = m_holder == Holder::Search && pending.priority == Priority::Foreground;
    exchange.portNumber = exchange.probe ? 0 : m_portNumber;
    exchange.startByte = QByteArray(1, static_cast<char>(Packet::StartByte(request.writeToMotor)));
    exchange.txPacket = Packet::Body(request.function, static_cast<std::uint16_t>(request.address),
                                     request.dataCount, request.data, request.writeToMotor);
    m_lastPriority = pending.priority;
    exchange.pending = std::move(pending);
    SendStartByte();
}

void FrmMotorCom::SendStartByte() {
    if (!m_wire)
        return;
    if (!m_port) {
        EndExchange(true, kNoPortOpen);
        return;
    }
    Exchange& exchange = *m_wire;
    m_phase = Phase::Sending;
    ++exchange.sends;
    if (!m_observers.empty())
        Notify(exchange.sends == 1 ? LinkEvent::Kind::Request : LinkEvent::Kind::Resend, &exchange,
               exchange.startByte + exchange.txPacket);
    m_port->SetParity(Transport::Parity::Mark);
    m_port->Write(exchange.startByte);
}

void FrmMotorCom::OnSent() {
    if (m_phase != Phase::Sending || !m_wire || !m_port)
        return;
    // The transport lets the start byte leave the line before the switch.
    m_port->SetParity(Transport::Parity::Space);
    // Bytes still waiting belong to an exchange that has ended (a late
    // answer to a resend): counted into this reply, they would pass as the
    // reply to a request they never answered.
    TakeWaitingBytes();
    m_phase = Phase::AwaitingReply;
    m_timComError.start(m_replyTimeout(m_wire->pending.request.dataCount));
    m_port->Write(m_wire->txPacket);
    // A reply may already be waiting in full (an in-process drive is quick).
    OnReceived();
}

void FrmMotorCom::OnReceived() {
    if (m_phase != Phase::AwaitingReply || !m_wire || !m_port)
        return;
    Exchange& exchange = *m_wire;
    const Request& request = exchange.pending.request;
    const qint64 expected = request.writeToMotor ? 1 : request.dataCount + 2;
    // Too few or too many bytes: not our reply; the time-out deals with it.
    if (m_port->BytesAvailable() != expected)
        return;
    exchange.rxData = TakeWaitingBytes();
    Notify(LinkEvent::Kind::Reply, &exchange, exchange.rxData);
    if (exchange.rxData.size() != expected) {
        EndExchange(true);
        return;
    }
    if (!request.writeToMotor) {
        const bool valid = Packet::ReadReplyValid(exchange.rxData);
        exchange.rxData.chop(2);
        EndExchange(!valid, valid ? QString() : QStringLiteral("The drive's reply was damaged."));
        return;
    }
    EndExchange(false);
}

void FrmMotorCom::OnLineError(QPointer<Transport> from, int code, bool portLost) {
    // Queued: the port that reported may have been closed or replaced since.
    if (!from || from != m_port.get())
        return;
    Notify(LinkEvent::Kind::LineError, m_wire ? &*m_wire : nullptr, {}, code);
    // The monitor says why once, itself; a box per failed read would pile up.
    const bool quiet = (m_wire ? m_wire->pending.priority : m_lastPriority) == Priority::Background;
    // Probing ports may meet other devices' noise: the search stays silent.
    const bool searching = m_holder == Holder::Search;
    const QString why = CommErrorText(code).replace(u'\n', u' ');
    if (portLost) {
        // The device is gone: drop it, and search again next time. Nothing
        // of the port is on the stack here, so it can go at once, and before
        // the exchange ends: the next request must not go out on it.
        m_portNumber = 0;
        ClosePort();
    } else {
        TakeWaitingBytes();
    }
    EndExchange(true, why);
    // The exchange has ended before the box opens, so nothing resends
    // underneath it.
    if (!searching && !quiet)
        m_prompts.Message({.text = CommErrorText(code)});
}

void FrmMotorCom::OnTimeout() {
    if (m_phase != Phase::AwaitingReply || !m_wire)
        return;
    const std::uint64_t id = m_wire->pending.id;
    const QByteArray waiting = TakeWaitingBytes();
    Notify(LinkEvent::Kind::Timeout, &*m_wire, waiting);
    if (!m_wire || m_wire->pending.id != id)
        return;
    Exchange& exchange = *m_wire;
    if (exchange.retryCount < kMaxResends) {
        ++exchange.retryCount;
        SendStartByte();
        return;
    }
    if (exchange.probe || exchange.pending.priority == Priority::Background) {
        EndExchange(true, QStringLiteral("The drive did not answer, %1 resends.").arg(kMaxResends));
        return;
    }
    // Nothing received counts, and nothing is sent, while the user decides.
    m_phase = Phase::AskingUser;
    const platform::Answer answer =
        m_prompts.Message({.text = QStringLiteral("Communication Failed,Retry?"),
                           .buttons = platform::Buttons::RetryCancel,
                           .defaultAnswer = platform::Answer::Retry});
    // The exchange may have ended while the question was open (a line
    // error, the port lost): there is nothing left to retry.
    if (!m_wire || m_wire->pending.id != id)
        return;
    if (answer == platform::Answer::Retry && m_port) {
        TakeWaitingBytes();
        m_wire->retryCount = 0;
        SendStartByte();
        return;
    }
    m_portNumber = 0;
    EndExchange(true);
}

void FrmMotorCom::EndExchange(bool failed, const QString& failure) {
    if (!m_wire)
        return;
    Completion completion;
    completion.msecs = m_clock.elapsed();
    Exchange exchange = std::move(*m_wire);
    m_wire.reset();
    m_phase = Phase::Idle;
    m_timComError.stop();
    completion.result = failed ? kFailed : kSent;
    if (failed)
        completion.failure = failure.isEmpty() ? QStringLiteral("The exchange failed.") : failure;
    else if (!exchange.pending.request.writeToMotor)
        completion.data = exchange.rxData;
    Notify(LinkEvent::Kind::Ended, &exchange, {}, completion.result);
    // The next request goes out before this one's completion runs: whatever
    // that does, the wire does not wait for it.
    Pump();
    Pending& pending = exchange.pending;
    if (pending.hasContext && !pending.context)
        return;
    if (pending.done)
        pending.done(completion);
}

void FrmMotorCom::AttachPort(std::unique_ptr<Transport> port) {
    m_port = std::move(port);
    if (!m_port)
        return;
    Transport* raw = m_port.get();
    connect(raw, &Transport::Sent, this, &FrmMotorCom::OnSent);
    connect(raw, &Transport::Received, this, &FrmMotorCom::OnReceived);
    // Queued: the error box must never open while the port's own code is on
    // the stack, or the port could be closed and freed underneath it.
    connect(
        raw, &Transport::LineError, this,
        [this, from = QPointer<Transport>(raw)](int code, bool portLost) {
            OnLineError(from, code, portLost);
        },
        Qt::QueuedConnection);
}

void FrmMotorCom::ClosePort() {
    if (!m_port)
        return;
    disconnect(m_port.get(), nullptr, this, nullptr);
    m_port->Close();
    // Not deleted here: a notification of this port may be on the stack.
    m_port.release()->deleteLater();
}

QByteArray FrmMotorCom::TakeWaitingBytes() {
    return m_port && m_port->IsOpen() ? m_port->ReadAll() : QByteArray();
}

} // namespace kt::link
