// What the program remembers between runs (recent files, the last port that
// answered, ...), in one settings file of the user's. A settings file that is
// not a regular file is never opened, since a named pipe there would hang
// whoever reads it: the settings then live in memory for this run, and the
// user is told once. Not a preferences dialog, and no schema: callers name
// their own keys.
#pragma once

#include <QString>
#include <QVariant>

namespace kt::platform {

class AppSettings {
public:
    // The one file: "KtMotor/KtMotor.ini" in the user's configuration folder.
    static QString FilePath();
    static QVariant Value(const QString& key, const QVariant& fallback = {});
    static void SetValue(const QString& key, const QVariant& value);
    static void Remove(const QString& key);
    // Why the file is not used, the first time it is asked while that holds;
    // empty otherwise, so the user hears it once per run.
    static QString TakeProblem();
};

} // namespace kt::platform
