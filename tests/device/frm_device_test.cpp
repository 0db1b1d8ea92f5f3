// The device window against the in-process virtual drive: which box goes
// to which value, the program commands and their status line, with every
// message answered by the scripted prompt service. Then, with the
// application's own dialogs opening on top of each other, a second command
// clicked while the first one waits, a window closed while its command
// waits, and a port that vanishes: each command keeps its own result, a
// command inside another's wait is refused, a closed window goes at once and
// is deleted once its command is back, and a lost port is closed once and
// found again later. Conversions are the command set's tests' business.
#include "compiler/program_compiler.h"
#include "device/frm_device.h"
#include "drive/pty_drive_server.h"
#include "drive/virtual_drive.h"
#include "drive/virtual_drive_transport.h"
#include "link/fake_transport.h"
#include "link/frm_motor_com.h"
#include "link/port_directory.h"
#include "modal_answerer.h"
#include "platform/dialog_prompts.h"
#include "platform/scripted_prompts.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using kt::device::FrmDevice;
using kt::drive::VirtualDrive;
using kt::platform::Answer;
using Fault = VirtualDrive::Fault;
using Texts = std::vector<QString>;

namespace {

const QString kNotRead = "Not Read, Either device not ready Or communication error.";
const QString kRetry = "Communication Failed,Retry?";
const QString kErase = "This will erase program in your motor, Are you sure?";
const QString kErrorWriting = "Error writing";
const QString kPortGone = "CommError 1011\nThe serial port has gone: the cable may be unplugged. "
                          "Plug it in and try again.";

class DeviceTest : public ::testing::Test {
protected:
    DeviceTest() {
        m_drive.SetMotorModel(false);
        m_drive.SetDataWord(274, 55); // acceleration rate 5.5
        m_link.SetReplyTimeout([this](int dataCount) {
            if (++m_requests == m_failAt)
                m_drive.SetFault(Fault::WrongChecksum, 1);
            // Runs once the request has gone out, before any reply comes in.
            if (m_onSend && dataCount == 254)
                QTimer::singleShot(0, &m_drive, std::exchange(m_onSend, nullptr));
            return 50;
        });
    }
    ~DeviceTest() override { EXPECT_EQ(m_prompts.Unscripted().join(u'|').toStdString(), ""); }

    std::unique_ptr<FrmDevice> Open() {
        auto window = std::make_unique<FrmDevice>(m_link, m_prompts,
                                                  [this](std::uint8_t& error, long& lineCount) {
                                                      error = m_programError;
                                                      lineCount = 3;
                                                      return error == 0 ? m_image : QByteArray();
                                                  });
        window->show();
        m_drive.ClearLog();
        return window;
    }
    Texts Shown() const { return m_prompts.ShownTexts(); }

    VirtualDrive m_drive;
    int m_requests = 0;
    int m_failAt = -1;
    std::function<void()> m_onSend; // on the download's request
    QByteArray m_image;
    std::uint8_t m_programError = 0;
    kt::platform::ScriptedPrompts m_prompts;
    QPointer<kt::drive::VirtualDriveTransport> m_port;
    kt::link::FrmMotorCom m_link{
        m_prompts, [this](int port) -> std::unique_ptr<kt::link::Transport> {
            if (port != 1)
                return nullptr;
            auto transport = std::make_unique<kt::drive::VirtualDriveTransport>(m_drive);
            m_port = transport.get();
            return transport;
        }};
};

} // namespace

TEST_F(DeviceTest, OpensCollapsedAndEmpty) {
    auto window = Open();
    EXPECT_EQ(window->windowTitle(), "KtMotor Found on port 1");
    EXPECT_TRUE(window->TxtPara(30)->text().isEmpty());

    // No drive: said in the title only. A port the user may not open is
    // named once, with the way to get access.
    for (const bool denied : {false, true}) {
        kt::link::FrmMotorCom link(m_prompts, [denied](int port) {
            auto transport = std::make_unique<kt::link::test::FakeTransport>(nullptr);
            transport->FailOpen(denied && (port == 2 || port == 5)
                                    ? kt::link::OpenFailure::PermissionDenied
                                    : kt::link::OpenFailure::Unavailable);
            return port <= 5 ? std::move(transport) : nullptr;
        });
        m_prompts.Clear();
        EXPECT_EQ(FrmDevice(link, m_prompts, nullptr).windowTitle(), "KtMotor Not Found");
        ASSERT_EQ(Shown().size(), denied ? 1u : 0u);
    }
    EXPECT_TRUE(Shown()[0].contains("port 2, port 5")) << Shown()[0].toStdString();
    EXPECT_TRUE(Shown()[0].contains("sudo usermod -aG dialout $USER"));
}

TEST_F(DeviceTest, ReadAllLeftInOrderAndStopsAtTheFirstFailure) {
    const std::pair<int, int> words[] = {{274, 123},    {272, 45},  {276, 500}, {12, 499},
                                         {268, 0x0289}, {280, 254}, {270, 40},  {278, 127},
                                         {284, 255},    {62, 0x91}, {75, 3}};
    for (const auto& [address, word] : words)
        m_drive.SetDataWord(static_cast<std::uint16_t>(address), static_cast<std::uint16_t>(word));
    auto window = Open();
    window->CmdRead_Click(36);
    std::vector<int> order;
    for (const auto& request : m_drive.Requests())
        order.push_back(request.address);
    EXPECT_EQ(order, (std::vector<int>{274, 272, 276, 12, 268, 280, 270, 278, 284, 62, 75}));
    const std::vector<std::pair<int, QString>> boxes = {
        {0, "12.3"},  {1, "4.5"},  {2, "50"}, {3, "49.9"}, {4, "69.8"},
        {5, "64.77"}, {6, "10.2"}, {7, "49"}, {35, "100"}, {30, "3: Fault in motor power stage."}};
    for (const auto& [index, text] : boxes)
        EXPECT_EQ(window->TxtPara(index)->text(), text) << index;
    EXPECT_EQ(window->TxtPara(30)->cursorPosition(), 0); // the code in view, not the text's end
    // 0x91: Fault, MotorForward and CommandForward.
    EXPECT_EQ((std::vector<bool>{
                  window->ChkFault()->isChecked(), window->ChkMotorEnable()->isChecked(),
                  window->ChkMotorForward()->isChecked(), window->ChkProgram()->isChecked(),
                  window->ChkAutoTorque()->isChecked(), window->ChkCommandReverse()->isChecked(),
                  window->ChkCommandForward()->isChecked()}),
              (std::vector<bool>{true, false, true, false, false, false, true}));
    EXPECT_TRUE(m_prompts.Shown().empty());

    // The fifth read fails: boxes from there on keep their text, one message.
    auto fresh = Open();
    m_failAt = m_requests + 5;
    fresh->CmdRead_Click(36);
    EXPECT_EQ(fresh->TxtPara(3)->text(), "49.9");
    EXPECT_TRUE(fresh->TxtPara(4)->text().isEmpty());
    EXPECT_TRUE(fresh->TxtPara(30)->text().isEmpty());
    EXPECT_EQ(Shown(), Texts{kNotRead});
}

TEST_F(DeviceTest, ReadAllRightSplitsWordCounters) {
    m_drive.SetDataWord(290, 258);  // word counter 1
    m_drive.SetDataByte(74, 0x08);  // Flag3 only
    m_drive.SetDataByte(10, 77);    // timer 3
    m_drive.SetDataWord(266, 1023); // analog 5
    auto window = Open();
    window->ChkFlag(0)->setChecked(true);
    window->CmdRead_Click(37);
    for (const auto& [index, text] : std::vector<std::pair<int, QString>>{
             {17, "258"}, {10, "2"}, {11, "1"}, {23, "77"}, {29, "1023"}})
        EXPECT_EQ(window->TxtPara(index)->text(), text) << index;
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(window->ChkFlag(k)->isChecked(), k == 3) << k;
    EXPECT_TRUE(m_prompts.Shown().empty());
}

TEST_F(DeviceTest, WritesGoWhereTheirBoxSays) {
    auto window = Open();
    // Box, text, the address and the bytes there afterwards.
    const std::vector<std::tuple<int, QString, int, const char*>> cases = {
        {2, "50", 276, "f401"},  {1, "150", 272, "fd03"}, {7, "50", 278, "7f00"},
        {5, "70", 280, "fe00"},  {8, "2.5", 288, "02"},   {9, " 3.5 ", 289, "04"},
        {11, "9", 291, "09"},    {12, "0", 292, "00"},    {23, "255", 10, "ff"},
        {16, "258", 288, "0201"}};
    for (const auto& [index, text, address, bytes] : cases) {
        m_drive.SetDataWord(static_cast<std::uint16_t>(address), 0xAAAA);
        window->TxtPara(index)->setText(text);
        window->CmdWrite_Click(index);
        const QByteArray expected = QByteArray::fromHex(bytes);
        QByteArray memory;
        for (int i = 0; i < expected.size(); ++i)
            memory += char(m_drive.DataByte(static_cast<std::uint16_t>(address + i)));
        EXPECT_EQ(memory.toHex(), expected.toHex()) << index;
    }
    EXPECT_TRUE(m_prompts.Shown().empty());

    // What the drive does not take is sent nowhere.
    for (const auto& [index, text] : std::vector<std::pair<int, QString>>{
             {10, "255.5"}, {11, "abc"}, {7, "101"}, {16, "-1"}, {0, ""}}) {
        m_prompts.Clear();
        m_drive.ClearLog();
        window->TxtPara(index)->setText(text);
        window->CmdWrite_Click(index);
        EXPECT_EQ(Shown(), Texts{kErrorWriting}) << index;
        EXPECT_TRUE(m_drive.Requests().empty()) << index;
    }

    // Check boxes: set or clear one bit.
    m_drive.SetDataByte(5, 0x03);
    window->ChkFlag(3)->setChecked(true);
    window->CmdWrite_Click(27);
    window->ChkOutput(1)->setChecked(false);
    window->CmdWrite_Click(33);
    EXPECT_EQ(m_drive.DataByte(74), 0x08);
    EXPECT_EQ(m_drive.DataByte(5), 0x01);
}

// The status line tells what the drive holds: a download with the bytes
// the compile filled; a declined command changes nothing, an erase clears it.
TEST_F(DeviceTest, ProgramEraseAndDownload) {
    const auto image = [](const char* text) {
        kt::compiler::ProgramCompiler compiler;
        long lines = 0;
        EXPECT_EQ(compiler.CompileText(text, lines), 0);
        return QByteArray(reinterpret_cast<const char*>(compiler.ProgramBuffer().data()), 254);
    };
    const QByteArray blink = image("Do\r\n  Output.0 = True\r\nLoop\r\n");
    // An operand of 0xFF is no end of the program.
    const QByteArray full = image("Counter0 = 255\r\nDo\r\nLoop\r\nDo\r\nLoop\r\n");
    auto window = Open();
    // The image, the button, the answer, the drive's first program byte, the
    // status line.
    const std::vector<std::tuple<QByteArray, int, Answer, int, QString>> steps = {
        {blink, 38, Answer::Yes, 0x0F, "Program written: 6 of 254 bytes"},
        {full, 38, Answer::No, 0x0F, "Program written: 6 of 254 bytes"},
        {full, 37, Answer::No, 0x0F, "Program written: 6 of 254 bytes"},
        {full, 37, Answer::Yes, 0xFF, ""},
        {full, 38, Answer::No, 0xFF, ""},
        {full, 38, Answer::Yes, 0x2D, "Program written: 10 of 254 bytes"}};
    for (const auto& [program, button, answer, first, status] : steps) {
        m_image = program;
        m_prompts.Push(answer);
        window->CmdWrite_Click(button);
        EXPECT_EQ(m_drive.ProgramMemory()[0], first) << button;
        EXPECT_EQ(window->StatusLine()->text().toStdString(), status.toStdString()) << button;
    }
    EXPECT_EQ(window->StatusLine()->geometry().top(), 460); // below the specified controls

    // The adapter is pulled out while the image is on its way: the download
    // fails once, and the next command finds the drive again.
    m_onSend = [this] {
        m_drive.SetFault(Fault::NoReply, 1);
        emit m_port->LineError(kt::link::kLinePortLost, true);
    };
    m_prompts.Clear();
    m_prompts.Push(Answer::Yes);
    window->CmdWrite_Click(38);
    EXPECT_EQ(Shown(), (Texts{"This will put a new ProgramData in your motor, Are you sure?",
                              kPortGone, kErrorWriting}));
    EXPECT_EQ(window->StatusLine()->text(), ""); // erased, not written
    EXPECT_EQ(m_link.PortNumber(), 0);
    window->CmdRead_Click(0);
    EXPECT_EQ(window->TxtPara(0)->text(), "5.5");

    m_prompts.Clear();
    m_drive.ClearLog();
    m_programError = 2;
    window->CmdWrite_Click(38);
    EXPECT_EQ(Shown(), Texts{"ProgramError at Line3"});
    EXPECT_TRUE(m_drive.Requests().empty());
}

namespace {

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
        // The user reads the error box while the event loop turns beneath
        // it: a port still failing would repeat its error meanwhile.
        m_answerer.WhileShown("CommError", [&] { m_looks = 0; });
        m_answerer.Answer("CommError 1011", QMessageBox::Ok, [&] { return ++m_looks > kTurns; });
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
    static constexpr int kTurns = 50;
    int m_looks = 0;
    kt::test::ModalAnswerer m_answerer;
};

} // namespace

TEST_F(VanishingPort, WhileIdleAndDuringAWait) {
    m_answerer.Answer(kNotRead, QMessageBox::Ok);
    // Idle: one box, and the application goes on.
    KillDrive();
    EXPECT_TRUE(QTest::qWaitFor([&] { return m_answerer.Count("CommError") == 1; }, 5000));
    for (int turn = 0; turn < kTurns; ++turn) // a failing port would repeat its error
        QCoreApplication::processEvents();
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
