// The link and the command set against a recording transport: frames with
// their parity, resends, the port search, user and background requests.
#include "fake_transport.h"

#include "link/cls_kt_motor.h"
#include "link/frm_motor_com.h"
#include "link/packet.h"
#include "link/port_directory.h"
#include "link/serial_transport.h"
#include "platform/scripted_prompts.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTimer>

#include <map>

using namespace kt::link;
using kt::link::test::FakeTransport;
using kt::link::test::Written;
using kt::platform::Answer;
using kt::platform::Buttons;

namespace {

QByteArray Hex(const char* text) {
    return QByteArray::fromHex(text);
}

// Port behaviours other than answering as the drive.
constexpr int kSilent = -1, kCannotOpen = -2, kDenied = -3;

const std::map<std::string, std::string> kGolden = {
    {"monitor", "00 | 00 3e 00 01 c1 ff"}, // read 1 at 62
    {"probe", "00 | 00 1a 01 02 e3 ff"},   // the identification word
    {"read", "00 | 00 2c 01 02 d1 ff"},    // read 2 at 300
    {"write", "80 | 00 14 01 02 f4 01 74 fe"},
    {"erase", "80 | 04 fe 00 01 ff 7e fd"},
    {"download",
     "80 | " + (Hex("030000fe") + QByteArray(254, '\x43') + Hex("05bc")).toHex(' ').toStdString()},
};

std::vector<std::string> Golden(const std::vector<const char*>& names) {
    std::vector<std::string> frames;
    for (const char* name : names)
        frames.push_back(kGolden.at(name));
    return frames;
}

// The wire as frames: each start byte (mark) with the bytes after it (space).
std::vector<std::string> Frames(const std::vector<Written>& log) {
    std::vector<std::string> frames;
    for (const Written& written : log) {
        if (written.parity == Transport::Parity::Mark)
            frames.push_back(written.bytes.toHex().toStdString());
        else if (!frames.empty())
            frames.back() += " | " + written.bytes.toHex(' ').toStdString();
    }
    return frames;
}

// Calls back on every event of the link.
struct Watcher : LinkObserver {
    std::function<void(const LinkEvent&)> on;
    void Observe(const LinkEvent& event) override {
        if (on)
            on(event);
    }
};

// Runs events until `done` holds, or the time is up.
bool RunUntil(const std::function<bool()>& done, int msecs = 2000) {
    QElapsedTimer clock;
    clock.start();
    while (!done() && clock.elapsed() < msecs)
        QCoreApplication::processEvents(QEventLoop::AllEvents, 5);
    return done();
}

// Lets whatever is still under way arrive.
void Linger() {
    RunUntil([] { return false; }, 30);
}

// After QCoreApplication::exit() every new event loop returns at once; the
// application's own loop, run briefly, clears that.
void RecoverFromQuit() {
    QTimer::singleShot(0, QCoreApplication::instance(), &QCoreApplication::quit);
    QCoreApplication::exec();
}

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
        m_onRequest = nullptr;
        m_log.clear();
        m_opened.clear();
        m_requests = 0;
    }
    // A monitoring read of one byte at `address`.
    void Monitor(QObject* owner, CompletionHandler done, int address = 62) {
        m_link.SubmitBackground({0, address, 1, {}, false}, owner, std::move(done));
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
    std::vector<Written> m_log;
    std::vector<int> m_opened;
    FrmMotorCom m_link{m_prompts, [this](int port) { return MakePort(port); }};
    ClsKtMotor m_motor{m_link, m_prompts};
};

} // namespace

TEST_F(LinkTest, RequestFramesByteForByte) {
    Connect();
    std::int32_t word = 0;
    bool s[7];
    float speed = 50, rate = 150, over = 70;
    // The call, and the frame it sends (start byte | the rest).
    const std::vector<std::pair<std::function<std::uint8_t()>, const char*>> cases = {
        {[&] { return m_motor.ReadStatus(s[0], s[1], s[2], s[3], s[4], s[5], s[6]); },
         "00 | 00 3e 00 01 c1 ff"},
        {[&] { return m_motor.WriteCommandForward(true); }, "80 | 02 3e 00 01 01 3e ff"},
        {[&] { return m_motor.WriteCommandForward(); }, "80 | 01 3e 00 01 fe 42 fe"},
        {[&] { return m_motor.WriteReferenceSpeed(speed); }, "80 | 00 14 01 02 f4 01 74 fe"},
        {[&] { return m_motor.WriteDecelerationRate(rate); }, "80 | 00 10 01 02 fd 03 6d fe"},
        {[&] { return m_motor.WriteCurrentLimit(over); }, "80 | 00 18 01 02 fe 00 67 fe"},
        {[&] { return m_motor.WriteFlag(2, true); }, "80 | 02 4a 00 01 04 2f ff"},
        {[&] { return m_motor.WriteCounter(3, 9); }, "80 | 00 23 01 01 09 52 ff"},
        {[&] { return m_motor.ReadWordCounter(1, word); }, "00 | 00 22 01 02 db ff"},
    };
    for (const auto& [call, frame] : cases) {
        m_log.clear();
        EXPECT_EQ(call(), kSent) << frame;
        EXPECT_EQ(Frames(m_log), std::vector<std::string>{frame});
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
    std::uint8_t byte = 0;
    EXPECT_EQ(m_motor.ReadTimer(4, byte), kOutOfRange);
    EXPECT_EQ(m_motor.WriteFlag(8), kOutOfRange);
    EXPECT_EQ(m_motor.WriteProgram(QByteArray(253, '\0')), kOutOfRange);
    int background = -1;
    m_motor.ReadInBackground(kt::drivemap::Id::Counter, 8, nullptr,
                             [&](const ClsKtMotor::Reading& read) { background = read.result; });
    EXPECT_TRUE(RunUntil([&] { return background >= 0; }));
    EXPECT_EQ(background, kOutOfRange);
    EXPECT_TRUE(m_opened.empty());
    EXPECT_TRUE(m_prompts.Shown().empty());
}

// No port yet: the download asks first, then searches and holds the link
// from its question through the search, the erase and the image.
TEST_F(LinkTest, ProgramDownloadAndErase) {
    Reset(Hex("0700"));
    m_prompts.Push(Answer::No);
    EXPECT_EQ(m_motor.WriteProgram(QByteArray(254, '\x43')), kSent);
    EXPECT_TRUE(m_opened.empty());
    ASSERT_EQ(m_prompts.Shown().size(), 1u);
    EXPECT_EQ(m_prompts.Shown()[0].defaultAnswer, Answer::No);

    // While its question is open the download holds the link: a click is
    // busy, the port cannot be forgotten, a monitoring read waits for the
    // download.
    QObject monitor;
    bool monitored = false, asked = false, forgotten = true;
    std::uint8_t click = 0xFF;
    m_prompts.OnMessage([&](const kt::platform::MessageRequest&) {
        if (std::exchange(asked, true))
            return;
        click = m_motor.ProgramErase();
        forgotten = m_link.ForgetPort();
        Monitor(&monitor, [&](const Completion&) { monitored = true; });
    });
    m_prompts.Push(Answer::Yes);
    EXPECT_EQ(m_motor.WriteProgram(QByteArray(254, '\x43')), kSent);
    EXPECT_TRUE(RunUntil([&] { return monitored; }));
    m_prompts.OnMessage(nullptr);
    EXPECT_EQ(click, kBusy);
    EXPECT_FALSE(forgotten);
    EXPECT_EQ(m_prompts.Shown().size(), 2u);
    EXPECT_EQ(Frames(m_log), Golden({"probe", "erase", "download", "monitor"}));

    // A failed erase stops the download.
    m_log.clear();
    m_silent = true;
    m_prompts.Push(Answer::Yes);
    m_prompts.Push(Answer::Cancel);
    EXPECT_EQ(m_motor.WriteProgram(QByteArray(254, '\0')), kFailed);
    EXPECT_EQ(Frames(m_log), std::vector<std::string>(5, kGolden.at("erase")));
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
    // A preferred port is tried first; a silent one, then the usual order.
    for (const auto& [preferred, opened] :
         {std::pair{5, std::vector<int>{5}}, {1, std::vector<int>{1, 2, 3, 4, 5}}}) {
        ASSERT_TRUE(m_link.ForgetPort());
        m_link.SetPreferredPort(preferred);
        Reset();
        EXPECT_EQ(m_link.OpenPort(), 5);
        EXPECT_EQ(m_opened, opened);
    }

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

// The port is lost under the monitoring read a user's command waits for:
// the command searches again and runs on the port it finds.
TEST_F(LinkTest, CommandSearchesAgainForAPortLostUnderABackgroundRead) {
    Connect();
    m_readData = Hex("0700");
    std::uint8_t user = 0xFF;
    QByteArray data;
    QObject monitor;
    std::vector<Completion> background;
    m_onRequest = [&] {
        m_silent = m_requests == 1;
        if (m_requests == 1) {
            QTimer::singleShot(0, &m_link, [&] { user = m_link.SendPacket(0, 300, 2, data); });
            m_port->FailLine(kLinePortLost, true);
        }
    };
    Monitor(&monitor, [&](const Completion& done) { background.push_back(done); });
    EXPECT_TRUE(RunUntil([&] { return user != 0xFF && !background.empty(); }));
    EXPECT_EQ(background[0].result, kFailed);
    EXPECT_EQ(user, kSent);
    EXPECT_EQ(data, Hex("0700"));
    EXPECT_EQ(m_opened, std::vector<int>{1});
}

// A monitoring read (1 byte at 62) is on the wire and a user's action comes
// at one of its phases: the user's exchange goes out right after it, ahead of
// nothing else, with its own reply, the read completes with its own reply as
// it arrives, and a quitting application leaves the link usable.
TEST_F(LinkTest, UserActionsMeetABackgroundRead) {
    std::unique_ptr<QObject> monitor;
    QByteArray data;
    float speed = 50;
    const auto read = [&] { return int(m_link.SendPacket(0, 300, 2, data)); };
    const auto write = [&] { return int(m_motor.WriteReferenceSpeed(speed)); };
    // The download and the erase are confirmed: every row scripts a Yes.
    const auto download = [&] { return int(m_motor.WriteProgram(QByteArray(254, '\x43'))); };
    const auto erase = [&] { return int(m_motor.ProgramErase()); };
    const auto forget = [&] { return m_link.ForgetPort() ? 1 : 0; };
    const auto closeMonitor = [&] { return monitor.reset(), 0; };
    const auto quit = [&] {
        QTimer::singleShot(0, [] { QCoreApplication::exit(); });
        return read();
    };
    enum class At { Start, Wait, Resend }; // start byte, awaiting the reply, resending
    const std::vector<At> always = {At::Start, At::Wait, At::Resend};
    struct Row {
        std::vector<At> at;
        std::function<int()> act;
        std::vector<const char*> after; // the wire after the monitoring read's sendings
        int user;                       // the action's result (forget: 1 forgotten, 0 refused)
        bool monitorRead;               // the monitoring read's completion ran, with 31
        int questions;
    };
    const std::vector<Row> rows = {
        {always, read, {"read"}, kSent, true, 0},
        {always, write, {"write"}, kSent, true, 0},
        {always, download, {"erase", "download"}, kSent, true, 1},
        {always, erase, {"erase"}, kSent, true, 1},
        {always, forget, {}, 0, true, 0},
        {always, closeMonitor, {}, 0, false, 0},
        // Quitting ends the user's wait: a read still queued never goes out
        // (3); one already on the wire is given up (1).
        {{At::Start, At::Resend}, quit, {}, kBusy, true, 0},
        {{At::Wait}, quit, {"read"}, kFailed, true, 0},
    };
    Watcher watcher;
    m_link.AddObserver(&watcher);
    for (const Row& row : rows)
        for (const At at : row.at) {
            SCOPED_TRACE("row " + std::to_string(&row - rows.data()) + ", at " +
                         std::to_string(static_cast<int>(at)));
            std::vector<const char*> wire(at == At::Resend ? 2 : 1, "monitor");
            wire.insert(wire.end(), row.after.begin(), row.after.end());
            Connect();
            m_prompts.Clear();
            m_prompts.Push(Answer::Yes);
            m_readData = Hex("3132");
            monitor = std::make_unique<QObject>();
            data.clear();
            int user = -1;
            std::vector<QByteArray> reads; // the monitoring read's data, or "failed"
            bool acted = false, posted = false;
            // The action comes from the event loop, as a click does.
            const auto post = [&] {
                QTimer::singleShot(0, &m_link, [&] {
                    user = row.act();
                    acted = true;
                });
            };
            watcher.on = [&](const LinkEvent& event) {
                const bool start = at == At::Start && event.kind == LinkEvent::Kind::Request;
                const bool resend = at == At::Resend && event.kind == LinkEvent::Kind::Resend;
                if (event.background && (start || resend) && !std::exchange(posted, true))
                    post();
            };
            m_onRequest = [&] {
                if (at == At::Resend)
                    m_silent = m_requests == 1; // the read's first sending goes unanswered
                if (at == At::Wait && m_requests == 1 && !std::exchange(posted, true))
                    post();
            };
            Monitor(monitor.get(), [&](const Completion& c) {
                reads.push_back(c.result == kSent ? c.data : "failed");
            });
            EXPECT_TRUE(RunUntil([&] { return acted && !m_link.Busy(); }));
            if (row.act.target_type() == typeid(quit))
                RecoverFromQuit();
            Linger(); // nothing more comes
            EXPECT_EQ(Frames(m_log), Golden(wire));
            EXPECT_EQ(user, row.user);
            const bool userRead = row.user == kSent && std::string(wire.back()) == "read";
            EXPECT_EQ(data, userRead ? Hex("3132") : QByteArray());
            EXPECT_EQ(reads, std::vector<QByteArray>(row.monitorRead ? 1 : 0, Hex("31")));
            EXPECT_EQ(static_cast<int>(m_prompts.Shown().size()), row.questions);
            EXPECT_EQ(m_link.PortNumber(), 1);
            EXPECT_EQ(m_link.CurrentHolder(), FrmMotorCom::Holder::None);
            m_onRequest = nullptr;
            watcher.on = nullptr;
        }
    m_link.RemoveObserver(&watcher);
    // Whatever happened, the link works.
    Reset(Hex("05"));
    EXPECT_EQ(m_link.SendPacket(0, 62, 1, data), kSent);
    EXPECT_EQ(data, Hex("05"));
}
// Requests waiting for the wire: background ones go in the order they came,
// a user's goes ahead of all of them; an owner's requests go with it. The
// next request goes out before a completion runs (-address: completed).
TEST_F(LinkTest, QueueOrderAndGoneOwners) {
    Connect();
    QObject monitor;
    std::vector<int> order;
    const auto submit = [&](int address, QObject* owner) {
        Monitor(
            owner, [&order, address](const Completion&) { order.push_back(-address); }, address);
    };
    Watcher watcher;
    watcher.on = [&](const LinkEvent& event) {
        if (event.kind == LinkEvent::Kind::Request)
            order.push_back(event.address);
    };
    m_link.AddObserver(&watcher);
    // A user's read clicked while the first of three waits for its reply.
    std::uint8_t user = 0xFF;
    m_onRequest = [&] {
        if (m_requests == 1)
            QTimer::singleShot(0, &m_link, [&] {
                QByteArray data;
                user = m_link.SendPacket(0, 300, 2, data);
            });
    };
    for (int address : {10, 11, 12})
        submit(address, &monitor);
    EXPECT_EQ(m_link.Waiting(), 2);
    EXPECT_TRUE(RunUntil([&] { return order.size() == 7 && user != 0xFF; }));
    EXPECT_EQ(order, (std::vector<int>{10, 300, -10, 11, 12, -11, -12}));
    EXPECT_EQ(user, kSent);

    order.clear();
    m_onRequest = nullptr;
    // Withdrawn requests never go out; nor do those of an owner that is gone.
    {
        QObject gone;
        submit(40, &gone);
        submit(41, &gone);
        submit(42, &monitor);
        m_link.WithdrawBackground(&monitor);
        EXPECT_EQ(m_link.Waiting(), 1); // 41 waits; 40 is on the wire
    }
    EXPECT_TRUE(RunUntil([&] { return !m_link.Busy(); }));
    Linger();
    EXPECT_EQ(order, std::vector<int>{40});
    m_link.RemoveObserver(&watcher);
}

// Background requests never search, never ask and never show a box, and
// their completion never runs inside the call that submitted them.
TEST_F(LinkTest, BackgroundNeverAsksNorShows) {
    enum class Port { None, GivenUp, Open }; // given up: a user's command cancelled
    const std::string noPort = "No drive port is open.";
    struct Row {
        const char* name;
        Port port;
        const char* reply; // the drive's raw reply; none: silent
        int lineError;     // the line error the read meets, if any
        std::uint8_t result;
        std::string failure;
        int sendings;
        bool portKept;
    };
    const std::vector<Row> rows = {
        {"no port yet", Port::None, nullptr, 0, kNoDrivePort, noPort, 0, false},
        {"port given up", Port::GivenUp, nullptr, 0, kNoDrivePort, noPort, 0, false},
        {"silent drive", Port::Open, nullptr, 0, kFailed, "The drive did not answer, 4 resends.",
         1 + FrmMotorCom::kMaxResends, true},
        {"damaged reply", Port::Open, "31cffe", 0, kFailed, "The drive's reply was damaged.", 1,
         true},
        {"line error", Port::Open, nullptr, kLineFraming, kFailed,
         "CommError 1004 A byte arrived garbled (framing error). Check the cable.", 1, true},
        {"port lost", Port::Open, nullptr, kLinePortLost, kFailed,
         "CommError 1011 The serial port has gone: the cable may be unplugged. Plug it in and "
         "try again.",
         1, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (row.port == Port::None)
            Reset();
        else
            Connect();
        if (row.port == Port::GivenUp) {
            m_silent = true;
            m_prompts.Push(Answer::Cancel);
            QByteArray data;
            m_link.SendPacket(0, 62, 1, data);
            Reset();
        }
        m_prompts.Clear();
        m_silent = !row.reply;
        m_rawReply = Hex(row.reply ? row.reply : "");
        if (row.lineError)
            m_onRequest = [&] { m_port->FailLine(row.lineError, row.lineError == kLinePortLost); };
        QObject monitor;
        int calls = 0;
        Completion got;
        const auto count = [&](const Completion& completion) {
            ++calls;
            got = completion;
        };
        Monitor(&monitor, count);
        EXPECT_EQ(calls, 0);
        EXPECT_TRUE(RunUntil([&] { return calls > 0 && !m_link.Busy(); }));
        Linger();
        EXPECT_EQ(calls, 1);
        EXPECT_EQ(got.result, row.result);
        EXPECT_EQ(got.failure.toStdString(), row.failure);
        EXPECT_EQ(m_requests, row.sendings);
        EXPECT_EQ(m_link.PortNumber() != 0, row.portKept);
        EXPECT_TRUE(m_opened.empty());
        EXPECT_TRUE(m_prompts.Shown().empty());
        if (row.portKept) {
            // The port stays: the next background read works.
            Reset(Hex("07"));
            calls = 0;
            Monitor(&monitor, count);
            EXPECT_TRUE(RunUntil([&] { return calls > 0; }));
            EXPECT_EQ(got.data, Hex("07"));
            // A line error after it, the wire idle, is the monitor's too.
            m_port->FailLine(kLineFraming, false);
            Linger();
            EXPECT_TRUE(m_prompts.Shown().empty());
        }
    }
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
