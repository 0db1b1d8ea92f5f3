// A second command clicked while the first one waits, a window closed while
// its command waits behind a monitoring read, and a port that vanishes, with
// the application's own dialogs opening on top of each other: each command
// keeps its own result, a command inside another's wait is refused, a closed
// window goes at once and is deleted once its command is back, and a lost
// port is closed once and found again later.
#include "device/frm_device.h"
#include "drive/pty_drive_server.h"
#include "drive/virtual_drive.h"
#include "drive/virtual_drive_transport.h"
#include "link/frm_motor_com.h"
#include "link/port_directory.h"
#include "modal_answerer.h"
#include "platform/dialog_prompts.h"

#include <gtest/gtest.h>

#include <QElapsedTimer>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

using kt::device::FrmDevice;
using kt::drive::VirtualDrive;
using kt::test::ModalAnswerer;
using Fault = VirtualDrive::Fault;

namespace {

const QString kNotRead = "Not Read, Either device not ready Or communication error.";
const QString kRetry = "Communication Failed,Retry?";
const QString kErase = "This will erase program in your motor, Are you sure?";
const QString kErrorWriting = "Error writing";
const QString kPortGone = "CommError 1011\nThe serial port has gone: the cable may be unplugged. "
                          "Plug it in and try again.";

// Whether the drive carried out an erase.
bool Erased(const VirtualDrive& drive) {
    return std::ranges::any_of(drive.Requests(),
                               [](const auto& request) { return request.fn == 4; });
}

class NestedCommands : public ::testing::Test {
protected:
    NestedCommands() {
        m_drive.SetMotorModel(false);
        m_drive.SetDataWord(274, 123); // acceleration rate 12.3
        m_link.SetReplyTimeout([](int) { return 20; });
        m_window = std::make_unique<FrmDevice>(m_link, m_prompts, [](std::uint8_t& error, long&) {
            error = 0;
            return QByteArray(254, '\x43');
        });
        m_window->show();
        m_drive.ClearLog();
    }
    ~NestedCommands() override { EXPECT_EQ(m_answerer.Unexpected(), std::vector<QString>{}); }

    // Clicks Erase Program as soon as the next wait lets events through.
    void EraseDuringTheWait() {
        QTimer::singleShot(0, m_window.get(), [this] { m_window->CmdWrite(37)->click(); });
    }

    VirtualDrive m_drive;
    kt::platform::DialogPrompts m_prompts;
    int m_replies = 0;
    std::unique_ptr<kt::link::Transport> MakePort(int n) {
        if (n != 1)
            return nullptr;
        auto port = std::make_unique<kt::drive::VirtualDriveTransport>(m_drive);
        // Queued: counts a reply once the link has taken it.
        QObject::connect(
            port.get(), &kt::link::Transport::Received, port.get(), [this] { ++m_replies; },
            Qt::QueuedConnection);
        return port;
    }
    kt::link::FrmMotorCom m_link{m_prompts, [this](int n) { return MakePort(n); }};
    std::unique_ptr<FrmDevice> m_window;
    ModalAnswerer m_answerer;
};

} // namespace

// Read All waits on a silent drive, Erase is clicked meanwhile, the retry
// question is cancelled: the erase is refused without a question (the link
// is busy), and the read fails with its own result.
TEST_F(NestedCommands, EraseDuringAFailingRead) {
    m_answerer.Answer(kRetry, QMessageBox::Cancel);
    m_answerer.Answer(kErrorWriting, QMessageBox::Ok);
    m_answerer.Answer(kNotRead, QMessageBox::Ok);
    m_window->TxtPara(0)->setText("old");
    m_drive.SetFault(Fault::NoReply);
    EraseDuringTheWait();
    m_window->CmdRead_Click(36);

    EXPECT_EQ(m_window->TxtPara(0)->text(), "old");
    EXPECT_EQ(m_answerer.Count(kNotRead), 1);
    EXPECT_EQ(m_answerer.Count(kErrorWriting), 1);
    EXPECT_FALSE(Erased(m_drive));
}

// The same with a drive that answers the read while the refusal is shown:
// the box shows what the drive holds, never another exchange's acknowledge.
TEST_F(NestedCommands, EraseDuringAGoodRead) {
    m_answerer.Answer(kErrorWriting, QMessageBox::Ok, [this] { return m_replies == 1; });
    EraseDuringTheWait();
    m_window->CmdRead_Click(0);

    EXPECT_EQ(m_window->TxtPara(0)->text(), "12.3");
    EXPECT_EQ(m_answerer.Count(kErrorWriting), 1);
    EXPECT_FALSE(Erased(m_drive));
}

// A write that was never acknowledged is reported, whatever ran meanwhile.
TEST_F(NestedCommands, UnacknowledgedWriteDuringErase) {
    m_answerer.Answer(kRetry, QMessageBox::Cancel, {}, [&] {
        m_drive.SetFault(Fault::None); // the drive answers again
    });
    m_answerer.Answer(kErrorWriting, QMessageBox::Ok);
    m_window->TxtPara(0)->setText("55");
    m_drive.SetFault(Fault::NoReply);
    EraseDuringTheWait();
    m_window->CmdWrite_Click(0);

    EXPECT_EQ(m_answerer.Count(kErrorWriting),
              2); // the refused erase, the failed write
    EXPECT_FALSE(Erased(m_drive));
}

// A question opened inside an exchange's wait and answered after the reply
// came: a command started from it is refused, because the first command has
// not returned, and the first keeps its own reply.
TEST_F(NestedCommands, CommandFromAQuestionInsideAWait) {
    m_drive.SetDataWord(290, 0x4242);
    std::uint8_t inner = 255;
    m_answerer.Answer(
        "Question", QMessageBox::Ok, [this] { return m_replies == 1; },
        [&] {
            QByteArray other;
            inner = m_link.SendPacket(0, 290, 2, other);
        });
    QTimer::singleShot(0, m_window.get(), [this] { m_prompts.Message({.text = "Question"}); });
    QByteArray data;
    EXPECT_EQ(m_link.SendPacket(0, 274, 2, data), kt::link::kSent);
    EXPECT_EQ(data, QByteArray("\x7b\x00", 2));
    EXPECT_EQ(inner, kt::link::kBusy);
}

namespace {

// Calls back on every event of the link.
struct Watcher : kt::link::LinkObserver {
    std::function<void(const kt::link::LinkEvent&)> on;
    void Observe(const kt::link::LinkEvent& event) override { on(event); }
};

} // namespace

// A monitoring read is on the wire (its start byte going out, or resent after
// a time-out) when the user clicks a read or a write and closes the window
// before it is answered: the window hides at once, the click's exchange goes
// out right after the monitoring read, the window is deleted once the click
// has returned, and the monitoring read completes with its own reply.
TEST(ClosedWhileWaiting, TheWindowGoesAfterItsCommand) {
    struct Row {
        bool resending; // the monitoring read goes unanswered once
        bool write;     // CmdWrite 0 (Accelerate) instead of CmdRead 0
    };
    const Row rows[] = {{false, false}, {true, false}, {false, true}, {true, true}};
    for (const Row& row : rows) {
        const std::string name = std::string(row.write ? "write" : "read") +
                                 (row.resending ? ", resending" : ", start byte");
        VirtualDrive drive;
        drive.SetMotorModel(false);
        drive.SetDataWord(274, 123);
        drive.SetDataByte(62, 0x31);
        kt::platform::DialogPrompts prompts;
        ModalAnswerer answerer;
        kt::link::FrmMotorCom link{
            prompts, [&drive](int n) -> std::unique_ptr<kt::link::Transport> {
                if (n != 1)
                    return nullptr;
                return std::make_unique<kt::drive::VirtualDriveTransport>(drive);
            }};
        link.SetReplyTimeout([](int) { return 20; });
        QPointer<FrmDevice> window = new FrmDevice(link, prompts, nullptr);
        ASSERT_EQ(window->MotorPort(), 1) << name;
        window->show();
        window->TxtPara(0)->setText("55");
        drive.ClearLog();
        if (row.resending)
            drive.SetFault(Fault::NoReply, 1);

        bool returned = false, visibleAtReturn = true, aliveAtReturn = false;
        Watcher watcher;
        watcher.on = [&](const kt::link::LinkEvent& event) {
            using Kind = kt::link::LinkEvent::Kind;
            const bool at =
                row.resending ? event.kind == Kind::Resend : event.kind == Kind::Request;
            if (!event.background || !at || returned || !window)
                return;
            QTimer::singleShot(0, window.data(), [&] {
                // Closed while the click below waits.
                QTimer::singleShot(0, window.data(), [&] { window->close(); });
                if (row.write)
                    window->CmdWrite_Click(0);
                else
                    window->CmdRead_Click(0);
                returned = true;
                visibleAtReturn = window && window->isVisible();
                aliveAtReturn = !window.isNull();
            });
        };
        link.AddObserver(&watcher);
        QObject monitor;
        kt::link::Completion sample;
        int samples = 0;
        link.SubmitBackground({0, 62, 1, {}, false}, &monitor,
                              [&](const kt::link::Completion& done) {
                                  ++samples;
                                  sample = done;
                              });
        EXPECT_TRUE(QTest::qWaitFor([&] { return returned && window.isNull(); }, 5000)) << name;
        link.RemoveObserver(&watcher);
        EXPECT_FALSE(visibleAtReturn) << name;
        EXPECT_TRUE(aliveAtReturn) << name;
        EXPECT_EQ(samples, 1) << name;
        EXPECT_EQ(sample.data, QByteArray(1, '\x31')) << name;
        // The drive saw the monitoring read (twice when it went unanswered
        // once), then the click's exchange, and nothing else.
        std::vector<std::pair<bool, int>> seen;
        for (const kt::drive::DriveRequest& request : drive.Requests())
            seen.emplace_back(request.write, request.address);
        std::vector<std::pair<bool, int>> expected(row.resending ? 2 : 1, {false, 62});
        expected.emplace_back(row.write, 274);
        EXPECT_EQ(seen, expected) << name;
        EXPECT_EQ(answerer.Unexpected(), std::vector<QString>{}) << name;
        if (row.write) {
            EXPECT_EQ(drive.DataWord(274), 550) << name;
        }
    }
}

#ifdef Q_OS_UNIX

namespace {

// The drive on a real pseudo-terminal, reached through a link of the
// program's own, which closes the master like a killed drive process.
class VanishingPort : public ::testing::Test {
protected:
    VanishingPort() {
        m_drive.SetMotorModel(false);
        m_drive.SetDataWord(274, 123);
        m_link.SetReplyTimeout([this](int) {
            if (m_onSend)
                QTimer::singleShot(0, m_window.get(), std::exchange(m_onSend, nullptr));
            return 200;
        });
    }
    ~VanishingPort() override { EXPECT_EQ(m_answerer.Unexpected(), std::vector<QString>{}); }

    bool StartDrive() {
        m_server = std::make_unique<kt::drive::PtyDriveServer>(m_drive, m_path);
        QString error;
        const bool started = m_server->Start(&error);
        EXPECT_TRUE(started) << error.toStdString();
        return started;
    }
    void KillDrive() { m_server.reset(); }

    QString Read() {
        m_window->TxtPara(0)->clear();
        m_window->CmdRead_Click(0);
        return m_window->TxtPara(0)->text();
    }

    QTemporaryDir m_folder;
    QString m_path = m_folder.filePath("drive");
    VirtualDrive m_drive;
    std::unique_ptr<kt::drive::PtyDriveServer> m_server;
    kt::platform::DialogPrompts m_prompts;
    kt::link::PortDirectory m_ports{QStringList{m_path}};
    kt::link::FrmMotorCom m_link{m_prompts, [this](int n) { return m_ports.Create(n); }};
    std::unique_ptr<FrmDevice> m_window;
    std::function<void()> m_onSend;
    ModalAnswerer m_answerer;
};

} // namespace

TEST_F(VanishingPort, WhileIdleAndDuringAWait) {
    ASSERT_TRUE(StartDrive());
    m_window = std::make_unique<FrmDevice>(m_link, m_prompts, nullptr);
    ASSERT_EQ(m_window->MotorPort(), 1);
    // The user takes a moment to read the box, as events flow beneath it.
    QElapsedTimer shown;
    m_answerer.WhileShown("CommError", [&] { shown.start(); });
    m_answerer.Answer("CommError 1011", QMessageBox::Ok, [&] { return shown.elapsed() > 300; });
    m_answerer.Answer(kNotRead, QMessageBox::Ok);

    // Idle: one box, and the application goes on.
    KillDrive();
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_answerer.Count("CommError") == 1; }, 5000));
    QTest::qWait(300); // a failing port repeats its error; none may follow
    EXPECT_EQ(m_answerer.Shown(), std::vector<QString>{kPortGone});
    EXPECT_EQ(m_link.PortNumber(), 0);

    // Back at the same path: the next command searches and finds it.
    ASSERT_TRUE(StartDrive());
    EXPECT_EQ(Read(), "12.3");

    // During a wait: the read ends failed, once.
    m_drive.SetFault(Fault::NoReply, 1);
    m_onSend = [this] { KillDrive(); };
    EXPECT_EQ(Read(), "");
    EXPECT_EQ(m_answerer.Count("CommError"), 2);
    EXPECT_EQ(m_answerer.Count(kNotRead), 1);

    ASSERT_TRUE(StartDrive());
    m_drive.SetFault(Fault::None);
    EXPECT_EQ(Read(), "12.3");
}

// The port vanishes while the erase question is open: the error box comes on
// top, and the confirmed erase then finds no drive instead of a freed port.
TEST_F(VanishingPort, WhileAConfirmationIsOpen) {
    ASSERT_TRUE(StartDrive());
    m_window = std::make_unique<FrmDevice>(m_link, m_prompts, nullptr);
    ASSERT_EQ(m_window->MotorPort(), 1);
    m_answerer.WhileShown(kErase, [this] { KillDrive(); });
    QElapsedTimer shown;
    m_answerer.WhileShown("CommError", [&] { shown.start(); });
    m_answerer.Answer("CommError 1011", QMessageBox::Ok, [&] { return shown.elapsed() > 300; });
    m_answerer.Answer(kErase, QMessageBox::Yes, [&] { return m_answerer.Count("CommError") == 1; });
    m_answerer.Answer(kErrorWriting, QMessageBox::Ok);
    m_window->CmdWrite_Click(37);
    EXPECT_EQ(m_answerer.Shown(), (std::vector<QString>{kErase, kPortGone, kErrorWriting}));

    ASSERT_TRUE(StartDrive());
    EXPECT_EQ(Read(), "12.3");
}

#endif
