// The virtual drive fed with request bytes directly: replies byte for byte,
// its memory, framing with and without the parity bit, and the faults.
#include "drive/virtual_drive.h"
#include "link/transport.h"
#include "tests/drive/frames.h"

#include <gtest/gtest.h>

#include <QSignalSpy>

using kt::drive::VirtualDrive;
using namespace kt::drive::test;
using Fault = VirtualDrive::Fault;

namespace {

const QByteArray kReadStatus = Hex("00 00 3E 00 01 C1 FF");

class VirtualDriveTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_drive.SetMotorModel(false);
        m_drive.SetDataByte(62, 0x31);
    }

    // As the link sends it: the start byte with mark parity.
    std::string Exchange(const QByteArray& request) {
        m_replies.clear();
        m_drive.Receive(request.left(1), true);
        m_drive.Receive(request.mid(1), false);
        return Replied(m_replies).toHex(' ').toStdString();
    }

    std::string Unframed(const QByteArray& bytes) {
        m_replies.clear();
        m_drive.ReceiveUnframed(bytes);
        return Replied(m_replies).toHex(' ').toStdString();
    }

    VirtualDrive m_drive;
    QSignalSpy m_replies{&m_drive, &VirtualDrive::Reply};
};

} // namespace

TEST_F(VirtualDriveTest, ExchangesInOrder) {
    struct Case {
        QByteArray request;
        const char* reply;
        std::uint16_t address; // the word there afterwards
        std::uint16_t word;
    };
    const Case cases[] = {
        {kReadStatus, "31 cf ff", 62, 0x31},
        {Hex("00 00 1A 01 02 E3 FF"), "07 00 f9 ff", 282, 7},
        {Hex("00 00 20 01 02 DD FF"), "00 00 00 00", 288, 0},
        {Hex("80 01 3E 00 01 FE 42 FE"), "06", 62, 0x30},
        {Hex("80 02 3E 00 01 01 3E FF"), "06", 62, 0x31},
        {Hex("80 00 14 01 02 F4 01 74 FE"), "06", 276, 500},
        // Word counter 1 is counters 2 (low) and 3 (high).
        {WriteRequest(0, 290, Hex("34 12")), "06", 290, 0x1234},
        {Frame(false, 0, 291, 1), "12 ee ff", 292, 0},
        {WriteRequest(0, 291, Hex("AB")), "06", 290, 0xAB34},
        // Not understood: no reply, nothing changed.
        {Hex("00 00 3E 00 01 C2 FF"), "", 62, 0x31},
        {WriteRequest(5, 62, Hex("00")), "", 62, 0x31},
        {Frame(false, 2, 62, 1), "", 62, 0x31},
        {WriteRequest(4, 0, Hex("FF")), "", 62, 0x31},
        {WriteRequest(4, 254, Hex("00")), "", 62, 0x31},
        {WriteRequest(3, 1, QByteArray(254, '\0')), "", 62, 0x31},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(Exchange(c.request), c.reply) << c.request.toHex(' ').toStdString();
        EXPECT_EQ(m_drive.DataWord(c.address), c.word) << c.request.toHex(' ').toStdString();
    }
    EXPECT_EQ(m_drive.Requests().size(), 9u);
    EXPECT_EQ(m_drive.IgnoredCount(), 6);
}

TEST_F(VirtualDriveTest, ProgramDownloadThenErase) {
    const auto program = [&] {
        return QByteArray(reinterpret_cast<const char*>(m_drive.ProgramMemory().data()), 254);
    };
    QByteArray image;
    for (int i = 0; i < 254; ++i)
        image.append(static_cast<char>(i * 7));
    EXPECT_EQ(Exchange(WriteRequest(3, 0, image)), "06");
    EXPECT_EQ(program(), image);
    EXPECT_EQ(m_drive.DataByte(62), 0x39) << "ProgramRunMode set";
    EXPECT_EQ(Exchange(Hex("80 04 FE 00 01 FF 7E FD")), "06");
    EXPECT_EQ(program(), QByteArray(254, char(0xFF)));
    EXPECT_EQ(m_drive.DataByte(62), 0x31) << "ProgramRunMode cleared";
}

TEST_F(VirtualDriveTest, MarkByteStartsANewRequest) {
    Exchange(Hex("80 00 14 01 02 F4")); // a write cut short
    EXPECT_EQ(Exchange(kReadStatus), "31 cf ff");
    m_drive.Receive(kReadStatus.mid(1), false); // space bytes with nothing begun
    m_drive.Receive(Hex("55"), true);           // not a start byte
    m_drive.Receive(kReadStatus.mid(1), false);
    EXPECT_EQ(m_replies.size(), 1);
    EXPECT_EQ(m_drive.DataWord(276), 250) << "the cut-short write must not land";
}

TEST_F(VirtualDriveTest, UnframedResynchronises) {
    const QByteArray setBit = Hex("80 02 3E 00 01 02 3D FF");
    const std::pair<QByteArray, const char*> cases[] = {
        {kReadStatus + kReadStatus, "31 cf ff 31 cf ff"},
        {Hex("00 12 34 56 80") + kReadStatus, "31 cf ff"},
        {kReadStatus.left(3) + kReadStatus, "31 cf ff"},
        {setBit.left(6) + kReadStatus, "31 cf ff"},
        {Hex("00 00 3E 00 01 C1 FE"), ""},
    };
    for (const auto& [bytes, reply] : cases)
        EXPECT_EQ(Unframed(bytes), reply) << bytes.toHex(' ').toStdString();

    m_replies.clear();
    for (const char byte : setBit + kReadStatus)
        m_drive.ReceiveUnframed(QByteArray(1, byte));
    EXPECT_EQ(Replied(m_replies).toHex(' '), "06 33 cd ff");
}

TEST_F(VirtualDriveTest, UnframedGivesUpOnAStalePartialRequest) {
    // Garbage claiming a write of 255 bytes holds up the request behind it
    // until the line has been quiet for the gap.
    const QByteArray wedged = Hex("80 00 14 01 FF 12") + kReadStatus;
    m_drive.SetStaleGap(10'000);
    EXPECT_EQ(Unframed(wedged), "");
    m_drive.Reset();
    m_drive.SetDataByte(62, 0x31);
    m_drive.SetStaleGap(1);
    EXPECT_EQ(Unframed(wedged), "");
    ASSERT_TRUE(m_replies.wait(2000));
    EXPECT_EQ(Replied(m_replies), Hex("31 CF FF"));
    EXPECT_EQ(m_drive.DataWord(276), 250) << "the garbage wrote nothing";
}

TEST_F(VirtualDriveTest, FaultsDamageTheReplyButNotTheRequest) {
    const QByteArray setFlag = WriteRequest(2, 74, Hex("04"));
    struct Case {
        Fault fault;
        const char* readReply; // nullptr: the data with some other checksum
        const char* writeReply;
    };
    const Case cases[] = {
        {Fault::None, "31 cf ff", "06"},       {Fault::NoReply, "", ""},
        {Fault::ShortReply, "31 cf", ""},      {Fault::LongReply, "31 cf ff 55", "06 55"},
        {Fault::WrongChecksum, nullptr, "06"}, {Fault::LineError, "", ""},
    };
    QSignalSpy lineErrors(&m_drive, &VirtualDrive::LineError);
    for (const Case& c : cases) {
        SCOPED_TRACE(int(c.fault));
        m_drive.SetDataByte(74, 0x00);
        lineErrors.clear();
        m_drive.SetFault(c.fault);
        const std::string reply = Exchange(kReadStatus);
        if (c.readReply)
            EXPECT_EQ(reply, c.readReply);
        else
            EXPECT_TRUE(reply.size() == 8 && reply.starts_with("31 ") && reply != "31 cf ff");
        EXPECT_EQ(Exchange(setFlag), c.writeReply);
        EXPECT_EQ(m_drive.DataByte(74), 0x04);
        EXPECT_EQ(lineErrors.size(), c.fault == Fault::LineError ? 2 : 0);
    }
    EXPECT_EQ(lineErrors.at(0).at(0).toInt(), kt::link::kLineFraming);

    m_drive.SetReplyDelay(20);
    m_drive.SetFault(Fault::Delay);
    EXPECT_EQ(Exchange(kReadStatus), "");
    ASSERT_TRUE(m_replies.wait(2000));
    EXPECT_EQ(Replied(m_replies), Hex("31 CF FF"));
}

TEST_F(VirtualDriveTest, FaultForTheNextRequestsOnly) {
    m_drive.SetFault(Fault::NoReply, 2);
    EXPECT_EQ(Exchange(kReadStatus), "");
    Exchange(WriteRequest(5, 0, Hex("00"))); // not understood: uses up no fault
    EXPECT_EQ(Exchange(kReadStatus), "");
    EXPECT_EQ(Exchange(kReadStatus), "31 cf ff");
}

TEST_F(VirtualDriveTest, MotorFollowsTheCommands) {
    m_drive.SetMotorModel(true);
    // Commands (bits 0, 1, 7) -> motor bits (4, 5) and whether it runs.
    const std::tuple<int, int, bool> cases[] = {
        {0x01, 0x30, true}, {0x02, 0x20, true}, {0x03, 0x00, false}, {0x81, 0x00, false}};
    for (const auto& [commands, motor, running] : cases) {
        Exchange(WriteRequest(0, 62, QByteArray(1, char(commands | 0x30))));
        EXPECT_EQ(m_drive.DataByte(62), commands | motor);
        EXPECT_EQ(m_drive.DataWord(12), running ? m_drive.DataWord(276) : 0);
        EXPECT_EQ(m_drive.DataByte(284), running ? m_drive.DataByte(278) : 0);
        EXPECT_EQ(m_drive.DataByte(270) != 0, running);
    }
}
