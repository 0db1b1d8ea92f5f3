// Whole-file reads and safe replacements of program and image files, for the
// desktop and the command line alike. Files are named by the bytes the system
// knows them by, so a name that is not valid text still finds its file.
// Only regular files are read or replaced: a named pipe would hang a reader,
// and replacing a device node or a link would destroy it. Not a text layer:
// bytes in, bytes out.
#pragma once

#include <QByteArray>
#include <QString>

namespace kt::mainwindow {

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
    // is left byte for byte. A link is followed and its target replaced.
    static Result Replace(const QByteArray& name, const QByteArray& bytes,
                          Special special = Special::Refuse);
};

} // namespace kt::mainwindow
