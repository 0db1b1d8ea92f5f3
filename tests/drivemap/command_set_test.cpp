// Each typed function of ClsKtMotor against the catalogue, over the virtual
// drive: its value's address and size, power-up value and written counts.
#include "drive/virtual_drive.h"
#include "drive/virtual_drive_transport.h"
#include "drivemap/drive_catalogue.h"
#include "link/cls_kt_motor.h"
#include "link/frm_motor_com.h"
#include "platform/scripted_prompts.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <map>
#include <string>
#include <tuple>

using namespace kt::drivemap;
using M = kt::link::ClsKtMotor;
using Byte = M::Byte;
using kt::link::kSent;

namespace {

using Reader = std::function<Byte(M&, Byte channel, double& reading)>;
using Writer = std::function<Byte(M&, Byte channel, double reading)>;

template <typename V> Reader R(Byte (M::*read)(V&)) {
    return [read](M& m, Byte, double& reading) {
        V value{};
        const Byte result = (m.*read)(value);
        reading = static_cast<double>(value);
        return result;
    };
}
template <typename V> Reader R(Byte (M::*read)(Byte, V&)) {
    return [read](M& m, Byte channel, double& reading) {
        V value{};
        const Byte result = (m.*read)(channel, value);
        reading = static_cast<double>(value);
        return result;
    };
}
Writer W(Byte (M::*write)(float&)) {
    return [write](M& m, Byte, double reading) {
        float value = static_cast<float>(reading);
        return (m.*write)(value);
    };
}
template <typename V> Writer W(Byte (M::*write)(Byte, V)) {
    return [write](M& m, Byte channel, double reading) {
        return (m.*write)(channel, static_cast<V>(reading));
    };
}
// A group's bits as its byte (every bit is 0 at power-up, so the order of
// ReadStatus's arguments does not matter here).
Reader Bits(std::function<Byte(M&, bool (&)[8])> read) {
    return [read](M& m, Byte, double& reading) {
        bool bits[8] = {};
        const Byte result = read(m, bits);
        reading = 0;
        for (int k = 0; k < 8; ++k)
            reading += bits[k] << k;
        return result;
    };
}

// The command set by the catalogue's names: the read, and the write if any.
const std::map<std::string_view, std::pair<Reader, Writer>> kCommandSet = {
    {"Outputs", {Bits([](M& m, bool (&b)[8]) { return m.ReadOutputs(b[0], b[1]); }), {}}},
    {"Inputs", {Bits([](M& m, bool (&b)[8]) { return m.ReadInputs(b); }), {}}},
    {"Flags", {Bits([](M& m, bool (&b)[8]) { return m.ReadFlags(b); }), {}}},
    {"Status",
     {Bits([](M& m, bool (&b)[8]) {
          return m.ReadStatus(b[0], b[1], b[2], b[3], b[4], b[5], b[6]);
      }),
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
      [](M& m, Byte, double reading) { return m.WriteReferenceVolt(Byte(reading)); }}},
    {"CurrentLimit", {R(&M::ReadCurrentLimit), W(&M::WriteCurrentLimit)}},
    {"MotorVolt", {R(&M::ReadMotorVolt), {}}},
    {"Counter", {R(&M::ReadCounter), W(&M::WriteCounter)}},
    {"WordCounter", {R(&M::ReadWordCounter), W(&M::WriteWordCounter)}}};

using Req = std::tuple<int, int, int>; // function, address, bytes
Req Request(std::uint8_t fn, const ValueRef& ref) {
    return {fn, ref.Address(), ref.value->size};
}

class CommandSetTest : public ::testing::Test {
protected:
    CommandSetTest() {
        m_drive.SetMotorModel(false); // what the test writes stays as written
        EXPECT_EQ(m_motor.OpenPort(), 1);
    }
    ~CommandSetTest() override { EXPECT_EQ(m_prompts.Unscripted().join(u'|').toStdString(), ""); }

    Req LastRequest() const {
        const kt::drive::DriveRequest& r = m_drive.Requests().back();
        return {r.fn, r.address, r.dataCount};
    }
    // The text of a value or channel read through the command set.
    std::string Read(const ValueRef& ref) {
        double reading = -1;
        const Byte channel = static_cast<Byte>(std::max(ref.channel, 0));
        EXPECT_EQ(kCommandSet.at(ref.value->name).first(m_motor, channel, reading), kSent);
        EXPECT_EQ(LastRequest(), Request(kAccess, ref));
        return Format(*ref.value, reading);
    }

    kt::drive::VirtualDrive m_drive;
    kt::platform::ScriptedPrompts m_prompts;
    kt::link::FrmMotorCom m_link{
        m_prompts,
        [this](int) { return std::make_unique<kt::drive::VirtualDriveTransport>(m_drive); }};
    M m_motor{m_link, m_prompts};
};

} // namespace

// Every value but the identification (the search's) reads its power-up value;
// a writable one reads back its range's ends and middle as their counts.
TEST_F(CommandSetTest, EveryValueReadsItsPowerUpValueAndWritesBack) {
    EXPECT_EQ(LastRequest(), Request(kAccess, {&At(Id::Identification)}));
    std::vector<std::uint8_t> powerUp(kUsedSize);
    WritePowerUp(powerUp);
    for (const DriveValue& value : Values()) {
        if (value.id == Id::Identification)
            continue;
        const Writer& write = kCommandSet.at(value.name).second;
        EXPECT_EQ(static_cast<bool>(write), value.writable) << value.name;
        // Tenths and amperes take a fraction, the rest whole numbers.
        const double scale =
            value.scaling == Scaling::Tenths || value.scaling == Scaling::CurrentStep ? 10 : 1;
        const double middle = std::round((value.range.low + value.range.high) / 2 * scale) / scale;
        m_drive.Reset(); // the counters' writes show in the word counters
        for (int n = 0; n < std::max<int>(value.channels, 1); ++n) {
            const ValueRef ref{&value, value.channels > 0 ? n : ValueRef::kWhole};
            SCOPED_TRACE(Name(ref));
            EXPECT_EQ(Read(ref), Text(ref, powerUp));
            for (const double reading :
                 {double(value.range.low), middle, double(value.range.high)}) {
                if (!write)
                    break;
                SCOPED_TRACE(reading);
                ASSERT_EQ(write(m_motor, static_cast<Byte>(n), reading), kSent);
                EXPECT_EQ(LastRequest(), Request(kAccess, ref));
                float written = static_cast<float>(reading);
                EXPECT_EQ(Read(ref),
                          Format(value, Scale(value.scaling, Encode(value, written).value())));
            }
        }
    }
}

TEST_F(CommandSetTest, WritableBitsAreSetAndClearedInTheirGroup) {
    const std::map<std::string_view, Byte (M::*)(bool)> statusWrites = {
        {"CommandForward", &M::WriteCommandForward},
        {"CommandReverse", &M::WriteCommandReverse},
        {"AutoTorque", &M::WriteAutoTorque}};
    for (const DriveValue& value : Values()) {
        for (const Bit& bit : value.bits) {
            if (!bit.writable)
                continue;
            SCOPED_TRACE(std::string(bit.name));
            const auto n = static_cast<Byte>(bit.name.back() - '0'); // "Flag.3", "Output.1"
            for (const bool on : {true, false}) {
                const Byte result = value.id == Id::Flags ? m_motor.WriteFlag(n, on)
                                    : value.id == Id::Outputs
                                        ? m_motor.WriteOutput(n, on)
                                        : (m_motor.*statusWrites.at(bit.name))(on);
                ASSERT_EQ(result, kSent);
                EXPECT_EQ(LastRequest(), Request(on ? kSetBits : kClearBits, {&value}));
                EXPECT_EQ(m_drive.DataByte(value.address), on ? 1u << bit.index : 0u);
            }
        }
    }
}
