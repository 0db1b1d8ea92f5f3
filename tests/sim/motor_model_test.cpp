#include "sim/memory_map.h"
#include "sim/motor_model.h"

#include <gtest/gtest.h>

#include <array>
#include <tuple>
#include <vector>

using namespace kt::sim;

// Reference speed 25.0, reference voltage 200; rates in tenths per second.
// Each stage: the commands from then on, how long they last, and what memory
// shows then: speed in tenths, MotorEnable, MotorForward, voltage, current.
TEST(MotorModel, RampsAtTheRatesWithVoltageAndCurrentFollowing) {
    using Shown = std::array<int, 5>;
    using Stage = std::tuple<int, int, Shown>;
    constexpr int kForward = MemoryMap::kCommandForward;
    constexpr int kReverse = MemoryMap::kCommandReverse;
    const Stage upToSpeed{kForward, 6000, {250, 1, 1, 200, MotorModel::kSteadyCurrent}};
    // Acceleration, deceleration, current limit, stages.
    const std::vector<std::tuple<std::uint8_t, std::uint8_t, std::uint8_t, std::vector<Stage>>>
        cases = {
            {50, 100, 100, {{kForward, 1000, {50, 1, 1, 40, MotorModel::kRampCurrent}}, upToSpeed}},
            // Stopping slows to rest, enabled until then.
            {50, 100, 100, {upToSpeed, {0, 1000, {150, 1, 1, 120, 60}}, {0, 1500, {}}}},
            // A reversal slows to rest at the deceleration rate first.
            {50,
             100,
             100,
             {upToSpeed, {kReverse, 2500, {0, 1, 0, 0, 60}}, {kReverse, 1000, {50, 1, 0, 40, 60}}}},
            {50, 100, 10, {{kForward, 1000, {50, 1, 1, 40, 10}}}}, // the current limit
            {50, 100, 100, {{kForward | kReverse, 1000, {}}}},
            {50, 100, 100, {{kForward | MemoryMap::kFault, 1000, {}}}},
            // Rates of 0: no ramp.
            {0, 0, 100, {{kReverse, 10, {250, 1, 0, 200, 60}}, {0, 10, {}}}},
        };
    for (const auto& [acceleration, deceleration, currentLimit, stages] : cases) {
        std::array<std::uint8_t, MemoryMap::kUsedSize> memory{};
        memory[MemoryMap::kReferenceSpeed] = 250; // all values below 256
        memory[MemoryMap::kAccelerationRate] = acceleration;
        memory[MemoryMap::kDecelerationRate] = deceleration;
        memory[MemoryMap::kReferenceVolt] = 200;
        memory[MemoryMap::kCurrentLimit] = currentLimit;
        MotorModel motor;
        for (const auto& [commands, runMs, expected] : stages) {
            std::uint8_t& status = memory[MemoryMap::kStatus];
            status = static_cast<std::uint8_t>(
                (status & (MemoryMap::kMotorEnable | MemoryMap::kMotorForward)) | commands);
            for (int t = 0; t < runMs; t += 10)
                motor.Advance(memory, 10);
            const Shown shown{
                memory[MemoryMap::kCurrentSpeed] | memory[MemoryMap::kCurrentSpeed + 1] << 8,
                (status & MemoryMap::kMotorEnable) != 0, (status & MemoryMap::kMotorForward) != 0,
                memory[MemoryMap::kMotorVolt], memory[MemoryMap::kMotorCurrent]};
            EXPECT_EQ(shown, expected) << "commands " << commands << " for " << runMs << " ms";
        }
    }
}
