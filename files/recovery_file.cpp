#include "files/recovery_file.h"

#include "files/file_name.h"
#include "files/regular_file.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QRandomGenerator>
#include <QStringDecoder>

#include <algorithm>
#include <map>

namespace kt::files {

namespace {

// A header line with the format's version, a few "key value" lines, then the
// text itself, whose length and hash make a cut or altered copy show.
const QByteArray kMagic = "KtMotor recovery ";
constexpr int kVersion = 1;
// Far beyond any program, small enough to read at once.
constexpr qint64 kMaxBytes = 64 * 1024 * 1024;

QByteArray Hash(const QByteArray& bytes) {
    return QCryptographicHash::hash(bytes, QCryptographicHash::Sha256).toHex();
}

RecoveryFile::Loaded Failed(RecoveryFile::Status status, const QString& why) {
    RecoveryFile::Loaded loaded;
    loaded.status = status;
    loaded.error = why;
    return loaded;
}

RecoveryFile::Loaded Damaged(const QString& why) {
    return Failed(RecoveryFile::Status::Damaged, why);
}

// Links are never ours, whatever they name: not offered, not followed.
constexpr QDir::Filters kOwnFiles = QDir::Files | QDir::Hidden | QDir::System | QDir::NoSymLinks;

// How long an earlier version's copy on its way, which names no process,
// stays untouched before it counts as left behind: writing one takes a
// moment.
constexpr qint64 kUnownedSeconds = 60;

bool Nothing(const QString& path) {
    const QFileInfo info(path);
    return !info.exists() && !info.isSymLink();
}

} // namespace

QByteArray RecoveryFile::Encode(const Content& content) {
    const QByteArray text = content.text.toUtf8();
    // The path is percent-encoded: a line break in a file name cannot end
    // its line early.
    return kMagic + QByteArray::number(kVersion) + '\n' + "saved " +
           content.saved.toUTC().toString(Qt::ISODateWithMs).toLatin1() + '\n' + "untitled " +
           (content.untitled ? '1' : '0') + '\n' + "program " +
           FileName::ToBytes(content.programFile).toPercentEncoding() + '\n' + "text " +
           QByteArray::number(text.size()) + ' ' + Hash(text) + '\n' + text;
}

RecoveryFile::Loaded RecoveryFile::Decode(const QByteArray& bytes) {
    qsizetype at = 0;
    // The next line without its break; false when there is none.
    const auto line = [&bytes, &at](QByteArray& out) {
        const qsizetype end = bytes.indexOf('\n', at);
        if (end < 0)
            return false;
        out = bytes.mid(at, end - at);
        at = end + 1;
        return true;
    };
    QByteArray header;
    if (!line(header) || !header.startsWith(kMagic))
        return Damaged(QStringLiteral("Not a recovery file"));
    bool number = false;
    const int version = header.mid(kMagic.size()).toInt(&number);
    if (number && version > kVersion)
        return Failed(Status::Newer,
                      QStringLiteral("Written by a newer version (format %1)").arg(version));
    if (!number || version != kVersion)
        return Damaged(QStringLiteral("Unknown format"));

    QByteArray fields[4];
    const char* const keys[4] = {"saved ", "untitled ", "program ", "text "};
    for (int i = 0; i < 4; ++i) {
        if (!line(fields[i]) || !fields[i].startsWith(keys[i]))
            return Damaged(QStringLiteral("Its header is damaged"));
        fields[i].remove(0, qsizetype(qstrlen(keys[i])));
    }
    Loaded loaded;
    Content& content = loaded.content;
    content.saved = QDateTime::fromString(QString::fromLatin1(fields[0]), Qt::ISODateWithMs);
    const QList<QByteArray> size = fields[3].split(' ');
    bool sized = false;
    const qsizetype length = size.size() == 2 ? size[0].toLongLong(&sized) : 0;
    if (!content.saved.isValid() || (fields[1] != "0" && fields[1] != "1") || !sized)
        return Damaged(QStringLiteral("Its header is damaged"));
    const QByteArray text = bytes.mid(at);
    if (text.size() != length || Hash(text) != size[1])
        return Damaged(QStringLiteral("The text in it is cut short or altered"));
    QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    content.text = utf8(text);
    if (utf8.hasError())
        return Damaged(QStringLiteral("Its text is not valid"));
    // A name as the system knows it, valid text or not.
    content.programFile = FileName::FromBytes(QByteArray::fromPercentEncoding(fields[2]));
    content.untitled = fields[1] == "1";
    loaded.status = Status::Ok;
    return loaded;
}

RecoveryFile::RecoveryFile(const QString& path) : m_path(path), m_lock(path + ".lock") {
    // Only an owner that is gone makes a lock stale, however old it is.
    m_lock.setStaleLockTime(0);
}

bool RecoveryFile::Lock() {
    if (m_lock.isLocked())
        return true;
    QDir().mkpath(QFileInfo(m_path).absolutePath());
    // A link is never a lock of ours, and the lock would read what it names
    // (a named pipe would hang it): the link goes. Checked just before, so a
    // link put there in between still gets through; the folder is the user's.
    const QFileInfo lock(m_lock.fileName());
    if (lock.isSymLink()) {
        if (!QFile::remove(lock.filePath()))
            return false;
    } else if (lock.exists() && !lock.isFile()) {
        return false;
    }
    return m_lock.tryLock(0);
}

std::unique_ptr<RecoveryFile> RecoveryFile::New(const QString& folder) {
    // The process id alone could be that of a crashed program long gone.
    const QString name = QStringLiteral("%1-%2")
                             .arg(QCoreApplication::applicationPid())
                             .arg(QRandomGenerator::global()->generate64(), 0, 36);
    std::unique_ptr<RecoveryFile> file(new RecoveryFile(QDir(folder).filePath(name + kSuffix)));
    file->Lock();
    return file;
}

std::vector<std::unique_ptr<RecoveryFile>> RecoveryFile::LeftBehind(const QString& folder) {
    const QDir dir(folder);
    // By file name, each locked: taken when its owner is gone, while a
    // running program keeps its own.
    std::map<QString, std::unique_ptr<RecoveryFile>> taken;
    const auto take = [&dir, &taken](const QString& name) -> RecoveryFile* {
        if (const auto known = taken.find(name); known != taken.end())
            return known->second.get();
        std::unique_ptr<RecoveryFile> file(new RecoveryFile(dir.filePath(name)));
        if (!file->Lock())
            return nullptr;
        return (taken[name] = std::move(file)).get();
    };
    std::vector<std::unique_ptr<RecoveryFile>> found;
    // A copy under a name of its own, for one that never got its own.
    const auto takeIn = [&dir, &found](const QString& name) {
        std::unique_ptr<RecoveryFile> file = New(dir.path());
        if (file->m_lock.isLocked() && QFile::rename(dir.filePath(name), file->m_path))
            found.push_back(std::move(file));
    };

    // Copies killed on their way to their name. Only the owner of a file's
    // lock writes it, so once the lock is ours nobody finishes them.
    std::map<QString, QStringList> onTheirWay;
    const QDateTime now = QDateTime::currentDateTimeUtc();
    for (const QFileInfo& info : dir.entryInfoList({QStringLiteral("*.tmp")}, kOwnFiles)) {
        const QString name = info.fileName();
        const QString target = RegularFile::PrivateTarget(name);
        if (target.endsWith(kSuffix)) {
            onTheirWay[target] << name;
        } else if (RegularFile::IsTemporary(name)) {
            // An earlier version's, which named no file.
            const qint64 maker = RegularFile::MakerOf(name);
            if (maker > 0 ? !RegularFile::Runs(maker)
                          : info.lastModified().secsTo(now) >= kUnownedSeconds)
                takeIn(name);
        }
    }
    for (const auto& [target, temporaries] : onTheirWay) {
        RecoveryFile* file = take(target);
        if (!file)
            continue;
        file->TakeOver(temporaries, takeIn);
    }

    for (const QString& name : dir.entryList({QStringLiteral("*") + kSuffix}, kOwnFiles))
        take(name);
    for (auto& [name, file] : taken) {
        if (file->Exists())
            found.push_back(std::move(file));
    }

    // Every killed program leaves its lock; one with no copy is of no use.
    const QString lockEnd = kSuffix + QStringLiteral(".lock");
    for (const QString& name : dir.entryList({QStringLiteral("*") + lockEnd}, kOwnFiles)) {
        const QString path = dir.filePath(name);
        if (!Nothing(path.chopped(5)) || taken.count(name.chopped(5)))
            continue;
        QLockFile stale(path);
        stale.setStaleLockTime(0);
        if (stale.tryLock(0))
            stale.unlock(); // which removes it
    }

    std::stable_sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
        return QFileInfo(a->m_path).lastModified() > QFileInfo(b->m_path).lastModified();
    });
    return found;
}

void RecoveryFile::TakeOver(const QStringList& temporaries,
                            const std::function<void(const QString&)>& takeIn) {
    const QDir dir = QFileInfo(m_path).dir();
    // The newest whole copy stays, the one in place counting too.
    QString newest;
    QDateTime newestSaved;
    if (Exists()) {
        const Loaded loaded = Read();
        if (loaded.status == Status::Ok) {
            newest = m_path;
            newestSaved = loaded.content.saved;
        }
    }
    QStringList cut;
    for (const QString& name : temporaries) {
        const QString path = dir.filePath(name);
        const RegularFile::Result read =
            RegularFile::ReadPrivate(QFile::encodeName(path), kMaxBytes);
        const Loaded loaded = read.ok ? Decode(read.data) : Loaded{};
        if (loaded.status != Status::Ok) {
            cut << name;
        } else if (newest.isEmpty() || loaded.content.saved > newestSaved ||
                   // Written after the one in place, within the clock's step.
                   (newest == m_path && loaded.content.saved == newestSaved)) {
            if (newest != m_path && !newest.isEmpty())
                QFile::remove(newest);
            newest = path;
            newestSaved = loaded.content.saved;
        } else {
            QFile::remove(path);
        }
    }
    // A crash between the two leaves the temporary file, taken over next time.
    if (!newest.isEmpty() && newest != m_path && Remove())
        QFile::rename(newest, m_path);
    // What is cut short is dropped beside a whole copy, else set aside as a
    // damaged copy is: offered, found damaged, kept.
    for (const QString& name : cut) {
        if (!newest.isEmpty())
            QFile::remove(dir.filePath(name));
        else if (!Exists() && QFile::rename(dir.filePath(name), m_path))
            continue;
        else
            takeIn(name);
    }
}

bool RecoveryFile::Exists() const {
    const QFileInfo info(m_path);
    return info.isFile() && !info.isSymLink();
}

RecoveryFile::Loaded RecoveryFile::Read() const {
    const RegularFile::Result read = RegularFile::ReadPrivate(QFile::encodeName(m_path), kMaxBytes);
    if (!read.ok)
        return Failed(Status::Unreadable, read.error);
    return Decode(read.data);
}

QString RecoveryFile::Write(const Content& content) {
    // Never written unlocked: another program would take it for a crashed one's.
    if (!Lock())
        return QStringLiteral("Cannot take the lock %1").arg(m_lock.fileName());
    const RegularFile::Result written =
        RegularFile::ReplacePrivate(QFile::encodeName(m_path), Encode(content));
    return written.ok ? QString() : written.error;
}

bool RecoveryFile::Remove() {
    return QFile::remove(m_path) || Nothing(m_path);
}

QString RecoveryFile::SetAside() {
    for (int n = 0; n < 100; ++n) {
        const QString name =
            m_path + kDamagedSuffix + (n == 0 ? QString() : QStringLiteral(".%1").arg(n));
        if (Nothing(name) && QFile::rename(m_path, name))
            return name;
    }
    return {};
}

} // namespace kt::files
