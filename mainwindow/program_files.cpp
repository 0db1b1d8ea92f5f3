#include "mainwindow/program_files.h"

#include "compiler/program_text.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QTemporaryFile>

namespace kt::mainwindow {

namespace {

// A folder we can create and write into: an installed program's own folder
// usually is not.
bool Writable(const QString& folder) {
    if (!QDir().mkpath(folder))
        return false;
    QTemporaryFile probe(folder + QStringLiteral("/.ktmotor-XXXXXX"));
    return probe.open();
}

ProgramFiles::Writer& CurrentWriter() {
    static ProgramFiles::Writer writer;
    return writer;
}

} // namespace

void ProgramFiles::SetWriter(Writer writer) {
    CurrentWriter() = std::move(writer);
}

ProgramFiles::ProgramFiles(const QString& applicationFolder, const QString& documentsFolder)
    : m_tempFile(applicationFolder + QStringLiteral("/~Temp")) {
    m_programsFolder = applicationFolder + QStringLiteral("/Programs");
    if (!Writable(m_programsFolder)) {
        m_programsFolder = documentsFolder + QStringLiteral("/KtMotor Programs");
        QDir().mkpath(m_programsFolder);
    }
}

QString ProgramFiles::DefaultProgramFile(const QString& caption) const {
    return m_programsFolder + u'/' + caption + kExtension;
}

ProgramFiles::Result ProgramFiles::Read(const QString& path) {
    Result result;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        result.error = file.errorString();
        return result;
    }
    const QByteArray bytes = file.read(kMaxFileBytes + 1);
    if (file.error() != QFileDevice::NoError) {
        result.error = file.errorString();
        return result;
    }
    if (bytes.size() > kMaxFileBytes) {
        result.error = QStringLiteral("The file is larger than 16 MiB.");
        return result;
    }
    if (bytes.contains('\0')) {
        result.error = QStringLiteral("The file is not a text file.");
        return result;
    }
    const std::string text = compiler::ReadProgramFile(bytes.toStdString());
    result.text = QString::fromStdString(compiler::Windows1252ToUtf8(text));
    result.ok = true;
    return result;
}

ProgramFiles::Result ProgramFiles::Write(const QString& path, const QString& text) {
    Result result;
    const QByteArray bytes = QByteArray::fromStdString(
        compiler::WriteProgramFile(compiler::Utf8ToWindows1252(text.toStdString())));
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        result.error = file.errorString();
        return result;
    }
    const Writer& writer = CurrentWriter();
    const qint64 written = writer ? writer(file, bytes) : file.write(bytes);
    if (written != bytes.size()) {
        // Nothing reaches the old file: the new one is thrown away.
        file.cancelWriting();
        result.error = file.errorString().isEmpty() || file.error() == QFileDevice::NoError
                           ? QStringLiteral("Not all of the program could be written.")
                           : file.errorString();
        return result;
    }
    if (!file.commit()) {
        result.error = file.errorString();
        return result;
    }
    result.ok = true;
    return result;
}

bool ProgramFiles::Storable(const QString& text) {
    const std::string utf8 = text.toStdString();
    return compiler::Windows1252ToUtf8(compiler::Utf8ToWindows1252(utf8)) == utf8;
}

QString ProgramFiles::Title(const QString& path) {
    const QString name = QFileInfo(path).fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? name : name.left(dot);
}

} // namespace kt::mainwindow
