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
        *output = process.errorString() + QStringLiteral(": ") +
                  QString::fromLocal8Bit(process.readAll()).trimmed();
    return ok;
}

inline bool MakeFifo(const QString& path) {
    return Tool(QStringLiteral("mkfifo"), {path});
}
// A character device with the null device's numbers (1, 3): writes vanish,
// reads end at once.
inline bool MakeNullDevice(const QString& path, QString* why) {
    return Tool(QStringLiteral("mknod"),
                {path, QStringLiteral("c"), QStringLiteral("1"), QStringLiteral("3")}, why);
}
inline bool IsFifo(const QString& path) {
    return Tool(QStringLiteral("test"), {QStringLiteral("-p"), path});
}
inline bool IsCharDevice(const QString& path) {
    return Tool(QStringLiteral("test"), {QStringLiteral("-c"), path});
}

// A 16 KiB tmpfs mounted on a folder for the life of the object. Needs the
// right to mount (root); Why() tells why not.
class SmallDisk {
public:
    explicit SmallDisk(const QString& folder) : m_folder(folder) {
        QDir().mkpath(folder);
        m_mounted = Tool(QStringLiteral("mount"),
                         {QStringLiteral("-t"), QStringLiteral("tmpfs"), QStringLiteral("-o"),
                          QStringLiteral("size=16k"), QStringLiteral("tmpfs"), folder},
                         &m_why);
    }
    ~SmallDisk() {
        if (m_mounted)
            Tool(QStringLiteral("umount"), {m_folder});
    }
    SmallDisk(const SmallDisk&) = delete;
    SmallDisk& operator=(const SmallDisk&) = delete;

    bool Mounted() const { return m_mounted; }
    QString Why() const { return QStringLiteral("cannot mount a tmpfs here (") + m_why + u')'; }
    QString Path(const QString& name) const { return m_folder + u'/' + name; }

    // Fills the disk with dd as a user would, then frees `room` bytes again.
    bool Fill(qint64 room) {
        const QString fill = Path(QStringLiteral("fill"));
        // dd stops with an error when the disk is full: that is the point.
        Tool(QStringLiteral("dd"), {QStringLiteral("if=/dev/zero"), QStringLiteral("of=") + fill,
                                    QStringLiteral("bs=4096")});
        QFile file(fill);
        return file.size() >= room && file.resize(file.size() - room);
    }

private:
    QString m_folder;
    QString m_why;
    bool m_mounted = false;
};

} // namespace kt::test
