#include "drive/pty_drive_server.h"

#include "drive/virtual_drive.h"

#include <QFile>
#include <QFileInfo>
#include <QSocketNotifier>
#include <QTimer>

#include <utility>

#ifdef Q_OS_UNIX
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>
#endif

namespace kt::drive {

namespace {
// Pause before listening again after the master reported an error.
constexpr int kErrorPauseMs = 100;
} // namespace

PtyDriveServer::PtyDriveServer(VirtualDrive& drive, QString linkPath, QObject* parent)
    : QObject(parent), m_drive(drive), m_linkPath(std::move(linkPath)) {}

PtyDriveServer::~PtyDriveServer() {
    Stop();
}

bool PtyDriveServer::Fail(QString* error, const QString& why) {
    Stop();
    if (error)
        *error = why;
    return false;
}

#ifdef Q_OS_UNIX

namespace {
QString ErrnoText(const char* what) {
    return QStringLiteral("%1: %2").arg(QString::fromLatin1(what),
                                        QString::fromLocal8Bit(std::strerror(errno)));
}
} // namespace

bool PtyDriveServer::Start(QString* error) {
    if (IsRunning())
        return true;

    m_master = ::posix_openpt(O_RDWR | O_NOCTTY);
    if (m_master < 0)
        return Fail(error, ErrnoText("posix_openpt"));
    if (::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0)
        return Fail(error, ErrnoText("grantpt/unlockpt"));
    const char* slaveName = ::ptsname(m_master);
    if (!slaveName)
        return Fail(error, ErrnoText("ptsname"));
    m_devicePath = QString::fromLocal8Bit(slaveName);
    ::fcntl(m_master, F_SETFD, FD_CLOEXEC);
    ::fcntl(m_master, F_SETFL, ::fcntl(m_master, F_GETFL) | O_NONBLOCK);

    m_slave = ::open(slaveName, O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_slave < 0)
        return Fail(error, ErrnoText("open slave"));
    termios settings{};
    if (::tcgetattr(m_slave, &settings) != 0)
        return Fail(error, ErrnoText("tcgetattr"));
    ::cfmakeraw(&settings);
    ::cfsetispeed(&settings, B19200);
    ::cfsetospeed(&settings, B19200);
    if (::tcsetattr(m_slave, TCSANOW, &settings) != 0)
        return Fail(error, ErrnoText("tcsetattr"));

    if (!m_linkPath.isEmpty()) {
        const QFileInfo existing(m_linkPath);
        if (existing.isSymLink())
            QFile::remove(m_linkPath);
        else if (existing.exists())
            return Fail(error, QStringLiteral("%1 exists and is not a link").arg(m_linkPath));
        if (!QFile::link(m_devicePath, m_linkPath))
            return Fail(error, QStringLiteral("cannot create the link %1").arg(m_linkPath));
        m_linkMade = true;
    }

    m_notifier = std::make_unique<QSocketNotifier>(m_master, QSocketNotifier::Read);
    connect(m_notifier.get(), &QSocketNotifier::activated, this, &PtyDriveServer::OnReadable);
    connect(&m_drive, &VirtualDrive::Reply, this, &PtyDriveServer::OnReply);
    return true;
}

void PtyDriveServer::OnReadable() {
    char buffer[512];
    for (;;) {
        const ssize_t count = ::read(m_master, buffer, sizeof buffer);
        if (count > 0) {
            m_drive.ReceiveUnframed(QByteArray(buffer, static_cast<qsizetype>(count)));
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count == 0 || errno == EAGAIN || errno == EWOULDBLOCK)
            return;
        // EIO and the like: the other side is gone for now. Listen again a
        // little later rather than spin on a notifier that keeps firing.
        m_notifier->setEnabled(false);
        QTimer::singleShot(kErrorPauseMs, this, [this] {
            if (m_notifier)
                m_notifier->setEnabled(true);
        });
        return;
    }
}

// Replies that do not fit (nobody reads the device) are dropped, as on a
// line with no one listening.
void PtyDriveServer::OnReply(const QByteArray& bytes) {
    if (m_master < 0)
        return;
    qsizetype done = 0;
    while (done < bytes.size()) {
        const ssize_t count =
            ::write(m_master, bytes.constData() + done, static_cast<size_t>(bytes.size() - done));
        if (count > 0)
            done += count;
        else if (!(count < 0 && errno == EINTR))
            return;
    }
}

void PtyDriveServer::Stop() {
    disconnect(&m_drive, nullptr, this, nullptr);
    m_notifier.reset();
    if (m_linkMade && QFileInfo(m_linkPath).symLinkTarget() == m_devicePath)
        QFile::remove(m_linkPath);
    m_linkMade = false;
    if (m_slave >= 0)
        ::close(m_slave);
    if (m_master >= 0)
        ::close(m_master);
    m_slave = -1;
    m_master = -1;
    m_devicePath.clear();
}

#else

bool PtyDriveServer::Start(QString* error) {
    return Fail(error, QStringLiteral("pseudo-terminals are not supported on this system"));
}

void PtyDriveServer::OnReadable() {}

void PtyDriveServer::OnReply(const QByteArray&) {}

void PtyDriveServer::Stop() {}

#endif

} // namespace kt::drive
