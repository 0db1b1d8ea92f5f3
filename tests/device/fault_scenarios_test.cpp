// What a user meets when the line misbehaves, driven through the device
// window against the virtual drive's faults: each ends in its message and
// result, and the next command works.
#include "device/frm_device.h"
#include "drive/virtual_drive.h"
#include "drive/virtual_drive_transport.h"
#include "link/frm_motor_com.h"
#include "mainwindow/frm_motor.h"
#include "platform/scripted_prompts.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QPointer>
#include <QTemporaryDir>
#include <QTimer>

using kt::device::FrmDevice;
using kt::drive::VirtualDrive;
using kt::platform::Answer;
using Fault = VirtualDrive::Fault;

namespace {

const QString kNotRead = "Not Read, Either device not ready Or communication error.";
const QString kRetry = "Communication Failed,Retry?";

class FaultScenarios : public ::testing::Test {
protected:
    FaultScenarios() {
        m_drive.SetMotorModel(false);
        m_drive.SetDataWord(274, 55); // acceleration rate 5.5
        m_link.SetReplyTimeout([](int) { return 20; });
        m_window = std::make_unique<FrmDevice>(m_link, m_prompts, [](std::uint8_t& error, long&) {
            error = 0;
            return QByteArray(254, '\x43');
        });
        m_drive.ClearLog();
        m_opened = 0;
    }

    // Reads the acceleration rate through its hidden read button.
    QString Read() {
        m_window->TxtPara(0)->clear();
        m_window->CmdRead_Click(0);
        return m_window->TxtPara(0)->text();
    }
    std::vector<QString> Shown() const { return m_prompts.ShownTexts(); }
    int Requests() const { return static_cast<int>(m_drive.Requests().size()); }

    VirtualDrive m_drive;
    kt::platform::ScriptedPrompts m_prompts;
    int m_opened = 0;
    QPointer<kt::drive::VirtualDriveTransport> m_port;
    kt::link::FrmMotorCom m_link{m_prompts, [this](int n) -> std::unique_ptr<kt::link::Transport> {
                                     if (n != 1)
                                         return nullptr;
                                     ++m_opened;
                                     auto port = std::make_unique<kt::drive::VirtualDriveTransport>(
                                         m_drive);
                                     m_port = port.get();
                                     return port;
                                 }};
    std::unique_ptr<FrmDevice> m_window;
};

} // namespace

TEST_F(FaultScenarios, LostRepliesAndTheRetryQuestion) {
    m_drive.SetFault(Fault::NoReply, 1);
    EXPECT_EQ(Read(), "5.5"); // one resend, silently
    EXPECT_EQ(Requests(), 2);
    EXPECT_TRUE(m_prompts.Shown().empty());

    m_drive.SetFault(Fault::NoReply, 5);
    m_prompts.Push(Answer::Retry);
    EXPECT_EQ(Read(), "5.5");
    EXPECT_EQ(Shown(), std::vector<QString>{kRetry});

    m_prompts.Clear();
    m_drive.SetFault(Fault::NoReply, 5);
    m_prompts.Push(Answer::Cancel);
    EXPECT_EQ(Read(), "");
    EXPECT_EQ(Shown(), (std::vector<QString>{kRetry, kNotRead}));
    EXPECT_EQ(m_link.PortNumber(), 0);
    EXPECT_EQ(Read(), "5.5"); // the next command searches again
    EXPECT_EQ(m_opened, 1);
}

TEST_F(FaultScenarios, DamagedReplies) {
    struct Case {
        Fault fault;
        std::vector<QString> messages;
    };
    const std::vector<Case> cases = {
        {Fault::ShortReply, {kRetry, kNotRead}},
        {Fault::LongReply, {kRetry, kNotRead}},
        {Fault::WrongChecksum, {kNotRead}},
        {Fault::LineError, {"CommError 1004", kNotRead}},
    };
    for (const Case& c : cases) {
        m_prompts.Clear();
        m_drive.SetFault(c.fault, 5);
        m_prompts.Push(Answer::Cancel);
        EXPECT_EQ(Read(), "") << static_cast<int>(c.fault);
        EXPECT_EQ(Shown(), c.messages) << static_cast<int>(c.fault);
        m_drive.SetFault(Fault::None);
        m_prompts.Clear();
        EXPECT_EQ(Read(), "5.5") << static_cast<int>(c.fault);
        EXPECT_TRUE(m_prompts.Shown().empty());
    }
}

TEST_F(FaultScenarios, DriveVanishesDuringADownload) {
    m_link.SetReplyTimeout([](int) { return 1000; }); // slow replies, no resends
    m_drive.SetReplyDelay(50);
    m_drive.SetFault(Fault::Delay, 2); // the erase, then the download
    QTimer::singleShot(75, m_port.data(), [this] {
        // The adapter is pulled out while the image is on its way.
        emit m_port->LineError(kt::link::kLinePortLost, true);
    });
    m_prompts.Push(Answer::Yes);
    m_window->CmdWrite_Click(38);
    EXPECT_EQ(Shown(),
              (std::vector<QString>{"This will put a new ProgramData in your motor, Are you sure?",
                                    "CommError 1011", "Error writing"}));
    EXPECT_EQ(m_link.PortNumber(), 0);
    m_prompts.Clear();
    m_drive.SetFault(Fault::None);
    EXPECT_EQ(Read(), "5.5");
}

TEST_F(FaultScenarios, WindowsClosedWhileACommandWaits) {
    QTemporaryDir folder;
    auto main = std::make_unique<kt::mainwindow::FrmMotor>(m_prompts, folder.path(), folder.path());
    main->show();
    QPointer<FrmDevice> device = new FrmDevice(m_link, m_prompts, nullptr, main.get());
    device->show();
    m_drive.SetReplyDelay(15);
    m_drive.SetFault(Fault::Delay, 1);
    QTimer::singleShot(5, main.get(), [&] {
        device->close();
        main->close();
    });
    device->CmdRead_Click(0);
    EXPECT_TRUE(device.isNull() || !device->isVisible());
    EXPECT_FALSE(main->isVisible());
    main.reset(); // takes the device window with it
    EXPECT_TRUE(device.isNull());
    EXPECT_EQ(Read(), "5.5");
}
