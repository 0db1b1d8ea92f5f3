// The drive's data memory as the simulated program sees it: the addresses,
// status bits, error codes and power-up values the interpreter and the motor
// model share. The addresses are the ones the command set reads and writes;
// they are restated here because the simulator must not depend on the link.
// Facts only; no behaviour.
#pragma once

#include <cstddef>
#include <cstdint>

namespace kt::sim {

struct MemoryMap {
    // The whole address space of the wire's 16-bit addresses.
    static constexpr std::size_t kDataMemorySize = 65536;
    // The part of it anything in the drive uses: up to the last word counter.
    static constexpr std::size_t kUsedSize = 296;

    static constexpr std::uint16_t kOutputs = 5;
    static constexpr std::uint16_t kInputs = 6;
    static constexpr std::uint16_t kTimers = 7; // + n, n 0..3
    static constexpr std::uint16_t kCurrentSpeed = 12;
    static constexpr std::uint16_t kStatus = 62;
    static constexpr std::uint16_t kFlags = 74;
    static constexpr std::uint16_t kError = 75;
    static constexpr std::uint16_t kAnalogs = 256; // + 2n, n 0..5
    static constexpr std::uint16_t kBusVolt = 268;
    static constexpr std::uint16_t kMotorCurrent = 270;
    static constexpr std::uint16_t kDecelerationRate = 272;
    static constexpr std::uint16_t kAccelerationRate = 274;
    static constexpr std::uint16_t kReferenceSpeed = 276;
    static constexpr std::uint16_t kReferenceVolt = 278;
    static constexpr std::uint16_t kCurrentLimit = 280;
    static constexpr std::uint16_t kIdentification = 282;
    static constexpr std::uint16_t kMotorVolt = 284;
    static constexpr std::uint16_t kCounters = 288; // + n; word counter n at + 2n

    static constexpr int kInputCount = 8;
    static constexpr int kAnalogCount = 6;
    static constexpr int kTimerCount = 4;
    static constexpr int kCounterCount = 8;
    static constexpr int kWordCounterCount = 4;

    // Bits of the status byte.
    static constexpr std::uint8_t kCommandForward = 1 << 0;
    static constexpr std::uint8_t kCommandReverse = 1 << 1;
    static constexpr std::uint8_t kAutoTorque = 1 << 2;
    static constexpr std::uint8_t kProgramRunMode = 1 << 3;
    static constexpr std::uint8_t kMotorForward = 1 << 4;
    static constexpr std::uint8_t kMotorEnable = 1 << 5;
    static constexpr std::uint8_t kFault = 1 << 7;

    // The drive's error byte.
    static constexpr std::uint8_t kNoError = 0;
    static constexpr std::uint8_t kPassedEndOfBuffer = 1;
    static constexpr std::uint8_t kInstructionNotIdentified = 2;

    static constexpr std::uint8_t kIdentificationValue = 7;
};

} // namespace kt::sim
