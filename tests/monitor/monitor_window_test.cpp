// The Monitor window and its session against a drive at the line's pace:
// the catalogue's channels, a value in the chooser and the cursor; the
// recording pauses, resumes, clears and exports; a failed read stops it.
#include "drive/virtual_drive.h"
#include "drive/virtual_drive_transport.h"
#include "drivemap/drive_catalogue.h"
#include "link/frm_motor_com.h"
#include "link/port_directory.h"
#include "monitor/frm_monitor.h"
#include "platform/scripted_prompts.h"
#include "platform/text_zoom.h"
#include "tests/accessible_walk.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QMouseEvent>
#include <QTemporaryDir>
#include <QTest>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

using kt::drive::VirtualDrive;
using kt::monitor::FrmMonitor;
using kt::monitor::MonitorSession;

namespace {

std::vector<std::string> Names(const std::vector<int>& channels) {
    std::vector<std::string> names;
    for (const int channel : channels)
        names.push_back(
            MonitorSession::Channels()[static_cast<std::size_t>(channel)].name.toStdString());
    return names;
}

// Identification aside, every value, channel and bit is one channel.
TEST(MonitorCatalogueTest, EveryValueChannelAndBitIsAChannelUnderItsNameAndUnit) {
    const auto& channels = MonitorSession::Channels();
    std::size_t watchable = 0;
    for (const kt::drivemap::DriveValue& value : kt::drivemap::Values())
        if (value.id != kt::drivemap::Id::Identification)
            watchable += static_cast<std::size_t>(std::max(kt::drivemap::Channels(value.id), 1));
    EXPECT_EQ(channels.size(), watchable);
    for (std::size_t i = 0; i < channels.size(); ++i) {
        const std::string name = kt::drivemap::Name(channels[i].ref);
        SCOPED_TRACE(name);
        EXPECT_EQ(channels[i].name.toStdString(), name);
        EXPECT_EQ(MonitorSession::ChannelsNamed(name), std::vector<int>{static_cast<int>(i)});
    }
}

TEST(MonitorCatalogueTest, AnyNameTheCatalogueAcceptsFindsItsChannels) {
    // A numbered value stands for its channel 0, a bit group for its bits.
    const std::vector<std::pair<const char*, std::vector<std::string>>> cases = {
        {"status.Fault", {"Fault"}},
        {"Counter", {"Counter.0"}},
        {"Outputs", {"Output.0", "Output.1"}},
        {"Identification", {}},
        {"Counter.8", {}}};
    for (const auto& [name, channels] : cases)
        EXPECT_EQ(Names(MonitorSession::ChannelsNamed(name)), channels) << name;
}

TEST(MonitorStatusTest, PausedTextClaimsNoMoreThanIsKept) {
    const std::vector<std::tuple<qint64, MonitorSession::Kept, QString>> cases = {
        {0, {}, "Tick values and press Start."},
        {1234, {0, 0, 6170, true}, "Paused: 1234 reads recorded."},
        {30100000,
         {2000, 599379, 602000, false},
         "Paused: 30100000 reads; the last 600.0 s are kept, the last 2.6 s of them in full."},
    };
    for (const auto& [reads, kept, text] : cases)
        EXPECT_EQ(FrmMonitor::PausedText(reads, kept), text) << reads;
}

class MonitorWindowTest : public ::testing::Test {
protected:
    MonitorWindowTest() {
        m_drive.SetMotorModel(false);
        m_link.SetReplyTimeout([](int) { return 30; });
        m_ports.AddPort(QStringLiteral("drive"), [this] {
            auto port = std::make_unique<kt::drive::VirtualDriveTransport>(m_drive);
            // A read takes the real line's time: a recording lasts a while.
            port->SetByteTime(kt::drive::VirtualDriveTransport::kLineByteTime);
            return port;
        });
    }
    ~MonitorWindowTest() override {
        EXPECT_EQ(m_prompts.Unscripted().join(u'|').toStdString(), "");
    }
    // Runs events until the session has made `reads` more reads, or stopped.
    void Await(qint64 reads) {
        const qint64 target = m_window.Session().Reads() + reads;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return m_window.Session().Reads() >= target || !m_window.Session().Running(); },
            10000));
    }
    const kt::monitor::SampleHistory& History(const char* name) {
        return m_window.Session().History(MonitorSession::ChannelsNamed(name).at(0));
    }

    VirtualDrive m_drive;
    kt::link::PortDirectory m_ports{QStringList{QStringLiteral("/nonexistent/kt-no-port")}};
    kt::platform::ScriptedPrompts m_prompts;
    kt::link::FrmMotorCom m_link{m_prompts, [this](int n) { return m_ports.Create(n); }};
    FrmMonitor m_window{m_link, m_ports, m_prompts};
};

TEST_F(MonitorWindowTest, AValueReadsAsTheCommandLinePrintsItWithItsUnit) {
    EXPECT_FALSE(m_window.Choose(QStringList{"Timer.1", "Speed"}));
    EXPECT_EQ(Names(m_window.Session().Chosen()), std::vector<std::string>{"Timer.1"});
    m_drive.SetDataWord(290, 0x0701); // WordCounter.1: Counter.3 7
    m_drive.SetDataByte(62, 0x01);    // CommandForward
    m_drive.SetDataByte(75, 3);       // Error
    // The chooser's line and last reading, the cursor's line; BusVolt at power-up.
    const std::vector<std::tuple<QString, std::string, std::string, std::string>> rows = {
        {"BusVolt", "BusVolt [V]", "47.96733", "BusVolt = 47.96733 V"},
        {"Counter.3", "Counter.3", "7", "Counter.3 = 7"},
        {"CommandForward", "CommandForward", "1", "CommandForward = 1"},
        {"Error", "Error", "3: Fault in motor power stage.",
         "Error = 3: Fault in motor power stage."},
    };
    QStringList names;
    for (const auto& row : rows)
        names << std::get<0>(row);
    ASSERT_TRUE(m_window.Choose(names));
    m_window.Start();
    ASSERT_TRUE(m_window.Session().Running()) << m_window.StatusText().toStdString();
    Await(20);
    m_window.Pause();
    const int last = m_window.Session().Chosen().back();
    EXPECT_TRUE(QTest::qWaitFor([&] { return !m_window.ChooserText(last, 1).isEmpty(); }));
    const QStringList cursor = m_window.Plot().CursorValues(m_window.Session().Now());
    ASSERT_EQ(cursor.size(), static_cast<int>(rows.size()));
    for (std::size_t i = 0; i < rows.size(); ++i) {
        const auto& [name, chooser, reading, line] = rows[i];
        SCOPED_TRACE(name.toStdString());
        const int channel = m_window.Session().Chosen()[i];
        EXPECT_EQ(m_window.ChooserText(channel).toStdString(), chooser);
        EXPECT_EQ(m_window.ChooserText(channel, 1).toStdString(), reading);
        EXPECT_EQ(cursor[static_cast<int>(i)].toStdString(), line);
    }
}

// The recording's clock runs on across pauses; each gap is a break.
TEST_F(MonitorWindowTest, RecordingPausesResumesExportsStopsAndClears) {
    const MonitorSession& session = m_window.Session();
    ASSERT_TRUE(m_window.Choose(QStringList{"bus-volt", "current-speed", "status", "Input0"}));
    m_window.Start();
    ASSERT_TRUE(session.Running()) << m_window.StatusText().toStdString();
    Await(12);
    m_window.Pause();
    EXPECT_EQ(m_window.StatusText(), QString("Paused: %1 reads recorded.").arg(session.Reads()));

    // The export: a status column per bit; a folder that is not there is told.
    QTemporaryDir folder;
    m_prompts.PushFile(folder.filePath("run.csv"));
    ASSERT_TRUE(m_window.ExportCsv());
    QFile file(folder.filePath("run.csv"));
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"));
    EXPECT_EQ(lines[0], "time [s],CurrentSpeed,BusVolt [V],CommandForward,CommandReverse,"
                        "AutoTorque,ProgramRunMode,MotorForward,MotorEnable,Fault,Input.0");
    EXPECT_GE(lines.size(), 5);
    m_prompts.PushFile(folder.filePath("gone/run.csv"));
    m_prompts.Push(kt::platform::Answer::Ok);
    EXPECT_FALSE(m_window.ExportCsv());
    ASSERT_EQ(m_prompts.Shown().size(), 1u);
    EXPECT_TRUE(m_prompts.Shown()[0].text.startsWith("Could not save"));

    // The cursor's time in the status line, in seconds.
    m_window.show();
    EXPECT_EQ(kt::test::UnnamedControls(&m_window), QStringList{});
    kt::monitor::PlotView& plot = m_window.Plot();
    const QPointF over = plot.Geometry().plots.front().center();
    QMouseEvent move(QEvent::MouseMove, over, plot.mapToGlobal(over), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(&plot, &move);
    const qint64 at = plot.CursorMsecs().value_or(0);
    EXPECT_EQ(m_window.StatusText(), QString::number(static_cast<double>(at) / 1000.0, 'f', 3) +
                                         " s   " + plot.CursorValues(at).join("   "));

    // Resumed on the same clock: new reads are not refused as too early.
    const auto& volts = History("BusVolt");
    const auto& input = History("Input.0");
    const qint64 kept = volts.Appended();
    m_window.Start();
    Await(4); // a round: CurrentSpeed, BusVolt, Status, Input
    EXPECT_GT(volts.Appended(), kept);
    // Input.0 unticked for a while, then ticked again.
    ASSERT_TRUE(m_window.Choose(QStringList{"bus-volt", "current-speed", "status"}));
    Await(4);
    const qint64 inputs = input.Appended();
    ASSERT_TRUE(m_window.Choose(QStringList{"bus-volt", "current-speed", "status", "Input0"}));
    EXPECT_TRUE(QTest::qWaitFor([&] { return input.Appended() > inputs; }));
    EXPECT_EQ(volts.Breaks().size(), 1u);
    EXPECT_EQ(input.Breaks().size(), 2u);

    // A failed read stops the recording and says why, once.
    const kt::test::AnnouncementSpy heard;
    QStringList said;
    QObject::connect(&session, &MonitorSession::stopped, &m_window,
                     [&](const QString& why) { said << why; });
    m_drive.SetFault(VirtualDrive::Fault::NoReply);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !session.Running(); }));
    EXPECT_EQ(said, QStringList{"Monitoring stopped: The drive did not answer, 4 resends."});
    EXPECT_EQ(m_window.StatusText(), said.value(0));
    EXPECT_EQ(heard.Texts(), said);
    EXPECT_TRUE(m_window.StartAction()->isEnabled());
    m_drive.SetFault(VirtualDrive::Fault::None);
    m_window.Start();
    Await(3);
    EXPECT_TRUE(session.Running());
    EXPECT_EQ(said.size(), 1);
    EXPECT_EQ(volts.Breaks().size(), 2u);

    m_window.Pause();
    m_window.Clear();
    EXPECT_EQ(session.Reads(), 0);
    EXPECT_TRUE(volts.Empty());
}

// Tab: the tool bar (Start and Pause are off), the values, the plot; zoomed, more room.
TEST_F(MonitorWindowTest, TabGoesInOrderAndZoomGrowsTheLeastSize) {
    m_window.show();
    m_window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m_window));
    m_window.Plot().setFocus();
    QString order;
    for (int i = 0; i < 8; ++i) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        order += QAccessible::queryAccessibleInterface(QApplication::focusWidget())
                     ->text(QAccessible::Name) +
                 u'|';
    } // here a box is named by its choice, its label its relation
    EXPECT_EQ(order.toStdString(), "Clear|Export CSV|Follow|As fast as the line allows|Any port (1 "
                                   "to 31 in turn)|Rescan|Values|Plot|");
    const QSize normal = m_window.minimumSizeHint();
    kt::platform::TextZoom::Instance().SetPercent(200);
    QCoreApplication::processEvents();
    EXPECT_GT(m_window.minimumSizeHint().width(), normal.width() * 5 / 4);
    kt::platform::TextZoom::Instance().Reset();
}

} // namespace
