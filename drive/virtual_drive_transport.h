// The in-process line to a VirtualDrive: what the link sees as a port when
// the drive lives in the same program. Written bytes reach the drive with
// their parity bit, and the drive's replies and line errors come back as the
// notifications of a serial port would, from the event loop. Not a port:
// nothing here touches the operating system.
#pragma once

#include "link/transport.h"

#include <QByteArray>

namespace kt::drive {

class VirtualDrive;

class VirtualDriveTransport : public link::Transport {
    Q_OBJECT

public:
    // The drive must outlive the transport.
    explicit VirtualDriveTransport(VirtualDrive& drive, QObject* parent = nullptr);

    bool Open() override;
    void Close() override;
    bool IsOpen() const override { return m_open; }
    void SetParity(Parity parity) override { m_parity = parity; }
    void Write(const QByteArray& bytes) override;
    qint64 BytesAvailable() const override { return m_input.size(); }
    QByteArray ReadAll() override;

    // While in use, Open() fails as for a port another program holds.
    void SetInUse(bool inUse) { m_inUse = inUse; }
    VirtualDrive& Drive() const { return m_drive; }

private:
    void OnReply(const QByteArray& bytes);
    void OnDriveLineError(int code);

    VirtualDrive& m_drive;
    Parity m_parity = Parity::Space;
    QByteArray m_input;
    bool m_open = false;
    bool m_inUse = false;
    int m_writesPending = 0;
    // Bumped on Close so that nothing queued before reaches a later session.
    int m_session = 0;
};

} // namespace kt::drive
