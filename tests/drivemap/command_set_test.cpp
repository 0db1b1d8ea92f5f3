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
using kt::link::kSent;
using Byte = ClsKtMotor::Byte;

namespace {

using Reader = std::function<Byte(ClsKtMotor&, Byte channel, double& reading)>;
using Writer = std::function<Byte(ClsKtMotor&, Byte channel, double reading)>;
using BitWriter = std::function<Byte(ClsKtMotor&, bool on)>;

// The command set's typed functions as numbers, with a channel or without.
template <typename Value> Reader R(Byte (ClsKtMotor::*read)(Value&)) {
    return [read](ClsKtMotor& m, Byte, double& reading) {
        Value value{};
        const Byte result = (m.*read)(value);
        reading = static_cast<double>(value);
        return result;
    };
}
template <typename Value> Reader R(Byte (ClsKtMotor::*read)(Byte, Value&)) {
    return [read](ClsKtMotor& m, Byte channel, double& reading) {
        Value value{};
        const Byte result = (m.*read)(channel, value);
        reading = static_cast<double>(value);
        return result;
    };
}
Writer W(Byte (ClsKtMotor::*write)(float&)) {
    return [write](ClsKtMotor& m, Byte, double reading) {
        float value = static_cast<float>(reading);
        return (m.*write)(value);
    };
}
template <typename Value> Writer W(Byte (ClsKtMotor::*write)(Byte, Value)) {
    return [write](ClsKtMotor& m, Byte channel, double reading) {
        return (m.*write)(channel, static_cast<Value>(reading));
    };
}
// A group's bits as the command set gives them, the k-th worth masks[k].
Reader Bits(std::function<Byte(ClsKtMotor&, bool (&)[8])> read,
            std::vector<unsigned> masks = {1, 2, 4, 8, 16, 32, 64, 128}) {
    return [read, masks](ClsKtMotor& m, Byte, double& reading) {
        bool bits[8] = {};
        const Byte result = read(m, bits);
        reading = 0;
        for (std::size_t k = 0; k < masks.size(); ++k)
            reading += bits[k] ? masks[k] : 0;
        return result;
    };
}

struct Access {
    Reader read;
    Writer write; // empty for a value the command set only reads
};

// The command set's functions by the catalogue's names.
const std::map<std::string, Access>& CommandSet() {
    using M = ClsKtMotor;
    static const std::map<std::string, Access> table = {
        {"Outputs", {Bits([](M& m, bool(&b)[8]) { return m.ReadOutputs(b[0], b[1]); }), {}}},
        {"Inputs", {Bits([](M& m, bool(&b)[8]) { return m.ReadInputs(b); }), {}}},
        {"Flags", {Bits([](M& m, bool(&b)[8]) { return m.ReadFlags(b); }), {}}},
        {"Status",
         {Bits([](M& m,
                  bool(&b)[8]) { return m.ReadStatus(b[0], b[1], b[2], b[3], b[4], b[5], b[6]); },
               {Mask(StatusBit::Fault), Mask(StatusBit::MotorEnable), Mask(StatusBit::MotorForward),
                Mask(StatusBit::ProgramRunMode), Mask(StatusBit::AutoTorque),
                Mask(StatusBit::CommandReverse), Mask(StatusBit::CommandForward)}),
          {}}},
        {"Timer", {R(&M::ReadTimer), W(&M::WriteTimer)}},
        {"CurrentSpeed", {R(&M::ReadCurrentSpeed), {}}},
        {"Error", {R(&M::ReadError), {}}},
        {"Analog", {R(&M::ReadAnalog), {}}},
        {"BusVolt", {R(&M::ReadBusVolt), {}}},
        {"MotorCurrent", {R(&M::ReadMotorCurrent), {}}},
        {"DecelerationRate", {R(&M::ReadDecelerationRate), W(&M::WriteDecelerationRate)}},
        {"AccelerationRate", {R(&M::ReadAccelerationRate), W(&M::WriteAccelerationRate)}},
        {"ReferenceSpeed", {R(&M::ReadReferenceSpeed), W(&M::WriteReferenceSpeed)}},
        {"ReferenceVolt",
         {R(&M::ReadReferenceVolt),
          [](M& m, Byte, double reading) {
              return m.WriteReferenceVolt(static_cast<Byte>(reading));
          }}},
        {"CurrentLimit", {R(&M::ReadCurrentLimit), W(&M::WriteCurrentLimit)}},
        {"MotorVolt", {R(&M::ReadMotorVolt), {}}},
        {"Counter", {R(&M::ReadCounter), W(&M::WriteCounter)}},
        {"WordCounter", {R(&M::ReadWordCounter), W(&M::WriteWordCounter)}}};
    return table;
}

// The command set's write of a bit; none for a bit it only reads.
BitWriter BitWrite(const DriveValue& value, const Bit& bit) {
    const auto n = static_cast<Byte>(bit.name.back() - '0'); // "Flag.3", "Output.1"
    if (value.id == Id::Flags)
        return [n](ClsKtMotor& m, bool on) { return m.WriteFlag(n, on); };
    if (value.id == Id::Outputs)
        return [n](ClsKtMotor& m, bool on) { return m.WriteOutput(n, on); };
    const std::map<std::string_view, Byte (ClsKtMotor::*)(bool)> status = {
        {"CommandForward", &ClsKtMotor::WriteCommandForward},
        {"CommandReverse", &ClsKtMotor::WriteCommandReverse},
        {"AutoTorque", &ClsKtMotor::WriteAutoTorque}};
    const auto found = status.find(bit.name);
    if (found == status.end())
        return {};
    return [write = found->second](ClsKtMotor& m, bool on) { return (m.*write)(on); };
}

// The channels of a value: one for a single value.
std::vector<ValueRef> ChannelsOf(const DriveValue& value) {
    std::vector<ValueRef> refs;
    for (int n = 0; n < std::max<int>(value.channels, 1); ++n)
        refs.push_back({&value, value.channels > 0 ? n : ValueRef::kWhole});
    return refs;
}

class CommandSetTest : public ::testing::Test {
protected:
    CommandSetTest() {
        m_drive.SetMotorModel(false); // what the test writes stays as written
        EXPECT_EQ(m_motor.OpenPort(), 1);
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
};

} // namespace

// The search reads the identification; every other value has its functions,
// a write only where writable, and reads its power-up value from its address.
TEST_F(CommandSetTest, EveryValueReadsItsPowerUpValueWhereTheCatalogueSays) {
    EXPECT_EQ(LastRequest(), Expected(kAccess, {&At(Id::Identification)}));
    EXPECT_EQ(m_drive.DataByte(At(Id::Identification).address), kIdentificationValue);
    std::vector<std::uint8_t> powerUp(kUsedSize);
    WritePowerUp(powerUp);
    std::size_t described = 0;
    for (const DriveValue& value : Values()) {
        if (value.id == Id::Identification)
            continue;
        ++described;
        const auto found = CommandSet().find(std::string(value.name));
        ASSERT_NE(found, CommandSet().end()) << value.name;
        EXPECT_EQ(static_cast<bool>(found->second.write), value.writable) << value.name;
        for (const Bit& bit : value.bits)
            EXPECT_EQ(static_cast<bool>(BitWrite(value, bit)), bit.writable) << bit.name;
        for (const ValueRef& ref : ChannelsOf(value))
            EXPECT_EQ(Read(ref), Text(ref, powerUp)) << Name(ref);
    }
    EXPECT_EQ(CommandSet().size(), described);
}

TEST_F(CommandSetTest, WritableValuesReadBackWhatTheCatalogueMakesOfThem) {
    for (const DriveValue& value : Values()) {
        if (!value.writable)
            continue;
        const Writer& write = CommandSet().at(std::string(value.name)).write;
        // Tenths and amperes take a fraction, the rest whole numbers; what is
        // out of range is the catalogue's and the link's to refuse.
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
        }
    }
}

TEST_F(CommandSetTest, WritableBitsAreSetAndClearedInTheirGroup) {
    for (const DriveValue& value : Values()) {
        for (const Bit& bit : value.bits) {
            const BitWriter write = BitWrite(value, bit);
            if (!write)
                continue;
            SCOPED_TRACE(std::string(bit.name));
            const ValueRef ref{&value, ValueRef::kWhole, bit.index};
            for (const bool on : {true, false}) {
                ASSERT_EQ(write(m_motor, on), kSent);
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
