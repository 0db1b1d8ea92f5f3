// The device window against the in-process virtual drive, with every
// message answered by the scripted prompt service: reads, writes, downloads,
// and what a user meets when the line misbehaves. Whatever happens during a
// wait is set off by the request going out, never by the clock.
#include "compiler/program_compiler.h"
#include "device/frm_device.h"
#include "drive/virtual_drive.h"
#include "drive/virtual_drive_transport.h"
#include "link/fake_transport.h"
#include "link/frm_motor_com.h"
#include "platform/scripted_prompts.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QLabel>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTimer>

using kt::device::FrmDevice;
using kt::drive::VirtualDrive;
using kt::platform::Answer;
using Fault = VirtualDrive::Fault;
using Texts = std::vector<QString>;

namespace {

const QString kNotRead = "Not Read, Either device not ready Or communication error.";
const QString kRetry = "Communication Failed,Retry?";
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
            if (m_onSend && (m_onSendCount < 0 || m_onSendCount == dataCount))
                QTimer::singleShot(0, &m_drive, std::exchange(m_onSend, nullptr));
            return 50;
        });
    }
    ~DeviceTest() override { EXPECT_EQ(m_prompts.Unscripted().join(u'|').toStdString(), ""); }

    std::unique_ptr<FrmDevice> Open() {
        auto window = std::make_unique<FrmDevice>(m_link, m_prompts,
                                                  [this](std::uint8_t& error, long& lineCount) {
                                                      error = m_programError;
                                                      lineCount = m_programLine;
                                                      return error == 0 ? m_image : QByteArray();
                                                  });
        window->show();
        m_drive.ClearLog();
        m_opened = 0;
        return window;
    }
    // Reads the acceleration rate through its hidden read button.
    QString Read(FrmDevice& window) {
        window.TxtPara(0)->clear();
        window.CmdRead_Click(0);
        return window.TxtPara(0)->text();
    }
    Texts Shown() const { return m_prompts.ShownTexts(); }
    QByteArray Memory(int address, int count) const {
        QByteArray bytes;
        for (int i = 0; i < count; ++i)
            bytes += char(m_drive.DataByte(static_cast<std::uint16_t>(address + i)));
        return bytes;
    }

    VirtualDrive m_drive;
    int m_requests = 0;
    int m_failAt = -1;
    std::function<void()> m_onSend;
    int m_onSendCount = -1; // acts on a request of this data count only
    int m_opened = 0;
    QByteArray m_image = QByteArray(254, '\x43');
    std::uint8_t m_programError = 0;
    long m_programLine = 0;
    kt::platform::ScriptedPrompts m_prompts;
    QPointer<kt::drive::VirtualDriveTransport> m_port;
    kt::link::FrmMotorCom m_link{
        m_prompts, [this](int port) -> std::unique_ptr<kt::link::Transport> {
            if (port != 1)
                return nullptr;
            ++m_opened;
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

    // A port the user may not open: named once, with the way to get access.
    kt::link::FrmMotorCom denied(m_prompts, [](int port) -> std::unique_ptr<kt::link::Transport> {
        if (port != 2 && port != 5)
            return nullptr;
        auto transport = std::make_unique<kt::link::test::FakeTransport>(nullptr);
        transport->FailOpen(kt::link::OpenFailure::PermissionDenied);
        return transport;
    });
    EXPECT_EQ(FrmDevice(denied, m_prompts, nullptr).windowTitle(), "KtMotor Not Found");
    ASSERT_EQ(Shown().size(), 1u);
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
    m_drive.ClearLog();
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

TEST_F(DeviceTest, WritesConvertAndSend) {
    auto window = Open();
    // Box, text, the address and the bytes there afterwards; failures send
    // nothing.
    const std::vector<std::tuple<int, QString, int, const char*>> cases = {
        {2, "50", 276, "f401"}, {1, "150", 272, "fd03"}, {7, "50", 278, "7f00"},
        {5, "70", 280, "fe00"}, {8, "2.5", 288, "02"},   {9, " 3.5 ", 289, "04"},
        {11, "9", 291, "09"},   {23, "255", 10, "ff"},   {16, "258", 288, "0201"},
    };
    for (const auto& [index, text, address, bytes] : cases) {
        m_drive.SetDataWord(static_cast<std::uint16_t>(address), 0xAAAA);
        window->TxtPara(index)->setText(text);
        window->CmdWrite_Click(index);
        const QByteArray expected = QByteArray::fromHex(bytes);
        EXPECT_EQ(Memory(address, int(expected.size())).toHex(), expected.toHex()) << index;
    }
    EXPECT_TRUE(m_prompts.Shown().empty());

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
    const std::vector<std::tuple<QCheckBox*, bool, int, const char*>> bits = {
        {window->ChkFlag(3), true, 27, "02 4a00 08"},
        {window->ChkOutput(1), false, 33, "01 0500 fd"},
    };
    for (const auto& [box, ticked, index, request] : bits) {
        box->setChecked(ticked);
        window->CmdWrite_Click(index);
        const auto& sent = m_drive.Requests().back();
        EXPECT_EQ(
            QString::asprintf("%02x %02x%02x ", sent.fn, sent.address & 0xFF, sent.address >> 8) +
                sent.data.toHex(),
            request);
    }
}

// The status line tells what the drive holds: a download with the bytes
// the compile filled; a declined one changes nothing, an erase clears it.
TEST_F(DeviceTest, ProgramEraseAndDownload) {
    kt::compiler::ProgramCompiler compiler;
    long lines = 0;
    ASSERT_EQ(compiler.CompileText("Do\r\n  Output.0 = True\r\nLoop\r\n", lines), 0);
    m_image = QByteArray(reinterpret_cast<const char*>(compiler.ProgramBuffer().data()), 254);
    auto window = Open();
    // The button, the answer, the drive's first program byte, the status line.
    const std::vector<std::tuple<int, Answer, int, QString>> steps = {
        {38, Answer::Yes, 0x0F, "Program written: 6 of 254 bytes"},
        {37, Answer::No, 0x0F, "Program written: 6 of 254 bytes"},
        {37, Answer::Yes, 0xFF, ""},
        {38, Answer::No, 0xFF, ""},
    };
    for (const auto& [button, answer, first, status] : steps) {
        m_prompts.Push(answer);
        window->CmdWrite_Click(button);
        EXPECT_EQ(m_drive.ProgramMemory()[0], first) << button;
        EXPECT_EQ(window->StatusLine()->text().toStdString(), status.toStdString()) << button;
    }
    EXPECT_EQ(window->StatusLine()->geometry().top(), 460); // below the specified controls

    m_prompts.Clear();
    m_drive.ClearLog();
    m_programError = 2;
    m_programLine = 3;
    window->CmdWrite_Click(38);
    EXPECT_EQ(Shown(), Texts{"ProgramError at Line3"});
    EXPECT_TRUE(m_drive.Requests().empty());
}

// What a user meets when a read goes wrong, and the next read working again
// (after a new search where Cancel dropped the port).
TEST_F(DeviceTest, FailedReads) {
    auto window = Open();
    const QString garbled = "CommError 1004\nA byte arrived garbled (framing "
                            "error). Check the cable.";
    // Fault, for how many requests, the answer to the retry question, the
    // text read, what was shown.
    const std::vector<std::tuple<Fault, int, Answer, QString, Texts>> cases = {
        {Fault::NoReply, 1, Answer::Ok, "5.5", {}}, // one silent resend
        {Fault::NoReply, 5, Answer::Retry, "5.5", {kRetry}},
        {Fault::ShortReply, 5, Answer::Cancel, "", {kRetry, kNotRead}},
        {Fault::LineError, 5, Answer::Ok, "", {garbled, kNotRead}},
    };
    for (const auto& [fault, times, answer, text, messages] : cases) {
        SCOPED_TRACE(int(fault));
        m_prompts.Clear();
        m_drive.SetFault(fault, times);
        if (answer != Answer::Ok)
            m_prompts.Push(answer);
        EXPECT_EQ(Read(*window), text);
        EXPECT_EQ(Shown(), messages);
        m_drive.SetFault(Fault::None);
        m_prompts.Clear();
        EXPECT_EQ(Read(*window), "5.5");
        EXPECT_TRUE(m_prompts.Shown().empty());
    }
    EXPECT_EQ(m_opened, 1);
}

TEST_F(DeviceTest, DriveVanishesDuringADownload) {
    auto window = Open();
    m_onSendCount = 254; // the adapter is pulled out while the image is on its way
    m_onSend = [this] {
        m_drive.SetFault(Fault::NoReply, 1);
        emit m_port->LineError(kt::link::kLinePortLost, true);
    };
    m_prompts.Push(Answer::Yes);
    window->CmdWrite_Click(38);
    EXPECT_EQ(Shown(), (Texts{"This will put a new ProgramData in your motor, Are you sure?",
                              kPortGone, "Error writing"}));
    EXPECT_EQ(m_link.PortNumber(), 0);
    m_prompts.Clear();
    EXPECT_EQ(Read(*window), "5.5");
}
