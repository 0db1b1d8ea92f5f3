// A simple motor behind the simulated drive: the speed ramps toward the
// reference speed at the acceleration and deceleration rates while exactly
// one of CommandForward and CommandReverse is set, and the status bits,
// speed, voltage and current in data memory follow. Not a physical model:
// no inertia, load or torque, and AutoTorque changes nothing.
#pragma once

#include <cstdint>
#include <span>

namespace kt::sim {

class MotorModel {
public:
    // Current steps of 0.255 A: holding a steady speed, and while ramping.
    static constexpr std::uint8_t kSteadyCurrent = 20;
    static constexpr std::uint8_t kRampCurrent = 60;

    MotorModel() = default;

    // At rest.
    void Reset() { m_velocity = 0; }

    // Moves the motor on by the given time and writes the current speed,
    // motor voltage, motor current, MotorEnable and MotorForward. Reads the
    // command bits, the Fault bit, the rates, the reference speed, the
    // reference voltage and the current limit. memory covers the drive's
    // used addresses.
    void Advance(std::span<std::uint8_t> memory, int milliseconds);

    // Signed speed in tenths (negative in reverse), rounded toward 0.
    std::int32_t Velocity() const { return static_cast<std::int32_t>(m_velocity / kScale); }

private:
    // Speeds kept in thousandths of a tenth, so a rate in tenths per second
    // moves the speed by exactly the rate each millisecond.
    static constexpr std::int64_t kScale = 1000;

    std::int64_t m_velocity = 0;
};

} // namespace kt::sim
