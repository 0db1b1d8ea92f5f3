// What a really killed program leaves behind: a copy of unsaved work that
// never reached its own name, locks that outlive their owner, and the
// temporary file of a save. The next start offers every copy it can read and
// clears away the rest, never touching what a running program still uses.
#include "files/recovery_file.h"
#include "files/regular_file.h"

#include <gtest/gtest.h>

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using kt::files::RecoveryFile;
using kt::files::RegularFile;

namespace {

QByteArray Bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

// recovery_child in one of its modes, killed at the latest when it goes.
class Child {
public:
    // A program named as ours (ktmotor) when started through a link of that
    // name in folder.
    explicit Child(const QStringList& args, const QString& asKtmotorIn = {}) {
        QString program = QStringLiteral(RECOVERY_CHILD);
        if (!asKtmotorIn.isEmpty()) {
            program = QDir(asKtmotorIn).filePath(QStringLiteral("ktmotor"));
            if (!QFileInfo(program).isSymLink())
                QFile::link(QStringLiteral(RECOVERY_CHILD), program);
        }
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(program, args);
    }
    ~Child() {
        if (m_process.state() != QProcess::NotRunning)
            Kill();
    }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // The rest of its next line after word; "<none: ...>" when it says
    // something else or nothing.
    QString Said(const QByteArray& word) {
        const auto said = [this] {
            return m_process.canReadLine() || m_process.state() == QProcess::NotRunning;
        };
        if (!QTest::qWaitFor(said, 20000))
            return QStringLiteral("<none: silent>");
        const QByteArray line = m_process.readLine().trimmed();
        if (!line.startsWith(word + ' '))
            return QStringLiteral("<none: %1>").arg(QString::fromUtf8(line));
        return QFile::decodeName(line.mid(word.size() + 1));
    }
    qint64 Pid() const { return m_process.processId(); }
    void Kill() {
        m_process.kill();
        m_process.waitForFinished(10000);
    }

private:
    QProcess m_process;
};

std::string Text(const QStringList& list) {
    return list.join(u'|').toStdString();
}
std::string Hidden(const QString& folder) {
    return Text(QDir(folder).entryList({QStringLiteral(".*.tmp")}, QDir::Files | QDir::Hidden));
}

} // namespace

// A program killed while a copy was on its way to its name: between the
// temporary file's last byte and the rename, on its first copy and on a
// later one, the temporary file whole or cut short afterwards as a lost
// write would leave it. While the program runs nothing of it is touched; once
// it is gone the newest readable copy is offered, one file for the one
// program, and no temporary file is left.
TEST(CrashLeftovers, CopiesKilledBeforeTheirRenameAreOffered) {
    struct Case {
        QStringList texts; // the copies written, the last one stopped
        bool cut;          // the stopped copy cut short after the kill
        QString offered;   // the text offered; empty when the one file is damaged
    };
    const Case cases[] = {
        {{"first"}, false, "first"},
        {{"first", "second"}, false, "second"},
        {{"first", "second"}, true, "first"},
        {{"first"}, true, ""},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.texts.join(',').toStdString() + (c.cut ? " cut" : ""));
        QTemporaryDir home;
        const QString data = home.filePath("data");
        Child child(QStringList{"copy", data} + c.texts);
        const QString temporary = child.Said("stopped");
        ASSERT_TRUE(QFileInfo(temporary).isFile()) << temporary.toStdString();
        EXPECT_EQ(QFileInfo(temporary).absolutePath(), QDir(data).absolutePath());
        const QByteArray whole = Bytes(temporary);
        EXPECT_EQ(RecoveryFile::Decode(whole).content.text.toStdString(),
                  c.texts.last().toStdString());

        // Its owner runs: not offered, not touched.
        EXPECT_TRUE(RecoveryFile::LeftBehind(data).empty());
        EXPECT_EQ(Bytes(temporary), whole);

        child.Kill();
        if (c.cut) {
            ASSERT_TRUE(QFile::resize(temporary, whole.size() / 2));
        }
        const auto found = RecoveryFile::LeftBehind(data);
        ASSERT_EQ(found.size(), 1u);
        const RecoveryFile::Loaded loaded = found[0]->Read();
        if (c.offered.isEmpty()) {
            EXPECT_EQ(loaded.status, RecoveryFile::Status::Damaged);
            EXPECT_FALSE(found[0]->SetAside().isEmpty()); // as the start does
        } else {
            EXPECT_EQ(loaded.status, RecoveryFile::Status::Ok) << loaded.error.toStdString();
            EXPECT_EQ(loaded.content.text.toStdString(), c.offered.toStdString());
        }
        EXPECT_EQ(Hidden(data), "");
        EXPECT_TRUE(found[0]->Path().endsWith(RecoveryFile::kSuffix));
        // Taken: a second start in the meantime finds nothing.
        EXPECT_TRUE(RecoveryFile::LeftBehind(data).empty());
    }
}

// Every killed program leaves its lock. The locks of programs gone that left
// no copy are removed; a running program's lock stays, whether another
// process or this one holds it, and so does the lock of a copy being offered.
TEST(CrashLeftovers, StaleLocksGoLiveOnesStay) {
    QTemporaryDir home;
    const QString data = home.filePath("data");
    Child killed({"hold", data});
    const QString killedPath = killed.Said("ready");
    Child running({"hold", data});
    const QString runningPath = running.Said("ready");
    Child withCopy({"copy", data, "written", "newer"});
    ASSERT_FALSE(withCopy.Said("stopped").startsWith("<none"));
    const std::unique_ptr<RecoveryFile> own = RecoveryFile::New(data);
    for (const QString& path : {killedPath, runningPath, own->Path()})
        ASSERT_TRUE(QFileInfo::exists(path + ".lock")) << path.toStdString();
    killed.Kill();
    withCopy.Kill();

    const auto found = RecoveryFile::LeftBehind(data);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0]->Read().content.text.toStdString(), "newer");
    EXPECT_FALSE(QFileInfo::exists(killedPath + ".lock"));
    EXPECT_TRUE(QFileInfo::exists(runningPath + ".lock"));
    EXPECT_TRUE(QFileInfo::exists(own->Path() + ".lock"));
    EXPECT_TRUE(QFileInfo::exists(found[0]->Path() + ".lock"));
    EXPECT_EQ(own->Write({.text = "mine",
                          .programFile = {},
                          .untitled = true,
                          .saved = QDateTime::currentDateTime()})
                  .toStdString(),
              "");

    running.Kill();
    EXPECT_TRUE(RecoveryFile::LeftBehind(data).empty());
    EXPECT_FALSE(QFileInfo::exists(runningPath + ".lock"));
    EXPECT_TRUE(QFileInfo::exists(own->Path() + ".lock"));
}

// A save killed before its rename leaves its temporary file beside the
// program, named with the process that made it. Removed once that process is
// gone; kept while it runs; the program file itself is never touched.
TEST(CrashLeftovers, SaveLeftoversOfKilledProgramsAreRemoved) {
    QTemporaryDir folder;
    QTemporaryDir bin;
    const QString program = folder.filePath("Demo.KtVbM");
    {
        QFile file(program);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("old") == 3);
    }
    Child killed({"replace", program, "killed"}, bin.path());
    const QString killedTemporary = killed.Said("stopped");
    Child running({"replace", program, "running"}, bin.path());
    const QString runningTemporary = running.Said("stopped");
    for (const auto& [child, temporary] :
         {std::pair{&killed, killedTemporary}, std::pair{&running, runningTemporary}}) {
        SCOPED_TRACE(temporary.toStdString());
        EXPECT_EQ(RegularFile::MakerOf(QFileInfo(temporary).fileName()), child->Pid());
        EXPECT_TRUE(QFileInfo(temporary).isFile());
    }
    EXPECT_EQ(Bytes(killedTemporary), "killed");
    killed.Kill();

    EXPECT_EQ(Text(RegularFile::RemoveLeftovers(folder.path())),
              QFileInfo(killedTemporary).fileName().toStdString());
    EXPECT_FALSE(QFileInfo::exists(killedTemporary));
    EXPECT_EQ(Bytes(runningTemporary), "running");
    EXPECT_EQ(Bytes(program), "old");

    running.Kill();
    EXPECT_EQ(Text(RegularFile::RemoveLeftovers(folder.path())),
              QFileInfo(runningTemporary).fileName().toStdString());
    EXPECT_EQ(Text(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden)), "Demo.KtVbM");
    EXPECT_EQ(Bytes(program), "old");
}
