// The one catalogue of the drive: every value of its data memory (name,
// address, size, kind, scaling, unit, range, access, bits, power-up count),
// the request function codes and the program memory facts, with the lookups
// and conversions every part of the program shares: finding a value by any
// name in use, naming it, turning its bytes into a reading and a reading into
// text, and a count for a value to be written. Not a link and not a drive:
// nothing here sends, receives or runs anything.
#pragma once

#include "compiler/number_rules.h"
#include "compiler/program_compiler.h"
#include "drivemap/drive_value.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>

namespace kt::drivemap {

// Function codes of a request.
inline constexpr std::uint8_t kAccess = 0;    // read, or write the data bytes
inline constexpr std::uint8_t kClearBits = 1; // AND with the data bytes
inline constexpr std::uint8_t kSetBits = 2;   // OR with the data bytes
inline constexpr std::uint8_t kProgram = 3;   // the program image from address 0
inline constexpr std::uint8_t kErase = 4;     // kEraseByte at kEraseLocation

// Program memory: the image the compiler makes, then the erase location.
inline constexpr int kProgramSize = static_cast<int>(compiler::kProgramSize);
inline constexpr int kEraseLocation = kProgramSize;
inline constexpr std::uint8_t kEraseByte = 0xFF;

// What a drive answers at Identification; the search looks for it.
inline constexpr std::uint8_t kIdentificationValue = 7;

// The wire's 16-bit addresses.
inline constexpr std::size_t kAddressSpace = 65536;

constexpr std::uint8_t Place(StatusBit bit) {
    return static_cast<std::uint8_t>(bit);
}
constexpr std::uint8_t Mask(StatusBit bit) {
    return static_cast<std::uint8_t>(1u << Place(bit));
}
constexpr std::uint8_t Code(ErrorCode code) {
    return static_cast<std::uint8_t>(code);
}

inline constexpr std::array<Bit, 2> kOutputBits{{{"Output.0", 0, true}, {"Output.1", 1, true}}};
inline constexpr std::array<Bit, 8> kInputBits{{{"Input.0", 0, false},
                                                {"Input.1", 1, false},
                                                {"Input.2", 2, false},
                                                {"Input.3", 3, false},
                                                {"Input.4", 4, false},
                                                {"Input.5", 5, false},
                                                {"Input.6", 6, false},
                                                {"Input.7", 7, false}}};
inline constexpr std::array<Bit, 8> kFlagBits{{{"Flag.0", 0, true},
                                               {"Flag.1", 1, true},
                                               {"Flag.2", 2, true},
                                               {"Flag.3", 3, true},
                                               {"Flag.4", 4, true},
                                               {"Flag.5", 5, true},
                                               {"Flag.6", 6, true},
                                               {"Flag.7", 7, true}}};
// Only the commands are the user's and the program's; the rest report.
inline constexpr std::array<Bit, 7> kStatusBits{{
    {"CommandForward", Place(StatusBit::CommandForward), true},
    {"CommandReverse", Place(StatusBit::CommandReverse), true},
    {"AutoTorque", Place(StatusBit::AutoTorque), true},
    {"ProgramRunMode", Place(StatusBit::ProgramRunMode), false},
    {"MotorForward", Place(StatusBit::MotorForward), false},
    {"MotorEnable", Place(StatusBit::MotorEnable), false},
    {"Fault", Place(StatusBit::Fault), false},
}};

// Error texts by code, as the drive's documentation words them.
inline constexpr std::array<std::string_view, 6> kErrorTexts{
    "No Error.",
    "Program passed end of buffer.",
    "Program instruction is not identified.",
    "Fault in motor power stage.",
    "motorcurrent exceeded set current.",
    "Bus Low Volt.",
};

namespace detail {
inline constexpr float kTenthsTop = compiler::kTenthsLimit;
inline constexpr float kWordTenths = 6553.5f;
inline constexpr float kByteAmperes = static_cast<float>(255 * 0.255);
inline constexpr float kWordBusVolts = static_cast<float>(65535 * 69.8 / 649);
// The largest current limit the command set writes (254 steps, 64.77 A).
inline constexpr float kCurrentLimitTop = 65.0f;
} // namespace detail

// Power-up: a drive just switched on with nothing connected to its inputs:
// the counts below, every input, analog input, counter and bit 0.
inline constexpr std::array<DriveValue, 19> kValues{{
    // clang-format off
    // id, name, address, size, kind, scaling, unit, range, writable, power-up, channels, stride, bits
    {Id::Outputs, "Outputs", 5, 1, Kind::Bits, Scaling::Raw, "", {0, 1}, false, 0, 0, 0, kOutputBits},
    {Id::Inputs, "Inputs", 6, 1, Kind::Bits, Scaling::Raw, "", {0, 1}, false, 0, 0, 0, kInputBits},
    {Id::Timer, "Timer", 7, 1, Kind::Raw, Scaling::Raw, "", {0, 255}, true, 0, 4, 1, {}},
    {Id::CurrentSpeed, "CurrentSpeed", 12, 2, Kind::Scaled, Scaling::Tenths, "", {0, detail::kWordTenths}, false, 0, 0, 0, {}},
    {Id::Status, "Status", 62, 1, Kind::Bits, Scaling::Raw, "", {0, 1}, false, 0, 0, 0, kStatusBits},
    {Id::Flags, "Flags", 74, 1, Kind::Bits, Scaling::Raw, "", {0, 1}, false, 0, 0, 0, kFlagBits},
    {Id::Error, "Error", 75, 1, Kind::Text, Scaling::Raw, "", {0, static_cast<float>(kErrorTexts.size() - 1)}, false, 0, 0, 0, {}},
    // A 10-bit converter.
    {Id::Analog, "Analog", 256, 2, Kind::Raw, Scaling::Raw, "", {0, 1023}, false, 0, 6, 2, {}},
    // 446 is about 48 V.
    {Id::BusVolt, "BusVolt", 268, 2, Kind::Scaled, Scaling::BusVolt, "V", {0, detail::kWordBusVolts}, false, 446, 0, 0, {}},
    {Id::MotorCurrent, "MotorCurrent", 270, 2, Kind::Scaled, Scaling::CurrentStep, "A", {0, detail::kByteAmperes}, false, 0, 0, 0, {}},
    {Id::DecelerationRate, "DecelerationRate", 272, 2, Kind::Scaled, Scaling::Tenths, "", {0, detail::kTenthsTop}, true, 50, 0, 0, {}},
    {Id::AccelerationRate, "AccelerationRate", 274, 2, Kind::Scaled, Scaling::Tenths, "", {0, detail::kTenthsTop}, true, 50, 0, 0, {}},
    {Id::ReferenceSpeed, "ReferenceSpeed", 276, 2, Kind::Scaled, Scaling::Tenths, "", {0, detail::kTenthsTop}, true, 250, 0, 0, {}},
    {Id::ReferenceVolt, "ReferenceVolt", 278, 2, Kind::Scaled, Scaling::Percent, "%", {0, 100}, true, 128, 0, 0, {}},
    {Id::CurrentLimit, "CurrentLimit", 280, 2, Kind::Scaled, Scaling::CurrentStep, "A", {0, detail::kCurrentLimitTop}, true, 100, 0, 0, {}},
    {Id::Identification, "Identification", 282, 2, Kind::Raw, Scaling::Raw, "", {0, 65535}, false, kIdentificationValue, 0, 0, {}},
    {Id::MotorVolt, "MotorVolt", 284, 2, Kind::Scaled, Scaling::Percent, "%", {0, 100}, false, 0, 0, 0, {}},
    // Counter 2n is the low byte of word counter n.
    {Id::Counter, "Counter", 288, 1, Kind::Raw, Scaling::Raw, "", {0, 255}, true, 0, 8, 1, {}},
    {Id::WordCounter, "WordCounter", 288, 2, Kind::Raw, Scaling::Raw, "", {0, 65535}, true, 0, 4, 2, {}},
    // clang-format on
}};

constexpr bool IndexedById() {
    for (std::size_t i = 0; i < kValues.size(); ++i)
        if (kValues[i].id != static_cast<Id>(i))
            return false;
    return true;
}
static_assert(IndexedById(), "kValues stands in the order of Id");

constexpr const DriveValue& At(Id id) {
    return kValues[static_cast<std::size_t>(id)];
}

// A channel's address; channel 0 for a single value.
constexpr std::uint16_t Address(Id id, int channel = 0) {
    return static_cast<std::uint16_t>(At(id).address + channel * At(id).stride);
}

// Counter 8, WordCounter 4, Timer 4, Analog 6; for a bit group its bits
// (Inputs 8, Outputs 2, Flags 8, Status 7); 0 for a single value.
constexpr int Channels(Id id) {
    const DriveValue& value = At(id);
    return value.channels > 0 ? value.channels : static_cast<int>(value.bits.size());
}

// Up to the end of the last value: the part of the memory the drive uses.
constexpr std::size_t UsedSize() {
    std::size_t end = 0;
    for (const DriveValue& value : kValues) {
        const int last = value.channels > 0 ? value.channels - 1 : 0;
        end = std::max<std::size_t>(end, value.address + last * value.stride + value.size);
    }
    return end;
}
inline constexpr std::size_t kUsedSize = UsedSize();

constexpr std::string_view ErrorText(int code) {
    return code > 0 && code < static_cast<int>(kErrorTexts.size())
               ? kErrorTexts[static_cast<std::size_t>(code)]
               : kErrorTexts[0];
}

// One value, one channel of a numbered value, or one bit of a bit group.
struct ValueRef {
    static constexpr int kWhole = -1;

    const DriveValue* value = nullptr;
    int channel = kWhole; // 0.. for a numbered value's channel
    int bit = kWhole;     // place of one bit of a bit group

    bool operator==(const ValueRef&) const = default;
    // A numbered value named without its channel ("counter"); it reads as
    // channel 0.
    bool Family() const { return value->channels > 0 && channel == kWhole; }
    std::uint16_t Address() const {
        return static_cast<std::uint16_t>(value->address + std::max(channel, 0) * value->stride);
    }
};

std::span<const DriveValue> Values();

// A value by any name in use, in any case: the canonical names
// ("AccelerationRate", "Counter.3", "Input.0", "MotorEnable", "Status") and
// the other spellings of the language ("AccelerateRate", "RefrenceSpeed",
// "Volt%", "InputByte", "Counter3"), the command line ("reference-speed",
// "counter 3", "In0", "Op1", "status.Fault", "inputs.In0") and the windows
// ("Input0", "ReferenceVolt%", "Timer 0"). Nothing for any other text or a
// channel or bit the value lacks.
std::optional<ValueRef> Find(std::string_view name);

// The canonical name: "AccelerationRate", "Counter.3", "Input.0", "Fault".
std::string Name(const ValueRef& ref);

// The value a request of count bytes at address reads: a channel's or a
// value's first address, the two-byte value where two start there.
std::optional<ValueRef> AtAddress(int address, int count);
// The value or channel whose bytes hold address, at any of its bytes; of a
// counter and the word counter sharing a byte, the counter.
std::optional<ValueRef> Holding(int address);

// The unit, or where none is known the value's own name: what readings must
// share to be compared on one scale.
std::string_view UnitOrName(const DriveValue& value);

// The count a value's bytes hold: a byte, a word low byte first, or the low
// byte of a word holding a percent or current steps.
std::uint16_t Count(const DriveValue& value, std::span<const std::uint8_t> bytes);
// The reading of a count, as the command set gives it.
double Scale(Scaling scaling, std::uint16_t count);
double Decode(const DriveValue& value, std::span<const std::uint8_t> bytes);

// The tenths count of a value; above 102.1 the value first becomes 102.1.
// Nothing for a value with no count the drive can hold (negative, not a
// number).
std::optional<std::uint16_t> EncodeTenths(float& value);
// The count the command set writes for a reading: tenths and current steps
// brought down to the range's top first (value then holds what is written),
// percent and raw readings whole and within the range. Nothing otherwise.
std::optional<std::uint16_t> Encode(const DriveValue& value, float& reading);

// The text of a reading, the same everywhere: tenths, amperes and volts in
// the general number format ("25", "10.2"), percent and raw counts whole, the
// error with its text ("3: Fault in motor power stage."), a bit group as its
// bits ("Input.0=1 Input.1=0 ...").
std::string Format(const DriveValue& value, double reading);
// The same for a value, channel or bit: a bit as "0" or "1".
std::string Format(const ValueRef& ref, double reading);

// The reading of a value, channel or bit (0 or 1) found in data memory.
double Reading(const ValueRef& ref, std::span<const std::uint8_t> memory);
std::string Text(const ValueRef& ref, std::span<const std::uint8_t> memory);

// Every count at its power-up value, everything else 0. memory holds at
// least kUsedSize bytes.
void WritePowerUp(std::span<std::uint8_t> memory);

} // namespace kt::drivemap
