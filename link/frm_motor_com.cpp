#include "link/frm_motor_com.h"

#include "drivemap/drive_catalogue.h"
#include "link/packet.h"
#include "platform/prompt_service.h"

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
    event.portNumber = exchange->portNumber;
    event.function = exchange->function;
    event.address = exchange->address;
    event.dataCount = exchange->dataCount;
    event.write = exchange->writeToMotor;
    event.attempt = std::max(exchange->sends - 1, 0);
    event.code = code;
    event.bytes = bytes;
    // A copy: an observer may remove itself.
    const std::vector<LinkObserver*> observers = m_observers;
    for (LinkObserver* observer : observers)
        observer->Observe(event);
}

class FrmMotorCom::CommandScope {
public:
    CommandScope(int& commands, int* foreground) : m_commands(commands), m_foreground(foreground) {
        ++m_commands;
        if (m_foreground)
            ++*m_foreground;
    }
    ~CommandScope() {
        --m_commands;
        if (m_foreground)
            --*m_foreground;
    }
    CommandScope(const CommandScope&) = delete;
    CommandScope& operator=(const CommandScope&) = delete;

private:
    int& m_commands;
    int* m_foreground;
};

std::uint8_t FrmMotorCom::SendPacket(std::uint8_t Fn, std::int32_t Address, std::uint8_t DataCount,
                                     QByteArray& ComData, bool WriteToMotor) {
    return SendPacket(Fn, Address, DataCount, ComData, WriteToMotor, Priority::Foreground);
}

std::uint8_t FrmMotorCom::SendPacket(std::uint8_t Fn, std::int32_t Address, std::uint8_t DataCount,
                                     QByteArray& ComData, bool WriteToMotor, Priority priority) {
    const bool background = priority == Priority::Background;
    // Any foreground command that has not returned holds the link, even one
    // whose exchange has ended while a question opened during its wait is
    // still up: a command started from that question must not run inside it.
    // A background command gives way to everything.
    if (background ? m_commands > 0 : m_foreground > 0)
        return kBusy;
    if (Address < 0 || Address > 0xFFFF || (WriteToMotor && ComData.size() != DataCount))
        return kOutOfRange;
    const CommandScope scope(m_commands, background ? nullptr : &m_foreground);
    if (background) {
        // Searching means many exchanges in a row; one on top of it could
        // only wait for the first, so the background never searches.
        if (m_portNumber == 0 || !m_port) {
            m_backgroundFailure = QStringLiteral("No drive port is open.");
            return kNoDrivePort;
        }
        return Run(Fn, static_cast<std::uint16_t>(Address), DataCount, ComData, WriteToMotor, true);
    }
    if (!WaitForBackground())
        return kBusy;
    if (m_portNumber == 0 && Search() == 0)
        return kNoDrivePort;
    if (!m_port)
        return kNoDrivePort;
    return Run(Fn, static_cast<std::uint16_t>(Address), DataCount, ComData, WriteToMotor);
}

bool FrmMotorCom::WaitForBackground() {
    // The background exchange below us on the stack ends through events; its
    // caller returns only after we do, which is fine: it asks nothing.
    while (m_current && m_current->background) {
        QEventLoop wait;
        m_backgroundWait = &wait;
        wait.exec();
        m_backgroundWait = nullptr;
        if (m_current && m_current->background)
            return false; // the loop was ended from outside: the program quits
    }
    return true;
}

std::uint8_t FrmMotorCom::OpenPort() {
    if (m_portNumber != 0)
        return m_portNumber;
    if (m_foreground > 0) // a search or exchange is already waiting
        return 0;
    const CommandScope scope(m_commands, &m_foreground);
    if (!WaitForBackground())
        return 0;
    if (m_portNumber != 0)
        return m_portNumber;
    return Search();
}

bool FrmMotorCom::ForgetPort() {
    if (m_commands > 0)
        return false;
    ClosePort();
    m_portNumber = 0;
    return true;
}

std::uint8_t FrmMotorCom::Search() {
    m_searching = true;
    m_deniedPorts.clear();
    const int preferred = m_preferredPort >= 1 && m_preferredPort <= kMaxPort ? m_preferredPort : 0;
    bool found = preferred != 0 && SearchPort(preferred);
    for (int candidate = 1; !found && candidate <= kMaxPort; ++candidate)
        found = candidate != preferred && SearchPort(candidate);
    m_searching = false;
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
    QByteArray identification;
    const drivemap::DriveValue& id = drivemap::At(drivemap::Id::Identification);
    const std::uint8_t result = Run(drivemap::kAccess, id.address, id.size, identification, false);
    if (result != kSent || identification.size() != id.size || !m_port ||
        static_cast<std::uint8_t>(identification[0]) != drivemap::kIdentificationValue) {
        ClosePort();
        return false;
    }
    m_portNumber = static_cast<std::uint8_t>(candidate);
    return true;
}

std::uint8_t FrmMotorCom::Run(std::uint8_t Fn, std::uint16_t Address, std::uint8_t DataCount,
                              QByteArray& ComData, bool WriteToMotor, bool background) {
    Exchange exchange;
    exchange.background = background;
    m_lastBackground = background;
    exchange.portNumber = m_searching ? 0 : m_portNumber;
    exchange.function = Fn;
    exchange.address = Address;
    exchange.dataCount = DataCount;
    exchange.writeToMotor = WriteToMotor;
    exchange.startByte = QByteArray(1, static_cast<char>(Packet::StartByte(WriteToMotor)));
    exchange.txPacket = Packet::Body(Fn, Address, DataCount, ComData, WriteToMotor);
    m_current = &exchange;
    SendStartByte();

    // Events keep flowing while we wait: the port's notifications and the
    // time-out drive the exchange from here.
    QEventLoop wait;
    exchange.wait = &wait;
    if (!exchange.ended)
        wait.exec();
    exchange.wait = nullptr;
    if (!exchange.ended) {
        // The loop was ended from outside (the application quits): give the
        // exchange up so that the link stays usable.
        EndExchange(true);
    }

    if (exchange.failed) {
        if (background)
            m_backgroundFailure = exchange.failure;
        return kFailed;
    }
    if (!WriteToMotor)
        ComData = exchange.rxData;
    return kSent;
}

void FrmMotorCom::SendStartByte() {
    Exchange* exchange = m_current;
    if (!exchange || !m_port)
        return;
    exchange->awaitingReply = false;
    exchange->awaitingSent = true;
    ++exchange->sends;
    if (!m_observers.empty())
        Notify(exchange->sends == 1 ? LinkEvent::Kind::Request : LinkEvent::Kind::Resend, exchange,
               exchange->startByte + exchange->txPacket);
    m_port->SetParity(Transport::Parity::Mark);
    m_port->Write(exchange->startByte);
}

void FrmMotorCom::OnSent() {
    Exchange* exchange = m_current;
    if (!exchange || !exchange->awaitingSent || !m_port)
        return;
    exchange->awaitingSent = false;
    // The transport lets the start byte leave the line before the switch.
    m_port->SetParity(Transport::Parity::Space);
    // Bytes still waiting belong to an exchange that has ended (a late
    // answer to a resend): counted into this reply, they would pass as the
    // reply to a request they never answered.
    TakeWaitingBytes();
    exchange->awaitingReply = true;
    m_timComError.start(m_replyTimeout(exchange->dataCount));
    m_port->Write(exchange->txPacket);
    // A reply may already be waiting in full (an in-process drive is quick).
    OnReceived();
}

void FrmMotorCom::OnReceived() {
    Exchange* exchange = m_current;
    if (!exchange || !exchange->awaitingReply || !m_port)
        return;
    const qint64 expected = exchange->writeToMotor ? 1 : exchange->dataCount + 2;
    // Too few or too many bytes: not our reply; the time-out deals with it.
    if (m_port->BytesAvailable() != expected)
        return;
    exchange->rxData = TakeWaitingBytes();
    exchange->awaitingReply = false;
    Notify(LinkEvent::Kind::Reply, exchange, exchange->rxData);
    if (exchange->rxData.size() != expected) {
        EndExchange(true);
        return;
    }
    if (!exchange->writeToMotor) {
        const bool valid = Packet::ReadReplyValid(exchange->rxData);
        exchange->rxData.chop(2);
        EndExchange(!valid, valid ? QString() : QStringLiteral("The drive's reply was damaged."));
        return;
    }
    EndExchange(false);
}

void FrmMotorCom::OnLineError(QPointer<Transport> from, int code, bool portLost) {
    // Queued: the port that reported may have been closed or replaced since.
    if (!from || from != m_port.get())
        return;
    Notify(LinkEvent::Kind::LineError, m_current, {}, code);
    // The monitor says why once, itself; a box per failed read would pile up.
    const bool quiet = m_current ? m_current->background : m_lastBackground;
    const QString why = CommErrorText(code).replace(u'\n', u' ');
    if (quiet)
        m_backgroundFailure = why;
    if (portLost) {
        // The device is gone: drop it, and search again next time. Nothing
        // of the port is on the stack here, so it can go at once.
        m_portNumber = 0;
        EndExchange(true, why);
        ClosePort();
    } else {
        TakeWaitingBytes();
        EndExchange(true, why);
    }
    // Probing ports may meet other devices' noise: the search stays silent.
    // The exchange has ended before the box opens, so nothing resends
    // underneath it.
    if (!m_searching && !quiet)
        m_prompts.Message({.text = CommErrorText(code)});
}

void FrmMotorCom::OnTimeout() {
    Exchange* exchange = m_current;
    if (!exchange)
        return;
    // Nothing received counts until the request has gone out again.
    exchange->awaitingReply = false;
    const QByteArray waiting = TakeWaitingBytes();
    Notify(LinkEvent::Kind::Timeout, exchange, waiting);
    if (exchange->retryCount < kMaxResends) {
        ++exchange->retryCount;
        SendStartByte();
        return;
    }
    if (m_searching || exchange->background) {
        EndExchange(true, QStringLiteral("The drive did not answer, %1 resends.").arg(kMaxResends));
        return;
    }
    const platform::Answer answer =
        m_prompts.Message({.text = QStringLiteral("Communication Failed,Retry?"),
                           .buttons = platform::Buttons::RetryCancel,
                           .defaultAnswer = platform::Answer::Retry});
    // The exchange may have ended while the question was open (a line
    // error, the port lost): there is nothing left to retry. Its Run() is
    // still waiting below us, so the record is alive.
    if (exchange->ended)
        return;
    if (answer == platform::Answer::Retry && m_port) {
        TakeWaitingBytes();
        exchange->retryCount = 0;
        SendStartByte();
        return;
    }
    m_portNumber = 0;
    EndExchange(true);
}

void FrmMotorCom::EndExchange(bool failed, const QString& failure) {
    Exchange* exchange = m_current;
    if (!exchange)
        return;
    m_current = nullptr;
    exchange->failure =
        failure.isEmpty() && failed ? QStringLiteral("The exchange failed.") : failure;
    m_timComError.stop();
    exchange->awaitingSent = false;
    exchange->awaitingReply = false;
    exchange->failed = failed;
    exchange->ended = true;
    Notify(LinkEvent::Kind::Ended, exchange, {}, failed ? kFailed : kSent);
    if (exchange->wait)
        exchange->wait->quit();
    if (exchange->background && m_backgroundWait)
        m_backgroundWait->quit();
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
