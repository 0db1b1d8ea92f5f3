// Serves a VirtualDrive on a new pseudo-terminal, so that a program that
// opens serial devices can talk to the drive as to a real one. A
// pseudo-terminal cannot carry the parity bit, so the drive finds requests by
// their structure. Line errors cannot be shown on it: the client sees a
// missing reply instead. POSIX only; elsewhere Start() says it is not
// supported. Not a serial port emulator beyond this one drive.
#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QSocketNotifier;

namespace kt::drive {

class VirtualDrive;

class PtyDriveServer : public QObject {
    Q_OBJECT

public:
    // linkPath, when given, becomes a symbolic link to the device while the
    // server runs; an existing link there is replaced. The drive must
    // outlive the server.
    explicit PtyDriveServer(VirtualDrive& drive, QString linkPath = {}, QObject* parent = nullptr);
    ~PtyDriveServer() override;

    // Creates the pseudo-terminal and starts serving; on failure says why.
    bool Start(QString* error);
    bool IsRunning() const { return m_master >= 0; }
    // The device a client opens, e.g. /dev/pts/4.
    QString DevicePath() const { return m_devicePath; }
    // The symbolic link made to it; empty when none was made.
    QString LinkPath() const { return m_linkMade ? m_linkPath : QString(); }

private:
    bool Fail(QString* error, const QString& why);
    void OnReadable();
    void OnReply(const QByteArray& bytes);
    void Stop();

    VirtualDrive& m_drive;
    QString m_linkPath;
    QString m_devicePath;
    int m_master = -1;
    // Held open so that the master never hangs up while no client is there.
    int m_slave = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
    bool m_linkMade = false;
};

} // namespace kt::drive
