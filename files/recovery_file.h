// A copy of unsaved work kept against a crash: one file per running program
// in a folder of the user's, each guarded by a lock that lives as long as
// its owner, so that the next start can tell the files of crashed programs
// from those of programs still running, and take in what a crash left
// halfway. The format is a line naming it and its version, a few header
// lines, then the text with its length and hash, so a cut, altered or
// foreign file is recognised. The files are the application's own: a link
// in their place is never followed. When to write and what to ask the user
// is the application's. Not a program file: the program file is never
// written from here.
#pragma once

#include <QDateTime>
#include <QLockFile>
#include <QString>

#include <functional>
#include <memory>
#include <vector>

namespace kt::files {

class RecoveryFile {
public:
    static inline const QString kSuffix = QStringLiteral(".ktrecovery");
    // A file that could not be read as a recovery file is renamed to this,
    // so it is neither offered again nor lost.
    static inline const QString kDamagedSuffix = QStringLiteral(".damaged");

    struct Content {
        QString text;        // the editor's CR LF text
        QString programFile; // the program's file, even while untitled
        bool untitled = true;
        QDateTime saved; // when this copy was written
    };

    enum class Status { Ok, Damaged, Newer, Unreadable };
    struct Loaded {
        Status status = Status::Unreadable;
        Content content; // when Ok
        QString error;   // why not, otherwise
    };

    static QByteArray Encode(const Content& content);
    static Loaded Decode(const QByteArray& bytes);

    // A new file of this program's own in folder, not yet written; its lock
    // is taken now, or by the first Write when it cannot be yet.
    static std::unique_ptr<RecoveryFile> New(const QString& folder);
    // The files in folder whose owners are gone, newest first, each locked
    // by this program now; files of running programs are left out, and so
    // are links. A copy killed on its way to its name is taken in: the
    // newest whole copy of a file stays, a copy cut short goes when a whole
    // one is left and is offered (to be found damaged) when none is. The
    // locks of programs gone that left no copy are removed.
    static std::vector<std::unique_ptr<RecoveryFile>> LeftBehind(const QString& folder);

    // Gives up the lock and leaves the file as it is.
    ~RecoveryFile() = default;
    RecoveryFile(const RecoveryFile&) = delete;
    RecoveryFile& operator=(const RecoveryFile&) = delete;

    QString Path() const { return m_path; }
    // Whether the copy is there: a regular file, no link.
    bool Exists() const;

    Loaded Read() const;
    // Replaces the file as a whole: a crash or a full disk leaves the
    // previous copy. Empty when written, the reason otherwise.
    QString Write(const Content& content);
    // Removes the file and keeps the lock; true when no file is left.
    bool Remove();
    // Renames a file that could not be read out of the way; the new name.
    QString SetAside();

private:
    explicit RecoveryFile(const QString& path);
    bool Lock();
    // Settles the temporary files (names in the same folder) left by writes
    // of this locked file; takeIn gives one a name of its own.
    void TakeOver(const QStringList& temporaries,
                  const std::function<void(const QString&)>& takeIn);

    QString m_path;
    QLockFile m_lock;
};

} // namespace kt::files
