#include "cli/program_file.h"

#include <QFile>
#include <QSaveFile>
#include <QString>

namespace kt::cli {

FileResult ReadWholeFile(const std::string& path, long long maxBytes) {
    FileResult result;
    QFile file(QString::fromLocal8Bit(path.c_str()));
    if (!file.open(QIODevice::ReadOnly)) {
        result.reason = file.errorString().toStdString();
        return result;
    }
    // Read one byte past the limit to tell a full-size file from a larger one.
    const QByteArray bytes = file.read(maxBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        result.reason = file.errorString().toStdString();
        return result;
    }
    if (bytes.size() > maxBytes) {
        result.reason = "file too large";
        return result;
    }
    result.ok = true;
    result.data.assign(bytes.constData(), static_cast<std::size_t>(bytes.size()));
    return result;
}

FileResult WriteFileAtomically(const std::string& path, const std::string& bytes) {
    FileResult result;
    QSaveFile file(QString::fromLocal8Bit(path.c_str()));
    if (!file.open(QIODevice::WriteOnly)) {
        result.reason = file.errorString().toStdString();
        return result;
    }
    const qint64 size = static_cast<qint64>(bytes.size());
    if (file.write(bytes.data(), size) != size || !file.commit()) {
        result.reason = file.errorString().toStdString();
        return result;
    }
    result.ok = true;
    return result;
}

} // namespace kt::cli
