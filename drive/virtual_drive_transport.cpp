#include "drive/virtual_drive_transport.h"

#include "drive/virtual_drive.h"

#include <QTimer>

namespace kt::drive {

VirtualDriveTransport::VirtualDriveTransport(VirtualDrive& drive, QObject* parent)
    : link::Transport(parent), m_drive(drive) {
    connect(&m_drive, &VirtualDrive::Reply, this, &VirtualDriveTransport::OnReply);
    connect(&m_drive, &VirtualDrive::LineError, this, &VirtualDriveTransport::OnDriveLineError);
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
    QTimer::singleShot(0, this, [this, bytes, mark, session = m_session] {
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
    QTimer::singleShot(0, this, [this, bytes, session = m_session] {
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
