#include "mainwindow/recovery_file.h"

#include "mainwindow/regular_file.h"

#include <QCoreApplication>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QList>
#include <QRandomGenerator>
#include <QStringDecoder>

namespace kt::mainwindow {

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

} // namespace

QByteArray RecoveryFile::Encode(const Content& content) {
    const QByteArray text = content.text.toUtf8();
    // The path is percent-encoded: a line break in a file name cannot end
    // its line early.
    return kMagic + QByteArray::number(kVersion) + '\n' + "saved " +
           content.saved.toUTC().toString(Qt::ISODateWithMs).toLatin1() + '\n' + "untitled " +
           (content.untitled ? '1' : '0') + '\n' + "program " +
           content.programFile.toUtf8().toPercentEncoding() + '\n' + "text " +
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
    const QString program = utf8(QByteArray::fromPercentEncoding(fields[2]));
    if (utf8.hasError())
        return Damaged(QStringLiteral("Its text is not valid"));
    content.programFile = program;
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
    std::vector<std::unique_ptr<RecoveryFile>> found;
    const QFileInfoList files = QDir(folder).entryInfoList(
        {QStringLiteral("*") + kSuffix}, QDir::Files | QDir::Hidden | QDir::System, QDir::Time);
    for (const QFileInfo& info : files) {
        std::unique_ptr<RecoveryFile> file(new RecoveryFile(info.absoluteFilePath()));
        // Taken when the owner is gone; a running program keeps its own.
        if (file->m_lock.tryLock(0))
            found.push_back(std::move(file));
    }
    return found;
}

bool RecoveryFile::Exists() const {
    return QFileInfo::exists(m_path);
}

RecoveryFile::Loaded RecoveryFile::Read() const {
    const RegularFile::Result read = RegularFile::Read(QFile::encodeName(m_path), kMaxBytes);
    if (!read.ok)
        return Failed(Status::Unreadable, read.error);
    return Decode(read.data);
}

QString RecoveryFile::Write(const Content& content) {
    // Never written unlocked: another program would take it for a crashed one's.
    if (!Lock())
        return QStringLiteral("Cannot take the lock %1").arg(m_lock.fileName());
    const RegularFile::Result written =
        RegularFile::Replace(QFile::encodeName(m_path), Encode(content));
    return written.ok ? QString() : written.error;
}

bool RecoveryFile::Remove() {
    return QFile::remove(m_path) || !QFileInfo::exists(m_path);
}

QString RecoveryFile::SetAside() {
    for (int n = 0; n < 100; ++n) {
        const QString name =
            m_path + kDamagedSuffix + (n == 0 ? QString() : QStringLiteral(".%1").arg(n));
        if (!QFileInfo::exists(name) && QFile::rename(m_path, name))
            return name;
    }
    return {};
}

} // namespace kt::mainwindow
