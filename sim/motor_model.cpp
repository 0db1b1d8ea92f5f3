#include "sim/motor_model.h"

#include "sim/memory_map.h"

#include <algorithm>

namespace kt::sim {

namespace {

std::int64_t WordAt(std::span<const std::uint8_t> memory, std::uint16_t address) {
    return memory[address] | memory[address + 1u] << 8;
}

void SetWord(std::span<std::uint8_t> memory, std::uint16_t address, std::int64_t value) {
    memory[address] = static_cast<std::uint8_t>(value & 0xFF);
    memory[address + 1u] = static_cast<std::uint8_t>((value >> 8) & 0xFF);
}

} // namespace

void MotorModel::Advance(std::span<std::uint8_t> memory, int milliseconds) {
    std::uint8_t& status = memory[MemoryMap::kStatus];
    const bool forward = (status & MemoryMap::kCommandForward) != 0;
    const bool reverse = (status & MemoryMap::kCommandReverse) != 0;
    // Both commands at once cancel each other, as neither would.
    const bool commanded = forward != reverse && (status & MemoryMap::kFault) == 0;
    const std::int64_t reference = WordAt(memory, MemoryMap::kReferenceSpeed) * kScale;
    const std::int64_t target = commanded ? (forward ? reference : -reference) : 0;

    const std::int64_t before = m_velocity;
    // Slowing down, also on the way to the other direction, uses the
    // deceleration rate and stops at rest first.
    std::int64_t goal = target;
    std::int64_t rate = WordAt(memory, MemoryMap::kAccelerationRate);
    if (m_velocity > 0 && target < m_velocity) {
        goal = std::max<std::int64_t>(target, 0);
        rate = WordAt(memory, MemoryMap::kDecelerationRate);
    } else if (m_velocity < 0 && target > m_velocity) {
        goal = std::min<std::int64_t>(target, 0);
        rate = WordAt(memory, MemoryMap::kDecelerationRate);
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
    status =
        static_cast<std::uint8_t>(status & ~(MemoryMap::kMotorEnable | MemoryMap::kMotorForward));
    if (enabled)
        status |= MemoryMap::kMotorEnable;
    if (turnsForward)
        status |= MemoryMap::kMotorForward;

    SetWord(memory, MemoryMap::kCurrentSpeed, std::min<std::int64_t>(speed / kScale, 0xFFFF));

    // The voltage rises with the speed up to the reference voltage.
    const std::int64_t fullScale = std::max(reference, speed);
    const std::int64_t volt =
        enabled && fullScale > 0 ? memory[MemoryMap::kReferenceVolt] * speed / fullScale : 0;
    memory[MemoryMap::kMotorVolt] = static_cast<std::uint8_t>(volt);
    memory[MemoryMap::kMotorVolt + 1u] = 0;

    const std::uint8_t load = m_velocity != before ? kRampCurrent : kSteadyCurrent;
    memory[MemoryMap::kMotorCurrent] =
        enabled ? std::min(load, memory[MemoryMap::kCurrentLimit]) : std::uint8_t{0};
    memory[MemoryMap::kMotorCurrent + 1u] = 0;
}

} // namespace kt::sim
