#include "link/frm_motor_com.h"

#include "link/drive_map.h"
#include "link/packet.h"
#include "platform/prompt_service.h"

#include <QEventLoop>

namespace kt::link {

FrmMotorCom::FrmMotorCom(platform::PromptService& prompts, TransportFactory factory,
                         QObject* parent)
    : QObject(parent), m_prompts(prompts), m_factory(std::move(factory)) {
    m_timComError.setSingleShot(true);
    m_timComError.setTimerType(Qt::PreciseTimer);
    connect(&m_timComError, &QTimer::timeout, this, &FrmMotorCom::OnTimeout);
}

FrmMotorCom::~FrmMotorCom() = default;

std::uint8_t FrmMotorCom::SendPacket(std::uint8_t Fn, std::int32_t Address, std::uint8_t DataCount,
                                     QByteArray& ComData, bool WriteToMotor) {
    if (m_busy)
        return kBusy;
    if (Address < 0 || Address > 0xFFFF || (WriteToMotor && ComData.size() != DataCount))
        return kOutOfRange;
    if (!m_searching && OpenPort() == 0)
        return kNoDrivePort;
    if (m_busy) // another command got in while the search waited
        return kBusy;
    if (!m_port)
        return kNoDrivePort;

    m_curDataCount = DataCount;
    m_curWriteToMotor = WriteToMotor;
    m_startByte = QByteArray(1, static_cast<char>(Packet::StartByte(WriteToMotor)));
    m_txPacket =
        Packet::Body(Fn, static_cast<std::uint16_t>(Address), DataCount, ComData, WriteToMotor);
    m_busy = true;
    m_comFailed = false;
    m_retryCount = 0;
    m_rxData.clear();
    SendStartByte();

    // Events keep flowing while we wait: the port's notifications and the
    // time-out drive the exchange from here.
    QEventLoop wait;
    m_wait = &wait;
    if (m_busy)
        wait.exec();
    m_wait = nullptr;
    if (m_busy) {
        // The loop was ended from outside (the application quits): give the
        // exchange up so that the link stays usable.
        m_timComError.stop();
        EndExchange(true);
    }

    if (m_comFailed) {
        m_comFailed = false;
        return kFailed;
    }
    if (!WriteToMotor)
        ComData = m_rxData;
    return kSent;
}

std::uint8_t FrmMotorCom::OpenPort() {
    if (m_portNumber != 0)
        return m_portNumber;
    if (m_searching || m_busy) // a search or exchange is already waiting
        return 0;
    m_searching = true;
    for (int candidate = 1; candidate <= kMaxPort; ++candidate) {
        m_comFailed = false;
        ClosePort();
        m_port = m_factory ? m_factory(candidate) : nullptr;
        if (!m_port)
            continue;
        connect(m_port.get(), &Transport::Sent, this, &FrmMotorCom::OnSent);
        connect(m_port.get(), &Transport::Received, this, &FrmMotorCom::OnReceived);
        connect(m_port.get(), &Transport::LineError, this, &FrmMotorCom::OnLineError);
        if (!m_port->Open()) {
            ClosePort();
            continue;
        }
        QByteArray identification;
        const std::uint8_t result =
            SendPacket(0, DriveMap::kIdentification, 2, identification, false);
        if (result != kSent || identification.isEmpty() ||
            static_cast<std::uint8_t>(identification[0]) != DriveMap::kIdentificationValue) {
            ClosePort();
            continue;
        }
        m_portNumber = static_cast<std::uint8_t>(candidate);
        m_searching = false;
        return m_portNumber;
    }
    m_searching = false;
    return 0;
}

void FrmMotorCom::SendStartByte() {
    m_awaitingReply = false;
    m_awaitingSent = true;
    m_port->SetParity(Transport::Parity::Mark);
    m_port->Write(m_startByte);
}

void FrmMotorCom::OnSent() {
    if (!m_awaitingSent || !m_port)
        return;
    m_awaitingSent = false;
    // The transport lets the start byte leave the line before the switch.
    m_port->SetParity(Transport::Parity::Space);
    m_awaitingReply = true;
    m_timComError.start(m_replyTimeout(m_curDataCount));
    m_port->Write(m_txPacket);
    // A reply may already be waiting in full (an in-process drive is quick).
    OnReceived();
}

void FrmMotorCom::OnReceived() {
    if (!m_awaitingReply || !m_port)
        return;
    const qint64 expected = m_curWriteToMotor ? 1 : m_curDataCount + 2;
    // Too few or too many bytes: not our reply; the time-out deals with it.
    if (m_port->BytesAvailable() != expected)
        return;
    m_rxData = TakeWaitingBytes();
    m_timComError.stop();
    m_awaitingReply = false;
    if (!m_curWriteToMotor) {
        const bool valid = Packet::ReadReplyValid(m_rxData);
        m_rxData.chop(2);
        EndExchange(!valid);
        return;
    }
    EndExchange(false);
}

void FrmMotorCom::OnLineError(int code, bool portLost) {
    if (portLost) {
        // The device is gone: drop it, and search again next time.
        m_portNumber = 0;
        if (m_port) {
            // Closed later: this notification comes from the port itself, and
            // a failing port repeats its error; one is enough.
            disconnect(m_port.get(), nullptr, this, nullptr);
            const QPointer<Transport> lost = m_port.get();
            QTimer::singleShot(0, this, [this, lost] {
                if (lost && m_port.get() == lost && !m_busy)
                    ClosePort();
            });
        }
    } else {
        TakeWaitingBytes();
    }
    // Probing ports may meet other devices' noise: the search stays silent.
    if (!m_searching) {
        m_prompts.Message({.text = QStringLiteral("CommError ") + QString::number(code)});
    }
    if (m_busy) {
        m_timComError.stop();
        EndExchange(true);
    }
}

void FrmMotorCom::OnTimeout() {
    if (!m_busy)
        return;
    // Nothing received counts until the request has gone out again.
    m_awaitingReply = false;
    TakeWaitingBytes();
    if (m_retryCount < kMaxResends) {
        ++m_retryCount;
        m_comFailed = false;
        SendStartByte();
        return;
    }
    if (m_searching) {
        EndExchange(true);
        return;
    }
    const platform::Answer answer =
        m_prompts.Message({.text = QStringLiteral("Communication Failed,Retry?"),
                           .buttons = platform::Buttons::RetryCancel,
                           .defaultAnswer = platform::Answer::Retry});
    // The exchange may have ended while the question was open (a line
    // error, the port lost): there is nothing left to retry.
    if (!m_busy)
        return;
    if (answer == platform::Answer::Retry && m_port) {
        TakeWaitingBytes();
        m_retryCount = 0;
        m_comFailed = false;
        SendStartByte();
        return;
    }
    m_portNumber = 0;
    EndExchange(true);
}

void FrmMotorCom::EndExchange(bool failed) {
    m_awaitingSent = false;
    m_awaitingReply = false;
    m_comFailed = failed;
    m_busy = false;
    if (m_wait)
        m_wait->quit();
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
