// The whole road over a real pseudo-terminal: the serial-port transport and
// the command set in this process, "ktmotor-cli virtual-drive" in another,
// which leaves cleanly when terminated.
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

// The served drive takes a write and gives it back; conversions are the
// command-line tests' business, this is the road and the server's life.
TEST_F(PtyDrive, ServesUntilTerminated) {
    float rate = 150;
    EXPECT_EQ(m_motor->WriteDecelerationRate(rate), kSent);
    EXPECT_EQ(Peek(272, 2), "fd03");
    Poke(268, "8902");
    float volt = 0;
    EXPECT_EQ(m_motor->ReadBusVolt(volt), kSent);
    EXPECT_FLOAT_EQ(volt, 69.8f);
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
