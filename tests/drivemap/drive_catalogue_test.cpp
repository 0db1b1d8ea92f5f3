// The catalogue on its own: every name in use finds its value, the names it
// prints are found back, and counts, readings and texts convert as the
// drive's conversions do.
#include "drivemap/drive_catalogue.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <sstream>
#include <string>
#include <tuple>
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

// The entries of a list written "a;b;c".
std::vector<std::string> Split(std::string_view list) {
    std::vector<std::string> entries(1);
    for (const char c : list) {
        if (c == ';')
            entries.emplace_back();
        else
            entries.back().push_back(c);
    }
    return entries;
}

std::string Named(const std::optional<ValueRef>& ref) {
    return ref ? Name(*ref) : "-";
}

std::string Cased(std::string name, bool upper) {
    for (char& c : name)
        c = static_cast<char>(upper ? std::toupper(static_cast<unsigned char>(c))
                                    : std::tolower(static_cast<unsigned char>(c)));
    return name;
}

} // namespace

TEST(DriveCatalogue, FindsEveryNameItPrintsInAnyCaseAndTheAliasesInUse) {
    for (const ValueRef& ref : AllRefs()) {
        const std::string name = Name(ref);
        for (const std::string& spelled :
             {name, Cased(name, true), Cased(name, false), " " + name + "\t"})
            EXPECT_EQ(Named(Find(spelled)), name) << spelled;
    }
    // The language's, the command line's and the windows' spellings.
    const char* aliases =
        "AccelerateRate=AccelerationRate;DecelerateRate=DecelerationRate;"
        "RefrenceSpeed=ReferenceSpeed;Volt%=ReferenceVolt;ReferenceVolt%=ReferenceVolt;"
        "InputByte=Inputs;Input.=Inputs;Counter.=Counter;Counter5=Counter.5;"
        "WordCounter0=WordCounter.0;Flag0=Flag.0;Input0=Input.0;"
        "acceleration-rate=AccelerationRate;motor-current=MotorCurrent;counter 3=Counter.3;"
        "word-counter 2=WordCounter.2;In0=Input.0;In7=Input.7;Op1=Output.1;"
        "command-forward=CommandForward;status.Fault=Fault;inputs.In0=Input.0;"
        "flags.Flag3=Flag.3;Timer 0=Timer.0";
    for (const std::string& alias : Split(aliases)) {
        const std::size_t is = alias.find('=');
        EXPECT_EQ(Named(Find(alias.substr(0, is))), alias.substr(is + 1)) << alias;
    }
}

TEST(DriveCatalogue, FindsNothingTheDriveLacks) {
    const char* names =
        ";.;Counter.8;counter 8;WordCounter.4;Analog.6;Timer.4;Output.2;In8;Status3;Fault1;"
        "Counter.3.1;Counter3.1;inputs.Fault;status.In0;TimerFlag.0;timer-flags;Speed;"
        "Counter.x;Input.-1;Counter.1000";
    for (const std::string& name : Split(names))
        EXPECT_EQ(Named(Find(name)), "-") << name;
}

// Bytes to readings and texts, from the bytes alone and where they live in
// the data memory.
TEST(DriveCatalogue, BytesBecomeTheReadingsAndTextsOfTheDrive) {
    const std::vector<std::tuple<const char*, std::vector<std::uint8_t>, const char*>> rows = {
        {"ReferenceSpeed", {0xF4, 0x01}, "50"},      // low byte first
        {"DecelerationRate", {0xFD, 0x03}, "102.1"}, // the tenth kept
        {"BusVolt", {0x89, 0x02}, "69.8"},           // 69.8 V at 649
        {"BusVolt", {0xBE, 0x01}, "47.96733"},
        {"CurrentLimit", {0xFE, 0x00}, "64.77"}, // 255 mA steps, not whole ones
        {"MotorCurrent", {0x28, 0x07}, "10.2"},  // the high byte is no part of it
        {"ReferenceVolt", {0x80, 0x00}, "50"},
        {"MotorVolt", {0xFE, 0x01}, "99"}, // cut off, and the high byte no part of it
        {"Error", {0x03}, "3: Fault in motor power stage."},
        {"WordCounter.1", {0x34, 0x12}, "4660"},
        {"Status",
         {0xB1},
         "CommandForward=1 CommandReverse=0 AutoTorque=0 ProgramRunMode=0 MotorForward=1 "
         "MotorEnable=1 Fault=1"},
        {"Outputs", {0x02}, "Output.0=0 Output.1=1"},
        {"MotorEnable", {0x20}, "1"},
        {"MotorForward", {0x20}, "0"}};
    for (const auto& [name, bytes, text] : rows) {
        const ValueRef ref = Find(name).value();
        if (ref.bit == ValueRef::kWhole) {
            EXPECT_EQ(Format(*ref.value, Decode(*ref.value, bytes)), text) << name;
        }
        std::vector<std::uint8_t> memory(kUsedSize);
        std::ranges::copy(bytes, memory.begin() + ref.Address());
        EXPECT_EQ(Text(ref, memory), text) << name;
    }
}

// Readings to the counts written, and what the caller's reading becomes.
TEST(DriveCatalogue, ReadingsBecomeTheCountsTheCommandSetWrites) {
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // The name, the reading, the count, the reading afterwards.
    const std::vector<std::tuple<const char*, float, std::optional<std::uint16_t>, float>> rows = {
        {"ReferenceSpeed", 50, 500, 50},
        {"ReferenceSpeed", 150, 1021, 102.1f}, // brought down, the caller's too
        {"AccelerationRate", 0, 0, 0},
        {"AccelerationRate", 0.25f, 2, 0.25f}, // halves to the even neighbour
        {"AccelerationRate", 0.35f, 3, 0.35f}, // times ten in double: 3.4999999
        {"AccelerationRate", -1, std::nullopt, -1},
        {"AccelerationRate", nan, std::nullopt, nan},
        {"CurrentLimit", 70, 254, 65},       // brought down to the top
        {"CurrentLimit", 0.255f, 1, 0.255f}, // 254.99999 mA rounded
        {"CurrentLimit", 0.254f, 0, 0.254f},
        {"CurrentLimit", -1, std::nullopt, -1},
        {"ReferenceVolt", 50, 127, 50}, // 127.5 cut off
        {"ReferenceVolt", 100, 255, 100},
        {"ReferenceVolt", 101, std::nullopt, 101},
        {"ReferenceVolt", 50.5f, std::nullopt, 50.5f},
        {"WordCounter.0", 65535, 65535, 65535},
        {"Counter.0", 255, 255, 255},
        {"BusVolt", 48, std::nullopt, 48}};
    for (const auto& [name, given, count, written] : rows) {
        SCOPED_TRACE(std::string(name) + " " + std::to_string(given));
        float reading = given;
        EXPECT_EQ(Encode(*Find(name)->value, reading), count);
        EXPECT_TRUE(reading == written || (std::isnan(reading) && std::isnan(written))) << reading;
    }
    // Every tenths and current limit count the drive holds comes back from
    // its own reading.
    for (std::uint16_t count = 0; count <= 1021; ++count) {
        float tenths = static_cast<float>(Scale(Scaling::Tenths, count));
        ASSERT_EQ(EncodeTenths(tenths), count);
        float amperes = static_cast<float>(Scale(Scaling::CurrentStep, count));
        ASSERT_EQ(Encode(At(Id::CurrentLimit), amperes), std::min<std::uint16_t>(count, 254));
    }
}

// A request is named by what it reads, the size telling counters from word
// counters; a trace names each byte by the value holding it.
TEST(DriveCatalogue, AddressesAreNamedByTheValueThere) {
    // Address, bytes read, the value read, the value holding the byte.
    const char* rows =
        "288 1 Counter.0 Counter.0;288 2 WordCounter.0 Counter.0;288 0 Counter.0 Counter.0;"
        "289 2 Counter.1 Counter.1;294 2 WordCounter.3 Counter.6;295 1 Counter.7 Counter.7;"
        "12 1 CurrentSpeed CurrentSpeed;13 1 - CurrentSpeed;7 1 Timer.0 Timer.0;"
        "10 1 Timer.3 Timer.3;266 2 Analog.5 Analog.5;267 2 - Analog.5;257 1 - Analog.0;"
        "282 2 Identification Identification;283 1 - Identification;5 1 Outputs Outputs;"
        "277 1 - ReferenceSpeed;279 1 - ReferenceVolt;0 1 - -;4 1 - -;11 1 - -;14 1 - -;"
        "255 1 - -;286 1 - -;296 1 - -;1000 1 - -";
    for (const std::string& row : Split(rows)) {
        std::istringstream fields(row);
        int address = 0, count = 0;
        std::string read, holding;
        fields >> address >> count >> read >> holding;
        EXPECT_EQ(Named(AtAddress(address, count)) + " " + Named(Holding(address)),
                  read + " " + holding)
            << row;
    }
}

// A value's kind, size, range and bits agree with each other; no two values
// share a byte but the word counters' counters.
TEST(DriveCatalogue, TableHoldsTogether) {
    std::vector<int> owner(kUsedSize, -1);
    for (const DriveValue& value : Values()) {
        SCOPED_TRACE(std::string(value.name));
        EXPECT_EQ(value.kind == Kind::Scaled, value.scaling != Scaling::Raw);
        EXPECT_EQ(value.kind == Kind::Bits, !value.bits.empty());
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
}
