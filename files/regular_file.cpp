#include "files/regular_file.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QSaveFile>

#include <atomic>
#include <system_error>

#if defined(Q_OS_UNIX)
#include <cerrno>
#include <fcntl.h>
#include <limits>
#include <signal.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <unistd.h>
#endif

namespace kt::files {

namespace {

using Result = RegularFile::Result;

std::atomic<RegularFile::BeforeRename> g_beforeRename{nullptr};

// Temporary files: ".ktmotor-PID-RANDOM.tmp" beside a program file, and
// ".NAME.ktmotor-PID-RANDOM.tmp" beside a private file NAME. The first
// versions wrote ".ktmotor-RANDOM.tmp", with no process.
const QLatin1String kTemporaryStart(".ktmotor-");
const QLatin1String kTemporaryEnd(".tmp");

const QRegularExpression& SaveTemporary() {
    static const QRegularExpression pattern(
        QStringLiteral("^\\.ktmotor-(?:([1-9][0-9]{0,9})-)?[0-9a-z]+\\.tmp$"));
    return pattern;
}

Result Failed(const QString& reason) {
    Result result;
    result.error = reason;
    return result;
}

Result ALink() {
    return Failed(QStringLiteral("A link, which is not followed here"));
}

QString TooLarge(qint64 maxBytes) {
    constexpr qint64 mib = 1024 * 1024;
    return maxBytes % mib == 0 ? QStringLiteral("Larger than %1 MiB").arg(maxBytes / mib)
                               : QStringLiteral("Larger than %1 bytes").arg(maxBytes);
}

#if defined(Q_OS_UNIX)

// The file system's own calls: Qt cannot name a file whose name is not valid
// text, opens a named pipe in a way that waits for a writer, and does not
// report every failure of a write that only shows when the data is flushed.

Result Failed(int error) {
    return Failed(QString::fromStdString(std::generic_category().message(error)));
}

Result NotRegular(mode_t mode) {
    const char* kind = S_ISDIR(mode)                    ? "a folder"
                       : S_ISFIFO(mode)                 ? "a named pipe"
                       : S_ISCHR(mode) || S_ISBLK(mode) ? "a device"
                       : S_ISSOCK(mode)                 ? "a socket"
                                                        : "of an unknown kind";
    return Failed(QStringLiteral("Not a regular file but %1").arg(QLatin1String(kind)));
}

// Closes on every way out; Close() reports what a plain close would lose.
class Descriptor {
public:
    explicit Descriptor(int fd) : m_fd(fd) {}
    ~Descriptor() {
        if (m_fd >= 0)
            ::close(m_fd);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return m_fd; }
    bool Close() {
        const int fd = m_fd;
        m_fd = -1;
        return ::close(fd) == 0;
    }

private:
    int m_fd;
};

bool Blocking(int fd) {
    const int flags = ::fcntl(fd, F_GETFL);
    return flags >= 0 && ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) == 0;
}

bool WriteAll(int fd, const QByteArray& bytes) {
    qint64 done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.constData() + done, size_t(bytes.size() - done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            if (n == 0)
                errno = ENOSPC;
            return false;
        }
        done += n;
    }
    return true;
}

QByteArray FolderOf(const QByteArray& path) {
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? QByteArray(".") : slash == 0 ? QByteArray("/") : path.left(slash);
}

// The file a chain of links ends at, which may not exist yet; the name itself
// when it is no link. Empty with errno set when the chain does not end.
QByteArray LinkTarget(QByteArray path) {
    for (int hops = 0; hops < 40; ++hops) {
        struct stat info {};
        if (::lstat(path.constData(), &info) != 0 || !S_ISLNK(info.st_mode))
            return path;
        QByteArray link(qsizetype(info.st_size > 0 ? info.st_size : 4096) + 1, '\0');
        const ssize_t size = ::readlink(path.constData(), link.data(), size_t(link.size()));
        if (size < 0 || size >= link.size()) {
            if (size >= 0)
                errno = ENAMETOOLONG;
            return {};
        }
        link.truncate(size);
        path = link.startsWith('/') ? link : FolderOf(path) + '/' + link;
    }
    errno = ELOOP;
    return {};
}

// follow: whether a link at name leads to the file read.
Result ReadFile(const QByteArray& name, qint64 maxBytes, bool follow) {
    struct stat named {};
    if ((follow ? ::stat(name.constData(), &named) : ::lstat(name.constData(), &named)) != 0)
        return Failed(errno);
    if (S_ISLNK(named.st_mode))
        return ALink();
    if (!S_ISREG(named.st_mode))
        return NotRegular(named.st_mode);
    // Should the name have become a pipe since, the open must not wait; nor
    // may a link put there since lead elsewhere.
    int flags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;
#if defined(O_NOFOLLOW)
    if (!follow)
        flags |= O_NOFOLLOW;
#endif
    Descriptor file(::open(name.constData(), flags));
    if (file.Get() < 0)
        return Failed(errno);
    struct stat opened {};
    if (::fstat(file.Get(), &opened) != 0)
        return Failed(errno);
    if (!S_ISREG(opened.st_mode))
        return NotRegular(opened.st_mode);
    if (opened.st_dev != named.st_dev || opened.st_ino != named.st_ino)
        return Failed(QStringLiteral("The file was replaced while it was opened"));
    if (opened.st_size > maxBytes)
        return Failed(TooLarge(maxBytes));
    if (!Blocking(file.Get()))
        return Failed(errno);

    Result result;
    result.data.reserve(qsizetype(opened.st_size));
    char chunk[64 * 1024];
    for (;;) {
        const ssize_t n = ::read(file.Get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Failed(errno);
        if (n == 0)
            break;
        // The file may grow while it is read.
        if (result.data.size() + n > maxBytes)
            return Failed(TooLarge(maxBytes));
        result.data.append(chunk, n);
    }
    result.ok = true;
    return result;
}

// Writes into a character device or a named pipe as it is. A pipe nobody
// reads is refused at once rather than waited for.
Result WriteInPlace(const QByteArray& name, const QByteArray& bytes) {
    Descriptor file(::open(name.constData(), O_WRONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (file.Get() < 0) {
        if (errno == ENXIO)
            return Failed(QStringLiteral("Nothing reads from the named pipe"));
        return Failed(errno);
    }
    struct stat opened {};
    if (::fstat(file.Get(), &opened) != 0)
        return Failed(errno);
    if (!S_ISCHR(opened.st_mode) && !S_ISFIFO(opened.st_mode))
        return Failed(QStringLiteral("The file was replaced while it was opened"));
    if (!Blocking(file.Get()) || !WriteAll(file.Get(), bytes) || !file.Close())
        return Failed(errno);
    Result result;
    result.ok = true;
    return result;
}

QByteArray TemporaryName(const QByteArray& start) {
    return start + QByteArray::number(QCoreApplication::applicationPid()) + '-' +
           QByteArray::number(QRandomGenerator::global()->generate(), 36) + ".tmp";
}

// A new file beside path, synced, then renamed over it. old is the file
// replaced, whose permissions and owner the new one keeps; a new file gets
// mode (less the umask). The temporary file's name begins with start.
Result ReplaceRegular(const QByteArray& path, const QByteArray& bytes, const struct stat* old,
                      const QByteArray& start, mode_t mode) {
    const QByteArray folder = FolderOf(path);
    QByteArray temporary;
    int fd = -1;
    for (int attempt = 0; fd < 0 && attempt < 100; ++attempt) {
        temporary = folder + '/' + TemporaryName(start);
        fd =
            ::open(temporary.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOCTTY | O_CLOEXEC, mode);
        if (fd < 0 && errno != EEXIST)
            return Failed(errno);
    }
    if (fd < 0)
        return Failed(EEXIST);
    Descriptor file(fd);
    const auto discard = [&temporary](int error) {
        ::unlink(temporary.constData());
        return Failed(error);
    };
    if (old) {
        if (::fchmod(fd, old->st_mode & 07777) != 0)
            return discard(errno);
        if ((old->st_uid != ::geteuid() || old->st_gid != ::getegid()) &&
            ::fchown(fd, old->st_uid, old->st_gid) != 0) {
            // Only a privileged user can keep another owner; the file is ours then.
        }
    }
    // A full disk shows in write, or only in fsync or close where the file
    // system allocates late: each is checked before the old file is touched.
    if (!WriteAll(fd, bytes) || ::fsync(fd) != 0 || !file.Close())
        return discard(errno);
    if (const RegularFile::BeforeRename hook = g_beforeRename.load())
        hook(temporary);
    if (::rename(temporary.constData(), path.constData()) != 0)
        return discard(errno);
    // The new name must reach the disk too; a folder that cannot be synced
    // still holds the file.
    Descriptor dir(::open(folder.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (dir.Get() >= 0)
        ::fsync(dir.Get());
    Result result;
    result.ok = true;
    return result;
}

Result ReplaceFile(const QByteArray& name, const QByteArray& bytes, RegularFile::Special special) {
    struct stat named {};
    if (::stat(name.constData(), &named) != 0) {
        if (errno != ENOENT)
            return Failed(errno);
        // A new file, or the missing target of a link.
        const QByteArray target = LinkTarget(name);
        if (target.isEmpty())
            return Failed(errno);
        return ReplaceRegular(target, bytes, nullptr, kTemporaryStart.data(), 0666);
    }
    if (S_ISREG(named.st_mode)) {
        const QByteArray target = LinkTarget(name);
        if (target.isEmpty())
            return Failed(errno);
        struct stat found {};
        if (::lstat(target.constData(), &found) != 0 || found.st_dev != named.st_dev ||
            found.st_ino != named.st_ino)
            return Failed(QStringLiteral("Cannot tell which file the link names"));
        return ReplaceRegular(target, bytes, &named, kTemporaryStart.data(), 0666);
    }
    if (special == RegularFile::Special::WriteInPlace &&
        (S_ISCHR(named.st_mode) || S_ISFIFO(named.st_mode)))
        return WriteInPlace(name, bytes);
    return NotRegular(named.st_mode);
}

// The name itself is replaced, whatever link stands there; only a regular
// file or a link may.
Result ReplacePrivateFile(const QByteArray& name, const QByteArray& bytes) {
    struct stat named {};
    if (::lstat(name.constData(), &named) == 0) {
        if (!S_ISREG(named.st_mode) && !S_ISLNK(named.st_mode))
            return NotRegular(named.st_mode);
    } else if (errno != ENOENT) {
        return Failed(errno);
    }
    const qsizetype slash = name.lastIndexOf('/');
    return ReplaceRegular(name, bytes, nullptr, '.' + name.mid(slash + 1) + kTemporaryStart.data(),
                          0600);
}

// The command name and state Linux keeps of a process ("1234 (ktmotor) S
// ..."); empty when it cannot be read.
#if defined(Q_OS_LINUX)
QByteArray ProcessStat(qint64 pid) {
    const QByteArray path = "/proc/" + QByteArray::number(pid) + "/stat";
    Descriptor file(::open(path.constData(), O_RDONLY | O_CLOEXEC));
    if (file.Get() < 0)
        return {};
    char buffer[256];
    ssize_t n = -1;
    do
        n = ::read(file.Get(), buffer, sizeof buffer);
    while (n < 0 && errno == EINTR);
    const QByteArray stat = n > 0 ? QByteArray(buffer, n) : QByteArray();
    const qsizetype open = stat.indexOf('(');
    const qsizetype close = stat.lastIndexOf(')');
    if (open < 0 || close < open || close + 2 >= stat.size())
        return {};
    return stat.mid(open + 1, close - open - 1) + ' ' + stat[close + 2];
}
#endif

bool ProcessRuns(qint64 pid) {
    if (pid <= 0 || pid > std::numeric_limits<pid_t>::max())
        return false;
    if (pid == ::getpid())
        return true;
    if (::kill(pid_t(pid), 0) != 0 && errno == ESRCH)
        return false;
#if defined(Q_OS_LINUX)
    // An id is soon given again: whatever runs under it now must be ours.
    const QByteArray stat = ProcessStat(pid);
    if (stat.isEmpty())
        return true; // hidden from us: it may be ours
    const QByteArray name = stat.chopped(2);
    const char state = stat.back();
    if (state == 'Z' || state == 'X')
        return false; // ended, only not yet reaped
    const QByteArray own = ProcessStat(::getpid()).chopped(2);
    return name == "ktmotor" || name == "ktmotor-cli" || (!own.isEmpty() && name == own);
#else
    return true;
#endif
}

#else

Result ReadFile(const QByteArray& name, qint64 maxBytes, bool follow) {
    const QString path = QFile::decodeName(name);
    const QFileInfo info(path);
    if (!follow && (info.isSymLink() || info.isJunction()))
        return ALink();
    if (info.exists() && !info.isFile())
        return Failed(QStringLiteral("Not a regular file"));
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Failed(file.errorString());
    Result result;
    result.data = file.read(maxBytes + 1);
    if (file.error() != QFileDevice::NoError)
        return Failed(file.errorString());
    if (result.data.size() > maxBytes)
        return Failed(TooLarge(maxBytes));
    result.ok = true;
    return result;
}

Result ReplaceFile(const QByteArray& name, const QByteArray& bytes, RegularFile::Special) {
    const QString path = QFile::decodeName(name);
    const QFileInfo info(path);
    if (info.exists() && !info.isFile())
        return Failed(QStringLiteral("Not a regular file"));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return Failed(file.errorString());
    // commit() would rename a short file when the failure shows at flush.
    if (file.write(bytes) != bytes.size() || !file.flush() ||
        file.error() != QFileDevice::NoError || !file.commit())
        return Failed(file.errorString());
    Result result;
    result.ok = true;
    return result;
}

// Without the system's rename over a link, the link goes first.
Result ReplacePrivateFile(const QByteArray& name, const QByteArray& bytes) {
    const QString path = QFile::decodeName(name);
    const QFileInfo info(path);
    if ((info.isSymLink() || info.isJunction()) && !QFile::remove(path))
        return Failed(QStringLiteral("Cannot remove the link in its place"));
    return ReplaceFile(name, bytes, RegularFile::Special::Refuse);
}

// Nothing here tells whether another process runs: each counts as running,
// so nothing of a running one is ever taken.
bool ProcessRuns(qint64 pid) {
    return pid > 0;
}

#endif

} // namespace

RegularFile::Result RegularFile::Read(const QByteArray& name, qint64 maxBytes) {
    return ReadFile(name, maxBytes, true);
}

RegularFile::Result RegularFile::ReadPrivate(const QByteArray& name, qint64 maxBytes) {
    return ReadFile(name, maxBytes, false);
}

RegularFile::Result RegularFile::Replace(const QByteArray& name, const QByteArray& bytes,
                                         Special special) {
    return ReplaceFile(name, bytes, special);
}

RegularFile::Result RegularFile::ReplacePrivate(const QByteArray& name, const QByteArray& bytes) {
    return ReplacePrivateFile(name, bytes);
}

QString RegularFile::PrivateTarget(const QString& fileName) {
    static const QRegularExpression pattern(
        QStringLiteral("^\\.(.+)\\.ktmotor-[1-9][0-9]{0,9}-[0-9a-z]+\\.tmp$"));
    const QRegularExpressionMatch match = pattern.match(fileName);
    return match.hasMatch() ? match.captured(1) : QString();
}

bool RegularFile::IsTemporary(const QString& fileName) {
    return SaveTemporary().match(fileName).hasMatch();
}

qint64 RegularFile::MakerOf(const QString& fileName) {
    bool number = false;
    const qint64 pid = SaveTemporary().match(fileName).captured(1).toLongLong(&number);
    return number ? pid : 0;
}

bool RegularFile::Runs(qint64 pid) {
    return pid == QCoreApplication::applicationPid() || ProcessRuns(pid);
}

QStringList RegularFile::RemoveLeftovers(const QString& folder) {
    QStringList removed;
    const QDir dir(folder);
    // A link or folder by that name was never made here.
    const QStringList names =
        dir.entryList({QString(kTemporaryStart) + u'*' + kTemporaryEnd},
                      QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks);
    for (const QString& name : names) {
        const qint64 maker = MakerOf(name);
        const QFileInfo info(dir.filePath(name));
        if (maker > 0 && !Runs(maker) && info.isFile() && !info.isSymLink() &&
            QFile::remove(info.filePath()))
            removed << name;
    }
    return removed;
}

void RegularFile::SetBeforeRename(BeforeRename hook) {
    g_beforeRename = hook;
}

} // namespace kt::files
