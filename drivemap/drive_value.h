// One value of the drive's data memory as the catalogue describes it: where it
// lives, how its bytes become the number a person reads, its unit, range,
// whether the command set writes it, and what it holds at power-up. A plain
// description: no reading, writing or formatting here (drive_catalogue.h).
#pragma once

#include <cstdint>
#include <span>
#include <string_view>

namespace kt::drivemap {

// Every value of the catalogue, in address order.
enum class Id : std::uint8_t {
    Outputs,
    Inputs,
    Timer,
    CurrentSpeed,
    Status,
    Flags,
    Error,
    Analog,
    BusVolt,
    MotorCurrent,
    DecelerationRate,
    AccelerationRate,
    ReferenceSpeed,
    ReferenceVolt,
    CurrentLimit,
    Identification,
    MotorVolt,
    Counter,
    WordCounter,
};

enum class Kind : std::uint8_t {
    Scaled, // a count the drive's conversion turns into a reading
    Raw,    // the count itself
    Bits,   // a byte of named bits
    Text,   // a code shown with its text (the error)
};

// How the drive's count becomes the reading, as the command set converts it.
enum class Scaling : std::uint8_t {
    Raw,         // the byte or word
    Tenths,      // the word is tenths: 250 reads 25
    Percent,     // the low byte is 255ths, read as whole percent: 128 reads 50
    CurrentStep, // the low byte counts 0.255 A
    BusVolt,     // the word counts 69.8/649 V
};

// The bits of the status byte; the numbers are the bits' places.
enum class StatusBit : std::uint8_t {
    CommandForward = 0,
    CommandReverse = 1,
    AutoTorque = 2,
    ProgramRunMode = 3,
    MotorForward = 4,
    MotorEnable = 5,
    Fault = 7,
};

// The drive's error codes.
enum class ErrorCode : std::uint8_t {
    None = 0,
    PassedEndOfBuffer = 1,
    InstructionNotIdentified = 2,
    PowerStageFault = 3,
    OverCurrent = 4,
    BusLowVolt = 5,
};

struct Bit {
    std::string_view name; // "Input.0", "MotorEnable"
    std::uint8_t index;    // place in the byte, 0 the lowest
    bool writable;         // set and cleared by the command set and programs
};

// The readings a value takes; for a bit group each bit's 0 and 1.
struct Range {
    float low;
    float high;
};

struct DriveValue {
    Id id;
    // "AccelerationRate"; for a numbered value the family ("Counter"), whose
    // channels are "Counter.0" and on; for a bit group the group ("Inputs").
    std::string_view name;
    std::uint16_t address; // channel 0's
    std::uint8_t size;     // bytes a read takes
    Kind kind;
    Scaling scaling;
    std::string_view unit; // "V", "A", "%"; empty where no unit is known
    Range range;           // of the reading; writes above it are brought down to it
    bool writable;         // the command set writes the whole value
    std::uint16_t powerUp; // the count each channel holds at power-up
    std::uint8_t channels; // numbered values: how many; 0 for one value
    std::uint8_t stride;   // address step from one channel to the next
    std::span<const Bit> bits;
};

} // namespace kt::drivemap
