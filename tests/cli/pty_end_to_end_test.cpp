// The whole road over a real pseudo-terminal: the serial-port transport and
// the command set in this process, "ktmotor-cli virtual-drive" in another.
// What each command leaves in the drive is read back byte for byte, and
// each read is fed bytes put there byte for byte, so that a conversion
// fault cannot cancel itself out on the way there and back.
#include "link/cls_kt_motor.h"
#include "link/frm_motor_com.h"
#include "link/port_directory.h"
#include "platform/scripted_prompts.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QProcess>

#include <cstring>

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
        const QString device = QString::fromLocal8Bit(m_server.readLine()).trimmed();
        m_directory = std::make_unique<PortDirectory>(QStringList{device});
        m_link = std::make_unique<FrmMotorCom>(m_prompts,
                                               [this](int n) { return m_directory->Create(n); });
        m_motor = std::make_unique<ClsKtMotor>(*m_link, m_prompts);
        ASSERT_EQ(m_motor->OpenPort(), 1);
    }
    void TearDown() override {
        EXPECT_EQ(m_prompts.Unscripted().join(u'|').toStdString(), "");
        if (m_server.state() != QProcess::Running)
            return;
        m_server.terminate(); // the server leaves cleanly on SIGTERM
        EXPECT_TRUE(m_server.waitForFinished(10000));
        EXPECT_EQ(m_server.exitCode(), 0);
    }

    // The drive's bytes, read and written as plain requests.
    std::string Peek(int address, int count) {
        QByteArray data;
        return m_link->SendPacket(0, address, static_cast<std::uint8_t>(count), data) == kSent
                   ? data.toHex().toStdString()
                   : "failed";
    }
    void Poke(int address, const char* hex) {
        QByteArray data = QByteArray::fromHex(hex);
        ASSERT_EQ(
            m_link->SendPacket(0, address, static_cast<std::uint8_t>(data.size()), data, true),
            kSent);
    }

    QProcess m_server;
    kt::platform::ScriptedPrompts m_prompts;
    std::unique_ptr<PortDirectory> m_directory;
    std::unique_ptr<FrmMotorCom> m_link;
    std::unique_ptr<ClsKtMotor> m_motor;
};

} // namespace

TEST_F(PtyDrive, WritesLeaveTheSpecifiedBytes) {
    float speed = 50, rate = 150, small = 0.25f, limit = 65, over = 70;
    Poke(5, "ff");
    // The write, and the bytes it leaves at the address.
    const std::vector<std::tuple<std::function<std::uint8_t()>, int, const char*>> cases = {
        {[&] { return m_motor->WriteReferenceSpeed(speed); }, 276, "f401"},
        {[&] { return m_motor->WriteDecelerationRate(rate); }, 272, "fd03"},
        {[&] { return m_motor->WriteAccelerationRate(small); }, 274, "0200"},
        {[&] { return m_motor->WriteReferenceVolt(50); }, 278, "7f00"},
        {[&] { return m_motor->WriteCurrentLimit(limit); }, 280, "fe00"},
        {[&] { return m_motor->WriteCurrentLimit(over); }, 280, "fe00"},
        {[&] { return m_motor->WriteOutput(1); }, 5, "fd"},
        {[&] { return m_motor->WriteCounter(3, 9); }, 291, "09"},
        {[&] { return m_motor->WriteWordCounter(2, 1000); }, 292, "e803"},
        {[&] { return m_motor->WriteTimer(3, 13); }, 10, "0d"},
        {[&] { return m_motor->WriteFlag(5, true); }, 74, "20"},
    };
    for (const auto& [write, address, bytes] : cases) {
        EXPECT_EQ(write(), kSent) << address;
        EXPECT_EQ(Peek(address, int(std::strlen(bytes) / 2)), bytes) << address;
    }
    EXPECT_EQ(rate, 102.1f);
    EXPECT_EQ(over, 65.0f);
}

TEST_F(PtyDrive, ReadsConvertTheDrivesBytes) {
    float value = 0;
    std::uint8_t byte = 0;
    std::int32_t word = 0;
    // Address, bytes put there, the read, and what it delivers.
    const std::vector<std::tuple<int, const char*, std::function<std::uint8_t()>,
                                 std::function<double()>, double>>
        cases = {
            {268, "8902", [&] { return m_motor->ReadBusVolt(value); }, [&] { return value; }, 69.8},
            {280, "fe00", [&] { return m_motor->ReadCurrentLimit(value); }, [&] { return value; },
             64.77},
            {276, "f401", [&] { return m_motor->ReadReferenceSpeed(value); }, [&] { return value; },
             50},
            {278, "7f00", [&] { return m_motor->ReadReferenceVolt(byte); }, [&] { return byte; },
             49},
            {290, "0209", [&] { return m_motor->ReadWordCounter(1, word); }, [&] { return word; },
             2306},
            {266, "ff03", [&] { return m_motor->ReadAnalog(5, word); }, [&] { return word; }, 1023},
        };
    for (const auto& [address, bytes, read, delivered, expected] : cases) {
        Poke(address, bytes);
        EXPECT_EQ(read(), kSent) << address;
        EXPECT_FLOAT_EQ(float(delivered()), float(expected)) << address;
    }

    // A download sets ProgramRunMode, the drive's own doing.
    bool s[7] = {};
    m_prompts.Push(kt::platform::Answer::Yes);
    EXPECT_EQ(m_motor->WriteProgram(QByteArray(254, '\x43')), kSent);
    EXPECT_EQ(m_motor->ReadStatus(s[0], s[1], s[2], s[3], s[4], s[5], s[6]), kSent);
    EXPECT_TRUE(s[3]);
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
