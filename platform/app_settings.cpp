#include "platform/app_settings.h"

#include <QFileInfo>
#include <QSettings>
#include <QStandardPaths>
#include <QVariantMap>

namespace kt::platform {

namespace {

struct Fallback {
    QVariantMap values; // this run's settings while the file is not usable
    bool told = false;
};

Fallback& Memory() {
    static Fallback fallback;
    return fallback;
}

// A missing file is made by the first write; anything but a regular file
// (a pipe, a device, a folder) is left alone.
bool Usable(const QString& path) {
    const QFileInfo info(path);
    return !info.exists() || info.isFile();
}

} // namespace

QString AppSettings::FilePath() {
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/KtMotor/KtMotor.ini");
}

QVariant AppSettings::Value(const QString& key, const QVariant& fallback) {
    const QString path = FilePath();
    if (!Usable(path))
        return Memory().values.value(key, fallback);
    return QSettings(path, QSettings::IniFormat).value(key, fallback);
}

void AppSettings::SetValue(const QString& key, const QVariant& value) {
    const QString path = FilePath();
    if (!Usable(path)) {
        Memory().values.insert(key, value);
        return;
    }
    QSettings(path, QSettings::IniFormat).setValue(key, value);
}

void AppSettings::Remove(const QString& key) {
    Memory().values.remove(key);
    const QString path = FilePath();
    if (Usable(path))
        QSettings(path, QSettings::IniFormat).remove(key);
}

QString AppSettings::TakeProblem() {
    const QString path = FilePath();
    if (Usable(path) || Memory().told)
        return {};
    Memory().told = true;
    return QStringLiteral("The settings file %1 is not a regular file, so KtMotor does not use "
                          "it: recent files and the last port are kept only until KtMotor "
                          "ends.")
        .arg(path);
}

} // namespace kt::platform
