// The device window against the in-process virtual drive, with every
// message answered by the scripted prompt service.
#include "device/frm_device.h"
#include "drive/virtual_drive.h"
#include "drive/virtual_drive_transport.h"
#include "editor/kt_text.h"
#include "editor/text_box.h"
#include "link/frm_motor_com.h"
#include "mainwindow/frm_motor.h"
#include "platform/scripted_prompts.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QLineEdit>
#include <QPointer>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using kt::device::FrmDevice;
using kt::drive::VirtualDrive;
using kt::platform::Answer;

namespace {

class FrmDeviceTest : public ::testing::Test {
protected:
    FrmDeviceTest() {
        m_drive.SetMotorModel(false);
        m_link.SetReplyTimeout([this](int) {
            // The n-th request of a test can be made to fail.
            if (++m_requests == m_failAt)
                m_drive.SetFault(VirtualDrive::Fault::WrongChecksum, 1);
            return m_timeout;
        });
    }

    std::unique_ptr<FrmDevice> Open() {
        auto window = std::make_unique<FrmDevice>(m_link, m_prompts,
                                                  [this](std::uint8_t& error, long& lineCount) {
                                                      error = m_programError;
                                                      lineCount += m_programLine;
                                                      return error == 0 ? m_image : QByteArray();
                                                  });
        window->setAttribute(Qt::WA_DeleteOnClose, false);
        window->show();
        return window;
    }
    std::vector<QString> Shown() const { return m_prompts.ShownTexts(); }

    VirtualDrive m_drive;
    bool m_driveAttached = true;
    int m_requests = 0;
    int m_failAt = -1;
    int m_timeout = 30;
    std::uint8_t m_programError = 0;
    long m_programLine = 0;
    QByteArray m_image = QByteArray(254, '\x43');
    kt::platform::ScriptedPrompts m_prompts;
    kt::link::FrmMotorCom m_link{
        m_prompts, [this](int port) -> std::unique_ptr<kt::link::Transport> {
            if (port != 1 || !m_driveAttached)
                return nullptr;
            return std::make_unique<kt::drive::VirtualDriveTransport>(m_drive);
        }};
};

} // namespace

TEST_F(FrmDeviceTest, OpensCollapsedAndEmpty) {
    auto window = Open();
    EXPECT_EQ(window->windowTitle(), "KtMotor Found on port 1");
    EXPECT_EQ(window->width(), 5160 / 15);
    for (int i : {0, 7, 8, 30, 35})
        EXPECT_TRUE(window->TxtPara(i)->text().isEmpty());
    EXPECT_TRUE(m_prompts.Shown().empty());

    window->TxtPara(12)->setText("42");
    window->CmdExpand_Click();
    EXPECT_EQ(window->width(), 12075 / 15);
    EXPECT_EQ(window->CmdExpandButton()->text(), "<<");
    window->CmdExpand_Click();
    EXPECT_EQ(window->CmdExpandButton()->text(), ">>");
    EXPECT_EQ(window->TxtPara(12)->text(), "42");

    // Only the Error box explains itself.
    window->TxtPara(30)->setText("3: Fault in motor power stage.");
    QTest::mouseMove(window->TxtPara(30));
    QMouseEvent move(QEvent::MouseMove, QPointF(5, 5), QPointF(5, 5), Qt::NoButton, Qt::NoButton,
                     Qt::NoModifier);
    QApplication::sendEvent(window->TxtPara(30), &move);
    EXPECT_EQ(window->TxtPara(30)->toolTip(), "Fault in motor power stage.");
    QApplication::sendEvent(window->TxtPara(4), &move);
    EXPECT_TRUE(window->TxtPara(4)->toolTip().isEmpty());

    m_driveAttached = false;
    kt::link::FrmMotorCom lonely(m_prompts, [](int) { return nullptr; });
    FrmDevice notFound(lonely, m_prompts, nullptr);
    EXPECT_EQ(notFound.windowTitle(), "KtMotor Not Found");
}

TEST_F(FrmDeviceTest, ReadAllLeftInOrderAndStopsAtTheFirstFailure) {
    m_drive.SetDataWord(274, 123);
    m_drive.SetDataWord(272, 45);
    m_drive.SetDataWord(276, 500);
    m_drive.SetDataWord(12, 499);
    m_drive.SetDataWord(268, 649);
    m_drive.SetDataByte(280, 254);
    m_drive.SetDataByte(270, 40);
    m_drive.SetDataByte(278, 127);
    m_drive.SetDataByte(284, 255);
    m_drive.SetDataByte(62, 0x91);
    m_drive.SetDataByte(75, 3);
    auto window = Open();
    window->CmdRead_Click(36);
    const std::vector<std::pair<int, QString>> boxes = {
        {0, "12.3"},  {1, "4.5"},  {2, "50"}, {3, "49.9"}, {4, "69.8"},
        {5, "64.77"}, {6, "10.2"}, {7, "49"}, {35, "100"}, {30, "3: Fault in motor power stage."}};
    for (const auto& [index, text] : boxes)
        EXPECT_EQ(window->TxtPara(index)->text(), text) << index;
    EXPECT_TRUE(window->ChkFault()->isChecked());
    EXPECT_TRUE(window->ChkMotorForward()->isChecked());
    EXPECT_TRUE(window->ChkCommandForward()->isChecked());
    EXPECT_FALSE(window->ChkProgram()->isChecked());
    EXPECT_TRUE(m_prompts.Shown().empty());

    // The fifth read fails: boxes from there on keep their text, one message.
    auto fresh = Open();
    m_failAt = m_requests + 5;
    fresh->CmdRead_Click(36);
    EXPECT_EQ(fresh->TxtPara(3)->text(), "49.9");
    EXPECT_TRUE(fresh->TxtPara(4)->text().isEmpty());
    EXPECT_TRUE(fresh->TxtPara(30)->text().isEmpty());
    EXPECT_EQ(Shown(),
              std::vector<QString>{"Not Read, Either device not ready Or communication error."});
}

TEST_F(FrmDeviceTest, ReadAllRightSplitsWordCounters) {
    m_drive.SetDataWord(290, 258);  // word counter 1
    m_drive.SetDataByte(74, 0x08);  // Flag3 only
    m_drive.SetDataByte(10, 77);    // timer 3
    m_drive.SetDataWord(266, 1023); // analog 5
    auto window = Open();
    window->CmdRead_Click(37);
    EXPECT_EQ(window->TxtPara(17)->text(), "258");
    EXPECT_EQ(window->TxtPara(10)->text(), "2");
    EXPECT_EQ(window->TxtPara(11)->text(), "1");
    EXPECT_EQ(window->TxtPara(23)->text(), "77");
    EXPECT_EQ(window->TxtPara(29)->text(), "1023");
    for (int k = 0; k < 8; ++k)
        EXPECT_EQ(window->ChkFlag(k)->isChecked(), k == 3) << k;
    EXPECT_TRUE(m_prompts.Shown().empty());
}

TEST_F(FrmDeviceTest, WritesConvertAndSend) {
    auto window = Open();
    struct Case {
        int index;
        QString text;
        int address;  // -1: nothing to check
        int expected; // the byte there afterwards
        bool fails;
    };
    const std::vector<Case> cases = {
        {8, "2.5", 288, 2, false},  {9, " 3.5 ", 289, 4, false},  {10, "255.5", 290, 0, true},
        {11, "abc", 291, 0, true},  {16, "-1", -1, 0, true},      {7, "101", -1, 0, true},
        {7, "50", 278, 127, false}, {0, "12.5", 274, 125, false}, {5, "65", 280, 254, false},
        {20, "", -1, 0, true},      {23, "255", 10, 255, false},
    };
    for (const Case& c : cases) {
        m_prompts.Clear();
        m_drive.ClearLog();
        window->TxtPara(c.index)->setText(c.text);
        window->CmdWrite_Click(c.index);
        EXPECT_EQ(Shown(), c.fails ? std::vector<QString>{"Error writing"} : std::vector<QString>{})
            << c.index << " " << c.text.toStdString();
        if (c.fails && c.index != 16) {
            EXPECT_TRUE(m_drive.Requests().empty()) << c.index; // nothing sent
        }
        if (c.address >= 0) {
            EXPECT_EQ(m_drive.DataByte(static_cast<std::uint16_t>(c.address)), c.expected)
                << c.index;
        }
    }
    window->ChkFlag(3)->setChecked(true);
    window->CmdWrite_Click(27);
    EXPECT_EQ(m_drive.DataByte(74), 0x08);
    window->ChkFlag(3)->setChecked(false);
    window->CmdWrite_Click(27);
    EXPECT_EQ(m_drive.DataByte(74), 0x00);
    window->ChkCommandForward()->setChecked(true);
    window->CmdWrite_Click(36);
    EXPECT_EQ(m_drive.DataByte(62) & 1, 1);
}

TEST_F(FrmDeviceTest, ProgramEraseAndDownload) {
    auto window = Open();
    m_drive.ClearLog();
    m_prompts.Push(Answer::No);
    window->CmdWrite_Click(38);
    m_prompts.Push(Answer::No);
    window->CmdWrite_Click(37);
    EXPECT_TRUE(m_drive.Requests().empty());
    EXPECT_EQ(m_prompts.Shown().size(), 2u);

    m_prompts.Push(Answer::Yes);
    window->CmdWrite_Click(38);
    EXPECT_EQ(m_drive.ProgramMemory()[0], 0x43);
    m_prompts.Push(Answer::Yes);
    window->CmdWrite_Click(37);
    EXPECT_EQ(m_drive.ProgramMemory()[0], 0xFF);

    m_prompts.Clear();
    m_drive.ClearLog();
    m_programError = 2;
    m_programLine = 3;
    window->CmdWrite_Click(38);
    EXPECT_EQ(Shown(), std::vector<QString>{"ProgramError at Line3"});
    EXPECT_TRUE(m_drive.Requests().empty());
}

TEST_F(FrmDeviceTest, ClicksAndClosingDuringAWait) {
    auto window = Open();
    m_timeout = 500; // longer than the drive's delay: no resends
    m_drive.SetReplyDelay(40);
    m_drive.SetFault(VirtualDrive::Fault::Delay, 1);
    m_drive.SetDataWord(274, 7);
    QTimer::singleShot(10, window.get(), [&] { window->CmdRead_Click(1); });
    window->CmdRead_Click(0);
    EXPECT_EQ(window->TxtPara(0)->text(), "0.7"); // the waiting read completed
    EXPECT_EQ(Shown(),
              std::vector<QString>{"Not Read, Either device not ready Or communication error."});

    // Closed while a read waits: hidden at once, deleted once the read ends.
    QPointer<FrmDevice> closing = Open().release();
    closing->setAttribute(Qt::WA_DeleteOnClose, true);
    m_drive.SetFault(VirtualDrive::Fault::Delay, 1);
    // Escape, as the user would press it.
    QTimer::singleShot(10, closing.data(), [&] { closing->reject(); });
    closing->CmdRead_Click(2);
    EXPECT_TRUE(closing.isNull() || !closing->isVisible());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(closing.isNull());
    QByteArray data;
    EXPECT_EQ(m_link.SendPacket(0, 62, 1, data), kt::link::kSent); // the link still works
}

// A user types a program, downloads it, and reads the drive's status back.
TEST_F(FrmDeviceTest, FromTypedProgramToProgrammedDrive) {
    QTemporaryDir folder;
    kt::mainwindow::FrmMotor main(m_prompts, folder.path(), folder.path());
    main.show();
    QTest::keyClicks(main.KtText1()->RText(), "Do");
    QTest::keyClick(main.KtText1()->RText(), Qt::Key_Return);
    QTest::keyClicks(main.KtText1()->RText(), "  Output.0 = True");
    QTest::keyClick(main.KtText1()->RText(), Qt::Key_Return);
    QTest::keyClicks(main.KtText1()->RText(), "Loop");
    FrmDevice device(m_link, m_prompts, [&main](std::uint8_t& error, long& lineCount) {
        return main.ProgramData(error, lineCount);
    });
    m_prompts.Push(Answer::Yes);
    device.CmdWrite_Click(38);
    device.CmdRead_Click(34);
    EXPECT_TRUE(device.ChkProgram()->isChecked());
    EXPECT_EQ(m_drive.ProgramMemory()[2], 37);
    EXPECT_EQ(m_drive.ProgramMemory()[3], 8);
    EXPECT_EQ(m_drive.ProgramMemory()[6], 0xFF);
}
