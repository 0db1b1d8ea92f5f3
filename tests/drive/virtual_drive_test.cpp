// The virtual drive fed with request bytes: replies with their checksums (a
// checksum fault shared with the link shows), memory, framing, faults,
// power-up; and the in-process transport to it.
#include "compiler/program_compiler.h"
#include "drive/virtual_drive.h"
#include "drive/virtual_drive_transport.h"

#include <gtest/gtest.h>

#include <QSignalSpy>
#include <QTest>

#include <algorithm>

using kt::drive::VirtualDrive;
using Fault = VirtualDrive::Fault;

namespace {

QByteArray Hex(const char* text) {
    return QByteArray::fromHex(text);
}
const QByteArray kReadStatus = Hex("00 00 3E 00 01 C1 FF"); // the byte at 62
const QByteArray kSetFlag2 = Hex("80 02 4A 00 01 04 2F FF");

class VirtualDriveTest : public ::testing::Test {
protected:
    VirtualDriveTest() {
        m_drive.SetMotorModel(false);
        m_drive.SetDataByte(62, 0x31);
        QObject::connect(&m_drive, &VirtualDrive::Reply,
                         [this](const QByteArray& bytes) { m_replied += bytes; });
    }

    // Framed as the link sends it: the start byte with mark parity.
    std::string Exchange(const QByteArray& request, bool framed = true) {
        m_replied.clear();
        if (framed) {
            m_drive.Receive(request.left(1), true);
            m_drive.Receive(request.mid(1), false);
        } else {
            m_drive.ReceiveUnframed(request);
        }
        return m_replied.toHex(' ').toStdString();
    }

    VirtualDrive m_drive;
    QByteArray m_replied;
};

} // namespace

TEST_F(VirtualDriveTest, ExchangesInOrder) {
    // Request, reply, and an address with the word there afterwards.
    const std::tuple<const char*, const char*, std::uint16_t, std::uint16_t> cases[] = {
        {"80 00 14 01 02 F4", "", 276, 250}, // cut short by the next mark byte
        {"00 00 3E 00 01 C1 FF", "31 cf ff", 62, 0x31},
        {"00 00 1A 01 02 E3 FF", "07 00 f9 ff", 282, 7},
        {"80 01 3E 00 01 FE 42 FE", "06", 62, 0x30},
        {"80 02 3E 00 01 01 3E FF", "06", 62, 0x31},
        {"80 00 14 01 02 F4 01 74 FE", "06", 276, 500},
        {"80 00 15 01 01 AB BE FE", "06", 276, 0xABF4}, // just the high byte
        // Not understood, or a wrong checksum: no reply, nothing changed.
        {"00 00 3E 00 01 C2 FF", "", 62, 0x31},
        {"80 02 3E 00 01 01 FF 3E", "", 62, 0x31},
        {"80 05 3E 00 01 00 3C FF", "", 62, 0x31},
        {"80 04 FE 00 01 00 7D FE", "", 62, 0x31},
    };
    for (const auto& [request, reply, address, word] : cases) {
        EXPECT_EQ(Exchange(Hex(request)), reply) << request;
        EXPECT_EQ(m_drive.DataWord(address), word) << request;
    }
    EXPECT_EQ(m_drive.Requests().size(), 6u);
    EXPECT_EQ(m_drive.IgnoredCount(), 4);
}

// A download runs ("Do / Output.0 = True / Loop" sets output 0 once time
// moves); an erase stops and clears.
TEST_F(VirtualDriveTest, ProgramDownloadRunsThenErase) {
    const QByteArray image = Hex("0F 00 25 08 43 00") + QByteArray(248, char(0xFF));
    const auto program = [&] {
        return QByteArray(reinterpret_cast<const char*>(m_drive.ProgramMemory().data()), 254);
    };
    EXPECT_EQ(Exchange(Hex("80 03 00 00 FE") + image + Hex("F8 06")), "06");
    EXPECT_EQ(program(), image);
    EXPECT_EQ(m_drive.DataByte(62) & 0x08, 0x08) << "ProgramRunMode set";
    m_drive.RunFor(5);
    EXPECT_EQ(m_drive.DataByte(5), 0x01) << "the program ran";
    EXPECT_EQ(Exchange(Hex("80 04 FE 00 01 FF 7E FD")), "06");
    EXPECT_EQ(program(), QByteArray(254, char(0xFF)));
    EXPECT_EQ(m_drive.DataByte(62) & 0x08, 0) << "ProgramRunMode cleared";
    EXPECT_FALSE(m_drive.Interpreter().Running());
}

TEST_F(VirtualDriveTest, UnframedResynchronisesAndGivesUpOnAStalePartialRequest) {
    const std::pair<QByteArray, const char*> cases[] = {
        {kReadStatus + kReadStatus, "31 cf ff 31 cf ff"},
        {Hex("80 02 3E 00 01 02") + kReadStatus, "31 cf ff"},
    };
    for (const auto& [bytes, reply] : cases)
        EXPECT_EQ(Exchange(bytes, false), reply) << bytes.toHex(' ').toStdString();

    // Garbage claiming a write of 255 bytes holds up the request behind it
    // until the line has been quiet for the gap.
    m_drive.SetStaleGap(1);
    m_drive.SetDataByte(62, 0x31);
    EXPECT_EQ(Exchange(Hex("80 00 14 01 FF 12") + kReadStatus, false), "");
    ASSERT_TRUE(QTest::qWaitFor([this] { return !m_replied.isEmpty(); }, 2000));
    EXPECT_EQ(m_replied.toHex(' '), "31 cf ff");
    EXPECT_EQ(m_drive.DataWord(276), 250) << "the garbage wrote nothing";
}

TEST_F(VirtualDriveTest, FaultsDamageTheReplyButNotTheRequest) {
    const std::tuple<Fault, const char*, const char*> cases[] = {
        {Fault::None, "31 cf ff", "06"},       {Fault::NoReply, "", ""},
        {Fault::ShortReply, "31 cf", ""},      {Fault::LongReply, "31 cf ff 55", "06 55"},
        {Fault::WrongChecksum, nullptr, "06"}, {Fault::LineError, "", ""},
    };
    QSignalSpy lineErrors(&m_drive, &VirtualDrive::LineError);
    for (const auto& [fault, readReply, writeReply] : cases) {
        SCOPED_TRACE(int(fault));
        m_drive.SetDataByte(74, 0x00);
        m_drive.SetFault(fault);
        const std::string reply = Exchange(kReadStatus);
        if (readReply)
            EXPECT_EQ(reply, readReply);
        else // the data with some other checksum
            EXPECT_TRUE(reply.size() == 8 && reply.starts_with("31 ") && reply != "31 cf ff");
        EXPECT_EQ(Exchange(kSetFlag2), writeReply);
        EXPECT_EQ(m_drive.DataByte(74), 0x04);
    }
    ASSERT_EQ(lineErrors.size(), 2) << "from the LineError fault only";
    EXPECT_EQ(lineErrors.at(0).at(0).toInt(), kt::link::kLineFraming);
}

// A fresh drive (the simulator window's) is a fresh interpreter (the simulate
// command's); Reset makes it fresh again after a run that changed all.
TEST(VirtualDrivePowerUp, AgreesWithAFreshInterpreterOnEveryValue) {
    VirtualDrive drive;
    const kt::sim::ProgramInterpreter fresh;
    kt::compiler::ProgramCompiler compiler;
    long lineCount = 0;
    ASSERT_EQ(compiler.CompileText(
                  "TriggerTimer1 0\r\nCommandForward = True\r\nCounter3 = 9\r\nDo\r\nLoop\r\n",
                  lineCount),
              0);
    for (const char* when : {"at power-up", "after Reset"}) {
        EXPECT_TRUE(std::ranges::equal(drive.Interpreter().Memory(), fresh.Memory())) << when;
        for (int n = 0; n < 4; ++n)
            EXPECT_EQ(drive.Interpreter().TimerFlag(n), fresh.TimerFlag(n)) << when;
        EXPECT_EQ(drive.Interpreter().TimeMs(), fresh.TimeMs()) << when;
        EXPECT_FALSE(drive.Interpreter().Running()) << when;
        drive.Interpreter().Load(compiler.ProgramBuffer());
        drive.Interpreter().SetInput(4, true);
        drive.Interpreter().SetAnalog(2, 700);
        drive.RunFor(500);
        ASSERT_NE(drive.DataWord(12), 0) << "the motor sped up";
        drive.Reset();
    }
}

// The in-process transport as the link drives it: notifications from the
// event loop in order, the parity bit reaching the drive, a close dropping
// what is underway.
TEST(VirtualDriveTransport, NotifiesFromTheEventLoopAndCloseDropsWhatIsUnderway) {
    using Parity = kt::link::Transport::Parity;
    VirtualDrive drive;
    drive.SetDataByte(62, 0x31);
    kt::drive::VirtualDriveTransport port(drive);
    QStringList events;
    QObject::connect(&port, &kt::link::Transport::Sent, [&] { events << "Sent"; });
    QObject::connect(&port, &kt::link::Transport::Received,
                     [&] { events << QStringLiteral("Received %1").arg(port.BytesAvailable()); });
    const auto request = [&](Parity first, Parity rest) {
        events.clear();
        port.SetParity(first);
        port.Write(kReadStatus.left(1));
        port.SetParity(rest);
        port.Write(kReadStatus.mid(1));
    };
    const auto waitFor = [&](const char* event) {
        return QTest::qWaitFor([&] { return events.contains(event); }, 2000);
    };
    ASSERT_TRUE(port.Open());
    request(Parity::Mark, Parity::Space);
    EXPECT_EQ(events.join(", "), "") << "nothing is signalled from inside Write()";
    ASSERT_TRUE(waitFor("Received 3"));
    EXPECT_EQ(events.join(", "), "Sent, Received 3");
    EXPECT_EQ(port.ReadAll(), Hex("31 CF FF"));

    // A close drops the reply and the bytes on their way; a write while
    // closed goes nowhere.
    request(Parity::Mark, Parity::Space);
    ASSERT_TRUE(waitFor("Received 3"));
    port.Close();
    EXPECT_EQ(port.BytesAvailable(), 0);
    ASSERT_TRUE(port.Open());
    request(Parity::Mark, Parity::Space);
    port.Close();
    port.Write(kReadStatus);
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    EXPECT_EQ(events.join(", "), "");
    EXPECT_EQ(drive.Requests().size(), 2u);
}
