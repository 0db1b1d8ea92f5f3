// Real special files for tests, made with the system's own tools inside a
// test's temporary folder: a small tmpfs filled to the brim, named pipes and
// device nodes. Never the machine's own devices.
#pragma once

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QString>
#include <QStringList>

namespace kt::test {

// Runs a tool; true when it ran and exited 0.
inline bool Tool(const QString& program, const QStringList& args, QString* output = nullptr) {
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(program, args);
    const bool ok = process.waitForFinished(10000) &&
                    process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0;
    if (output)
        *output =
            process.errorString() + ": " + QString::fromLocal8Bit(process.readAll()).trimmed();
    return ok;
}

inline bool MakeFifo(const QString& path) {
    return Tool("mkfifo", {path});
}
// A character device with the null device's numbers (1, 3): writes vanish,
// reads end at once.
inline bool MakeNullDevice(const QString& path, QString* why) {
    return Tool("mknod", {path, "c", "1", "3"}, why);
}
inline bool IsFifo(const QString& path) {
    return Tool("test", {"-p", path});
}
inline bool IsCharDevice(const QString& path) {
    return Tool("test", {"-c", path});
}

// A 16 KiB tmpfs on a folder while the object lives; needs root (Why() tells).
class SmallDisk {
public:
    explicit SmallDisk(const QString& folder) : m_folder(folder) {
        QDir().mkpath(folder);
        m_mounted = Tool("mount", {"-t", "tmpfs", "-o", "size=16k", "tmpfs", folder}, &m_why);
    }
    ~SmallDisk() {
        if (m_mounted)
            Tool("umount", {m_folder});
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool Mounted() const { return m_mounted; }
    QString Why() const { return "cannot mount a tmpfs here (" + m_why + u')'; }
    QString Path(const QString& name) const { return m_folder + u'/' + name; }

    // Fills the disk with dd as a user would (till it fails), then frees `room` bytes.
    bool Fill(qint64 room) {
        Tool("dd", {"if=/dev/zero", "of=" + Path("fill"), "bs=4096"});
        QFile file(Path("fill"));
        return file.size() >= room && file.resize(file.size() - room);
    }

private:
    QString m_folder, m_why;
    bool m_mounted = false;
};

} // namespace kt::test
