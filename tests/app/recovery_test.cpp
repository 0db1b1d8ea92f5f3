// Unsaved work survives a crash: a real run killed mid-edit or on its way to
// its first copy, the question at the next start, the copy dropped by No, a
// save or a clean end, damaged copies reported and kept, a full disk that
// costs only the copy, and what killed programs leave behind: copies that
// never reached their name, locks and the temporary files of saves, cleared
// away without touching what a running program still uses.
#include "app/desktop_app.h"
#include "editor/kt_text.h"
#include "editor/text_box.h"
#include "files/recovery_file.h"
#include "files/regular_file.h"
#include "mainwindow/frm_motor.h"
#include "modal_answerer.h"
#include "tests/cli/special_files.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

using kt::files::RecoveryFile;
using kt::files::RegularFile;
using namespace std::chrono_literals;

namespace {

const QString kRestore = "KtMotor was not closed properly.\nRestore";
const QString kCannotRestore =
    "KtMotor was not closed properly, but the unsaved work it left cannot be restored:\n";
const QString kCannotKeep = "Could not keep a copy";

// Runs that name no data folder keep their copies in one of this test
// program's own, never in the user's.
class OwnDataHome : public ::testing::Environment {
    void SetUp() override {
        m_home.emplace();
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home->path()));
    }
    std::optional<QTemporaryDir> m_home;
};
[[maybe_unused]] const auto* const kOwnDataHome =
    ::testing::AddGlobalTestEnvironment(new OwnDataHome);

QByteArray Bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}
void Put(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}
std::string Files(const QString& folder, const QStringList& filter = {}) {
    return QDir(folder).entryList(filter, QDir::Files | QDir::Hidden).join(u'|').toStdString();
}
std::string Copies(const QString& data) {
    return Files(data, {"*" + RecoveryFile::kSuffix});
}
RecoveryFile::Content Work(const QString& text) {
    return {
        .text = text, .programFile = {}, .untitled = true, .saved = QDateTime::currentDateTime()};
}

// recovery_child in one of its modes, killed at the latest when it goes;
// with its data folder under dataHome, or started through a link named as
// our desktop program in bin.
class Child {
public:
    explicit Child(const QStringList& args, const QString& dataHome = {}, const QString& bin = {}) {
        QString program = QStringLiteral(RECOVERY_CHILD);
        if (!bin.isEmpty()) {
            program = QDir(bin).filePath(QStringLiteral("ktmotor"));
            QFile::link(QStringLiteral(RECOVERY_CHILD), program); // or made before
        }
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (!dataHome.isEmpty())
            environment.insert("XDG_DATA_HOME", dataHome);
        m_process.setProcessEnvironment(environment);
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

// The desktop program in-process on a data folder, copying every 20 ms; the
// answerer answers its real boxes.
struct Session {
    Session(const QString& folder, const QString& data) : desktop({}, false, folder, folder) {
        desktop.SetRecoveryFolder(data);
        desktop.SetRecoveryInterval(20ms);
    }
    kt::editor::TextBox* Box() { return desktop.Window().KtText1()->RText(); }
    bool CopyHolds(const QString& text) {
        return QTest::qWaitFor([&] {
            const auto loaded = RecoveryFile::Decode(Bytes(desktop.RecoveryPath()));
            return loaded.status == RecoveryFile::Status::Ok && loaded.content.text == text;
        });
    }
    // The user closes the window and lets the work go; the program's loop ends.
    void CloseCleanly() {
        answerer.Answer("File changed,Save Now?", QMessageBox::No);
        QTimer::singleShot(0, &desktop.Window(), [this] { desktop.Window().close(); });
        QTimer stuck;
        stuck.callOnTimeout([] { QCoreApplication::exit(1); });
        stuck.start(5000);
        EXPECT_EQ(QApplication::exec(), 0);
        EXPECT_EQ(answerer.Unexpected(), std::vector<QString>{});
    }

    kt::test::ModalAnswerer answerer;
    kt::app::DesktopApp desktop;
};

// Work left as a crash leaves it: the session ends without closing its
// window, so its copy stays and its lock goes.
void LeaveWork(const QString& folder, const QString& data) {
    Session session(folder, data);
    session.desktop.Show();
    QTest::keyClicks(session.Box(), "Do");
    ASSERT_TRUE(session.CopyHolds("Do"));
}

} // namespace

// A real run killed with SIGKILL while it had unsaved work, titled or
// untitled, its copy in place or its first one stopped before its rename. A
// session started meanwhile leaves the living run's copy alone; the first
// start after the kill offers it, Yes brings the text back as unsaved work
// without writing the program file, and the copy goes on in its one file
// until a save or a clean end drops it. (No drops it too: see the damaged
// copies.)
TEST(Recovery, RestoresTheWorkOfAKilledRun) {
    const std::pair<bool, bool> cases[] = {{true, false}, {false, false}, {false, true}};
    for (const auto& [titled, beforeRename] : cases) {
        SCOPED_TRACE(testing::Message()
                     << "titled " << titled << " before rename " << beforeRename);
        QTemporaryDir home;
        const QString data = home.filePath("KtMotor"); // where the child's own name puts it
        const QString program = home.filePath("Demo.KtVbM");
        Put(program, "Do\r\nLoop\r\n");
        QStringList args = {home.path(), "' x"};
        if (titled)
            args << program;
        if (beforeRename)
            args.prepend("--stop-before-rename");
        Child child(args, home.path());
        const QString left = child.Said(beforeRename ? "stopped" : "ready");
        const QByteArray copy = Bytes(left);
        const QString work = titled ? "Do\r\nLoop\r\n' x" : "' x";
        EXPECT_EQ(RecoveryFile::Decode(copy).content.text, work);
        EXPECT_EQ(Copies(data), beforeRename ? "" : QFileInfo(left).fileName().toStdString());
        {
            Session other(home.path(), data);
            other.desktop.Show();
            QTest::keyClicks(other.Box(), "Do");
            EXPECT_TRUE(other.CopyHolds("Do"));
            other.CloseCleanly();
            EXPECT_EQ(other.answerer.Count(kRestore), 0);
        }
        EXPECT_EQ(Bytes(left), copy);

        child.Kill();
        Session next(home.path(), data);
        next.answerer.Answer(kRestore, QMessageBox::Yes);
        next.desktop.Show();
        const kt::mainwindow::FrmMotor& window = next.desktop.Window();
        ASSERT_EQ(next.answerer.Shown().size(), 1u);
        EXPECT_EQ(next.answerer.Count(kRestore), 1);
        EXPECT_EQ(next.answerer.Shown()[0].contains("Demo"), titled);
        EXPECT_EQ(next.Box()->Text(), work);
        EXPECT_EQ(window.windowTitle(), titled ? "Demo" : "NewMotorProgram");
        EXPECT_EQ(window.Untitled(), !titled);
        EXPECT_EQ(window.ProgramFile() == program, titled);
        EXPECT_TRUE(window.Changed());
        EXPECT_EQ(Bytes(program), "Do\r\nLoop\r\n");
        EXPECT_EQ(Files(data, {"*.tmp"}), "");
        EXPECT_EQ(Copies(data), QFileInfo(next.desktop.RecoveryPath()).fileName().toStdString());
        EXPECT_TRUE(beforeRename || next.desktop.RecoveryPath() == left); // carried on
        QTest::keyClicks(next.Box(), "y");
        EXPECT_TRUE(next.CopyHolds(work + "y"));
        if (titled) { // a save drops the copy, the next edit makes one again
            ASSERT_TRUE(next.desktop.Window().SaveProgram());
            EXPECT_TRUE(QTest::qWaitFor([&] { return Copies(data).empty(); }));
            QTest::keyClicks(next.Box(), "'");
            EXPECT_TRUE(next.CopyHolds(work + "y'"));
        }
        next.CloseCleanly();
        EXPECT_EQ(Files(data), ""); // a clean end leaves neither copy nor lock
    }
}

// A copy cut short, altered, foreign, of a newer version or larger than Open
// takes is reported, never restored, and kept: a damaged one set aside so
// that it is reported once, the others in place. A good copy is still
// offered, and No drops it: the next start does not ask again.
TEST(Recovery, DamagedCopiesAreReportedAndKept) {
    const QByteArray good = RecoveryFile::Encode({.text = "Do\r\nLoop ' \u00fc\u20ac",
                                                  .programFile = "/a\nb",
                                                  .saved = QDateTime::currentDateTime()});
    QByteArray altered = good;
    altered[altered.size() - 1] = 'P';
    QByteArray newer = good;
    newer.replace("recovery 1", "recovery 12");
    const QByteArray large =
        RecoveryFile::Encode(Work(QString(RegularFile::kMaxProgramFileBytes + 1, u'x')));
    struct Case {
        QByteArray bytes;
        bool stays;  // in place, reported at every start
        QString why; // how the report goes on
    };
    const Case cases[] = {{QByteArray("\0\xff", 2), false, ""},
                          {"KtMotor recovery 1\n", false, ""},
                          {good.chopped(1), false, ""},
                          {good + "x", false, ""},
                          {altered, false, ""},
                          {newer, true, ""},
                          {large, true, "It holds more than the 16 MiB a program file may hold"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.bytes.left(40).toStdString());
        QTemporaryDir home;
        const QString data = home.filePath("data");
        LeaveWork(home.path(), data);
        const QString bad = QDir(data).filePath("bad" + RecoveryFile::kSuffix);
        Put(bad, c.bytes);
        for (const bool first : {true, false}) {
            Session session(home.path(), data);
            session.answerer.Answer(kCannotRestore, QMessageBox::Ok);
            session.answerer.Answer(kRestore, QMessageBox::No);
            session.desktop.Show();
            EXPECT_EQ(session.answerer.Count(kCannotRestore + c.why), first || c.stays ? 1 : 0);
            EXPECT_EQ(session.answerer.Count(kRestore), first ? 1 : 0);
            EXPECT_EQ(session.answerer.Unexpected(), std::vector<QString>{});
            EXPECT_EQ(session.Box()->Text(), "");
            EXPECT_TRUE(Bytes(c.stays ? bad : bad + RecoveryFile::kDamagedSuffix) == c.bytes);
        }
    }
    const RecoveryFile::Loaded back = RecoveryFile::Decode(good);
    EXPECT_EQ(back.content.text, "Do\r\nLoop ' \u00fc\u20ac");
    EXPECT_EQ(back.content.programFile, "/a\nb"); // a line break in a name ends no line
}

// A really full disk: the program goes on, the program file is untouched,
// the user is told once, and the copy is made as soon as there is room.
// With no room even the lock fails; with a little, the copy does.
TEST(Recovery, FullDiskCostsOnlyTheCopy) {
    QTemporaryDir home;
    const QString program = home.filePath("big.KtVbM");
    QByteArray saved;
    for (int i = 0; i < 400; ++i)
        saved += "Counter0 = " + QByteArray::number(i % 256) + "\r\n";
    Put(program, saved);
    for (const int room : {0, 8192}) {
        SCOPED_TRACE(room);
        kt::test::SmallDisk disk(home.filePath(QStringLiteral("disk%1").arg(room)));
        if (!disk.Mounted())
            GTEST_SKIP() << disk.Why().toStdString();
        const QString data = disk.Path("data");
        ASSERT_TRUE(QDir().mkpath(data) && disk.Fill(room));
        Session session(home.path(), data);
        session.answerer.Answer(kCannotKeep, QMessageBox::Ok);
        session.desktop.Show(program);
        QTest::keyClicks(session.Box(), "' more");
        QTest::qWait(300); // many ticks
        EXPECT_EQ(session.answerer.Count(kCannotKeep), 1);
        EXPECT_TRUE(session.desktop.Window().Changed());
        // Neither a copy nor a half-written one; the lock may be there.
        EXPECT_EQ(Files(data, {"*" + RecoveryFile::kSuffix, "*.tmp"}), "");

        ASSERT_TRUE(QFile::remove(disk.Path("fill")));
        EXPECT_TRUE(session.CopyHolds(saved + "' more"));
        EXPECT_EQ(session.answerer.Count(kCannotKeep), 1);
        session.CloseCleanly();
        EXPECT_EQ(Bytes(program), saved);
    }
}

// Later copies killed between the temporary file's last byte and the
// rename, the temporary file whole or cut short afterwards as a lost write
// would leave it. While the program runs nothing of it is touched; once it
// is gone the newest readable copy is offered, one file for the one program,
// and no temporary file is left.
TEST(Recovery, CopiesKilledBeforeTheirRenameAreOffered) {
    struct Case {
        QStringList texts; // the copies written, the last one stopped
        bool cut;          // the stopped copy cut short after the kill
        QString offered;   // the text offered; empty when the one file is damaged
    };
    const Case cases[] = {{{"first", "second"}, false, "second"},
                          {{"first", "second"}, true, "first"},
                          {{"first"}, true, ""}};
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
        ASSERT_TRUE(!c.cut || QFile::resize(temporary, whole.size() / 2));
        const auto found = RecoveryFile::LeftBehind(data);
        ASSERT_EQ(found.size(), 1u);
        const RecoveryFile::Loaded loaded = found[0]->Read();
        EXPECT_EQ(loaded.status,
                  c.offered.isEmpty() ? RecoveryFile::Status::Damaged : RecoveryFile::Status::Ok)
            << loaded.error.toStdString();
        EXPECT_EQ(loaded.content.text.toStdString(), c.offered.toStdString());
        EXPECT_TRUE(!c.offered.isEmpty() || !found[0]->SetAside().isEmpty()); // as the start does
        EXPECT_EQ(Files(data, {".*.tmp"}), "");
        EXPECT_TRUE(found[0]->Path().endsWith(RecoveryFile::kSuffix));
        EXPECT_TRUE(RecoveryFile::LeftBehind(data).empty()) << "taken: a second start finds none";
    }
}

// Every killed program leaves its lock, and a save killed before its rename
// its temporary file beside the program, named with its maker. Both go once
// the maker is gone; a running program's stay, whether another process or
// this one holds it, and so does the lock of a copy being offered. The
// program file is never touched.
TEST(Recovery, WhatKilledProgramsLeftGoesWhatRunningOnesUseStays) {
    QTemporaryDir home;
    QTemporaryDir folder;
    QTemporaryDir bin;
    const QString data = home.filePath("data");
    const QString program = folder.filePath("Demo.KtVbM");
    Put(program, "old");
    Child killed({"copy", data});
    Child running({"copy", data});
    Child withCopy({"copy", data, "written", "newer"});
    Child killedSave({"replace", program, "killed"}, {}, bin.path());
    Child runningSave({"replace", program, "running"}, {}, bin.path());
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
    EXPECT_EQ(own->Write(Work("mine")).toStdString(), "");
    EXPECT_EQ(RegularFile::RemoveLeftovers(folder.path()).join(u'|'),
              QFileInfo(killedTemporary).fileName());
    EXPECT_EQ(Bytes(runningTemporary), "running");

    running.Kill();
    runningSave.Kill();
    EXPECT_TRUE(RecoveryFile::LeftBehind(data).empty());
    EXPECT_FALSE(QFileInfo::exists(runningLock));
    EXPECT_TRUE(QFileInfo::exists(ownLock));
    EXPECT_EQ(RegularFile::RemoveLeftovers(folder.path()).join(u'|'),
              QFileInfo(runningTemporary).fileName());
    EXPECT_EQ(Files(folder.path()), "Demo.KtVbM");
    EXPECT_EQ(Bytes(program), "old");
}
