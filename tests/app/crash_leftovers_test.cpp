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

std::string Text(const QStringList& list) {
    return list.join(u'|').toStdString();
}

// recovery_child in one of its modes, killed at the latest when it goes;
// started through a link named as our desktop program in `bin` when given.
class Child {
public:
    explicit Child(const QStringList& args, const QString& bin = {}) {
        QString program = QStringLiteral(RECOVERY_CHILD);
        if (!bin.isEmpty()) {
            program = QDir(bin).filePath(QStringLiteral("ktmotor"));
            QFile::link(QStringLiteral(RECOVERY_CHILD), program); // or made before
        }
        m_process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        m_process.start(program, args);
    }
    ~Child() { Kill(); }
    Child(const Child&) = delete;
    Child& operator=(const Child&) = delete;

    // The rest of its next line after word, or what it said instead.
    QString Said(const QByteArray& word) {
        (void)QTest::qWaitFor(
            [this] { return m_process.canReadLine() || m_process.state() == QProcess::NotRunning; },
            20000);
        const QByteArray line = m_process.readLine().trimmed();
        return line.startsWith(word + ' ') ? QFile::decodeName(line.mid(word.size() + 1))
                                           : "<said: " + QString::fromUtf8(line) + '>';
    }
    qint64 Pid() const { return m_process.processId(); }
    void Kill() {
        m_process.kill();
        m_process.waitForFinished(10000);
    }

private:
    QProcess m_process;
};

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
        ASSERT_EQ(QFileInfo(temporary).absolutePath(), QDir(data).absolutePath());
        const QByteArray whole = Bytes(temporary);
        EXPECT_EQ(RecoveryFile::Decode(whole).content.text, c.texts.last());
        EXPECT_TRUE(RecoveryFile::LeftBehind(data).empty()) << "its owner runs";
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
        EXPECT_EQ(Text(QDir(data).entryList({".*.tmp"}, QDir::Files | QDir::Hidden)), "");
        EXPECT_TRUE(found[0]->Path().endsWith(RecoveryFile::kSuffix));
        EXPECT_TRUE(RecoveryFile::LeftBehind(data).empty()) << "taken: a second start finds none";
    }
}

// Every killed program leaves its lock, and a save killed before its rename
// its temporary file beside the program, named with its maker. Both go once
// the maker is gone; a running program's stay, whether another process or
// this one holds it, and so does the lock of a copy being offered. The
// program file is never touched.
TEST(CrashLeftovers, WhatKilledProgramsLeftGoesWhatRunningOnesUseStays) {
    QTemporaryDir home;
    QTemporaryDir folder;
    QTemporaryDir bin;
    const QString data = home.filePath("data");
    const QString program = folder.filePath("Demo.KtVbM");
    {
        QFile file(program);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write("old") == 3);
    }
    Child killed({"hold", data});
    Child running({"hold", data});
    Child withCopy({"copy", data, "written", "newer"});
    Child killedSave({"replace", program, "killed"}, bin.path());
    Child runningSave({"replace", program, "running"}, bin.path());
    const QString killedLock = killed.Said("ready") + ".lock";
    const QString runningLock = running.Said("ready") + ".lock";
    ASSERT_FALSE(withCopy.Said("stopped").startsWith("<said"));
    const QString killedTemporary = killedSave.Said("stopped");
    const QString runningTemporary = runningSave.Said("stopped");
    const std::unique_ptr<RecoveryFile> own = RecoveryFile::New(data);
    const QString ownLock = own->Path() + ".lock";
    for (const QString& lock : {killedLock, runningLock, ownLock})
        ASSERT_TRUE(QFileInfo::exists(lock)) << lock.toStdString();
    EXPECT_EQ(RegularFile::MakerOf(QFileInfo(killedTemporary).fileName()), killedSave.Pid());
    EXPECT_EQ(RegularFile::MakerOf(QFileInfo(runningTemporary).fileName()), runningSave.Pid());
    EXPECT_EQ(Bytes(killedTemporary), "killed");
    killed.Kill();
    withCopy.Kill();
    killedSave.Kill();

    const auto found = RecoveryFile::LeftBehind(data);
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0]->Read().content.text.toStdString(), "newer");
    EXPECT_TRUE(QFileInfo::exists(found[0]->Path() + ".lock"));
    EXPECT_FALSE(QFileInfo::exists(killedLock));
    EXPECT_TRUE(QFileInfo::exists(runningLock));
    EXPECT_TRUE(QFileInfo::exists(ownLock));
    EXPECT_EQ(own->Write({.text = "mine",
                          .programFile = {},
                          .untitled = true,
                          .saved = QDateTime::currentDateTime()})
                  .toStdString(),
              "");
    EXPECT_EQ(Text(RegularFile::RemoveLeftovers(folder.path())),
              QFileInfo(killedTemporary).fileName().toStdString());
    EXPECT_EQ(Bytes(runningTemporary), "running");

    running.Kill();
    runningSave.Kill();
    EXPECT_TRUE(RecoveryFile::LeftBehind(data).empty());
    EXPECT_FALSE(QFileInfo::exists(runningLock));
    EXPECT_TRUE(QFileInfo::exists(ownLock));
    EXPECT_EQ(Text(RegularFile::RemoveLeftovers(folder.path())),
              QFileInfo(runningTemporary).fileName().toStdString());
    EXPECT_EQ(Text(QDir(folder.path()).entryList(QDir::Files | QDir::Hidden)), "Demo.KtVbM");
    EXPECT_EQ(Bytes(program), "old");
}
