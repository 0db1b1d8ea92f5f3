// The in-process line to a VirtualDrive: what the link sees as a port when
// the drive lives in the same program. Written bytes reach the drive with
// their parity bit, and the drive's replies and line errors come back as the
// notifications of a serial port would, from the event loop. Not a port:
// nothing here touches the operating system.
#pragma once

#include "link/transport.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QTimer>

#include <chrono>
#include <functional>
#include <map>

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

    // A byte's time on the drive's line: 11 bits (start, 8 data, parity,
    // stop) at 19200 baud.
    static constexpr std::chrono::nanoseconds kLineByteTime{11'000'000'000LL / 19200};

    // Each byte takes this long on the line, both ways, as on a real line
    // (kLineByteTime); zero, the default, delivers at once.
    void SetByteTime(std::chrono::nanoseconds perByte);

    // While in use, Open() fails as for a port another program holds.
    void SetInUse(bool inUse) { m_inUse = inUse; }
    VirtualDrive& Drive() const { return m_drive; }

private:
    void OnReply(const QByteArray& bytes);
    void OnDriveLineError(int code);
    // Runs deliver from the event loop: at once, or when count bytes have
    // crossed the line after those before them in the same direction.
    void Deliver(qint64& lineFreeAt, qsizetype count, std::function<void()> deliver);
    void OnPacer();

    VirtualDrive& m_drive;
    Parity m_parity = Parity::Space;
    QByteArray m_input;
    bool m_open = false;
    bool m_inUse = false;
    int m_writesPending = 0;
    // Bumped on Close so that nothing queued before reaches a later session.
    int m_session = 0;

    qint64 m_byteNs = 0;
    QElapsedTimer m_clock;
    qint64 m_outFreeAt = 0; // when the line towards the drive is free
    qint64 m_inFreeAt = 0;  // and the line back
    std::multimap<qint64, std::function<void()>> m_due;
    QTimer m_pacer;
};

} // namespace kt::drive
