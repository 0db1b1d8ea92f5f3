#include "sim/motor_model.h"

#include "drivemap/drive_catalogue.h"

#include <algorithm>

namespace kt::sim {

namespace {

using drivemap::Address;
using drivemap::Id;
using drivemap::Mask;
using drivemap::StatusBit;

std::int64_t WordAt(std::span<const std::uint8_t> memory, std::uint16_t address) {
    return memory[address] | memory[address + 1u] << 8;
}

void SetWord(std::span<std::uint8_t> memory, std::uint16_t address, std::int64_t value) {
    memory[address] = static_cast<std::uint8_t>(value & 0xFF);
    memory[address + 1u] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

} // namespace

void MotorModel::Advance(std::span<std::uint8_t> memory, int milliseconds) {
    std::uint8_t& status = memory[Address(Id::Status)];
    const bool forward = (status & Mask(StatusBit::CommandForward)) != 0;
    const bool reverse = (status & Mask(StatusBit::CommandReverse)) != 0;
    // Both commands at once cancel each other, as neither would.
    const bool commanded = forward != reverse && (status & Mask(StatusBit::Fault)) == 0;
    const std::int64_t reference = WordAt(memory, Address(Id::ReferenceSpeed)) * kScale;
    const std::int64_t target = commanded ? (forward ? reference : -reference) : 0;

    const std::int64_t before = m_velocity;
    // Slowing down, also on the way to the other direction, uses the
    // deceleration rate and stops at rest first.
    std::int64_t goal = target;
    std::int64_t rate = WordAt(memory, Address(Id::AccelerationRate));
    if (m_velocity > 0 && target < m_velocity) {
        goal = std::max<std::int64_t>(target, 0);
        rate = WordAt(memory, Address(Id::DecelerationRate));
    } else if (m_velocity < 0 && target > m_velocity) {
        goal = std::min<std::int64_t>(target, 0);
        rate = WordAt(memory, Address(Id::DecelerationRate));
    }
    const std::int64_t step = rate * milliseconds;
    if (rate == 0) // no ramp
        m_velocity = goal;
    else if (goal > m_velocity)
        m_velocity = std::min(goal, m_velocity + step);
    else
        m_velocity = std::max(goal, m_velocity - step);

    const std::int64_t speed = m_velocity < 0 ? -m_velocity : m_velocity;
    const bool enabled = commanded || m_velocity != 0;
    const bool turnsForward = m_velocity > 0 || (m_velocity == 0 && commanded && forward);
    status = static_cast<std::uint8_t>(
        status & ~(Mask(StatusBit::MotorEnable) | Mask(StatusBit::MotorForward)));
    if (enabled)
        status |= Mask(StatusBit::MotorEnable);
    if (turnsForward)
        status |= Mask(StatusBit::MotorForward);

    SetWord(memory, Address(Id::CurrentSpeed), std::min<std::int64_t>(speed / kScale, 0xFFFF));

    // The voltage rises with the speed up to the reference voltage.
    const std::int64_t fullScale = std::max(reference, speed);
    const std::int64_t volt =
        enabled && fullScale > 0 ? memory[Address(Id::ReferenceVolt)] * speed / fullScale : 0;
    memory[Address(Id::MotorVolt)] = static_cast<std::uint8_t>(volt);
    memory[Address(Id::MotorVolt) + 1u] = 0;

    const std::uint8_t load = m_velocity != before ? kRampCurrent : kSteadyCurrent;
    memory[Address(Id::MotorCurrent)] =
        enabled ? std::min(load, memory[Address(Id::CurrentLimit)]) : std::uint8_t{0};
    memory[Address(Id::MotorCurrent) + 1u] = 0;
}

} // namespace kt::sim
