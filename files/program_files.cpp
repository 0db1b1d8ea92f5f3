#include "files/program_files.h"

#include "compiler/program_text.h"
#include "files/file_name.h"
#include "files/regular_file.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryFile>

namespace kt::files {

namespace {

// A folder we can create and write into: an installed program's own folder
// usually is not.
bool Writable(const QString& folder) {
    if (!QDir().mkpath(folder))
        return false;
    QTemporaryFile probe(folder + QStringLiteral("/.ktmotor-XXXXXX"));
    return probe.open();
}

} // namespace

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
    const RegularFile::Result read =
        RegularFile::Read(FileName::ToBytes(path), RegularFile::kMaxProgramFileBytes);
    if (!read.ok) {
        result.error = read.error;
        return result;
    }
    if (read.data.contains('\0')) {
        result.error = QStringLiteral("The file is not a text file.");
        return result;
    }
    const std::string text = compiler::ReadProgramFile(read.data.toStdString());
    result.text = QString::fromStdString(compiler::Windows1252ToUtf8(text));
    result.ok = true;
    return result;
}

ProgramFiles::Result ProgramFiles::Write(const QString& path, const QString& text) {
    Result result;
    const QByteArray bytes = QByteArray::fromStdString(
        compiler::WriteProgramFile(compiler::Utf8ToWindows1252(text.toStdString())));
    const RegularFile::Result written = RegularFile::Replace(FileName::ToBytes(path), bytes);
    result.ok = written.ok;
    result.error = written.error;
    return result;
}

bool ProgramFiles::Storable(const QString& text) {
    const std::string utf8 = text.toStdString();
    return compiler::Windows1252ToUtf8(compiler::Utf8ToWindows1252(utf8)) == utf8;
}

QString ProgramFiles::WithExtension(const QString& path, int filterIndex) {
    if (path.isEmpty() || filterIndex != 0 || !QFileInfo(path).suffix().isEmpty())
        return path;
    return path + kExtension;
}

QString ProgramFiles::Title(const QString& path) {
    const QString name = FileName::Display(QFileInfo(path).fileName());
    const qsizetype dot = name.lastIndexOf(u'.');
    return dot < 0 ? name : name.left(dot);
}

} // namespace kt::files
