#include "files/file_name.h"

#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#ifdef Q_OS_UNIX
#include <dirent.h>
#include <sys/stat.h>
#endif

namespace kt::files {

namespace {

constexpr char16_t kEscapeBase = 0xDC00; // + the byte, for bytes 0x80 to 0xFF

bool IsEscape(QChar c) {
    return c.unicode() >= kEscapeBase + 0x80 && c.unicode() <= kEscapeBase + 0xFF;
}

// The length of the valid UTF-8 sequence at data[i], or 0.
qsizetype ValidSequence(const QByteArray& data, qsizetype i) {
    const auto byte = [&](qsizetype k) { return static_cast<unsigned char>(data[k]); };
    const unsigned char lead = byte(i);
    qsizetype length = 0;
    unsigned min = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        min = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        min = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        min = 0x10000;
    } else {
        return 0;
    }
    if (i + length > data.size())
        return 0;
    unsigned code = lead & (0x7F >> length);
    for (qsizetype k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return 0;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    // Overlong forms, surrogates and code points past U+10FFFF do not decode.
    if (code < min || (code >= 0xD800 && code <= 0xDFFF) || code > 0x10FFFF)
        return 0;
    return length;
}

} // namespace

#ifdef Q_OS_UNIX

QString FileName::FromBytes(const QByteArray& name) {
    QString text;
    text.reserve(name.size());
    for (qsizetype i = 0; i < name.size();) {
        const auto byte = static_cast<unsigned char>(name[i]);
        if (byte < 0x80) {
            text += QChar(byte);
            ++i;
        } else if (const qsizetype length = ValidSequence(name, i); length > 0) {
            text += QString::fromUtf8(name.constData() + i, length);
            i += length;
        } else {
            text += QChar(char16_t(kEscapeBase + byte));
            ++i;
        }
    }
    return text;
}

QByteArray FileName::ToBytes(const QString& name) {
    QByteArray bytes;
    bytes.reserve(name.size());
    qsizetype start = 0; // of the run of ordinary text not yet converted
    for (qsizetype i = 0; i <= name.size(); ++i) {
        if (i < name.size() && !IsEscape(name[i]))
            continue;
        bytes += QStringView(name).mid(start, i - start).toUtf8();
        if (i < name.size())
            bytes += static_cast<char>(name[i].unicode() - kEscapeBase);
        start = i + 1;
    }
    return bytes;
}

bool FileName::Exists(const QString& name) {
    struct stat info {};
    return !name.isEmpty() && ::lstat(ToBytes(name).constData(), &info) == 0;
}

QString FileName::FromUrl(const QUrl& url) {
    // From the encoded form: decoding the URL to text would lose the bytes
    // of a name that is not valid UTF-8.
    return FromBytes(QByteArray::fromPercentEncoding(url.path(QUrl::FullyEncoded).toLatin1()));
}

QString FileName::FromDialog(const QString& name) {
    if (name.isEmpty() || Exists(name) || !name.contains(QChar::ReplacementCharacter))
        return name;
    const QFileInfo info(name);
    const QString folder = info.path();
    const QString shown = info.fileName();
    DIR* dir = ::opendir(ToBytes(folder).constData());
    if (!dir)
        return name;
    QString found;
    int matches = 0;
    while (const dirent* entry = ::readdir(dir)) {
        const QByteArray entryName(entry->d_name);
        if (QString::fromUtf8(entryName) == shown) {
            found = FromBytes(entryName);
            ++matches;
        }
    }
    ::closedir(dir);
    if (matches != 1)
        return name;
    return (folder.endsWith(u'/') ? folder : folder + u'/') + found;
}

#else

QString FileName::FromBytes(const QByteArray& name) {
    return QFile::decodeName(name);
}

QByteArray FileName::ToBytes(const QString& name) {
    return QFile::encodeName(name);
}

bool FileName::Exists(const QString& name) {
    return QFileInfo::exists(name);
}

QString FileName::FromUrl(const QUrl& url) {
    return url.toLocalFile();
}

QString FileName::FromDialog(const QString& name) {
    return name;
}

#endif

QString FileName::Display(const QString& name) {
    QString text = name;
    for (QChar& c : text) {
        if (IsEscape(c))
            c = QChar::ReplacementCharacter;
    }
    return text;
}

} // namespace kt::files
