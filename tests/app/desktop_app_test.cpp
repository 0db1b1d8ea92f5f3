// The program ends when its main window closes, whatever questions were open
// on top of each other and whatever command was waiting for the drive.
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
#include "monitor/frm_communication.h"
#include "monitor/frm_monitor.h"
#include "platform/app_settings.h"
#include "simulator/frm_simulator.h"
#include "tests/cli/special_files.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>

using kt::drive::VirtualDrive;

TEST(DesktopApp, EndsWhenTheMainWindowClosesDuringAWait) {
    QTemporaryDir folder;
    kt::app::DesktopApp desktop({}, true, folder.path(), folder.path());
    desktop.Window().show();
    desktop.Link().SetReplyTimeout([](int) { return 20; });
    desktop.ShowDevice();
    ASSERT_NE(desktop.Device(), nullptr);
    ASSERT_EQ(desktop.Device()->MotorPort(), 1);
    QTest::keyClicks(desktop.Window().KtText1(), "D"); // unsaved work
    desktop.Drive().SetFault(VirtualDrive::Fault::NoReply);

    // Closed through the window manager during Read All: the save question
    // opens, the retry question on top of it; Cancel, then No.
    kt::test::ModalAnswerer answerer;
    bool cancelled = false;
    answerer.Answer("Communication Failed,Retry?", QMessageBox::Cancel, {},
                    [&] { cancelled = true; });
    answerer.Answer("File changed,Save Now?", QMessageBox::No, [&] { return cancelled; });
    answerer.Answer("Not Read", QMessageBox::Ok);
    QTimer::singleShot(0, desktop.Device(), [&] { desktop.Device()->CmdRead(36)->click(); });
    QTimer::singleShot(5, &desktop.Window(), [&] { desktop.Window().close(); });
    // A timer of this frame: it must not outlive the test.
    bool stuck = false;
    QTimer guard;
    guard.setSingleShot(true);
    QObject::connect(&guard, &QTimer::timeout, [&] {
        stuck = true;
        QCoreApplication::exit(1);
    });
    guard.start(5000);
    EXPECT_EQ(QApplication::exec(), 0);
    EXPECT_FALSE(stuck);
    EXPECT_FALSE(desktop.Window().isVisible());
    EXPECT_TRUE(!desktop.Device() || !desktop.Device()->isVisible());
    EXPECT_EQ(answerer.Unexpected(), std::vector<QString>{});
}

// A file named on the command line opens at start as Open would open it; one
// that cannot be read is reported and leaves the untitled program.
TEST(DesktopApp, OpensTheFileNamedAtStart) {
    QTemporaryDir folder;
    const QString program = folder.filePath("Demo.KtVbM");
    QFile file(program);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("Do\r\nLoop\r\n");
    file.close();
    for (const QString& name : {program, folder.filePath("missing.KtVbM")}) {
        const bool readable = name == program;
        kt::app::DesktopApp desktop({}, false, folder.path(), folder.path());
        kt::test::ModalAnswerer answerer;
        answerer.Answer("Could not open", QMessageBox::Ok);
        desktop.Show(name);
        EXPECT_EQ(desktop.Window().ProgramFile() == name, readable);
        EXPECT_EQ(desktop.Window().windowTitle() == "Demo", readable);
        EXPECT_EQ(desktop.Window().Untitled(), !readable);
        EXPECT_FALSE(desktop.Window().Changed());
        EXPECT_EQ(answerer.Count("Could not open"), readable ? 0 : 1);
        EXPECT_EQ(answerer.Unexpected(), std::vector<QString>{});
        // Not closed: closing the main window ends the program's event loop.
    }
}

// The main window's status bar names the port the device window found, and
// forgets it when the port is lost.
TEST(DesktopApp, StatusBarFollowsTheConnection) {
    QTemporaryDir folder;
    kt::app::DesktopApp desktop({}, true, folder.path(), folder.path());
    const auto field = [&] {
        return desktop.Window().findChild<QLabel*>("StatusDrive")->text().toStdString();
    };
    EXPECT_EQ(field(), "Drive: not connected");
    desktop.ShowDevice();
    EXPECT_EQ(field(), "Drive: port 1 (virtual-drive)");
    desktop.Link().SetReplyTimeout([](int) { return 5; });
    desktop.Drive().SetFault(VirtualDrive::Fault::NoReply);
    kt::test::ModalAnswerer answerer;
    answerer.Answer("Communication Failed,Retry?", QMessageBox::Cancel);
    answerer.Answer("Not Read", QMessageBox::Ok);
    desktop.Device()->CmdRead(36)->click();
    EXPECT_EQ(field(), "Drive: not connected");
}

// The Simulate menu runs the editor's program on the virtual drive: a marked
// line stops the run before it, the editor shows the line about to run, and
// an edit ends the run.
TEST(DesktopApp, SimulateMenuRunsTheEditorsProgram) {
    QTemporaryDir folder;
    kt::app::DesktopApp desktop({}, true, folder.path(), folder.path());
    kt::editor::KtText* text = desktop.Window().KtText1();
    text->RText()->SetText("Do\r\n  Output.0 = True\r\n  Counter0 = 5\r\nLoop");
    quint8 mark = 1;
    text->SetBreak(3, mark);
    desktop.Window().findChild<QAction*>("AddSimulateRun")->trigger();
    kt::simulator::FrmSimulator* simulator = desktop.Simulator();
    ASSERT_NE(simulator, nullptr);
    simulator->AdvanceSlice();
    EXPECT_EQ(simulator->CurrentState(), kt::simulator::FrmSimulator::State::Paused);
    EXPECT_EQ(text->RunLine(), 3);
    EXPECT_EQ(desktop.Drive().DataByte(5), 0x01);   // line 2 ran
    EXPECT_EQ(desktop.Drive().DataByte(288), 0x00); // line 3 not yet
    desktop.Window().findChild<QAction*>("AddSimulateStep")->trigger();
    EXPECT_EQ(desktop.Drive().DataByte(288), 5);
    QTest::keyClicks(text->RText(), "x");
    EXPECT_EQ(simulator->CurrentState(), kt::simulator::FrmSimulator::State::Stopped);
    EXPECT_EQ(text->RunLine(), 0);
}

// Monitor, Communication shows what the device window's commands sent.
TEST(DesktopApp, CommunicationWindowSeesTheDeviceWindow) {
    QTemporaryDir folder;
    kt::app::DesktopApp desktop({}, true, folder.path(), folder.path());
    desktop.Window().findChild<QAction*>("AddMonitorCommunication")->trigger();
    ASSERT_NE(desktop.Communication(), nullptr);
    desktop.ShowDevice();
    const QStringList lines = desktop.Communication()->Model().Lines();
    ASSERT_GE(lines.size(), 3);
    EXPECT_TRUE(lines[0].contains("search  > 00 00 1A 01 02 E3 FF  read Identification (282)"))
        << lines[0].toStdString();
    EXPECT_TRUE(lines[1].contains("< 07 00 F9 FF")) << lines[1].toStdString();
}

// The port the drive answered on is remembered by name and searched first by
// the next run.
TEST(DesktopApp, RemembersThePortThatAnswered) {
    QTemporaryDir folder;
    kt::platform::AppSettings::Remove("connection/lastPort");
    {
        kt::app::DesktopApp desktop({"/nonexistent/kt-a", "/nonexistent/kt-b"}, true, folder.path(),
                                    folder.path());
        EXPECT_EQ(desktop.Link().PreferredPort(), 0);
        desktop.ShowDevice();
        EXPECT_EQ(desktop.Link().PortNumber(), 1);
    }
    kt::app::DesktopApp next({"/nonexistent/kt-a", "/nonexistent/kt-b"}, true, folder.path(),
                             folder.path());
    EXPECT_EQ(next.Link().PreferredPort(), 1);
    next.ShowMonitor(true);
    ASSERT_NE(next.Monitor(), nullptr);
    EXPECT_EQ(next.Monitor()->Connection().Chooser()->currentData().toInt(), 1);
}

// A settings file that is a named pipe would hang whoever opens it: it is
// never opened, the user is told once, and what the run learns (the port
// that answered) is kept in memory.
TEST(DesktopApp, ASettingsFileThatIsNotARegularFileIsIgnoredWithOneWarning) {
    QTemporaryDir folder;
    // The other tests' settings folder comes back however this one ends.
    const std::unique_ptr<QByteArray, void (*)(QByteArray*)> home(
        new QByteArray(qgetenv("XDG_CONFIG_HOME")), [](QByteArray* value) {
            qputenv("XDG_CONFIG_HOME", *value);
            delete value;
        });
    qputenv("XDG_CONFIG_HOME", QFile::encodeName(folder.path()));
    const QString pipe = kt::platform::AppSettings::FilePath();
    ASSERT_TRUE(pipe.startsWith(folder.path())) << pipe.toStdString();
    ASSERT_TRUE(QDir().mkpath(QFileInfo(pipe).absolutePath()));
    ASSERT_TRUE(kt::test::MakeFifo(pipe));
    // Should anything open the pipe after all, a writer ends its wait.
    std::atomic<bool> finished = false, hung = false;
    std::thread watchdog([&] {
        for (int i = 0; i < 1000 && !finished; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        if (!finished) {
            hung = true;
            QFile writer(pipe);
            if (writer.open(QIODevice::WriteOnly | QIODevice::Unbuffered))
                writer.close();
        }
    });
    {
        kt::test::ModalAnswerer answerer;
        answerer.Answer("The settings file", QMessageBox::Ok);
        for (int run = 0; run < 2; ++run) {
            kt::app::DesktopApp desktop({}, true, folder.path(), folder.path());
            desktop.Show();
            desktop.ShowDevice();
            ASSERT_NE(desktop.Device(), nullptr);
            EXPECT_EQ(desktop.Device()->MotorPort(), 1);
            desktop.ShowMonitor(true);
            EXPECT_NE(desktop.Monitor(), nullptr);
        }
        EXPECT_EQ(kt::platform::AppSettings::Value("connection/lastPort").toString(),
                  "virtual-drive");
        EXPECT_EQ(answerer.Count("The settings file " + pipe + " is not a regular file"), 1);
        EXPECT_EQ(answerer.Unexpected(), std::vector<QString>{});
    }
    finished = true;
    watchdog.join();
    EXPECT_FALSE(hung);
    EXPECT_TRUE(kt::test::IsFifo(pipe));
}

// A recovery copy is held to the size Open takes: a larger one would leave
// the window unusable. It is named, kept, and not restored.
TEST(DesktopApp, ARecoveryCopyLargerThanAProgramFileIsKeptNotRestored) {
    using kt::files::RecoveryFile;
    QTemporaryDir folder;
    const QString copies = folder.filePath("recovery");
    ASSERT_TRUE(QDir().mkpath(copies));
    const QString copy = copies + "/1-large" + RecoveryFile::kSuffix;
    QFile file(copy);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(RecoveryFile::Encode(
        {.text = QString(kt::files::RegularFile::kMaxProgramFileBytes + 1, u'x'),
         .programFile = {},
         .untitled = true,
         .saved = QDateTime::currentDateTime()}));
    file.close();
    kt::app::DesktopApp desktop({}, false, folder.path(), folder.path());
    desktop.SetRecoveryFolder(copies);
    kt::test::ModalAnswerer answerer;
    answerer.Answer("KtMotor was not closed properly, but", QMessageBox::Ok);
    desktop.Show();
    EXPECT_EQ(answerer.Count("KtMotor was not closed properly, but the unsaved work it left "
                             "cannot be restored:\nIt holds more than the 16 MiB"),
              1);
    EXPECT_EQ(answerer.Unexpected(), std::vector<QString>{});
    EXPECT_EQ(desktop.Window().KtText1()->RText()->Text(), "");
    EXPECT_TRUE(QFileInfo::exists(copy));
}
