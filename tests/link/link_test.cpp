// The link and the command set against a recording transport: frames byte
// for byte with their parity, conversions, time-outs, resends, the retry
// question, the port search and the busy rule.
#include "fake_transport.h"

#include "link/cls_kt_motor.h"
#include "link/frm_motor_com.h"
#include "link/packet.h"
#include "platform/scripted_prompts.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <map>
#include <random>

using namespace kt::link;
using kt::link::test::FakeTransport;
using kt::link::test::Written;
using kt::platform::Answer;
using kt::platform::Buttons;

namespace {

QByteArray Hex(const char* text) {
    return QByteArray::fromHex(text);
}

// A drive that answers every request: reads with `data` (zeros when
// empty), writes with one byte; or nothing at all when silent.
struct DriveScript {
    QByteArray readData;
    bool silent = false;
    QByteArray rawReply; // replaces the reply when set
};

class LinkTest : public ::testing::Test {
protected:
    LinkTest() {
        m_link.SetReplyTimeout([](int) { return 2; });
    }

    FakeTransport::Responder Responder(int port) {
        return [this, port](const QByteArray& request) -> QByteArray {
            ++m_requests;
            if (m_onRequest)
                m_onRequest();
            const int id = m_portIds.contains(port) ? m_portIds[port] : m_defaultId;
            if (id == -1 || m_drive.silent)
                return {};
            if (id >= 0)
                return Packet::ReadReply(Packet::Bytes({id & 0xFF, id >> 8}));
            if (!m_drive.rawReply.isEmpty())
                return m_drive.rawReply;
            if (static_cast<std::uint8_t>(request[0]) == Packet::kWriteStart)
                return Hex("06");
            const int count = static_cast<std::uint8_t>(request[4]);
            QByteArray data = m_drive.readData.left(count);
            data.resize(count, '\0');
            return Packet::ReadReply(data);
        };
    }

    std::unique_ptr<Transport> MakePort(int port) {
        m_opened.push_back(port);
        if (port > m_ports)
            return nullptr;
        auto transport = std::make_unique<FakeTransport>(Responder(port), &m_log);
        transport->SetCanOpen(!m_portIds.contains(port) || m_portIds[port] != -2);
        m_port = transport.get();
        return transport;
    }

    // Finds the drive on port 1 (identification 7), then forgets the traffic.
    void Connect() {
        m_drive = {};
        m_drive.readData = Hex("0700");
        ASSERT_EQ(m_link.OpenPort(), 1);
        m_drive = {};
        m_log.clear();
        m_opened.clear();
        m_requests = 0;
    }

    // The request last sent: start byte (mark) | body (space).
    std::pair<QByteArray, QByteArray> LastRequest() const {
        const std::size_t n = m_log.size();
        EXPECT_GE(n, 2u);
        EXPECT_EQ(m_log[n - 2].parity, Transport::Parity::Mark);
        EXPECT_EQ(m_log[n - 1].parity, Transport::Parity::Space);
        return {m_log[n - 2].bytes, m_log[n - 1].bytes};
    }

    kt::platform::ScriptedPrompts m_prompts;
    int m_ports = 1;
    // Per port: the identification word it answers with, -1 silent, -2 cannot
    // open; other ports follow m_defaultId (-3: the scripted drive).
    std::map<int, int> m_portIds;
    int m_defaultId = -3;
    FakeTransport* m_port = nullptr;
    DriveScript m_drive;
    int m_requests = 0;
    std::function<void()> m_onRequest;
    std::vector<Written> m_log;
    std::vector<int> m_opened;
    FrmMotorCom m_link{m_prompts, [this](int port) { return MakePort(port); }};
    ClsKtMotor m_motor{m_link, m_prompts};
};

} // namespace

TEST_F(LinkTest, RequestFramesByteForByte) {
    Connect();
    struct Case {
        const char* name;
        std::function<std::uint8_t(ClsKtMotor&)> call;
        const char* start;
        const char* body;
    };
    float speed = 50, rate = 150, small = 0.25f, current = 70;
    const std::vector<Case> cases = {
        {"read 1 at 75",
         [](ClsKtMotor& m) {
             std::uint8_t e = 0;
             return m.ReadError(e);
         },
         "00", "004b0001b4ff"},
        {"read 1 at 62",
         [](ClsKtMotor& m) {
             bool b[7];
             return m.ReadStatus(b[0], b[1], b[2], b[3], b[4], b[5], b[6]);
         },
         "00", "003e0001c1ff"},
        {"clear bit 0 at 62", [](ClsKtMotor& m) { return m.WriteCommandForward(false); }, "80",
         "013e0001fe42fe"},
        {"reference speed 50", [&](ClsKtMotor& m) { return m.WriteReferenceSpeed(speed); }, "80",
         "00140102f40174fe"},
        {"deceleration 150", [&](ClsKtMotor& m) { return m.WriteDecelerationRate(rate); }, "80",
         "00100102fd036dfe"},
        {"deceleration 0.25", [&](ClsKtMotor& m) { return m.WriteDecelerationRate(small); }, "80",
         "0010010202006bff"},
        {"reference volt 50", [](ClsKtMotor& m) { return m.WriteReferenceVolt(50); }, "80",
         "001601027f00e8fe"},
        {"current limit 70", [&](ClsKtMotor& m) { return m.WriteCurrentLimit(current); }, "80",
         "00180102fe0067fe"},
        {"output 1 off", [](ClsKtMotor& m) { return m.WriteOutput(1); }, "80", "01050001fd7cfe"},
        {"flag 2 on", [](ClsKtMotor& m) { return m.WriteFlag(2, true); }, "80", "024a0001042fff"},
        {"command forward on", [](ClsKtMotor& m) { return m.WriteCommandForward(true); }, "80",
         "023e0001013eff"},
        {"counter 3", [](ClsKtMotor& m) { return m.WriteCounter(3, 9); }, "80", "002301010952ff"},
        {"word counter 1",
         [](ClsKtMotor& m) {
             std::int32_t v = 0;
             return m.ReadWordCounter(1, v);
         },
         "00", "00220102dbff"},
    };
    for (const Case& c : cases) {
        m_log.clear();
        EXPECT_EQ(c.call(m_motor), kSent) << c.name;
        const auto [start, body] = LastRequest();
        EXPECT_EQ(start.toHex(), QByteArray(c.start)) << c.name;
        EXPECT_EQ(body.toHex(), QByteArray(c.body)) << c.name;
    }
    EXPECT_EQ(rate, 102.1f);
    EXPECT_EQ(current, 65.0f);

    // The identification read of the port search.
    m_log.clear();
    QByteArray id;
    EXPECT_EQ(m_link.SendPacket(0, 282, 2, id), kSent);
    EXPECT_EQ(LastRequest().second.toHex(), "001a0102e3ff");
}

TEST(ErrorDescription, NumbersAndTexts) {
    const std::vector<std::pair<QString, QString>> cases = {
        {"1", "Program passed end of buffer."},
        {"3: Fault in motor power stage.", "Fault in motor power stage."},
        {" 4", "motorcurrent exceeded set current."},
        {"5", "Bus Low Volt."},
        {"0", "No Error."},
        {"6", "No Error."},
        {"2.5", "No Error."},
        {"", "No Error."},
        {"abc", "No Error."},
        {"-1", "No Error."},
    };
    for (const auto& [index, text] : cases)
        EXPECT_EQ(ClsKtMotor::ErrorDescription(index), text) << index.toStdString();
    EXPECT_EQ(ClsKtMotor::ErrorDescription(2.0), "Program instruction is not identified.");
}

TEST_F(LinkTest, ReadConversions) {
    Connect();
    float value = 0;
    m_drive.readData = Hex("8902");
    EXPECT_EQ(m_motor.ReadBusVolt(value), kSent);
    EXPECT_FLOAT_EQ(value, 69.8f);
    m_drive.readData = Hex("fe00");
    EXPECT_EQ(m_motor.ReadCurrentLimit(value), kSent);
    EXPECT_FLOAT_EQ(value, 64.77f);
    m_drive.readData = Hex("f401");
    EXPECT_EQ(m_motor.ReadReferenceSpeed(value), kSent);
    EXPECT_FLOAT_EQ(value, 50.0f);
    std::uint8_t volt = 0;
    m_drive.readData = Hex("7f00");
    EXPECT_EQ(m_motor.ReadReferenceVolt(volt), kSent);
    EXPECT_EQ(volt, 49);
    std::int32_t word = 0;
    m_drive.readData = Hex("ffff");
    EXPECT_EQ(m_motor.ReadAnalog(5, word), kSent);
    EXPECT_EQ(word, 65535);

    bool s[7] = {};
    m_drive.readData = Hex("91");
    EXPECT_EQ(m_motor.ReadStatus(s[0], s[1], s[2], s[3], s[4], s[5], s[6]), kSent);
    EXPECT_EQ(std::vector<bool>(s, s + 7),
              (std::vector<bool>{true, false, true, false, false, false, true}));
    bool in[8] = {};
    m_drive.readData = Hex("81");
    EXPECT_EQ(m_motor.ReadInputs(in), kSent);
    EXPECT_TRUE(in[0] && in[7] && !in[1]);
}

TEST_F(LinkTest, ArgumentChecksSendNothingAndSearchNothing) {
    float negative = -1;
    std::uint8_t byte = 0;
    std::int32_t word = 0;
    const std::vector<std::function<std::uint8_t()>> calls = {
        [&] { return m_motor.ReadTimer(4, byte); },
        [&] { return m_motor.WriteTimer(4, 1); },
        [&] { return m_motor.ReadCounter(8, byte); },
        [&] { return m_motor.WriteFlag(8); },
        [&] { return m_motor.WriteOutput(2, true); },
        [&] { return m_motor.ReadWordCounter(4, word); },
        [&] { return m_motor.WriteWordCounter(0, 65536); },
        [&] { return m_motor.WriteWordCounter(0, -1); },
        [&] { return m_motor.ReadAnalog(6, word); },
        [&] { return m_motor.WriteReferenceVolt(101); },
        [&] { return m_motor.WriteAccelerationRate(negative); },
        [&] { return m_motor.WriteCurrentLimit(negative); },
        [&] { return m_motor.WriteProgram(QByteArray(253, '\0')); },
        [&] { return m_motor.WriteProgram(QByteArray(255, '\0')); },
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
    EXPECT_EQ(m_prompts.Shown()[0].text,
              "This will put a new ProgramData in your motor, Are you sure?");
    EXPECT_EQ(m_prompts.Shown()[0].buttons, Buttons::YesNo);
    EXPECT_EQ(m_prompts.Shown()[0].icon, kt::platform::Icon::Critical);
    EXPECT_EQ(m_prompts.Shown()[0].defaultAnswer, Answer::No);

    m_prompts.Push(Answer::Yes);
    EXPECT_EQ(m_motor.WriteProgram(QByteArray(254, '\x43')), kSent);
    ASSERT_EQ(m_log.size(), 4u);
    EXPECT_EQ(m_log[1].bytes.toHex(), "04fe0001ff7efd");
    EXPECT_EQ(m_log[2].bytes.size() + m_log[3].bytes.size(), 261);
    EXPECT_EQ(m_log[3].bytes.left(4).toHex(), "030000fe");

    // A failed erase stops the download.
    m_log.clear();
    m_prompts.Push(Answer::Yes);
    m_drive.silent = true;
    m_prompts.Push(Answer::Cancel);
    EXPECT_EQ(m_motor.WriteProgram(QByteArray(254, '\0')), kFailed);
    EXPECT_EQ(m_log.size(), 10u); // five erase attempts, no download
}

TEST_F(LinkTest, RepliesOfEveryKind) {
    struct Case {
        const char* name;
        QByteArray reply;
        bool write;
        std::uint8_t count;
        std::uint8_t result;
        int requests;
    };
    const std::vector<Case> cases = {
        {"good read", Hex("31cfff"), false, 1, kSent, 1},
        {"all zero read", Hex("00000000"), false, 2, kSent, 1},
        {"ack 00", Hex("00"), true, 1, kSent, 1},
        {"ack ff", Hex("ff"), true, 1, kSent, 1},
        {"wrong checksum", Hex("31cffe"), false, 1, kFailed, 1},
        {"one byte short", Hex("31cf"), false, 1, kFailed, 10},
        {"one byte long", Hex("31cfff00"), false, 1, kFailed, 10},
    };
    for (const Case& c : cases) {
        Connect();
        m_drive.rawReply = c.reply;
        m_prompts.Clear();
        m_prompts.Push(Answer::Retry); // five more attempts, then give up
        m_prompts.Push(Answer::Cancel);
        QByteArray data = c.write ? QByteArray(c.count, 'x') : QByteArray("keep");
        EXPECT_EQ(m_link.SendPacket(0, 62, c.count, data, c.write), c.result) << c.name;
        EXPECT_EQ(m_requests, c.requests) << c.name;
        if (!c.write) {
            EXPECT_EQ(data, c.result == kSent ? c.reply.left(c.count) : "keep") << c.name;
        }
    }
}

TEST_F(LinkTest, RetryQuestionAfterFiveSends) {
    Connect();
    m_drive.silent = true;
    m_prompts.Push(Answer::Retry);
    m_prompts.Push(Answer::Cancel);
    QByteArray data;
    EXPECT_EQ(m_link.SendPacket(0, 282, 2, data), kFailed);
    EXPECT_EQ(m_requests, 10);
    ASSERT_EQ(m_prompts.Shown().size(), 2u);
    EXPECT_EQ(m_prompts.Shown()[0].text, "Communication Failed,Retry?");
    EXPECT_EQ(m_prompts.Shown()[0].buttons, Buttons::RetryCancel);
    EXPECT_EQ(m_link.PortNumber(), 0);

    // The next command searches again from port 1.
    m_drive = {};
    m_drive.readData = Hex("0700");
    EXPECT_EQ(m_link.SendPacket(0, 75, 1, data), kSent);
    EXPECT_EQ(m_opened, std::vector<int>{1});
}

TEST_F(LinkTest, SearchIsSilentAndChecksTheIdentification) {
    m_ports = 31;
    // Port 2 cannot open, port 3 holds another device (identification 5,
    // 7 behind it), port 4 stays silent, port 5 is the drive.
    m_portIds = {{2, -2}, {3, 0x0705}, {4, -1}, {5, 0x0007}};
    m_defaultId = -1;
    EXPECT_EQ(m_link.OpenPort(), 5);
    EXPECT_EQ(m_opened, (std::vector<int>{1, 2, 3, 4, 5}));
    EXPECT_TRUE(m_prompts.Shown().empty());
    m_opened.clear();
    m_requests = 0;
    EXPECT_EQ(m_link.OpenPort(), 5);
    EXPECT_TRUE(m_opened.empty());
    EXPECT_EQ(m_requests, 0);

    // No drive anywhere: 0 from the search, 2 from a command, no message.
    FrmMotorCom lonely(m_prompts, [this](int port) { return MakePort(port); });
    lonely.SetReplyTimeout([](int) { return 1; });
    m_portIds.clear();
    QByteArray data;
    EXPECT_EQ(lonely.SendPacket(0, 62, 1, data), kNoDrivePort);
    EXPECT_EQ(m_opened.back(), 31);
    EXPECT_TRUE(m_prompts.Shown().empty());
}

TEST_F(LinkTest, CommandDuringAWaitIsBusy) {
    Connect();
    std::uint8_t inner = 0xAA;
    m_onRequest = [&] {
        QByteArray other;
        inner = m_link.SendPacket(0, 62, 1, other);
    };
    QByteArray data;
    EXPECT_EQ(m_link.SendPacket(0, 75, 1, data), kSent);
    EXPECT_EQ(inner, kBusy);
    EXPECT_EQ(m_requests, 1);
}

TEST_F(LinkTest, LineErrors) {
    Connect();
    m_onRequest = [this] { m_port->FailLine(kLineFraming, false); };
    m_drive.silent = true;
    QByteArray data("keep");
    EXPECT_EQ(m_link.SendPacket(0, 62, 1, data), kFailed);
    ASSERT_EQ(m_prompts.Shown().size(), 1u);
    EXPECT_EQ(m_prompts.Shown()[0].text, "CommError 1004");
    EXPECT_EQ(m_prompts.Shown()[0].buttons, Buttons::Ok);
    EXPECT_EQ(m_link.PortNumber(), 1);
    EXPECT_EQ(data, "keep");

    // A port that vanished is searched for again by the next command.
    m_onRequest = [this] { m_port->FailLine(kLinePortLost, true); };
    EXPECT_EQ(m_link.SendPacket(0, 62, 1, data), kFailed);
    EXPECT_EQ(m_link.PortNumber(), 0);
    m_onRequest = nullptr;
    m_drive = {};
    m_drive.readData = Hex("0700");
    m_opened.clear();
    EXPECT_EQ(m_link.SendPacket(0, 62, 1, data), kSent);
    EXPECT_EQ(m_opened, std::vector<int>{1});
}

// Whatever the wire brings, an exchange ends with a result code and leaves
// the caller's data alone unless it succeeded.
TEST_F(LinkTest, BadBytesFromTheWire) {
    const QByteArray good = Packet::ReadReply(Hex("1234"));
    std::vector<QByteArray> replies;
    for (int cut = 1; cut < good.size(); ++cut)
        replies.push_back(good.left(cut)); // cut short
    std::mt19937 random(7);
    for (int n = 0; n < 40; ++n) {
        QByteArray noise(static_cast<int>(random() % 9), '\0');
        for (char& byte : noise)
            byte = static_cast<char>(random());
        replies.push_back(noise);
    }
    for (const QByteArray& reply : replies) {
        Connect();
        m_drive.rawReply = reply;
        m_drive.silent = reply.isEmpty();
        m_prompts.Clear();
        m_prompts.Push(Answer::Cancel);
        QByteArray data("keep");
        const std::uint8_t result = m_link.SendPacket(0, 300, 2, data);
        ASSERT_TRUE(result == kSent || result == kFailed) << reply.toHex().constData();
        EXPECT_EQ(data, result == kSent ? reply.left(2) : QByteArray("keep"));
    }

    // Noise ahead of the reply costs one resend, not the exchange.
    Connect();
    m_onRequest = [this] {
        if (m_requests == 1)
            m_port->Deliver(Hex("aa"));
    };
    m_drive.readData = Hex("1234");
    QByteArray data;
    EXPECT_EQ(m_link.SendPacket(0, 300, 2, data), kSent);
    EXPECT_EQ(data, Hex("1234"));
    EXPECT_EQ(m_requests, 2);
}

// The port is lost while the retry question is open: answering Retry then
// must not report the abandoned exchange as a success.
TEST_F(LinkTest, ExchangeEndedWhileTheRetryQuestionIsOpen) {
    Connect();
    m_drive.silent = true;
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
    m_drive = {};
    m_drive.readData = Hex("0700");
    EXPECT_EQ(m_link.SendPacket(0, 256, 2, data), kSent);
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
