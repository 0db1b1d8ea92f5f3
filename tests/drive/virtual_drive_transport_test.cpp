// The in-process transport as the link drives it: the order of its
// notifications, the parity bit reaching the drive, and closing.
#include "drive/virtual_drive.h"
#include "drive/virtual_drive_transport.h"
#include "tests/drive/frames.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QStringList>
#include <QTest>

using kt::drive::VirtualDrive;
using kt::drive::VirtualDriveTransport;
using kt::link::Transport;
using namespace kt::drive::test;
using Parity = Transport::Parity;

namespace {

class VirtualDriveTransportTest : public ::testing::Test {
protected:
    VirtualDriveTransportTest() {
        QObject::connect(&m_port, &Transport::Sent, [this] { m_events << "Sent"; });
        QObject::connect(&m_port, &Transport::Received, [this] {
            m_events << QStringLiteral("Received %1").arg(m_port.BytesAvailable());
        });
        QObject::connect(&m_port, &Transport::LineError, [this](int code, bool lost) {
            m_events << QStringLiteral("LineError %1 %2").arg(code).arg(lost);
        });
        m_drive.SetDataByte(62, 0x31);
        EXPECT_TRUE(m_port.Open());
    }

    void Write(Parity parity, const QByteArray& bytes) {
        m_port.SetParity(parity);
        m_port.Write(bytes);
    }
    // Afresh: no events, nothing unread.
    void WriteRequest() {
        m_events.clear();
        m_port.ReadAll();
        Write(Parity::Mark, kReadStatus.left(1));
        Write(Parity::Space, kReadStatus.mid(1));
    }
    std::string Events() const { return m_events.join(", ").toStdString(); }
    bool WaitFor(const char* event) {
        return QTest::qWaitFor([&] { return m_events.contains(event); }, 2000);
    }

    VirtualDrive m_drive;
    VirtualDriveTransport m_port{m_drive};
    QStringList m_events;
};

} // namespace

TEST_F(VirtualDriveTransportTest, NotificationsComeFromTheEventLoopInOrder) {
    Write(Parity::Mark, kReadStatus.left(1));
    EXPECT_EQ(Events(), "") << "nothing is signalled from inside Write()";
    ASSERT_TRUE(WaitFor("Sent"));
    Write(Parity::Space, kReadStatus.mid(1));
    ASSERT_TRUE(WaitFor("Received 3"));
    EXPECT_EQ(Events(), "Sent, Sent, Received 3");
    EXPECT_EQ(m_port.ReadAll(), Hex("31 CF FF"));

    // The drive sees the parity bit: no request without exactly one mark byte.
    for (const Parity parity : {Parity::Space, Parity::Mark}) {
        m_events.clear();
        Write(parity, kReadStatus);
        ASSERT_TRUE(WaitFor("Sent"));
    }
    EXPECT_EQ(m_drive.Requests().size(), 1u);
}

TEST_F(VirtualDriveTransportTest, ClosingDropsWhatIsUnderway) {
    WriteRequest();
    m_port.Close();
    m_port.Write(kReadStatus); // while closed
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(Events(), "");
    EXPECT_TRUE(m_drive.Requests().empty());

    ASSERT_TRUE(m_port.Open());
    WriteRequest();
    ASSERT_TRUE(WaitFor("Received 3"));
    m_port.Close();
    EXPECT_EQ(m_port.BytesAvailable(), 0) << "the reply goes with the close";
}
