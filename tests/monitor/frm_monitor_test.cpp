// The Monitor window against a drive that answers at line speed: a device
// command clicked while a monitoring read waits runs after it instead of
// failing busy, a sample keeps its reply's time whatever the user's command
// does meanwhile, a failed read stops monitoring with one sentence and no
// box, and what was recorded exports as CSV.
#include "device/frm_device.h"
#include "drive/virtual_drive.h"
#include "drive/virtual_drive_transport.h"
#include "link/frm_motor_com.h"
#include "link/port_directory.h"
#include "modal_answerer.h"
#include "monitor/frm_monitor.h"
#include "platform/dialog_prompts.h"
#include "platform/scripted_prompts.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTest>

#include <chrono>
#include <cstdlib>

using kt::drive::VirtualDrive;
using kt::monitor::FrmMonitor;
using kt::monitor::MonitorSession;

namespace {

int ChannelOf(const char* name) {
    const std::vector<int> channels = MonitorSession::ChannelsNamed(name);
    if (channels.size() == 1)
        return channels[0];
    ADD_FAILURE() << "no one channel " << name;
    return -1;
}

class MonitorTest : public ::testing::Test {
protected:
    MonitorTest() {
        m_drive.SetMotorModel(false);
        m_drive.SetDataWord(274, 123); // acceleration rate 12.3
        m_link.SetReplyTimeout([](int) { return 30; });
        m_ports.AddPort(QStringLiteral("paced-drive"), [this] {
            auto port = std::make_unique<kt::drive::VirtualDriveTransport>(m_drive);
            // About a tenth of the real line's pace: reads take real time.
            port->SetByteTime(std::chrono::microseconds(50));
            return port;
        });
        m_window.Choose({ChannelOf("BusVolt"), ChannelOf("MotorEnable"), ChannelOf("Input0")});
    }
    ~MonitorTest() override {
        EXPECT_EQ(m_answerer.Unexpected(), std::vector<QString>{});
        EXPECT_EQ(m_prompts.Unscripted().join(u'|').toStdString(), "");
    }

    // Runs events until the session has made `reads` more reads, or stopped.
    void Await(qint64 reads) {
        const qint64 target = m_window.Session().Reads() + reads;
        EXPECT_TRUE(QTest::qWaitFor(
            [&] { return m_window.Session().Reads() >= target || !m_window.Session().Running(); },
            10000));
    }

    VirtualDrive m_drive;
    kt::link::PortDirectory m_ports{QStringList{QStringLiteral("/nonexistent/kt-no-port")}};
    kt::platform::DialogPrompts m_dialogs;
    kt::platform::ScriptedPrompts m_prompts;
    kt::link::FrmMotorCom m_link{m_dialogs, [this](int n) { return m_ports.Create(n); }};
    FrmMonitor m_window{m_link, m_ports, m_prompts};
    kt::test::ModalAnswerer m_answerer;
};

} // namespace

TEST_F(MonitorTest, DeviceCommandDuringMonitoringWaitsForTheReadThenRuns) {
    kt::device::FrmDevice device(m_link, m_dialogs, [](std::uint8_t& error, long&) {
        error = 0;
        return QByteArray();
    });
    m_window.Start();
    ASSERT_TRUE(m_window.Session().Running()) << m_window.StatusText().toStdString();
    Await(5);
    int clicks = 0, clickedDuringARead = 0;
    for (int round = 0; round < 5; ++round) {
        device.TxtPara(0)->clear();
        // A click lands while a monitoring read waits for its reply.
        QTimer::singleShot(3, &device, [&] {
            ++clicks;
            clickedDuringARead += m_link.Busy();
            device.CmdRead_Click(0);
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return clicks > round; }, 5000));
        EXPECT_EQ(device.TxtPara(0)->text(), "12.3");
    }
    EXPECT_GT(clickedDuringARead, 0);
    const qint64 before = m_window.Session().Reads();
    Await(3);
    EXPECT_TRUE(m_window.Session().Running());
    EXPECT_GE(m_window.Session().Reads(), before + 3);
    const auto& volts = m_window.Session().History(ChannelOf("BusVolt"));
    ASSERT_FALSE(volts.Empty());
    EXPECT_GT(volts.At(volts.Size() - 1).value, 40.0);
    EXPECT_FALSE(m_window.Session().History(ChannelOf("Input0")).Empty());
}

// The program commands ask first and then wait for the monitoring read in
// flight, as single values do; they never fail "busy" because of it.
TEST_F(MonitorTest, ProgramCommandsDuringMonitoringAskAndThenRun) {
    QByteArray image(254, '\0');
    image[0] = 0x2d;
    image[1] = 0x07;
    kt::device::FrmDevice device(m_link, m_dialogs, [&](std::uint8_t& error, long&) {
        error = 0;
        return image;
    });
    m_window.Start();
    ASSERT_TRUE(m_window.Session().Running()) << m_window.StatusText().toStdString();
    Await(3);
    struct Row {
        int index;
        QString question;
        quint8 firstByte; // of the drive's program memory afterwards
    };
    const Row rows[] = {
        {38, "This will put a new ProgramData in your motor", 0x2d},
        {37, "This will erase program in your motor", 0xff},
    };
    for (const Row& row : rows) {
        bool answered = false;
        m_answerer.Answer(row.question, QMessageBox::Yes, {}, [&] { answered = true; });
        bool clickedDuringARead = false;
        bool done = false;
        QTimer::singleShot(3, &device, [&] {
            clickedDuringARead = m_link.Busy();
            device.CmdWrite_Click(row.index);
            done = true;
        });
        EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 10000));
        EXPECT_TRUE(answered) << row.index;
        EXPECT_TRUE(clickedDuringARead) << row.index;
        EXPECT_EQ(m_answerer.Count("Error writing"), 0) << row.index;
        EXPECT_EQ(static_cast<quint8>(m_drive.ProgramMemory()[0]), row.firstByte) << row.index;
    }
    Await(3);
    EXPECT_TRUE(m_window.Session().Running());
}

// A user's read meets the drive's silence and asks to retry while the
// Monitor runs: the monitoring read that was on the wire when the click came
// is recorded at once, with the time its reply was taken, not after the
// user's command; nothing is read while the user's command holds the link.
TEST_F(MonitorTest, ASampleKeepsItsReplyTimeWhileAUserCommandAsksToRetry) {
    kt::device::FrmDevice device(m_link, m_dialogs, [](std::uint8_t& error, long&) {
        error = 0;
        return QByteArray();
    });
    const MonitorSession& session = m_window.Session();
    const auto& volts = session.History(ChannelOf("BusVolt"));
    m_window.Start();
    ASSERT_TRUE(session.Running()) << m_window.StatusText().toStdString();
    Await(3);
    // The link's clock ahead of the recording's (both in whole milliseconds).
    const qint64 offset = m_link.Elapsed() - session.Now();

    struct Watcher : kt::link::LinkObserver {
        std::function<void(const kt::link::LinkEvent&)> on;
        void Observe(const kt::link::LinkEvent& event) override { on(event); }
    } watcher;
    qint64 lastReply = -1, replyBeforeUser = -1;
    watcher.on = [&](const kt::link::LinkEvent& event) {
        using Kind = kt::link::LinkEvent::Kind;
        if (event.background && event.kind == Kind::Reply)
            lastReply = event.msecs;
        if (!event.background && event.kind == Kind::Request && replyBeforeUser < 0) {
            replyBeforeUser = lastReply;
            // The user's read goes unanswered five times; after Retry, it is.
            m_drive.SetFault(VirtualDrive::Fault::NoReply, 1 + kt::link::FrmMotorCom::kMaxResends);
        }
    };
    m_link.AddObserver(&watcher);

    qint64 readsAsked = -1, lastSampleAsked = -1;
    QElapsedTimer shown;
    m_answerer.WhileShown("Communication Failed,Retry?", [&] {
        shown.start();
        readsAsked = session.Reads();
        lastSampleAsked = volts.LastMsecs();
    });
    m_answerer.Answer("Communication Failed,Retry?", QMessageBox::Retry,
                      [&] { return shown.elapsed() > 100; });
    bool done = false;
    qint64 readsAtReturn = -1;
    QTimer::singleShot(3, &device, [&] {
        device.CmdRead_Click(0);
        readsAtReturn = session.Reads();
        done = true;
    });
    EXPECT_TRUE(QTest::qWaitFor([&] { return done; }, 10000));
    m_link.RemoveObserver(&watcher);
    EXPECT_EQ(device.TxtPara(0)->text(), "12.3");
    ASSERT_GE(replyBeforeUser, 0);
    // Recorded before the question, stamped with its reply's time.
    EXPECT_LE(std::abs(lastSampleAsked - (replyBeforeUser - offset)), 2);
    // Nothing was read while the user's command held the link.
    EXPECT_EQ(readsAtReturn, readsAsked);
    Await(3);
    EXPECT_TRUE(session.Running());
    EXPECT_GT(volts.LastMsecs(), lastSampleAsked);
}

TEST_F(MonitorTest, AFailedReadStopsMonitoringAndSaysWhyOnce) {
    QStringList said;
    QObject::connect(&m_window.Session(), &MonitorSession::stopped, &m_window,
                     [&](const QString& why) { said << why; });
    m_window.Start();
    Await(4);
    m_drive.SetFault(VirtualDrive::Fault::NoReply);
    EXPECT_TRUE(QTest::qWaitFor([&] { return !m_window.Session().Running(); }, 5000));
    QTest::qWait(100); // no second word, and no retry question, comes later
    ASSERT_EQ(said.size(), 1);
    EXPECT_EQ(said[0].toStdString(), "Monitoring stopped: The drive did not answer, 4 resends.");
    EXPECT_EQ(m_window.StatusText(), said[0]);
    EXPECT_TRUE(m_window.StartAction()->isEnabled());
    // The user restarts it once the drive is back.
    m_drive.SetFault(VirtualDrive::Fault::None);
    m_window.Start();
    Await(3);
    EXPECT_TRUE(m_window.Session().Running());
    // Not joined across the time it stood still.
    EXPECT_EQ(m_window.Session().History(ChannelOf("BusVolt")).Breaks().size(), 1u);
}

TEST_F(MonitorTest, RecordingExportsAsCsv) {
    m_window.Start();
    Await(6);
    m_window.Pause();
    const qint64 reads = m_window.Session().Reads();
    EXPECT_EQ(m_window.StatusText(), QString("Paused: %1 reads recorded.").arg(reads));
    QTemporaryDir folder;
    const QString path = folder.filePath("run.csv");
    m_prompts.PushFile(path);
    ASSERT_TRUE(m_window.ExportCsv());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QStringList lines = QString::fromUtf8(file.readAll()).split(QStringLiteral("\r\n"));
    EXPECT_EQ(lines[0], "time [s],BusVolt [V],MotorEnable,Input.0");
    // A row per read at most (two in one millisecond share it), and the
    // last line end.
    EXPECT_LE(lines.size(), reads + 2);
    EXPECT_GE(lines.size(), 5);
    // A folder that is not there: told, and nothing is written.
    m_prompts.PushFile(folder.filePath("gone/run.csv"));
    m_prompts.Push(kt::platform::Answer::Ok);
    EXPECT_FALSE(m_window.ExportCsv());
    ASSERT_EQ(m_prompts.Shown().size(), 1u);
    EXPECT_TRUE(m_prompts.Shown()[0].text.startsWith("Could not save"));
}

TEST(MonitorStatusTest, PausedTextClaimsNoMoreThanIsKept) {
    struct Case {
        qint64 reads;
        MonitorSession::Kept kept;
        QString text;
    };
    const std::vector<Case> cases = {
        {0, {}, "Tick values and press Start."},
        {1234, {0, 0, 6170, true}, "Paused: 1234 reads recorded."},
        {30100000,
         {2000, 599379, 602000, false},
         "Paused: 30100000 reads; the last 600.0 s are kept, the last 2.6 s of them in full."},
        {150000,
         {150000, 150000, 750000, false},
         "Paused: 150000 reads; the last 600.0 s are kept, the last 600.0 s of them in full."},
    };
    for (const Case& c : cases)
        EXPECT_EQ(FrmMonitor::PausedText(c.reads, c.kept), c.text) << c.reads;
}
