// The device window on the virtual drive: which box goes to which value, the
// program commands' status line; with the real message boxes, commands that
// meet a busy link, a closed window or a port that vanishes.
#include "accessible_walk.h"
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

#include <QApplication>
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
const QString kErase = "This will erase program in your motor, Are you sure?";
const QString kErrorWriting = "Error writing";
const QString kPortGone = "CommError 1011\nThe serial port has gone: the cable may be unplugged. "
                          "Plug it in and try again.";

// A device window on the virtual drive, in process or on a real pseudo-
// terminal; its messages scripted, or real dialogs answered as a user would.
template <typename Prompts> struct BenchOf {
    explicit BenchOf(bool onTerminal = false) : onTerminal(onTerminal) {
        drive.SetMotorModel(false);
        drive.SetDataWord(274, 123); // acceleration rate 12.3
        link.SetReplyTimeout([this](int) {
            if (onSend)
                QTimer::singleShot(0, &drive, std::exchange(onSend, nullptr));
            // A drive that answers is waited for however busy the machine;
            // a silent one only briefly.
            return drive.ActiveFault() != Fault::NoReply ? 10000 : this->onTerminal ? 200 : 20;
        });
        if (onTerminal) {
            StartDrive();
            // The user reads the error box while the event loop turns beneath
            // it: a port still failing would repeat its error meanwhile.
            answerer.WhileShown("CommError", [this] { looks = 0; });
            answerer.Answer("CommError 1011", QMessageBox::Ok, [this] { return ++looks > kTurns; });
        }
        window = new FrmDevice(link, prompts, [this](std::uint8_t& error, long& lineCount) {
            error = programError;
            lineCount = 3;
            return error == 0 ? image : QByteArray();
        });
        window->show();
        drive.ClearLog();
    }
    ~BenchOf() {
        EXPECT_EQ(answerer.Unexpected(), Texts{});
        if constexpr (std::is_same_v<Prompts, kt::platform::ScriptedPrompts>) {
            EXPECT_EQ(prompts.Unscripted().join(u'|').toStdString(), "");
        }
        delete window.data();
    }
    std::unique_ptr<kt::link::Transport> MakePort(int n) {
        if (onTerminal || n != 1)
            return onTerminal ? ports.Create(n) : nullptr;
        auto transport = std::make_unique<kt::drive::VirtualDriveTransport>(drive);
        // Queued: counts a reply once the link has taken it.
        QObject::connect(
            transport.get(), &kt::link::Transport::Received, transport.get(), [this] { ++replies; },
            Qt::QueuedConnection);
        return transport;
    }
    void StartDrive() {
        server = std::make_unique<kt::drive::PtyDriveServer>(drive, path);
        QString error;
        EXPECT_TRUE(server->Start(&error)) << error.toStdString();
    }
    QString Read() {
        window->TxtPara(0)->clear();
        window->CmdRead_Click(0);
        return window->TxtPara(0)->text();
    }

    static constexpr int kTurns = 50;
    const bool onTerminal;
    QTemporaryDir folder;
    QString path = folder.filePath("drive");
    kt::link::PortDirectory ports{QStringList{path}};
    VirtualDrive drive;
    std::unique_ptr<kt::drive::PtyDriveServer> server;
    Prompts prompts;
    int replies = 0, looks = 0;
    std::function<void()> onSend; // once a request has gone out
    QByteArray image;
    std::uint8_t programError = 0;
    kt::link::FrmMotorCom link{prompts, [this](int n) { return MakePort(n); }};
    QPointer<FrmDevice> window;
    kt::test::ModalAnswerer answerer;
};
using Scripted = BenchOf<kt::platform::ScriptedPrompts>;
using Bench = BenchOf<kt::platform::DialogPrompts>;

} // namespace

TEST(DeviceTest, OpensCollapsedAndEmpty) {
    Scripted b;
    EXPECT_EQ(b.window->windowTitle(), "KtMotor Found on port 1");

    // No drive: said in the title only. A port the user may not open is
    // named once, with the way to get access.
    for (const bool denied : {false, true}) {
        kt::link::FrmMotorCom link(b.prompts, [denied](int port) {
            auto transport = std::make_unique<kt::link::test::FakeTransport>(nullptr);
            transport->FailOpen(denied && (port == 2 || port == 5)
                                    ? kt::link::OpenFailure::PermissionDenied
                                    : kt::link::OpenFailure::Unavailable);
            return port <= 5 ? std::move(transport) : nullptr;
        });
        b.prompts.Clear();
        EXPECT_EQ(FrmDevice(link, b.prompts, nullptr).windowTitle(), "KtMotor Not Found");
        ASSERT_EQ(b.prompts.Shown().size(), denied ? 1u : 0u);
    }
    const QString hint = b.prompts.ShownTexts()[0];
    EXPECT_TRUE(hint.contains("port 2, port 5")) << hint.toStdString();
    EXPECT_TRUE(hint.contains("sudo usermod -aG dialout $USER"));
}

TEST(DeviceTest, ReadAllInOrder) {
    Scripted b;
    // Words, in an order that leaves each where it is (74 flags, 10 timer 3).
    const std::pair<int, int> words[] = {{274, 123},    {272, 45},  {276, 500}, {12, 499},
                                         {268, 0x0289}, {280, 254}, {270, 40},  {278, 127},
                                         {284, 255},    {62, 0x91}, {74, 0x08}, {75, 3},
                                         {290, 258},    {10, 77},   {266, 1023}};
    for (const auto& [address, word] : words)
        b.drive.SetDataWord(static_cast<std::uint16_t>(address), static_cast<std::uint16_t>(word));
    b.window->CmdRead_Click(36);
    std::vector<int> order;
    for (const auto& request : b.drive.Requests())
        order.push_back(request.address);
    EXPECT_EQ(order, (std::vector<int>{274, 272, 276, 12, 268, 280, 270, 278, 284, 62, 75}));
    // The right Read All: word counters and the counters sharing their bytes.
    b.window->ChkFlag(0)->setChecked(true);
    b.window->CmdRead_Click(37);
    const std::vector<std::pair<int, QString>> boxes = {
        {0, "12.3"}, {1, "4.5"},   {2, "50"},
        {3, "49.9"}, {4, "69.8"},  {5, "64.77"},
        {6, "10.2"}, {7, "49"},    {35, "100"},
        {17, "258"}, {10, "2"},    {11, "1"},
        {23, "77"},  {29, "1023"}, {30, "3: Fault in motor power stage."}};
    for (const auto& [index, text] : boxes)
        EXPECT_EQ(b.window->TxtPara(index)->text(), text) << index;
    EXPECT_EQ(b.window->TxtPara(30)->cursorPosition(), 0); // the code in view, not the text's end
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(b.window->ChkFlag(k)->isChecked(), k == 3) << k;
    // 0x91: Fault, MotorForward and CommandForward.
    const FrmDevice& w = *b.window;
    EXPECT_EQ((std::vector<bool>{w.ChkFault()->isChecked(), w.ChkMotorEnable()->isChecked(),
                                 w.ChkMotorForward()->isChecked(), w.ChkProgram()->isChecked(),
                                 w.ChkAutoTorque()->isChecked(), w.ChkCommandReverse()->isChecked(),
                                 w.ChkCommandForward()->isChecked()}),
              (std::vector<bool>{true, false, true, false, false, false, true}));
    EXPECT_TRUE(b.prompts.Shown().empty());
}

TEST(DeviceTest, WritesGoWhereTheirBoxSays) {
    Scripted b;
    FrmDevice& window = *b.window;
    // Box, text, the address and the word there afterwards (was 0xAAAA).
    const std::vector<std::tuple<int, QString, std::uint16_t, int>> cases = {
        {2, "50", 276, 0x01f4},  {1, "150", 272, 0x03fd}, {7, "50", 278, 0x007f},
        {5, "70", 280, 0x00fe},  {8, "2.5", 288, 0xAA02}, {9, " 3.5 ", 289, 0xAA04},
        {11, "9", 291, 0xAA09},  {12, "0", 292, 0xAA00},  {23, "255", 10, 0xAAff},
        {16, "258", 288, 0x0102}};
    for (const auto& [index, text, address, word] : cases) {
        b.drive.SetDataWord(address, 0xAAAA);
        window.TxtPara(index)->setText(text);
        window.CmdWrite_Click(index);
        EXPECT_EQ(b.drive.DataWord(address), word) << index;
    }
    EXPECT_TRUE(b.prompts.Shown().empty());

    // What the drive does not take is sent nowhere.
    for (const auto& [index, text] : std::vector<std::pair<int, QString>>{
             {10, "255.5"}, {11, "abc"}, {7, "101"}, {16, "-1"}, {0, ""}}) {
        b.prompts.Clear();
        b.drive.ClearLog();
        window.TxtPara(index)->setText(text);
        window.CmdWrite_Click(index);
        EXPECT_EQ(b.prompts.ShownTexts(), Texts{kErrorWriting}) << index;
        EXPECT_TRUE(b.drive.Requests().empty()) << index;
    }

    // Check boxes: set or clear one bit.
    b.drive.SetDataByte(5, 0x03);
    window.ChkFlag(3)->setChecked(true);
    window.CmdWrite_Click(27);
    window.ChkOutput(1)->setChecked(false);
    window.CmdWrite_Click(33);
    EXPECT_EQ(b.drive.DataByte(74), 0x08);
    EXPECT_EQ(b.drive.DataByte(5), 0x01);
}

// The status line tells what the drive holds: a download with the bytes
// the compile filled; a declined command changes nothing, an erase clears it.
TEST(DeviceTest, ProgramEraseAndDownload) {
    const auto image = [](const char* text) {
        kt::compiler::ProgramCompiler compiler;
        long lines = 0;
        EXPECT_EQ(compiler.CompileText(text, lines), 0);
        return QByteArray(reinterpret_cast<const char*>(compiler.ProgramBuffer().data()), 254);
    };
    const QByteArray blink = image("Do\r\n  Output.0 = True\r\nLoop\r\n");
    // An operand of 0xFF is no end of the program.
    const QByteArray full = image("Counter0 = 255\r\nDo\r\nLoop\r\nDo\r\nLoop\r\n");
    Scripted b;
    FrmDevice& window = *b.window;
    const kt::test::AnnouncementSpy spy;
    // The image, the button, the answer, the first program byte, the status.
    const std::vector<std::tuple<QByteArray, int, Answer, int, QString>> steps = {
        {blink, 38, Answer::Yes, 0x0F, "Program written: 6 of 254 bytes"},
        {full, 38, Answer::No, 0x0F, "Program written: 6 of 254 bytes"},
        {full, 37, Answer::No, 0x0F, "Program written: 6 of 254 bytes"},
        {full, 37, Answer::Yes, 0xFF, ""},
        {full, 38, Answer::Yes, 0x2D, "Program written: 10 of 254 bytes"}};
    for (const auto& [program, button, answer, first, status] : steps) {
        b.image = program;
        b.prompts.Push(answer);
        window.CmdWrite_Click(button);
        EXPECT_EQ(b.drive.ProgramMemory()[0], first) << button;
        EXPECT_EQ(window.StatusLine()->text().toStdString(), status.toStdString()) << button;
    }
    b.drive.SetFault(Fault::NoReply); // the retry question answered Cancel
    for (const Answer answer : {Answer::Yes, Answer::Cancel})
        b.prompts.Push(answer);
    window.CmdWrite_Click(38);
    b.prompts.Clear();
    b.drive.ClearLog();
    b.programError = 2;
    window.CmdWrite_Click(38);
    EXPECT_EQ(b.prompts.ShownTexts(), Texts{"ProgramError at Line3"});
    EXPECT_TRUE(b.drive.Requests().empty());
    // Heard: each download's end, failed ones too; nothing declined or erased.
    EXPECT_EQ(spy.Texts().join(u'|').toStdString(),
              "Program written: 6 of 254 bytes|Program written: 10 of 254 bytes|Error writing|"
              "ProgramError at Line3");
}

// Tab: every control shown once, the boxes from the top, the right half once
// the keyboard expanded it. Named: a box by its label, with the range.
TEST(DeviceTest, NamedAndReachableByKeyboard) {
    Scripted b;
    FrmDevice& w = *b.window;
    ASSERT_TRUE(QTest::qWaitForWindowActive(&w));
    const auto focus = &QApplication::focusWidget;
    const auto key = [&](Qt::Key k) { return QTest::keyClick(focus(), k), focus(); };
    // The drive's own order, right half skipped while collapsed.
    std::vector<int> collapsed = {0, 1, 2, 5, 7, 35, 30, 6, 4, 3}, expanded = {0, 1, 2, 5, 7};
    for (int i = 8; i <= 29; ++i)
        expanded.push_back(i);
    expanded.insert(expanded.end(), collapsed.begin() + 5, collapsed.end());
    for (const std::vector<int>& order : {collapsed, expanded}) {
        while (focus() != w.ChkFault())
            key(Qt::Key_Tab);
        std::vector<QWidget*> t{focus()};
        for (QWidget* f = key(Qt::Key_Tab); f != t[0] && t.size() < 99; f = key(Qt::Key_Tab))
            t.push_back(f); // each control Tab visits, once round
        for (QWidget* c : w.findChildren<QWidget*>())
            EXPECT_EQ(std::ranges::count(t, c), c->isVisible() && c->focusPolicy() & Qt::TabFocus);
        std::erase_if(t, [](QWidget* c) { return !c->inherits("QLineEdit"); });
        ASSERT_EQ(t.size(), order.size());
        for (std::size_t i = 0; i < order.size(); ++i)
            EXPECT_EQ(t[i], w.TxtPara(order[i])) << i;
        while (focus() != w.CmdExpandButton())
            key(Qt::Key_Backtab);
        key(Qt::Key_Space);
    }
    w.CmdExpand_Click();
    EXPECT_EQ(kt::test::UnnamedControls(&w).join(u'|').toStdString(), "");
    for (const auto& [control, said] : std::vector<std::pair<QWidget*, QString>>{
             {w.TxtPara(4), "BusVolt:|BusVolt, from 0 to 7048.294 V, shown only"},
             {w.CmdWrite(35), "Write|Writes CommandReverse"}}) {
        QAccessibleInterface* a = QAccessible::queryAccessibleInterface(control);
        EXPECT_EQ(a->text(QAccessible::Name) + u'|' + a->text(QAccessible::Description), said);
    }
}

// Erase Program clicked while a command waits: refused without its question;
// the first command ends with its own result (a read shows what the drive
// holds, never the other exchange's acknowledge).
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
        SCOPED_TRACE(row.name);
        Bench b;
        b.answerer.Answer("Communication Failed,Retry?", QMessageBox::Cancel, {}, [&] {
            b.drive.SetFault(Fault::None); // the drive answers again
        });
        b.answerer.Answer(kErrorWriting, QMessageBox::Ok,
                          [&] { return row.silent || b.replies >= 1; });
        b.answerer.Answer(kNotRead, QMessageBox::Ok);
        b.window->TxtPara(0)->setText(row.before);
        if (row.silent)
            b.drive.SetFault(Fault::NoReply);
        QTimer::singleShot(0, b.window, [&] { b.window->CmdWrite(37)->click(); });
        if (row.write)
            b.window->CmdWrite_Click(row.index);
        else
            b.window->CmdRead_Click(row.index);
        EXPECT_EQ(b.window->TxtPara(0)->text(), row.after);
        EXPECT_EQ(b.answerer.Count(kErrorWriting), row.errorWriting);
        EXPECT_EQ(b.answerer.Count(kNotRead), row.notRead);
        EXPECT_FALSE(std::ranges::any_of(b.drive.Requests(), [](auto& r) { return r.fn == 4; }));
    }
}

// Closed while its command waits (the drive answers only the resend): the
// window hides at once and is deleted once the command has returned.
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

TEST(VanishingPort, WhileIdleDuringAWaitAndUnderAQuestion) {
    Bench b(true);
    ASSERT_EQ(b.window->MotorPort(), 1);
    b.answerer.Answer(kNotRead, QMessageBox::Ok);
    // Idle: one box, and the application goes on.
    b.server.reset();
    EXPECT_TRUE(QTest::qWaitFor([&] { return b.answerer.Count("CommError") == 1; }, 5000));
    for (int turn = 0; turn < Bench::kTurns; ++turn) // a failing port would repeat its error
        QCoreApplication::processEvents();
    EXPECT_EQ(b.answerer.Shown(), Texts{kPortGone});
    EXPECT_EQ(b.link.PortNumber(), 0);

    // Back at the same path: the next command searches and finds it.
    b.StartDrive();
    EXPECT_EQ(b.Read(), "12.3");

    // During a wait: the read ends failed, once.
    b.drive.SetFault(Fault::NoReply, 1);
    b.onSend = [&] { b.server.reset(); };
    EXPECT_EQ(b.Read(), "");
    EXPECT_EQ(b.answerer.Count("CommError"), 2);
    EXPECT_EQ(b.answerer.Count(kNotRead), 1);

    // While the erase question is open: the error box comes on top, and the
    // confirmed erase then finds no drive instead of a freed port.
    b.StartDrive();
    b.drive.SetFault(Fault::None);
    EXPECT_EQ(b.Read(), "12.3");
    b.answerer.WhileShown(kErase, [&] { b.server.reset(); });
    b.answerer.Answer(kErase, QMessageBox::Yes, [&] { return b.answerer.Count("CommError") == 3; });
    b.answerer.Answer(kErrorWriting, QMessageBox::Ok);
    b.window->CmdWrite_Click(37);
    EXPECT_EQ(b.answerer.Shown(),
              (Texts{kPortGone, kPortGone, kNotRead, kErase, kPortGone, kErrorWriting}));
    b.StartDrive();
    EXPECT_EQ(b.Read(), "12.3");
}

#endif
