// The desktop program's windows wired together: it ends when its main window
// closes, whatever questions were open on top of each other and whatever
// command was waiting for the drive; the connection it shows and remembers,
// the Simulate menu, and a settings file that is not a regular file.
#include "app/desktop_app.h"
#include "connection/connection_panel.h"
#include "device/frm_device.h"
#include "editor/kt_text.h"
#include "editor/text_box.h"
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
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

using kt::app::DesktopApp;
using kt::drive::VirtualDrive;
using Unexpected = std::vector<QString>;

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
    QTimer hang; // of this frame: it must not outlive the test
    hang.callOnTimeout([] { QCoreApplication::exit(1); });
    hang.start(5000);
    EXPECT_EQ(QApplication::exec(), 0) << "hung";
    EXPECT_FALSE(desktop.Window().isVisible());
    EXPECT_TRUE(!desktop.Device() || !desktop.Device()->isVisible());
    QStringList shown;
    for (const QString& text : answerer.Shown())
        shown << text.section(u'\n', 0, 0);
    EXPECT_EQ(shown.join(u'|'), "File changed,Save Now?|Communication Failed,Retry?");
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
    const QStringList lines = desktop.Communication()->Model().Lines();
    ASSERT_GE(lines.size(), 2) << lines.join('\n').toStdString();
    EXPECT_TRUE(lines[0].contains("search  > 00 00 1A 01 02 E3 FF  read Identification (282)"))
        << lines[0].toStdString();
    EXPECT_TRUE(lines[1].contains("< 07 00 F9 FF")) << lines[1].toStdString();

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
    struct Restore {
        QByteArray home = qgetenv("XDG_CONFIG_HOME");
        ~Restore() { qputenv("XDG_CONFIG_HOME", home); }
    } restore;
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
    EXPECT_EQ(desktop.Drive().DataByte(5), 0x01);   // line 2 ran
    EXPECT_EQ(desktop.Drive().DataByte(288), 0x00); // line 3 not yet
    desktop.Window().findChild<QAction*>("AddSimulateStep")->trigger();
    EXPECT_EQ(desktop.Drive().DataByte(288), 5);
    QTest::keyClicks(text->RText(), "x");
    EXPECT_EQ(desktop.Simulator()->CurrentState(), State::Stopped);
    EXPECT_EQ(text->RunLine(), 0);
}
