// A second command clicked while the first one waits, a window closed while
// its command waits, and a port that vanishes, with
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
using Fault = VirtualDrive::Fault;
using Texts = std::vector<QString>;

namespace {

const QString kNotRead = "Not Read, Either device not ready Or communication error.";
const QString kRetry = "Communication Failed,Retry?";
const QString kErase = "This will erase program in your motor, Are you sure?";
const QString kErrorWriting = "Error writing";
const QString kPortGone = "CommError 1011\nThe serial port has gone: the cable may be unplugged. "
                          "Plug it in and try again.";

// A device window on the in-process drive, its messages in the application's
// own dialogs, answered as a user would.
struct Bench {
    Bench() {
        drive.SetMotorModel(false);
        drive.SetDataWord(274, 123); // acceleration rate 12.3
        link.SetReplyTimeout([](int) { return 20; });
        window = new FrmDevice(link, prompts, [](std::uint8_t& error, long&) {
            error = 0;
            return QByteArray(254, '\x43');
        });
        window->show();
        drive.ClearLog();
    }
    ~Bench() {
        EXPECT_EQ(answerer.Unexpected(), Texts{});
        delete window.data();
    }
    std::unique_ptr<kt::link::Transport> MakePort(int n) {
        if (n != 1)
            return nullptr;
        auto port = std::make_unique<kt::drive::VirtualDriveTransport>(drive);
        // Queued: counts a reply once the link has taken it.
        QObject::connect(
            port.get(), &kt::link::Transport::Received, port.get(), [this] { ++replies; },
            Qt::QueuedConnection);
        return port;
    }
    bool Erased() const {
        return std::ranges::any_of(drive.Requests(), [](const auto& r) { return r.fn == 4; });
    }

    VirtualDrive drive;
    kt::platform::DialogPrompts prompts;
    int replies = 0;
    kt::link::FrmMotorCom link{prompts, [this](int n) { return MakePort(n); }};
    QPointer<FrmDevice> window;
    kt::test::ModalAnswerer answerer;
};

} // namespace

// A command waits for the drive and Erase Program is clicked meanwhile: the
// erase is refused at once without its question (the link is busy), and the
// first command ends with its own result: a failing Read All keeps the boxes
// as they were, a read the drive answers while the refusal is shown shows
// what the drive holds (never the other exchange's acknowledge), a write
// that was never acknowledged is reported.
TEST(NestedCommands, EraseClickedDuringACommandIsRefused) {
    struct Row {
        const char* name;
        bool silent; // the drive does not answer: Cancel to the retry question
        bool write;
        int index;
        QString before, after; // the acceleration rate's box
        int errorWriting, notRead;
    };
    const Row rows[] = {{"failing Read All", true, false, 36, "old", "old", 1, 1},
                        {"read", false, false, 0, "", "12.3", 1, 0},
                        {"unacknowledged write", true, true, 0, "55", "55", 2, 0}};
    for (const Row& row : rows) {
        Bench b;
        b.answerer.Answer(kRetry, QMessageBox::Cancel, {}, [&] {
            b.drive.SetFault(Fault::None); // the drive answers again
        });
        b.answerer.Answer(kErrorWriting, QMessageBox::Ok,
                          [&] { return row.silent || b.replies == 1; });
        b.answerer.Answer(kNotRead, QMessageBox::Ok);
        b.window->TxtPara(0)->setText(row.before);
        if (row.silent)
            b.drive.SetFault(Fault::NoReply);
        QTimer::singleShot(0, b.window, [&] { b.window->CmdWrite(37)->click(); });
        if (row.write)
            b.window->CmdWrite_Click(row.index);
        else
            b.window->CmdRead_Click(row.index);
        EXPECT_EQ(b.window->TxtPara(0)->text(), row.after) << row.name;
        EXPECT_EQ(b.answerer.Count(kErrorWriting), row.errorWriting) << row.name;
        EXPECT_EQ(b.answerer.Count(kNotRead), row.notRead) << row.name;
        EXPECT_FALSE(b.Erased()) << row.name;
    }
}

// A question opened inside an exchange's wait and answered after the reply
// came: a command started from it is refused, because the first command has
// not returned, and the first keeps its own reply.
TEST(NestedCommands, CommandFromAQuestionInsideAWait) {
    Bench b;
    b.drive.SetDataWord(290, 0x4242);
    std::uint8_t inner = 255;
    b.answerer.Answer(
        "Question", QMessageBox::Ok, [&] { return b.replies == 1; },
        [&] {
            QByteArray other;
            inner = b.link.SendPacket(0, 290, 2, other);
        });
    QTimer::singleShot(0, b.window, [&] { b.prompts.Message({.text = "Question"}); });
    QByteArray data;
    EXPECT_EQ(b.link.SendPacket(0, 274, 2, data), kt::link::kSent);
    EXPECT_EQ(data, QByteArray("\x7b\x00", 2));
    EXPECT_EQ(inner, kt::link::kBusy);
}

// The window is closed while its read or write waits for the drive (which
// answers only the resend): it hides at once, the command goes on, and the
// window is deleted once the command has returned.
TEST(ClosedWhileWaiting, TheWindowGoesAfterItsCommand) {
    for (const bool write : {false, true}) {
        Bench b;
        b.window->TxtPara(0)->setText("55");
        b.drive.SetFault(Fault::NoReply, 1);
        QTimer::singleShot(0, b.window, [&] { b.window->close(); });
        if (write)
            b.window->CmdWrite_Click(0);
        else
            b.window->CmdRead_Click(0);
        ASSERT_FALSE(b.window.isNull()) << write;
        EXPECT_FALSE(b.window->isVisible()) << write;
        EXPECT_EQ(b.window->TxtPara(0)->text(), write ? "55" : "12.3");
        EXPECT_TRUE(QTest::qWaitFor([&] { return b.window.isNull(); }, 5000)) << write;
        EXPECT_EQ(b.drive.DataWord(274), write ? 550 : 123) << write;
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
        StartDrive();
        m_window = std::make_unique<FrmDevice>(m_link, m_prompts, nullptr);
        EXPECT_EQ(m_window->MotorPort(), 1);
        // The user takes a moment to read the error box, as events flow
        // beneath it: a failing port would repeat its error meanwhile.
        m_answerer.WhileShown("CommError", [&] { m_shown.start(); });
        m_answerer.Answer("CommError 1011", QMessageBox::Ok,
                          [&] { return m_shown.elapsed() > 300; });
    }
    ~VanishingPort() override { EXPECT_EQ(m_answerer.Unexpected(), Texts{}); }

    void StartDrive() {
        m_server = std::make_unique<kt::drive::PtyDriveServer>(m_drive, m_path);
        QString error;
        EXPECT_TRUE(m_server->Start(&error)) << error.toStdString();
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
    QElapsedTimer m_shown;
    kt::test::ModalAnswerer m_answerer;
};

} // namespace

TEST_F(VanishingPort, WhileIdleAndDuringAWait) {
    m_answerer.Answer(kNotRead, QMessageBox::Ok);
    // Idle: one box, and the application goes on.
    KillDrive();
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_answerer.Count("CommError") == 1; }, 5000));
    QTest::qWait(300); // a failing port repeats its error; none may follow
    EXPECT_EQ(m_answerer.Shown(), Texts{kPortGone});
    EXPECT_EQ(m_link.PortNumber(), 0);

    // Back at the same path: the next command searches and finds it.
    StartDrive();
    EXPECT_EQ(Read(), "12.3");

    // During a wait: the read ends failed, once.
    m_drive.SetFault(Fault::NoReply, 1);
    m_onSend = [this] { KillDrive(); };
    EXPECT_EQ(Read(), "");
    EXPECT_EQ(m_answerer.Count("CommError"), 2);
    EXPECT_EQ(m_answerer.Count(kNotRead), 1);

    StartDrive();
    m_drive.SetFault(Fault::None);
    EXPECT_EQ(Read(), "12.3");
}

// The port vanishes while the erase question is open: the error box comes on
// top, and the confirmed erase then finds no drive instead of a freed port.
TEST_F(VanishingPort, WhileAConfirmationIsOpen) {
    m_answerer.WhileShown(kErase, [this] { KillDrive(); });
    m_answerer.Answer(kErase, QMessageBox::Yes, [&] { return m_answerer.Count("CommError") == 1; });
    m_answerer.Answer(kErrorWriting, QMessageBox::Ok);
    m_window->CmdWrite_Click(37);
    EXPECT_EQ(m_answerer.Shown(), (Texts{kErase, kPortGone, kErrorWriting}));

    StartDrive();
    EXPECT_EQ(Read(), "12.3");
}

#endif
