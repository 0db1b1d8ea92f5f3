// The drive as the wire sees it, shared by the command set and the virtual
// drive: function codes, data-memory addresses, status bits and the program
// memory's erase location. Facts only; no behaviour.
#pragma once

#include <cstdint>

namespace kt::link {

struct DriveMap {
    // Function codes.
    static constexpr std::uint8_t kAccess = 0;   // read, or write the data bytes
    static constexpr std::uint8_t kClearBit = 1; // AND with the data byte
    static constexpr std::uint8_t kSetBit = 2;   // OR with the data byte
    static constexpr std::uint8_t kProgram = 3;  // the program image from address 0
    static constexpr std::uint8_t kErase = 4;    // [FF] at kEraseLocation

    // Program memory: the image, then the erase location.
    static constexpr int kProgramSize = 254;
    static constexpr int kEraseLocation = 254;
    static constexpr std::uint8_t kEraseByte = 0xFF;

    // Data memory; 16-bit values low byte first.
    static constexpr int kOutputs = 5;
    static constexpr int kInputs = 6;
    static constexpr int kTimers = 7; // + n, n 0..3
    static constexpr int kCurrentSpeed = 12;
    static constexpr int kStatus = 62;
    static constexpr int kFlags = 74;
    static constexpr int kError = 75;
    static constexpr int kAnalogs = 256; // + 2n, n 0..5
    static constexpr int kBusVolt = 268;
    static constexpr int kMotorCurrent = 270;
    static constexpr int kDecelerationRate = 272;
    static constexpr int kAccelerationRate = 274;
    static constexpr int kReferenceSpeed = 276;
    static constexpr int kReferenceVolt = 278;
    static constexpr int kCurrentLimit = 280;
    static constexpr int kIdentification = 282;
    static constexpr int kMotorVolt = 284;
    static constexpr int kCounters = 288; // + n; word counter n at + 2n

    static constexpr std::uint8_t kIdentificationValue = 7;

    // Status bits at kStatus.
    static constexpr int kCommandForwardBit = 0;
    static constexpr int kCommandReverseBit = 1;
    static constexpr int kAutoTorqueBit = 2;
    static constexpr int kProgramRunModeBit = 3;
    static constexpr int kMotorForwardBit = 4;
    static constexpr int kMotorEnableBit = 5;
    static constexpr int kFaultBit = 7;
};

} // namespace kt::link
