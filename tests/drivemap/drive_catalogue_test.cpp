// The catalogue on its own: the table holds together, every name in use finds
// its value, the names it prints are found back, and counts, readings and
// texts convert as the drive's conversions do.
#include "drivemap/drive_catalogue.h"

#include <gtest/gtest.h>

#include <cctype>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

using namespace kt::drivemap;

namespace {

// Every value, channel and bit the catalogue can name.
std::vector<ValueRef> AllRefs() {
    std::vector<ValueRef> refs;
    for (const DriveValue& value : Values()) {
        refs.push_back({&value});
        for (int n = 0; n < value.channels; ++n)
            refs.push_back({&value, n});
        for (const Bit& bit : value.bits)
            refs.push_back({&value, ValueRef::kWhole, bit.index});
    }
    return refs;
}

std::string Case(std::string text, bool upper) {
    for (char& c : text)
        c = static_cast<char>(upper ? std::toupper(static_cast<unsigned char>(c))
                                    : std::tolower(static_cast<unsigned char>(c)));
    return text;
}

std::string Found(std::string_view name) {
    const std::optional<ValueRef> ref = Find(name);
    return ref ? Name(*ref) : "nothing";
}

} // namespace

TEST(DriveCatalogue, TableHoldsTogether) {
    std::vector<int> owner(kUsedSize, -1);
    for (const DriveValue& value : Values()) {
        SCOPED_TRACE(std::string(value.name));
        EXPECT_EQ(value.kind == Kind::Scaled, value.scaling != Scaling::Raw);
        EXPECT_EQ(value.kind == Kind::Bits, !value.bits.empty());
        // Units only where the conversion gives one.
        const bool real = value.scaling == Scaling::BusVolt ||
                          value.scaling == Scaling::CurrentStep ||
                          value.scaling == Scaling::Percent;
        EXPECT_EQ(!value.unit.empty(), real);
        EXPECT_TRUE(value.size == 1 || value.size == 2);
        EXPECT_LT(value.range.low, value.range.high);
        EXPECT_EQ(value.channels > 0, value.stride >= value.size);
        const double powerUp = Scale(value.scaling, value.powerUp);
        EXPECT_TRUE(value.kind == Kind::Bits ||
                    (powerUp >= value.range.low && powerUp <= value.range.high));
        unsigned seen = 0;
        for (const Bit& bit : value.bits) {
            EXPECT_LT(bit.index, 8 * value.size) << bit.name;
            EXPECT_EQ(seen >> bit.index & 1, 0u) << bit.name << " twice";
            seen |= 1u << bit.index;
        }
        // No two values share a byte, but for the counters that are the
        // word counters' bytes.
        for (int n = 0; n < std::max<int>(value.channels, 1); ++n)
            for (int i = 0; i < value.size; ++i) {
                const std::size_t address = value.address + n * value.stride + i;
                ASSERT_LT(address, kUsedSize);
                int& first = owner[address];
                const bool shared = (first == int(Id::Counter) && value.id == Id::WordCounter);
                EXPECT_TRUE(first == -1 || shared) << "address " << address;
                first = int(value.id);
            }
    }
    EXPECT_EQ(At(Id::Counter).powerUp, At(Id::WordCounter).powerUp);
    EXPECT_EQ(At(Id::Counter).channels, 2 * At(Id::WordCounter).channels);
    EXPECT_EQ(kEraseLocation, kProgramSize);
    EXPECT_EQ(At(Id::Identification).powerUp, kIdentificationValue);
}

TEST(DriveCatalogue, FindsEveryCanonicalNameInAnyCaseAndEveryNamePrintedBack) {
    for (const ValueRef& ref : AllRefs()) {
        const std::string name = Name(ref);
        SCOPED_TRACE(name);
        for (const std::string& spelled : {name, Case(name, true), Case(name, false)}) {
            const std::optional<ValueRef> found = Find(spelled);
            ASSERT_TRUE(found.has_value()) << spelled;
            EXPECT_EQ(*found, ref) << spelled;
        }
        EXPECT_EQ(Find(" " + name + "\t"), ref);
    }
}

TEST(DriveCatalogue, FindsTheAliasesInUse) {
    const std::vector<std::pair<const char*, const char*>> cases = {
        // The language.
        {"AccelerateRate", "AccelerationRate"},
        {"DecelerateRate", "DecelerationRate"},
        {"RefrenceSpeed", "ReferenceSpeed"},
        {"Volt%", "ReferenceVolt"},
        {"InputByte", "Inputs"},
        {"Input.", "Inputs"},
        {"Counter.", "Counter"},
        {"Counter5", "Counter.5"},
        {"WordCounter0", "WordCounter.0"},
        {"Flag0", "Flag.0"},
        {"Analog.5", "Analog.5"},
        // The command line.
        {"acceleration-rate", "AccelerationRate"},
        {"reference-speed", "ReferenceSpeed"},
        {"current-speed", "CurrentSpeed"},
        {"bus-volt", "BusVolt"},
        {"current-limit", "CurrentLimit"},
        {"motor-current", "MotorCurrent"},
        {"reference-volt", "ReferenceVolt"},
        {"motor-volt", "MotorVolt"},
        {"status", "Status"},
        {"error", "Error"},
        {"inputs", "Inputs"},
        {"outputs", "Outputs"},
        {"flags", "Flags"},
        {"counter", "Counter"},
        {"counter 3", "Counter.3"},
        {"counter.3", "Counter.3"},
        {"word-counter 2", "WordCounter.2"},
        {"timer 1", "Timer.1"},
        {"analog 4", "Analog.4"},
        {"In0", "Input.0"},
        {"In7", "Input.7"},
        {"Op1", "Output.1"},
        {"flag 6", "Flag.6"},
        {"output 0", "Output.0"},
        {"command-forward", "CommandForward"},
        {"auto-torque", "AutoTorque"},
        {"status.Fault", "Fault"},
        {"status.MotorEnable", "MotorEnable"},
        {"inputs.In0", "Input.0"},
        {"outputs.Op1", "Output.1"},
        {"flags.Flag3", "Flag.3"},
        {"input.0", "Input.0"},
        {"analog.2", "Analog.2"},
        // The windows and the communication log.
        {"Input0", "Input.0"},
        {"Output1", "Output.1"},
        {"Analog3", "Analog.3"},
        {"Timer0", "Timer.0"},
        {"Timer 0", "Timer.0"},
        {"Counter 7", "Counter.7"},
        {"ReferenceVolt%", "ReferenceVolt"},
        {"Identification", "Identification"},
    };
    for (const auto& [alias, canonical] : cases)
        EXPECT_EQ(Found(alias), canonical) << alias;
}

TEST(DriveCatalogue, FindsNothingTheDriveLacks) {
    for (const char* name : {"",
                             ".",
                             "Counter.8",
                             "counter 8",
                             "WordCounter.4",
                             "Analog.6",
                             "Timer.4",
                             "Output.2",
                             "In8",
                             "Status3",
                             "Fault1",
                             "Counter.3.1",
                             "Counter3.1",
                             "inputs.Fault",
                             "status.In0",
                             "TimerFlag.0",
                             "timer-flags",
                             "Speed",
                             "Counter.x",
                             "Input.-1",
                             "Counter.1000"})
        EXPECT_EQ(Found(name), "nothing") << name;
}

TEST(DriveCatalogue, BytesBecomeTheReadingsAndTextsOfTheDrive) {
    struct Row {
        const char* name;
        std::vector<std::uint8_t> bytes;
        const char* text;
    };
    const std::vector<Row> rows = {
        {"ReferenceSpeed", {0xF4, 0x01}, "50"},
        {"AccelerationRate", {0x32, 0x00}, "5"},
        {"DecelerationRate", {0xFD, 0x03}, "102.1"},
        {"CurrentSpeed", {0xFF, 0xFF}, "6553.5"},
        {"BusVolt", {0x89, 0x02}, "69.8"},
        {"BusVolt", {0xBE, 0x01}, "47.96733"},
        {"CurrentLimit", {0xFE, 0x00}, "64.77"},
        {"MotorCurrent", {0x28, 0x07}, "10.2"}, // the high byte is no part of it
        {"ReferenceVolt", {0x80, 0x00}, "50"},
        {"MotorVolt", {0xFF, 0x01}, "100"}, // the high byte is no part of it
        {"Error", {0x03}, "3: Fault in motor power stage."},
        {"Error", {0x09}, "9: No Error."},
        {"Analog.5", {0xFF, 0xFF}, "65535"},
        {"WordCounter.1", {0x34, 0x12}, "4660"},
        {"Counter.1", {0x12}, "18"},
        {"Status",
         {0xB1},
         "CommandForward=1 CommandReverse=0 AutoTorque=0 ProgramRunMode=0 MotorForward=1 "
         "MotorEnable=1 Fault=1"},
        {"Outputs", {0x02}, "Output.0=0 Output.1=1"},
    };
    for (const Row& row : rows) {
        const std::optional<ValueRef> ref = Find(row.name);
        ASSERT_TRUE(ref) << row.name;
        EXPECT_EQ(Format(*ref->value, Decode(*ref->value, row.bytes)), row.text) << row.name;
        // Found where it lives in a data memory.
        std::vector<std::uint8_t> memory(kUsedSize);
        std::copy(row.bytes.begin(), row.bytes.end(), memory.begin() + ref->Address());
        EXPECT_EQ(Text(*ref, memory), row.text) << row.name;
    }
    std::vector<std::uint8_t> memory(kUsedSize);
    memory[At(Id::Status).address] = Mask(StatusBit::MotorEnable);
    EXPECT_EQ(Text(*Find("MotorEnable"), memory), "1");
    EXPECT_EQ(Text(*Find("MotorForward"), memory), "0");
}

TEST(DriveCatalogue, ReadingsBecomeTheCountsTheCommandSetWrites) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    struct Row {
        const char* name;
        float reading;
        std::optional<std::uint16_t> count;
        float written; // the reading afterwards
    };
    const std::vector<Row> rows = {
        {"ReferenceSpeed", 50, 500, 50},
        {"ReferenceSpeed", 150, 1021, 102.1f},
        {"AccelerationRate", 0.25f, 2, 0.25f}, // halves to the even neighbour
        {"AccelerationRate", 0.75f, 8, 0.75f},
        {"AccelerationRate", -1, std::nullopt, -1},
        {"AccelerationRate", nan, std::nullopt, nan},
        {"CurrentLimit", 70, 254, 65},
        {"CurrentLimit", 12.75f, 50, 12.75f},
        {"CurrentLimit", 0.254f, 0, 0.254f},
        {"ReferenceVolt", 50, 127, 50},
        {"ReferenceVolt", 100, 255, 100},
        {"ReferenceVolt", 101, std::nullopt, 101},
        {"ReferenceVolt", 50.5f, std::nullopt, 50.5f},
        {"WordCounter.0", 65535, 65535, 65535},
        {"WordCounter.0", 65536, std::nullopt, 65536},
        {"Counter.0", 255, 255, 255},
        {"Counter.0", -1, std::nullopt, -1},
        {"BusVolt", 48, std::nullopt, 48},
    };
    for (const Row& row : rows) {
        float reading = row.reading;
        EXPECT_EQ(Encode(*Find(row.name)->value, reading), row.count)
            << row.name << " " << row.reading;
        if (!std::isnan(row.written)) {
            EXPECT_EQ(reading, row.written) << row.name << " " << row.reading;
        }
    }
    // Every tenths count the drive holds comes back from its own reading.
    for (std::uint16_t count = 0; count <= 1021; ++count) {
        float reading = static_cast<float>(Scale(Scaling::Tenths, count));
        ASSERT_EQ(EncodeTenths(reading), count);
    }
    // And every current limit count.
    for (std::uint16_t count = 0; count <= 254; ++count) {
        float reading = static_cast<float>(Scale(Scaling::CurrentStep, count));
        ASSERT_EQ(Encode(At(Id::CurrentLimit), reading), count);
    }
}

TEST(DriveCatalogue, RequestsAreNamedByWhatTheyRead) {
    const std::vector<std::tuple<int, int, const char*>> cases = {
        {288, 1, "Counter.0"},      {288, 2, "WordCounter.0"}, {288, 0, "Counter.0"},
        {289, 2, "Counter.1"},      {294, 2, "WordCounter.3"}, {12, 1, "CurrentSpeed"},
        {7, 1, "Timer.0"},          {10, 1, "Timer.3"},        {266, 2, "Analog.5"},
        {282, 2, "Identification"},
    };
    for (const auto& [address, count, name] : cases) {
        const std::optional<ValueRef> ref = AtAddress(address, count);
        EXPECT_EQ(ref ? Name(*ref) : "nothing", name) << address;
    }
    for (const int address : {0, 11, 13, 257, 296, 1000})
        EXPECT_FALSE(AtAddress(address, 1)) << address;
}

// A trace names each changed byte by the value holding it, at any of its bytes.
TEST(DriveCatalogue, BytesAreNamedByTheValueHoldingThem) {
    const std::vector<std::pair<int, const char*>> cases = {
        {5, "Outputs"},         {7, "Timer.0"},          {13, "CurrentSpeed"},
        {257, "Analog.0"},      {267, "Analog.5"},       {277, "ReferenceSpeed"},
        {279, "ReferenceVolt"}, {283, "Identification"}, {288, "Counter.0"},
        {289, "Counter.1"},     {295, "Counter.7"},
    };
    for (const auto& [address, name] : cases) {
        const std::optional<ValueRef> ref = Holding(address);
        EXPECT_EQ(ref ? Name(*ref) : "nothing", name) << address;
    }
    for (const int address : {0, 4, 11, 14, 255, 286, 296, 1000})
        EXPECT_FALSE(Holding(address)) << address;
}

TEST(DriveCatalogue, PowerUpWritesEveryCountOverWhateverWasThere) {
    std::vector<std::uint8_t> memory(kUsedSize + 10, 0xAA);
    WritePowerUp(memory);
    for (const ValueRef& ref : AllRefs()) {
        if (ref.bit != ValueRef::kWhole || ref.value->kind == Kind::Bits)
            EXPECT_EQ(Reading(ref, memory), 0) << Name(ref);
        else
            EXPECT_EQ(Reading(ref, memory), Scale(ref.value->scaling, ref.value->powerUp))
                << Name(ref);
    }
    EXPECT_EQ(memory[kUsedSize + 9], 0);
    EXPECT_EQ(UnitOrName(At(Id::BusVolt)), "V");
    EXPECT_EQ(UnitOrName(At(Id::Counter)), "Counter");
}
