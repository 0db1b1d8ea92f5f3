// The whole road over a real pseudo-terminal: the serial-port transport and
// the command set in this process, "ktmotor-cli virtual-drive" in another.
#include "link/cls_kt_motor.h"
#include "link/frm_motor_com.h"
#include "link/port_directory.h"
#include "platform/scripted_prompts.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>

using namespace kt::link;

namespace {

class PtyDrive : public ::testing::Test {
protected:
    void SetUp() override {
#ifndef Q_OS_UNIX
        GTEST_SKIP() << "pseudo-terminals are POSIX only";
#endif
        m_server.start(QStringLiteral(KTMOTOR_CLI), {"virtual-drive"});
        ASSERT_TRUE(m_server.waitForStarted());
        ASSERT_TRUE(m_server.waitForReadyRead(10000));
        m_device = QString::fromLocal8Bit(m_server.readLine()).trimmed();
        ASSERT_FALSE(m_device.isEmpty());
        m_directory = std::make_unique<PortDirectory>(QStringList{m_device});
        m_link = std::make_unique<FrmMotorCom>(m_prompts,
                                               [this](int n) { return m_directory->Create(n); });
        m_motor = std::make_unique<ClsKtMotor>(*m_link, m_prompts);
    }

    void TearDown() override {
        if (m_server.state() != QProcess::Running)
            return;
        m_server.terminate(); // the server leaves cleanly on SIGTERM
        EXPECT_TRUE(m_server.waitForFinished(10000));
        EXPECT_EQ(m_server.exitCode(), 0);
    }

    QProcess m_server;
    QString m_device;
    kt::platform::ScriptedPrompts m_prompts;
    std::unique_ptr<PortDirectory> m_directory;
    std::unique_ptr<FrmMotorCom> m_link;
    std::unique_ptr<ClsKtMotor> m_motor;
};

} // namespace

TEST_F(PtyDrive, WritesReadsAndDownloads) {
    ASSERT_EQ(m_motor->OpenPort(), 1);

    float rate = 12.3f, speed = 50, current = 10;
    EXPECT_EQ(m_motor->WriteAccelerationRate(rate), kSent);
    EXPECT_EQ(m_motor->WriteDecelerationRate(rate), kSent);
    EXPECT_EQ(m_motor->WriteReferenceSpeed(speed), kSent);
    EXPECT_EQ(m_motor->WriteCurrentLimit(current), kSent);
    EXPECT_EQ(m_motor->WriteReferenceVolt(50), kSent);
    for (std::uint8_t n = 0; n < 4; ++n) {
        EXPECT_EQ(m_motor->WriteTimer(n, static_cast<std::uint8_t>(10 + n)), kSent);
        EXPECT_EQ(m_motor->WriteWordCounter(n, 1000 * (n + 1)), kSent);
    }
    EXPECT_EQ(m_motor->WriteCounter(7, 77), kSent);
    EXPECT_EQ(m_motor->WriteFlag(5, true), kSent);
    EXPECT_EQ(m_motor->WriteOutput(1, true), kSent);
    EXPECT_EQ(m_motor->WriteAutoTorque(true), kSent);
    EXPECT_EQ(m_motor->WriteCommandForward(true), kSent);
    EXPECT_EQ(m_motor->WriteCommandReverse(false), kSent);

    float value = 0;
    EXPECT_EQ(m_motor->ReadAccelerationRate(value), kSent);
    EXPECT_FLOAT_EQ(value, 12.3f);
    EXPECT_EQ(m_motor->ReadDecelerationRate(value), kSent);
    EXPECT_FLOAT_EQ(value, 12.3f);
    EXPECT_EQ(m_motor->ReadReferenceSpeed(value), kSent);
    EXPECT_FLOAT_EQ(value, 50.0f);
    EXPECT_EQ(m_motor->ReadCurrentLimit(value), kSent);
    EXPECT_FLOAT_EQ(value, 39 * 0.255f);
    for (auto read :
         {&ClsKtMotor::ReadCurrentSpeed, &ClsKtMotor::ReadBusVolt, &ClsKtMotor::ReadMotorCurrent})
        EXPECT_EQ((m_motor.get()->*read)(value), kSent);
    std::uint8_t byte = 0;
    EXPECT_EQ(m_motor->ReadReferenceVolt(byte), kSent);
    EXPECT_EQ(byte, 49);
    EXPECT_EQ(m_motor->ReadMotorVolt(byte), kSent);
    EXPECT_EQ(m_motor->ReadTimer(3, byte), kSent);
    EXPECT_EQ(byte, 13);
    EXPECT_EQ(m_motor->ReadCounter(7, byte), kSent);
    EXPECT_EQ(byte, 77);
    std::int32_t word = 0;
    EXPECT_EQ(m_motor->ReadWordCounter(2, word), kSent);
    EXPECT_EQ(word, 3000);
    EXPECT_EQ(m_motor->ReadWordCounter(3, word), kSent);
    EXPECT_EQ(word, 77 * 256 + 4000 % 256); // counter 7 is word counter 3's high byte
    EXPECT_EQ(m_motor->ReadAnalog(5, word), kSent);
    EXPECT_EQ(m_motor->ReadError(byte), kSent);

    bool flags[8] = {}, inputs[8] = {}, op0 = false, op1 = false;
    EXPECT_EQ(m_motor->ReadFlags(flags), kSent);
    EXPECT_TRUE(flags[5]);
    EXPECT_EQ(m_motor->ReadInputs(inputs), kSent);
    EXPECT_EQ(m_motor->ReadOutputs(op0, op1), kSent);
    EXPECT_TRUE(op1);

    m_prompts.Push(kt::platform::Answer::Yes);
    EXPECT_EQ(m_motor->WriteProgram(QByteArray(254, '\x43')), kSent);
    bool s[7] = {};
    EXPECT_EQ(m_motor->ReadStatus(s[0], s[1], s[2], s[3], s[4], s[5], s[6]), kSent);
    EXPECT_TRUE(s[3]); // ProgramRunMode after a download
    EXPECT_TRUE(s[4]); // AutoTorque
    EXPECT_TRUE(s[6]); // CommandForward
    EXPECT_TRUE(m_prompts.Shown().size() == 1);
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
