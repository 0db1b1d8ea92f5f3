// Whole-file reads and safe replacements, for the desktop and the command
// line alike: program and image files, which follow links as the user meant
// them, and the application's own private files (copies of unsaved work),
// which never do. Files are named by the bytes the system knows them by, so
// a name that is not valid text still finds its file. Only regular files are
// read or replaced: a named pipe would hang a reader, and replacing a device
// node would destroy it. Also clears away the temporary files of replacements
// whose process died halfway. Not a text layer: bytes in, bytes out.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace kt::files {

class RegularFile {
public:
    struct Result {
        bool ok = false;
        QByteArray data; // the bytes read, when ok
        QString error;   // why it failed, when not ok
    };

    // The largest program file either program reads: far beyond any real
    // program (each statement compiles to two of the image's 254 bytes),
    // small enough to hold in memory at once.
    static constexpr qint64 kMaxProgramFileBytes = 16 * 1024 * 1024;

    // What Replace does with a name that is a character device or a named
    // pipe: refuse it, or write into it as it is (so /dev/stdout works).
    enum class Special { Refuse, WriteInPlace };

    // The whole file, refused when it is larger than maxBytes or is not a
    // regular file; nothing that is not one is ever opened.
    static Result Read(const QByteArray& name, qint64 maxBytes);

    // Puts bytes into a new file beside the old one, makes sure they reached
    // the disk, then renames it over the old one: on any failure the old file
    // is left byte for byte. A link is followed and its target replaced. On
    // Unix the new file is named ".ktmotor-PID-RANDOM.tmp" until the rename,
    // so that a later start can tell whether its maker still runs (elsewhere
    // Qt's QSaveFile names it).
    static Result Replace(const QByteArray& name, const QByteArray& bytes,
                          Special special = Special::Refuse);

    // The same for a file of the application's own: a link at name is never
    // followed, neither read through nor written into. Read refuses it;
    // ReplacePrivate puts the new file in place of the link itself, readable
    // by the user alone. On Unix the new file is named after the one it
    // replaces (PrivateTarget tells which) until the rename.
    static Result ReadPrivate(const QByteArray& name, qint64 maxBytes);
    static Result ReplacePrivate(const QByteArray& name, const QByteArray& bytes);

    // The file name a ReplacePrivate temporary file was to replace; empty
    // when fileName (a name in a folder, no path) is no such file.
    static QString PrivateTarget(const QString& fileName);
    // Whether fileName is a name Replace gives its temporary files, now or as
    // the first versions did, without the process.
    static bool IsTemporary(const QString& fileName);
    // The process that made a Replace temporary file; 0 when fileName is no
    // such name or carries no process.
    static qint64 MakerOf(const QString& fileName);
    // Whether a program of ours runs as process pid. On Linux a process counts
    // as ours when its command name (what the system keeps of the name it was
    // started by: at most 15 characters) is ktmotor, ktmotor-cli or this
    // program's own; a process id taken over by anything else does not, nor
    // does a process that has ended but is not yet reaped. Where the system
    // cannot tell, every existing process counts, and on systems without
    // process ids at hand every id does: nothing is taken for dead that might
    // not be.
    static bool Runs(qint64 pid);
    // Removes from folder the Replace temporary files whose maker no longer
    // runs, and nothing else: not a running program's, not a link or folder of
    // that name, not a name that merely looks similar. The names removed.
    static QStringList RemoveLeftovers(const QString& folder);

    // For crash tests only: called with the temporary file's name once it
    // holds all the bytes, just before the rename, so that a test's child
    // process can stop there and be killed. Unix only.
    using BeforeRename = void (*)(const QByteArray& temporary);
    static void SetBeforeRename(BeforeRename hook);
};

} // namespace kt::files
