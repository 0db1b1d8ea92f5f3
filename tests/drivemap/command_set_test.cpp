// The catalogue against what the command set and the virtual drive do: each
// value read and written through ClsKtMotor over the in-process line goes to
// the catalogue's address with its size, starts at its power-up value, reads
// back as the catalogue converts and formats it, and is writable exactly
// where the catalogue says.
#include "drive/virtual_drive.h"
#include "drive/virtual_drive_transport.h"
#include "drivemap/drive_catalogue.h"
#include "link/cls_kt_motor.h"
#include "link/frm_motor_com.h"
#include "platform/scripted_prompts.h"

#include <gtest/gtest.h>

#include <QCoreApplication>

#include <cmath>
#include <functional>
#include <map>
#include <string>

using namespace kt::drivemap;
using kt::drive::VirtualDrive;
using kt::link::ClsKtMotor;
using kt::link::kOutOfRange;
using kt::link::kSent;
using Byte = ClsKtMotor::Byte;

namespace {

using Reader = std::function<Byte(ClsKtMotor&, Byte channel, double& reading)>;
using Writer = std::function<Byte(ClsKtMotor&, Byte channel, double reading)>;
using BitWriter = std::function<Byte(ClsKtMotor&, bool on)>;

template <typename Value> Reader Plain(Byte (ClsKtMotor::*read)(Value&)) {
    return [read](ClsKtMotor& m, Byte, double& reading) {
        Value value{};
        const Byte result = (m.*read)(value);
        reading = static_cast<double>(value);
        return result;
    };
}
template <typename Value> Reader Numbered(Byte (ClsKtMotor::*read)(Byte, Value&)) {
    return [read](ClsKtMotor& m, Byte channel, double& reading) {
        Value value{};
        const Byte result = (m.*read)(channel, value);
        reading = static_cast<double>(value);
        return result;
    };
}
Writer Single(Byte (ClsKtMotor::*write)(float&)) {
    return [write](ClsKtMotor& m, Byte, double reading) {
        float value = static_cast<float>(reading);
        return (m.*write)(value);
    };
}
template <typename Value> Writer NumberedWriter(Byte (ClsKtMotor::*write)(Byte, Value)) {
    return [write](ClsKtMotor& m, Byte channel, double reading) {
        return (m.*write)(channel, static_cast<Value>(reading));
    };
}
template <std::size_t N> Reader Group(std::function<Byte(ClsKtMotor&, bool (&)[N])> read) {
    return [read](ClsKtMotor& m, Byte, double& reading) {
        bool bits[N] = {};
        const Byte result = read(m, bits);
        reading = 0;
        for (std::size_t k = 0; k < N; ++k)
            reading += bits[k] ? 1u << k : 0;
        return result;
    };
}

struct Access {
    Reader read;
    Writer write; // empty for a value the command set only reads
};

// The command set's functions by the catalogue's names.
const std::map<std::string, Access>& CommandSet() {
    static const std::map<std::string, Access> table = {
        {"Outputs",
         {Group<2>([](ClsKtMotor& m, bool(&b)[2]) { return m.ReadOutputs(b[0], b[1]); }), {}}},
        {"Inputs", {Group<8>([](ClsKtMotor& m, bool(&b)[8]) { return m.ReadInputs(b); }), {}}},
        {"Flags", {Group<8>([](ClsKtMotor& m, bool(&b)[8]) { return m.ReadFlags(b); }), {}}},
        {"Status",
         {[](ClsKtMotor& m, Byte, double& reading) {
              bool b[7] = {};
              const Byte result = m.ReadStatus(b[0], b[1], b[2], b[3], b[4], b[5], b[6]);
              // In the order of the command set's arguments.
              const StatusBit order[7] = {StatusBit::Fault,         StatusBit::MotorEnable,
                                          StatusBit::MotorForward,  StatusBit::ProgramRunMode,
                                          StatusBit::AutoTorque,    StatusBit::CommandReverse,
                                          StatusBit::CommandForward};
              reading = 0;
              for (int k = 0; k < 7; ++k)
                  reading += b[k] ? Mask(order[k]) : 0;
              return result;
          },
          {}}},
        {"Timer",
         {Numbered<Byte>(&ClsKtMotor::ReadTimer), NumberedWriter(&ClsKtMotor::WriteTimer)}},
        {"CurrentSpeed", {Plain<float>(&ClsKtMotor::ReadCurrentSpeed), {}}},
        {"Error", {Plain<Byte>(&ClsKtMotor::ReadError), {}}},
        {"Analog", {Numbered<ClsKtMotor::Long>(&ClsKtMotor::ReadAnalog), {}}},
        {"BusVolt", {Plain<float>(&ClsKtMotor::ReadBusVolt), {}}},
        {"MotorCurrent", {Plain<float>(&ClsKtMotor::ReadMotorCurrent), {}}},
        {"DecelerationRate",
         {Plain<float>(&ClsKtMotor::ReadDecelerationRate),
          Single(&ClsKtMotor::WriteDecelerationRate)}},
        {"AccelerationRate",
         {Plain<float>(&ClsKtMotor::ReadAccelerationRate),
          Single(&ClsKtMotor::WriteAccelerationRate)}},
        {"ReferenceSpeed",
         {Plain<float>(&ClsKtMotor::ReadReferenceSpeed), Single(&ClsKtMotor::WriteReferenceSpeed)}},
        {"ReferenceVolt",
         {Plain<Byte>(&ClsKtMotor::ReadReferenceVolt),
          [](ClsKtMotor& m, Byte, double reading) {
              if (reading > 255) // no byte to pass
                  return Byte{kOutOfRange};
              return m.WriteReferenceVolt(static_cast<Byte>(reading));
          }}},
        {"CurrentLimit",
         {Plain<float>(&ClsKtMotor::ReadCurrentLimit), Single(&ClsKtMotor::WriteCurrentLimit)}},
        {"MotorVolt", {Plain<Byte>(&ClsKtMotor::ReadMotorVolt), {}}},
        {"Counter",
         {Numbered<Byte>(&ClsKtMotor::ReadCounter), NumberedWriter(&ClsKtMotor::WriteCounter)}},
        {"WordCounter",
         {Numbered<ClsKtMotor::Long>(&ClsKtMotor::ReadWordCounter),
          NumberedWriter(&ClsKtMotor::WriteWordCounter)}},
    };
    return table;
}

const std::map<std::string, BitWriter>& BitWriters() {
    static const std::map<std::string, BitWriter> table = [] {
        std::map<std::string, BitWriter> bits = {
            {"CommandForward", [](ClsKtMotor& m, bool on) { return m.WriteCommandForward(on); }},
            {"CommandReverse", [](ClsKtMotor& m, bool on) { return m.WriteCommandReverse(on); }},
            {"AutoTorque", [](ClsKtMotor& m, bool on) { return m.WriteAutoTorque(on); }},
        };
        for (Byte n = 0; n < 8; ++n) {
            bits["Flag." + std::to_string(n)] = [n](ClsKtMotor& m, bool on) {
                return m.WriteFlag(n, on);
            };
            if (n < 2)
                bits["Output." + std::to_string(n)] = [n](ClsKtMotor& m, bool on) {
                    return m.WriteOutput(n, on);
                };
        }
        return bits;
    }();
    return table;
}

// The channels of a value: one for a single value.
std::vector<ValueRef> ChannelsOf(const DriveValue& value) {
    if (value.channels == 0)
        return {{&value}};
    std::vector<ValueRef> refs;
    for (int n = 0; n < value.channels; ++n)
        refs.push_back({&value, n});
    return refs;
}

class CommandSetTest : public ::testing::Test {
protected:
    CommandSetTest() {
        // What the test writes stays as written.
        m_drive.SetMotorModel(false);
        WritePowerUp(m_powerUp);
    }
    ~CommandSetTest() override { EXPECT_EQ(m_prompts.Unscripted().join(u'|').toStdString(), ""); }

    // Where the drive's last request went, and how many bytes.
    std::string LastRequest() const {
        if (m_drive.Requests().empty())
            return "none";
        const kt::drive::DriveRequest& request = m_drive.Requests().back();
        return std::to_string(request.fn) + " " + std::to_string(request.address) + " " +
               std::to_string(request.dataCount);
    }
    static std::string Expected(std::uint8_t fn, const ValueRef& ref) {
        return std::to_string(fn) + " " + std::to_string(ref.Address()) + " " +
               std::to_string(ref.value->size);
    }
    // The text of a value or channel read through the command set.
    std::string Read(const ValueRef& ref) {
        double reading = -1;
        const Byte result =
            CommandSet()
                .at(std::string(ref.value->name))
                .read(m_motor, static_cast<Byte>(std::max(ref.channel, 0)), reading);
        EXPECT_EQ(result, kSent) << Name(ref);
        EXPECT_EQ(LastRequest(), Expected(kAccess, ref)) << Name(ref);
        return Format(*ref.value, reading);
    }

    VirtualDrive m_drive;
    kt::platform::ScriptedPrompts m_prompts;
    kt::link::FrmMotorCom m_link{
        m_prompts, [this](int port) -> std::unique_ptr<kt::link::Transport> {
            if (port != 1)
                return nullptr;
            return std::make_unique<kt::drive::VirtualDriveTransport>(m_drive);
        }};
    ClsKtMotor m_motor{m_link, m_prompts};
    std::vector<std::uint8_t> m_powerUp = std::vector<std::uint8_t>(kUsedSize);
};

} // namespace

TEST_F(CommandSetTest, EveryValueHasItsFunctionsAndOnlyTheWritableAWrite) {
    std::size_t described = 0;
    for (const DriveValue& value : Values()) {
        if (value.id == Id::Identification)
            continue; // the search's, below
        ++described;
        const auto found = CommandSet().find(std::string(value.name));
        ASSERT_NE(found, CommandSet().end()) << value.name;
        EXPECT_EQ(static_cast<bool>(found->second.write), value.writable) << value.name;
        for (const Bit& bit : value.bits)
            EXPECT_EQ(BitWriters().contains(std::string(bit.name)), bit.writable) << bit.name;
    }
    EXPECT_EQ(CommandSet().size(), described);
}

TEST_F(CommandSetTest, TheSearchReadsTheIdentificationTheDrivePowersUpWith) {
    ASSERT_EQ(m_motor.OpenPort(), 1);
    ASSERT_FALSE(m_drive.Requests().empty());
    EXPECT_EQ(LastRequest(), Expected(kAccess, {&At(Id::Identification)}));
    EXPECT_EQ(m_drive.DataByte(At(Id::Identification).address), kIdentificationValue);
}

TEST_F(CommandSetTest, EveryValueReadsItsPowerUpValue) {
    ASSERT_EQ(m_motor.OpenPort(), 1);
    for (const DriveValue& value : Values()) {
        if (value.id == Id::Identification)
            continue;
        for (const ValueRef& ref : ChannelsOf(value))
            EXPECT_EQ(Read(ref), Text(ref, m_powerUp)) << Name(ref);
    }
}

TEST_F(CommandSetTest, WritableValuesReadBackWhatTheCatalogueMakesOfThem) {
    ASSERT_EQ(m_motor.OpenPort(), 1);
    for (const DriveValue& value : Values()) {
        if (!value.writable)
            continue;
        const Writer& write = CommandSet().at(std::string(value.name)).write;
        // Tenths and amperes take a fraction, the rest whole numbers.
        const double scale =
            value.scaling == Scaling::Tenths || value.scaling == Scaling::CurrentStep ? 10 : 1;
        const double middle = std::round((value.range.low + value.range.high) / 2 * scale) / scale;
        for (const ValueRef& ref : ChannelsOf(value)) {
            const Byte channel = static_cast<Byte>(std::max(ref.channel, 0));
            for (const double reading :
                 {double(value.range.low), middle, double(value.range.high)}) {
                SCOPED_TRACE(Name(ref) + " " + std::to_string(reading));
                ASSERT_EQ(write(m_motor, channel, reading), kSent);
                EXPECT_EQ(LastRequest(), Expected(kAccess, ref));
                float written = static_cast<float>(reading);
                const std::optional<std::uint16_t> count = Encode(value, written);
                ASSERT_TRUE(count);
                EXPECT_EQ(Read(ref), Format(value, Scale(value.scaling, *count)));
            }
            // Above the range: brought down to its top, or refused unsent.
            const bool clamped =
                value.scaling == Scaling::Tenths || value.scaling == Scaling::CurrentStep;
            const double above = value.range.high + 1;
            if (value.size == 1 && value.scaling == Scaling::Raw)
                continue; // a byte argument holds nothing above
            const std::string top = Read(ref);
            m_drive.ClearLog();
            EXPECT_EQ(write(m_motor, channel, above), clamped ? kSent : kOutOfRange) << Name(ref);
            EXPECT_EQ(m_drive.RequestCount(), clamped ? 1 : 0) << Name(ref);
            EXPECT_EQ(Read(ref), top) << Name(ref);
        }
    }
}

TEST_F(CommandSetTest, WritableBitsAreSetAndClearedInTheirGroup) {
    ASSERT_EQ(m_motor.OpenPort(), 1);
    for (const DriveValue& value : Values()) {
        for (const Bit& bit : value.bits) {
            if (!bit.writable)
                continue;
            SCOPED_TRACE(std::string(bit.name));
            const ValueRef ref{&value, ValueRef::kWhole, bit.index};
            for (const bool on : {true, false}) {
                ASSERT_EQ(BitWriters().at(std::string(bit.name))(m_motor, on), kSent);
                EXPECT_EQ(LastRequest(), Expected(on ? kSetBits : kClearBits, {&value}));
                std::vector<std::uint8_t> memory(kUsedSize);
                memory[value.address] = m_drive.DataByte(value.address);
                EXPECT_EQ(Text(ref, memory), on ? "1" : "0");
                EXPECT_EQ(memory[value.address] & ~(1u << bit.index), 0u) << "no other bit";
            }
        }
    }
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
