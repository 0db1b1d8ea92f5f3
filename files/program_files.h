// Where program files live and how they are read and written: the programs
// folder beside the application (or, where that cannot be written, one in the
// user's documents), and the file format: Windows-1252 text, the editor's
// text and one CR LF. No dialogs and no questions: the main window asks.
#pragma once

#include <QString>

namespace kt::files {

class ProgramFiles {
public:
    static inline const QString kExtension = QStringLiteral(".KtVbM");
    static inline const QString kFilter =
        QStringLiteral("KtVbM (*.KtVbM)|*.KtVbM|AllFile (*.*)|*.*");

    // Makes sure the programs folder exists. documentsFolder stands in when
    // the application folder cannot hold it.
    ProgramFiles(const QString& applicationFolder, const QString& documentsFolder);

    QString ProgramsFolder() const { return m_programsFolder; }
    QString DefaultProgramFile(const QString& caption) const;
    // The compiler's scratch file; kept for its name only, nothing writes it.
    QString TempFile() const { return m_tempFile; }

    struct Result {
        bool ok = false;
        QString text;  // the text read, when ok
        QString error; // why it failed, when not ok
    };
    // The whole file as editor text; refuses a file that is too large, holds
    // bytes no text has, or is not a regular file (a named pipe would hang).
    static Result Read(const QString& path);
    // Replaces the file, or leaves the old one as it was when it fails; a
    // link stays a link, its target is replaced. Never replaces a device,
    // a named pipe or a folder.
    static Result Write(const QString& path, const QString& text);
    // Whether every character of text has a place in the file's code page.
    static bool Storable(const QString& text);
    // A name chosen while the program filter (index 0) was selected gets
    // the program extension when it has none, so Open's filter shows it.
    static QString WithExtension(const QString& path, int filterIndex);
    // The caption of a file: its name cut before the last ".".
    static QString Title(const QString& path);

private:
    QString m_programsFolder;
    QString m_tempFile;
};

} // namespace kt::files
