// The device window against the in-process virtual drive, with every
// message answered by the scripted prompt service: which box goes to which
// value, the program commands and their status line, and what a user meets
// when the drive goes away. Conversions are the command set's tests'
// business. Whatever happens during a wait is set off by the request going
// out, never by the clock.
#include "compiler/program_compiler.h"
#include "device/frm_device.h"
#include "drive/virtual_drive.h"
#include "drive/virtual_drive_transport.h"
#include "link/fake_transport.h"
#include "link/frm_motor_com.h"
#include "platform/scripted_prompts.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QTimer>

using kt::device::FrmDevice;
using kt::drive::VirtualDrive;
using kt::platform::Answer;
using Fault = VirtualDrive::Fault;
using Texts = std::vector<QString>;

namespace {

const QString kNotRead = "Not Read, Either device not ready Or communication error.";

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
        EXPECT_EQ(Shown(), Texts{"Error writing"}) << index;
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
                              "CommError 1011\nThe serial port has gone: the cable may be "
                              "unplugged. Plug it in and try again.",
                              "Error writing"}));
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
