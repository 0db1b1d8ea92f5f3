// The link and the command set against a recording transport: frames byte
// for byte with their parity, time-outs, resends, the retry question, the
// port search and order.
#include "fake_transport.h"

#include "link/cls_kt_motor.h"
#include "link/frm_motor_com.h"
#include "link/packet.h"
#include "link/port_directory.h"
#include "link/serial_transport.h"
#include "platform/scripted_prompts.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <map>

using namespace kt::link;
using kt::link::test::FakeTransport;
using kt::platform::Answer;
using kt::platform::Buttons;

namespace {

QByteArray Hex(const char* text) {
    return QByteArray::fromHex(text);
}

// Port behaviours other than answering as the drive.
constexpr int kSilent = -1, kCannotOpen = -2, kDenied = -3;

class LinkTest : public ::testing::Test {
protected:
    LinkTest() {
        m_link.SetReplyTimeout([](int) { return 2; });
    }
    ~LinkTest() override { EXPECT_EQ(m_prompts.Unscripted().join(u'|').toStdString(), ""); }

    // A port in m_portIds answers a probe with that identification word (or
    // behaves as above); any other is the drive, replying from m_readData.
    std::unique_ptr<Transport> MakePort(int port) {
        m_opened.push_back(port);
        if (port > m_ports)
            return nullptr;
        const int id = m_portIds.contains(port) ? m_portIds[port] : 0x10000;
        auto transport = std::make_unique<FakeTransport>(
            [this, id](const QByteArray& request) -> QByteArray {
                ++m_requests;
                if (m_onRequest)
                    m_onRequest();
                if (id == kSilent || m_silent)
                    return {};
                if (id <= 0xFFFF)
                    return Packet::ReadReply(Packet::Bytes({id & 0xFF, id >> 8}));
                if (!m_rawReply.isEmpty())
                    return m_rawReply;
                if (static_cast<std::uint8_t>(request[0]) == Packet::kWriteStart)
                    return Hex("06");
                QByteArray data = m_readData.left(request[4]);
                data.resize(request[4], '\0');
                return Packet::ReadReply(data);
            },
            &m_log);
        if (id == kCannotOpen || id == kDenied)
            transport->FailOpen(id == kDenied ? OpenFailure::PermissionDenied
                                              : OpenFailure::Unavailable);
        m_port = transport.get();
        return transport;
    }

    // Finds the drive on port 1, then forgets the traffic.
    void Connect() {
        Reset(Hex("0700"));
        ASSERT_EQ(m_link.OpenPort(), 1);
        Reset();
    }
    void Reset(const QByteArray& readData = {}) {
        m_readData = readData;
        m_silent = false;
        m_rawReply.clear();
        m_log.clear();
        m_opened.clear();
        m_requests = 0;
    }

    // The request last sent: start byte (mark) | body (space).
    std::string LastRequest() const {
        const std::size_t n = m_log.size();
        if (n < 2 || m_log[n - 2].parity != Transport::Parity::Mark ||
            m_log[n - 1].parity != Transport::Parity::Space)
            return "no request";
        return (m_log[n - 2].bytes.toHex() + " | " + m_log[n - 1].bytes.toHex(' ')).toStdString();
    }

    kt::platform::ScriptedPrompts m_prompts;
    int m_ports = 1;
    std::map<int, int> m_portIds;
    FakeTransport* m_port = nullptr;
    QByteArray m_readData;
    bool m_silent = false;
    QByteArray m_rawReply; // replaces the reply when set
    int m_requests = 0;
    std::function<void()> m_onRequest;
    std::vector<kt::link::test::Written> m_log;
    std::vector<int> m_opened;
    FrmMotorCom m_link{m_prompts, [this](int port) { return MakePort(port); }};
    ClsKtMotor m_motor{m_link, m_prompts};
};

} // namespace

TEST_F(LinkTest, RequestFramesByteForByte) {
    Connect();
    std::int32_t word = 0;
    bool s[7];
    float speed = 50, rate = 150, small = 0.25f, over = 70;
    // The call, and the frame it sends (start byte | the rest).
    const std::vector<std::pair<std::function<std::uint8_t()>, const char*>> cases = {
        {[&] { return m_motor.ReadStatus(s[0], s[1], s[2], s[3], s[4], s[5], s[6]); },
         "00 | 00 3e 00 01 c1 ff"},
        {[&] { return m_motor.WriteCommandForward(true); }, "80 | 02 3e 00 01 01 3e ff"},
        {[&] { return m_motor.WriteCommandForward(); }, "80 | 01 3e 00 01 fe 42 fe"},
        {[&] { return m_motor.WriteReferenceSpeed(speed); }, "80 | 00 14 01 02 f4 01 74 fe"},
        {[&] { return m_motor.WriteDecelerationRate(rate); }, "80 | 00 10 01 02 fd 03 6d fe"},
        {[&] { return m_motor.WriteDecelerationRate(small); }, "80 | 00 10 01 02 02 00 6b ff"},
        {[&] { return m_motor.WriteReferenceVolt(50); }, "80 | 00 16 01 02 7f 00 e8 fe"},
        {[&] { return m_motor.WriteCurrentLimit(over); }, "80 | 00 18 01 02 fe 00 67 fe"},
        {[&] { return m_motor.WriteFlag(2, true); }, "80 | 02 4a 00 01 04 2f ff"},
        {[&] { return m_motor.WriteCounter(3, 9); }, "80 | 00 23 01 01 09 52 ff"},
        {[&] { return m_motor.ReadWordCounter(1, word); }, "00 | 00 22 01 02 db ff"},
    };
    for (const auto& [call, frame] : cases) {
        m_log.clear();
        EXPECT_EQ(call(), kSent) << frame;
        EXPECT_EQ(LastRequest(), frame);
    }
    EXPECT_EQ(rate, 102.1f);
    EXPECT_EQ(over, 65.0f);
}

TEST_F(LinkTest, ReplyTimeoutGrowsWithTheDataCount) {
    FrmMotorCom plain(m_prompts, nullptr);
    for (const auto& [count, ms] : {std::pair{0, 200}, {2, 300}, {254, 12900}})
        EXPECT_EQ(plain.ReplyTimeoutFor(count), ms) << count;
}

TEST_F(LinkTest, ArgumentChecksSendNothingAndSearchNothing) {
    float negative = -1;
    std::uint8_t byte = 0;
    const std::vector<std::function<std::uint8_t()>> calls = {
        [&] { return m_motor.ReadTimer(4, byte); },
        [&] { return m_motor.WriteFlag(8); },
        [&] { return m_motor.WriteWordCounter(0, 65536); },
        [&] { return m_motor.WriteReferenceVolt(101); },
        [&] { return m_motor.WriteAccelerationRate(negative); },
        [&] { return m_motor.WriteProgram(QByteArray(253, '\0')); },
    };
    for (std::size_t i = 0; i < calls.size(); ++i)
        EXPECT_EQ(calls[i](), kOutOfRange) << i;
    EXPECT_TRUE(m_opened.empty());
    EXPECT_TRUE(m_prompts.Shown().empty());
}

TEST_F(LinkTest, ProgramDownloadAndErase) {
    Connect();
    m_prompts.Push(Answer::No);
    EXPECT_EQ(m_motor.WriteProgram(QByteArray(254, '\x43')), kSent);
    EXPECT_TRUE(m_log.empty());
    ASSERT_EQ(m_prompts.Shown().size(), 1u);
    EXPECT_EQ(m_prompts.Shown()[0].defaultAnswer, Answer::No);

    m_prompts.Push(Answer::Yes);
    EXPECT_EQ(m_motor.WriteProgram(QByteArray(254, '\x43')), kSent);
    ASSERT_EQ(m_log.size(), 4u);
    EXPECT_EQ(m_log[1].bytes.toHex(' '), "04 fe 00 01 ff 7e fd");
    EXPECT_EQ(m_log[3].bytes, Hex("0300 00fe") + QByteArray(254, '\x43') + Hex("05bc"));

    // A failed erase stops the download.
    m_log.clear();
    m_silent = true;
    m_prompts.Push(Answer::Yes);
    m_prompts.Push(Answer::Cancel);
    EXPECT_EQ(m_motor.WriteProgram(QByteArray(254, '\0')), kFailed);
    EXPECT_EQ(m_log.size(), 10u); // five erase attempts, no download
}

TEST_F(LinkTest, RepliesOfEveryKind) {
    // Reply, write?, data count, result, requests sent (five, and five more
    // after Retry, before Cancel).
    const std::vector<std::tuple<const char*, bool, std::uint8_t, std::uint8_t, int>> cases = {
        {"31cfff", false, 1, kSent, 1},   {"00000000", false, 2, kSent, 1},
        {"00", true, 1, kSent, 1},        {"ff", true, 1, kSent, 1},
        {"31cffe", false, 1, kFailed, 1}, {"31ffcf", false, 1, kFailed, 1},
        {"31cf", false, 1, kFailed, 10},  {"31cfff00", false, 1, kFailed, 10},
    };
    for (const auto& [reply, write, count, result, requests] : cases) {
        Connect();
        m_rawReply = Hex(reply);
        m_prompts.Clear();
        m_prompts.Push(Answer::Retry);
        m_prompts.Push(Answer::Cancel);
        QByteArray data = write ? QByteArray(count, 'x') : QByteArray("keep");
        EXPECT_EQ(m_link.SendPacket(0, 62, count, data, write), result) << reply;
        EXPECT_EQ(m_requests, requests) << reply;
        if (!write) {
            EXPECT_EQ(data, result == kSent ? Hex(reply).left(count) : "keep") << reply;
        }
    }
    EXPECT_EQ(m_prompts.Shown().back().buttons, Buttons::RetryCancel);
}

TEST_F(LinkTest, SearchIsSilentAndChecksTheIdentification) {
    m_ports = 31;
    // Port 3 holds another device (identification 5, 7 behind it), port 5
    // the drive.
    m_portIds = {{1, kSilent}, {2, kCannotOpen}, {3, 0x0705}, {4, kSilent}, {5, 0x0007}};
    EXPECT_EQ(m_link.OpenPort(), 5);
    EXPECT_EQ(m_opened, (std::vector<int>{1, 2, 3, 4, 5}));
    Reset();
    EXPECT_EQ(m_link.OpenPort(), 5);
    EXPECT_TRUE(m_opened.empty());
    EXPECT_EQ(m_requests, 0);

    // No drive anywhere: 0 from the search, 2 from a command. Ports the user
    // may not open are remembered for the caller to explain; a port that
    // merely cannot open is not among them.
    FrmMotorCom lonely(m_prompts, [this](int port) { return MakePort(port); });
    lonely.SetReplyTimeout([](int) { return 1; });
    m_portIds = {{1, kSilent}, {2, kDenied}, {3, kCannotOpen}, {7, kDenied}};
    QByteArray data;
    EXPECT_EQ(lonely.SendPacket(0, 62, 1, data), kNoDrivePort);
    EXPECT_EQ(m_opened.back(), 31);
    EXPECT_EQ(lonely.DeniedPorts(), (QStringList{"port 2", "port 7"}));
    EXPECT_TRUE(m_link.DeniedPorts().isEmpty());
    EXPECT_TRUE(m_prompts.Shown().empty());
}

// The real port, on a device file this user may not open (root may open
// anything, so there it can only check that a missing port is not denied).
TEST(SerialTransport, PermissionDeniedIsTold) {
    SerialTransport missing(QStringLiteral("/nonexistent/ttyS0"));
    EXPECT_FALSE(missing.Open());
    EXPECT_EQ(missing.LastOpenFailure(), OpenFailure::Unavailable);

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("ttyDenied"));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.close();
    ASSERT_TRUE(file.setPermissions({}));
    if (QFileInfo(path).isReadable())
        GTEST_SKIP() << "this process may open any file (root): permissions cannot stop it";
    SerialTransport denied(path);
    EXPECT_FALSE(denied.Open());
    EXPECT_EQ(denied.LastOpenFailure(), OpenFailure::PermissionDenied);
    EXPECT_EQ(denied.DeviceName(), path);
}

TEST(PortDirectory, PortOrder) {
    // Sorted by the port's name, whatever its device path.
    EXPECT_EQ(PortDirectory::InPortOrder({{"ttyUSB0", "/dev/a"},
                                          {"ttyACM1", "/dev/c"},
                                          {"ttyS10", "/dev/d"},
                                          {"ttyACM0", "/dev/b"}}),
              (QStringList{"/dev/b", "/dev/c", "/dev/d", "/dev/a"}));
}

// A late answer left over from an earlier exchange, the size of the next
// reply, must not pass as that reply; noise ahead of a reply costs one
// resend, not the exchange (the wire fuzzer covers the rest).
TEST_F(LinkTest, StrayBytesAreNotTheReply) {
    Connect();
    m_port->Deliver(Hex("31cfff"));
    QCoreApplication::processEvents();
    m_readData = Hex("05");
    QByteArray data;
    EXPECT_EQ(m_link.SendPacket(0, 62, 1, data), kSent);
    EXPECT_EQ(data, Hex("05"));

    m_requests = 0;
    m_onRequest = [this] {
        if (m_requests == 1)
            m_port->Deliver(Hex("aa"));
    };
    m_readData = Hex("1234");
    EXPECT_EQ(m_link.SendPacket(0, 300, 2, data), kSent);
    EXPECT_EQ(data, Hex("1234"));
    EXPECT_EQ(m_requests, 2);
}

// The port is lost while the retry question is open: answering Retry then
// must not report the abandoned exchange as a success.
TEST_F(LinkTest, ExchangeEndedWhileTheRetryQuestionIsOpen) {
    Connect();
    m_silent = true;
    m_prompts.OnMessage([this](const kt::platform::MessageRequest& request) {
        if (request.text == "Communication Failed,Retry?") {
            m_port->FailLine(kLinePortLost, true);
            QCoreApplication::processEvents();
        }
    });
    m_prompts.Push(Answer::Retry);
    QByteArray data("keep");
    EXPECT_EQ(m_link.SendPacket(0, 256, 2, data), kFailed);
    EXPECT_EQ(data, "keep");
    EXPECT_FALSE(m_link.Busy());
    m_prompts.OnMessage(nullptr);
    Reset(Hex("0700"));
    EXPECT_EQ(m_link.SendPacket(0, 256, 2, data), kSent);
}

// The monitor's reads run in the background: a user's command that meets one
// waits for its exchange and then runs, and a background read gives way.
TEST_F(LinkTest, ForegroundWaitsForTheBackgroundExchange) {
    Connect();
    m_readData = Hex("0506");
    std::uint8_t foreground = 0xFF, backgroundDuringForeground = 0xFF;
    QByteArray foregroundData;
    m_onRequest = [&] {
        if (m_requests == 1) {
            // Runs while the background read waits for its reply.
            QTimer::singleShot(0,
                               [&] { foreground = m_link.SendPacket(0, 300, 2, foregroundData); });
        } else if (m_requests == 2) {
            // Once the foreground holds the link, the background is refused.
            QByteArray other;
            backgroundDuringForeground =
                m_link.SendPacket(0, 62, 1, other, false, Priority::Background);
        }
    };
    QByteArray data;
    EXPECT_EQ(m_link.SendPacket(0, 62, 1, data, false, Priority::Background), kSent);
    EXPECT_EQ(data, Hex("05"));
    EXPECT_EQ(foreground, kSent);
    EXPECT_EQ(foregroundData, Hex("0506"));
    EXPECT_EQ(backgroundDuringForeground, kBusy);
    EXPECT_FALSE(m_link.Busy());
}

TEST_F(LinkTest, BackgroundFailuresAreKeptNotAsked) {
    QByteArray data;
    // No port yet: the background never searches.
    EXPECT_EQ(m_link.SendPacket(0, 62, 1, data, false, Priority::Background), kNoDrivePort);
    EXPECT_TRUE(m_opened.empty());
    Connect();
    m_silent = true;
    EXPECT_EQ(m_link.SendPacket(0, 62, 1, data, false, Priority::Background), kFailed);
    EXPECT_EQ(m_requests, 1 + FrmMotorCom::kMaxResends);
    EXPECT_EQ(m_link.LastBackgroundFailure().toStdString(), "The drive did not answer, 4 resends.");
    m_onRequest = [this] { m_port->FailLine(kLineFraming, false); };
    EXPECT_EQ(m_link.SendPacket(0, 62, 1, data, false, Priority::Background), kFailed);
    QCoreApplication::processEvents();
    EXPECT_TRUE(m_link.LastBackgroundFailure().startsWith("CommError "));
    // The port stays: the next background read works. (No question was
    // asked: the fixture fails on any unscripted one.)
    m_onRequest = nullptr;
    m_silent = false;
    m_readData = Hex("07");
    EXPECT_EQ(m_link.SendPacket(0, 62, 1, data, false, Priority::Background), kSent);
}

TEST_F(LinkTest, PreferredPortIsSearchedFirst) {
    m_ports = 5;
    m_portIds = {{1, kSilent}, {2, kSilent}, {3, kCannotOpen}};
    std::vector<int> found;
    QObject::connect(&m_link, &FrmMotorCom::portFound, &m_link,
                     [&](int port) { found.push_back(port); });
    m_link.SetPreferredPort(4);
    Reset(Hex("0700"));
    EXPECT_EQ(m_link.OpenPort(), 4);
    EXPECT_EQ(m_opened, std::vector<int>{4});
    ASSERT_TRUE(m_link.ForgetPort());
    m_link.SetPreferredPort(1); // silent: then the usual order, without it again
    Reset(Hex("0700"));
    EXPECT_EQ(m_link.OpenPort(), 4);
    EXPECT_EQ(m_opened, (std::vector<int>{1, 2, 3, 4}));
    EXPECT_EQ(found, (std::vector<int>{4, 4}));
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
