// The desktop program's windows wired together, and unsaved work that
// survives a crash (which copies and leftovers count as left behind: see
// tests/files).
#include "app/desktop_app.h"
#include "connection/connection_panel.h"
#include "device/frm_device.h"
#include "editor/kt_text.h"
#include "editor/text_box.h"
#include "files/recovery_file.h"
#include "files/regular_file.h"
#include "link/frm_motor_com.h"
#include "mainwindow/frm_motor.h"
#include "modal_answerer.h"
#include "monitor/communication_model.h"
#include "platform/app_settings.h"
#include "tests/cli/special_files.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScopeGuard>
#include <QTemporaryDir>
#include <QTest>

#include <tuple>

using kt::app::DesktopApp;
using kt::drive::VirtualDrive;
using kt::files::RecoveryFile;
using Unexpected = std::vector<QString>;
using namespace std::chrono_literals;

namespace {

const QString kRestore = "KtMotor was not closed properly.\nRestore";
const QString kCannotRestore =
    "KtMotor was not closed properly, but the unsaved work it left cannot be restored:\n";
const QString kCannotKeep = "Could not keep a copy";

// Runs that name no data folder keep their copies in this test program's
// own, never in the user's.
const QTemporaryDir kDataHome;
[[maybe_unused]] const bool kOwnDataHome =
    qputenv("XDG_DATA_HOME", QFile::encodeName(kDataHome.path()));

QByteArray Bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}
void Put(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}
QString Files(const QString& folder, const QStringList& filter = {}) {
    return QDir(folder).entryList(filter, QDir::Files | QDir::Hidden).join(u'|');
}
// The program's loop, till it ends; 1 when it hangs.
int Exec() {
    QTimer hang;
    hang.callOnTimeout([] { QCoreApplication::exit(1); });
    hang.start(5000);
    return QApplication::exec();
}

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
    void CloseCleanly() {
        answerer.Answer("File changed,Save Now?", QMessageBox::No);
        QTimer::singleShot(0, &desktop.Window(), [this] { desktop.Window().close(); });
        EXPECT_EQ(Exec(), 0);
        EXPECT_EQ(answerer.Unexpected(), Unexpected{});
    }

    kt::test::ModalAnswerer answerer;
    DesktopApp desktop;
};

} // namespace

TEST(DesktopApp, EndsWhenTheMainWindowClosesDuringAWait) {
    QTemporaryDir folder;
    DesktopApp desktop({}, true, folder.path(), folder.path());
    desktop.Window().show();
    desktop.Link().SetReplyTimeout([](int) { return 20; });
    desktop.ShowDevice();
    ASSERT_EQ(desktop.Device()->MotorPort(), 1);
    QTest::keyClicks(desktop.Window().KtText1()->RText(), "D"); // unsaved work
    desktop.Drive().SetFault(VirtualDrive::Fault::NoReply);

    // Closed through the window manager while Read All waits: the save
    // question opens, the retry question on top of it; Cancel, then No.
    kt::test::ModalAnswerer answerer;
    bool cancelled = false;
    answerer.Answer("Communication Failed,Retry?", QMessageBox::Cancel, {},
                    [&] { cancelled = true; });
    answerer.Answer("File changed,Save Now?", QMessageBox::No, [&] { return cancelled; });
    QTimer::singleShot(0, desktop.Device(), [&] { desktop.Device()->CmdRead(36)->click(); });
    // Queued behind the click: runs in the loop of its wait.
    QTimer::singleShot(0, &desktop.Window(), [&] { desktop.Window().close(); });
    EXPECT_EQ(Exec(), 0) << "hung";
    EXPECT_FALSE(desktop.Window().isVisible());
    EXPECT_TRUE(!desktop.Device() || !desktop.Device()->isVisible());
    ASSERT_EQ(answerer.Shown().size(), 2u);
    EXPECT_TRUE(answerer.Shown()[0].startsWith("File changed,Save Now?") &&
                answerer.Shown()[1].startsWith("Communication Failed,Retry?"));
    EXPECT_EQ(answerer.Unexpected(), Unexpected{});
}

// The status bar names the port the device window found and forgets it when
// the port is lost; Monitor, Communication shows what the window sent.
TEST(DesktopApp, StatusBarAndCommunicationFollowTheDeviceWindow) {
    QTemporaryDir folder;
    DesktopApp desktop({}, true, folder.path(), folder.path());
    const auto status = [&] { return desktop.Window().findChild<QLabel*>("StatusDrive")->text(); };
    EXPECT_EQ(status(), "Drive: not connected");
    desktop.Window().findChild<QAction*>("AddMonitorCommunication")->trigger();
    ASSERT_NE(desktop.Communication(), nullptr);
    desktop.ShowDevice();
    EXPECT_EQ(status(), "Drive: port 1 (virtual-drive)");
    const QString lines = desktop.Communication()->Model().Lines().join(u'\n');
    EXPECT_TRUE(lines.contains(QRegularExpression(
        R"(^[^\n]*search  > 00 00 1A 01 02 E3 FF  read Identification \(282\)[^\n]*\n[^\n]*< 07 00 F9 FF)")))
        << lines.toStdString();

    desktop.Link().SetReplyTimeout([](int) { return 5; });
    desktop.Drive().SetFault(VirtualDrive::Fault::NoReply);
    kt::test::ModalAnswerer answerer;
    answerer.Answer("Communication Failed,Retry?", QMessageBox::Cancel);
    answerer.Answer("Not Read", QMessageBox::Ok);
    desktop.Device()->CmdRead(36)->click();
    EXPECT_EQ(status(), "Drive: not connected");
}

// The port that answered is remembered by name and searched first by the
// next run, whose monitor's Connection panel shows it chosen. A settings
// file that is a named pipe would hang whoever opens it (till the time
// limit): it is never opened, the user is told once, and the port is kept
// in memory for the run.
TEST(DesktopApp, RemembersThePortThatAnsweredEvenWithoutASettingsFile) {
    const QStringList ports = {"/nonexistent/kt-a", "/nonexistent/kt-b"};
    // The other tests' settings folder comes back however this one ends.
    const auto restore =
        qScopeGuard([home = qgetenv("XDG_CONFIG_HOME")] { qputenv("XDG_CONFIG_HOME", home); });
    for (const bool pipe : {false, true}) {
        SCOPED_TRACE(pipe);
        QTemporaryDir folder;
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder.path()));
        const QString file = kt::platform::AppSettings::FilePath();
        ASSERT_TRUE(file.startsWith(folder.path())) << file.toStdString();
        ASSERT_TRUE(QDir().mkpath(QFileInfo(file).absolutePath()));
        ASSERT_TRUE(!pipe || kt::test::MakeFifo(file));
        kt::platform::AppSettings::Remove("connection/lastPort");
        kt::test::ModalAnswerer answerer;
        answerer.Answer("The settings file", QMessageBox::Ok);
        for (const int run : {0, 1}) {
            DesktopApp desktop(ports, true, folder.path(), folder.path());
            desktop.Show();
            EXPECT_EQ(desktop.Link().PreferredPort(), run);
            if (run == 0) {
                desktop.ShowDevice();
                EXPECT_EQ(desktop.Device()->MotorPort(), 1);
            } else {
                desktop.ShowMonitor(true);
                ASSERT_NE(desktop.Monitor(), nullptr);
                EXPECT_EQ(desktop.Monitor()->Connection().Chooser()->currentData().toInt(), 1);
            }
        }
        EXPECT_EQ(kt::platform::AppSettings::Value("connection/lastPort").toString(),
                  "virtual-drive");
        EXPECT_EQ(answerer.Count("The settings file " + file + " is not a regular file"),
                  pipe ? 1 : 0);
        EXPECT_EQ(answerer.Unexpected(), Unexpected{});
        EXPECT_EQ(kt::test::IsFifo(file), pipe);
    }
}

// The Simulate menu runs the editor's program on the virtual drive: a marked
// line stops the run before it, the editor shows the line about to run, and
// an edit ends the run.
TEST(DesktopApp, SimulateMenuRunsTheEditorsProgram) {
    using State = kt::simulator::FrmSimulator::State;
    QTemporaryDir folder;
    DesktopApp desktop({}, true, folder.path(), folder.path());
    kt::editor::KtText* text = desktop.Window().KtText1();
    text->RText()->SetText("Do\r\n  Output.0 = True\r\n  Counter0 = 5\r\nLoop");
    quint8 mark = 1;
    text->SetBreak(3, mark);
    desktop.Window().findChild<QAction*>("AddSimulateRun")->trigger();
    ASSERT_NE(desktop.Simulator(), nullptr);
    desktop.Simulator()->AdvanceSlice();
    EXPECT_EQ(desktop.Simulator()->CurrentState(), State::Paused);
    EXPECT_EQ(text->RunLine(), 3);
    EXPECT_EQ(desktop.Drive().DataByte(288), 0x00); // line 3 not yet
    EXPECT_EQ(text->RText()->Notes(), desktop.Simulator()->LineNotes());
    EXPECT_FALSE(text->RText()->Notes().empty());
    desktop.Window().findChild<QAction*>("AddSimulateStep")->trigger();
    EXPECT_EQ(desktop.Drive().DataByte(288), 5);
    QTest::keyClicks(text->RText(), "x");
    EXPECT_EQ(desktop.Simulator()->CurrentState(), State::Stopped);
    EXPECT_EQ(text->RunLine(), 0);
    EXPECT_TRUE(text->RText()->Notes().empty());
}

// A real run killed with SIGKILL while it had unsaved work, titled or
// untitled, its copy in place or its first one stopped before its rename. A
// session started meanwhile leaves the living run's copy alone; the first
// start after the kill offers it, Yes brings the text back as unsaved work
// without writing the program file, and the copy goes on in its one file
// until a save or a clean end drops it.
TEST(Recovery, RestoresTheWorkOfAKilledRun) {
    const std::pair<bool, bool> cases[] = {{true, false}, {false, false}, {false, true}};
    for (const auto& [titled, beforeRename] : cases) {
        SCOPED_TRACE(testing::Message() << "titled, before rename: " << titled << beforeRename);
        QTemporaryDir home;
        const QString data = home.filePath("KtMotor"); // where the child's own name puts it
        const QString program = home.filePath("Demo.KtVbM");
        Put(program, "Do\r\nLoop\r\n");
        QStringList args = {home.path(), "' x", titled ? program : ""};
        if (beforeRename)
            args.prepend("--stop-before-rename");
        QProcess child; // killed at the latest when it goes
        child.start(QStringLiteral(RECOVERY_CHILD), args);
        ASSERT_TRUE(QTest::qWaitFor([&] { return child.canReadLine(); }, 20000));
        const QByteArray said = child.readLine().trimmed();
        ASSERT_TRUE(said.startsWith(beforeRename ? "stopped " : "ready ")) << said.toStdString();
        const QString left = QFile::decodeName(said.mid(said.indexOf(' ') + 1));
        const QByteArray copy = Bytes(left);
        const QString work = titled ? "Do\r\nLoop\r\n' x" : "' x";
        EXPECT_EQ(RecoveryFile::Decode(copy).content.text, work);
        EXPECT_EQ(Files(data, {"*" + RecoveryFile::kSuffix}),
                  beforeRename ? "" : QFileInfo(left).fileName());
        {
            Session other(home.path(), data); // its answerer takes no restore question
            other.desktop.Show();
            QTest::keyClicks(other.Box(), "Do");
            EXPECT_TRUE(other.CopyHolds("Do"));
            other.CloseCleanly();
        }
        EXPECT_EQ(Bytes(left), copy);

        child.kill();
        child.waitForFinished();
        Session next(home.path(), data);
        next.answerer.Answer(kRestore, QMessageBox::Yes);
        next.desktop.Show();
        const kt::mainwindow::FrmMotor& window = next.desktop.Window();
        ASSERT_EQ(next.answerer.Shown().size(), 1u);
        EXPECT_TRUE(next.answerer.Count(kRestore) == 1 &&
                    next.answerer.Shown()[0].contains("Demo") == titled);
        EXPECT_EQ(next.Box()->Text(), work);
        EXPECT_EQ(window.windowTitle(), titled ? "Demo" : "NewMotorProgram");
        EXPECT_TRUE(window.Changed() && window.Untitled() == !titled &&
                    (window.ProgramFile() == program) == titled);
        EXPECT_EQ(Bytes(program), "Do\r\nLoop\r\n");
        const QString carried = QFileInfo(next.desktop.RecoveryPath()).fileName();
        EXPECT_EQ(Files(data), carried + '|' + carried + ".lock"); // no temporary file left
        EXPECT_TRUE(beforeRename || next.desktop.RecoveryPath() == left);
        QTest::keyClicks(next.Box(), "y");
        EXPECT_TRUE(next.CopyHolds(work + "y"));
        if (titled) { // a save drops the copy, the next edit makes one again
            ASSERT_TRUE(next.desktop.Window().SaveProgram());
            EXPECT_TRUE(QTest::qWaitFor([&] { return Files(data) == carried + ".lock"; }));
            QTest::keyClicks(next.Box(), "'");
            EXPECT_TRUE(next.CopyHolds(work + "y'"));
        }
        next.CloseCleanly();
        EXPECT_EQ(Files(data), ""); // a clean end leaves neither copy nor lock
    }
}

// A copy cut short (one row for all damage: the decoding's own cases go the
// same way here), of a newer version or larger than Open takes is reported, never restored, and
// kept: a damaged one set aside so that it is reported once, the others in place. A good copy is
// still offered, and No drops it: the next start does not ask again.
TEST(Recovery, DamagedCopiesAreReportedAndKept) {
    const QByteArray good = RecoveryFile::Encode({.text = "Do\r\nLoop ' \u00fc\u20ac",
                                                  .programFile = "/a\nb",
                                                  .saved = QDateTime::currentDateTime()});
    const QByteArray large = RecoveryFile::Encode(
        {.text = QString(kt::files::RegularFile::kMaxProgramFileBytes + 1, u'x'),
         .programFile = {},
         .untitled = true,
         .saved = QDateTime::currentDateTime()});
    // The bytes; whether they stay in place, reported at every start; how the report goes on.
    const std::tuple<QByteArray, bool, QString> cases[] = {
        {good.chopped(1), false, ""},
        {QByteArray(good).replace("recovery 1", "recovery 12"), true, ""},
        {large, true, "It holds more than the 16 MiB a program file may hold"}};
    for (const auto& [bytes, stays, why] : cases) {
        SCOPED_TRACE(bytes.left(40).toStdString());
        QTemporaryDir home;
        const QString data = home.filePath("data");
        {
            Session crashed(home.path(), data); // ends without closing: its copy stays
            crashed.desktop.Show();
            QTest::keyClicks(crashed.Box(), "Do");
            ASSERT_TRUE(crashed.CopyHolds("Do"));
        }
        const QString bad = QDir(data).filePath("bad" + RecoveryFile::kSuffix);
        Put(bad, bytes);
        for (const bool first : {true, false}) {
            Session session(home.path(), data);
            session.answerer.Answer(kCannotRestore, QMessageBox::Ok);
            session.answerer.Answer(kRestore, QMessageBox::No);
            session.desktop.Show();
            EXPECT_EQ(session.answerer.Count(kCannotRestore + why), first || stays ? 1 : 0);
            EXPECT_EQ(session.answerer.Count(kRestore), first ? 1 : 0);
            EXPECT_EQ(session.answerer.Unexpected(), Unexpected{});
            EXPECT_EQ(session.Box()->Text(), "");
            EXPECT_TRUE(Bytes(stays ? bad : bad + RecoveryFile::kDamagedSuffix) == bytes);
        }
    }
    const RecoveryFile::Loaded back = RecoveryFile::Decode(good);
    EXPECT_EQ(back.content.text, "Do\r\nLoop ' \u00fc\u20ac");
    EXPECT_EQ(back.content.programFile, "/a\nb"); // a line break in a name ends no line
}

// A really full disk, with room for the lock but not the copy: the program
// goes on, the program file is untouched, the user is told once, and the
// copy is made as soon as there is room.
TEST(Recovery, FullDiskCostsOnlyTheCopy) {
    QTemporaryDir home;
    const QString program = home.filePath("big.KtVbM");
    const QByteArray saved = QByteArray("Counter0 = 255\r\n").repeated(400);
    Put(program, saved);
    kt::test::SmallDisk disk(home.filePath("disk"));
    if (!disk.Mounted())
        GTEST_SKIP() << disk.Why().toStdString();
    const QString data = disk.Path("data");
    ASSERT_TRUE(QDir().mkpath(data) && disk.Fill(8192));
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
