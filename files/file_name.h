// File names as the system knows them. On Unix a name is bytes, and not
// every name is valid UTF-8: such a name still travels through the program
// as a QString, each byte that does not decode kept as a lone surrogate
// (U+DC80 plus the byte), and turns back into the very same bytes where the
// file is opened. Valid UTF-8 names are ordinary strings. On Windows names
// are text already and pass unchanged. Not a path library: folders and
// extensions stay QFileInfo's.
#pragma once

#include <QByteArray>
#include <QString>
#include <QUrl>

namespace kt::files {

class FileName {
public:
    static QString FromBytes(const QByteArray& name);
    static QByteArray ToBytes(const QString& name);
    // Whether anything is there under that name, without decoding it.
    static bool Exists(const QString& name);
    // A name a file dialog returned: the dialog shows undecodable bytes as
    // U+FFFD and returns them so. When no file has that name, the one entry
    // of its folder that a dialog would show so is meant; the name comes
    // back unchanged when there is none or more than one.
    static QString FromDialog(const QString& name);
    // The local file a file: URL names (a drop), bytes and all.
    static QString FromUrl(const QUrl& url);
    // For captions and messages: undecodable bytes as U+FFFD.
    static QString Display(const QString& name);
};

} // namespace kt::files
