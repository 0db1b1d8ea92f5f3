#include "drive/virtual_drive_transport.h"

#include "drive/virtual_drive.h"

#include <algorithm>

namespace kt::drive {

VirtualDriveTransport::VirtualDriveTransport(VirtualDrive& drive, QObject* parent)
    : link::Transport(parent), m_drive(drive) {
    connect(&m_drive, &VirtualDrive::Reply, this, &VirtualDriveTransport::OnReply);
    connect(&m_drive, &VirtualDrive::LineError, this, &VirtualDriveTransport::OnDriveLineError);
    m_pacer.setSingleShot(true);
    m_pacer.setTimerType(Qt::PreciseTimer);
    connect(&m_pacer, &QTimer::timeout, this, &VirtualDriveTransport::OnPacer);
}

void VirtualDriveTransport::SetByteTime(std::chrono::nanoseconds perByte) {
    m_byteNs = perByte.count();
    m_clock.start();
}

void VirtualDriveTransport::Deliver(qint64& lineFreeAt, qsizetype count,
                                    std::function<void()> deliver) {
    if (m_byteNs <= 0) {
        QTimer::singleShot(0, this, std::move(deliver));
        return;
    }
    const qint64 now = m_clock.nsecsElapsed();
    lineFreeAt = std::max(lineFreeAt, now) + count * m_byteNs;
    m_due.emplace(lineFreeAt, std::move(deliver));
    OnPacer();
}

// Milliseconds are too coarse for byte times: the timer wakes us a little
// early and the last stretch is waited for from the event loop.
void VirtualDriveTransport::OnPacer() {
    while (!m_due.empty() && m_due.begin()->first <= m_clock.nsecsElapsed()) {
        const std::function<void()> deliver = std::move(m_due.begin()->second);
        m_due.erase(m_due.begin());
        deliver();
    }
    if (m_due.empty())
        return;
    const qint64 waitNs = m_due.begin()->first - m_clock.nsecsElapsed();
    m_pacer.start(waitNs > 2'000'000 ? static_cast<int>(waitNs / 1'000'000) - 1 : 0);
}

bool VirtualDriveTransport::Open() {
    if (m_inUse)
        return false;
    if (!m_open) {
        m_open = true;
        m_parity = Parity::Space;
    }
    return true;
}

void VirtualDriveTransport::Close() {
    m_open = false;
    m_input.clear();
    m_writesPending = 0;
    ++m_session;
}

// The bytes reach the drive when they "leave the line", from the event loop,
// so the link sees Sent() only after Write() has returned, as with a port.
void VirtualDriveTransport::Write(const QByteArray& bytes) {
    if (!m_open)
        return;
    const bool mark = m_parity == Parity::Mark;
    ++m_writesPending;
    Deliver(m_outFreeAt, bytes.size(), [this, bytes, mark, session = m_session] {
        if (session != m_session)
            return;
        m_drive.Receive(bytes, mark);
        if (--m_writesPending == 0)
            emit Sent();
    });
}

QByteArray VirtualDriveTransport::ReadAll() {
    QByteArray bytes;
    bytes.swap(m_input);
    return bytes;
}

void VirtualDriveTransport::OnReply(const QByteArray& bytes) {
    if (!m_open)
        return;
    Deliver(m_inFreeAt, bytes.size(), [this, bytes, session = m_session] {
        if (session != m_session)
            return;
        m_input.append(bytes);
        emit Received();
    });
}

void VirtualDriveTransport::OnDriveLineError(int code) {
    if (!m_open)
        return;
    QTimer::singleShot(0, this, [this, code, session = m_session] {
        if (session == m_session)
            emit LineError(code, false);
    });
}

} // namespace kt::drive
