#include "drivemap/drive_catalogue.h"
#include "sim/motor_model.h"

#include <gtest/gtest.h>

#include <array>
#include <tuple>
#include <vector>

using kt::drivemap::Address;
using kt::drivemap::Id;
using kt::drivemap::kUsedSize;
using kt::drivemap::Mask;
using kt::drivemap::StatusBit;
using namespace kt::sim;

// Reference speed 25.0, reference voltage 200; rates in tenths per second.
// Each stage: the commands from then on, how long they last, and what memory
// shows then: speed in tenths, MotorEnable, MotorForward, voltage, current.
TEST(MotorModel, RampsAtTheRatesWithVoltageAndCurrentFollowing) {
    using Shown = std::array<int, 5>;
    using Stage = std::tuple<int, int, Shown>;
    constexpr int kForward = Mask(StatusBit::CommandForward);
    constexpr int kReverse = Mask(StatusBit::CommandReverse);
    const Stage upToSpeed{kForward, 6000, {250, 1, 1, 200, MotorModel::kSteadyCurrent}};
    // Acceleration, deceleration, current limit, stages.
    const std::vector<std::tuple<std::uint8_t, std::uint8_t, std::uint8_t, std::vector<Stage>>>
        cases = {
            {50, 100, 100, {{kForward, 1000, {50, 1, 1, 40, MotorModel::kRampCurrent}}, upToSpeed}},
            // Stopping slows to rest, enabled until then.
            {50, 100, 100, {upToSpeed, {0, 1000, {150, 1, 1, 120, 60}}, {0, 1500, {}}}},
            // A reversal slows to rest at the deceleration rate first, either way.
            {50,
             100,
             100,
             {upToSpeed,
              {kReverse, 2500, {0, 1, 0, 0, 60}},
              {kReverse, 1000, {50, 1, 0, 40, 60}},
              {0, 250, {25, 1, 0, 20, 60}}}},
            {50, 100, 10, {{kForward, 1000, {50, 1, 1, 40, 10}}}}, // the current limit
            {50, 100, 100, {{kForward | kReverse, 1000, {}}}},
            {50, 100, 100, {{kForward | Mask(StatusBit::Fault), 1000, {}}}},
            // Rates of 0: no ramp.
            {0, 0, 100, {{kReverse, 10, {250, 1, 0, 200, 60}}, {0, 10, {}}}},
        };
    for (const auto& [acceleration, deceleration, currentLimit, stages] : cases) {
        std::array<std::uint8_t, kUsedSize> memory{};
        memory[Address(Id::ReferenceSpeed)] = 250; // all values below 256
        memory[Address(Id::AccelerationRate)] = acceleration;
        memory[Address(Id::DecelerationRate)] = deceleration;
        memory[Address(Id::ReferenceVolt)] = 200;
        memory[Address(Id::CurrentLimit)] = currentLimit;
        MotorModel motor;
        for (const auto& [commands, runMs, expected] : stages) {
            std::uint8_t& status = memory[Address(Id::Status)];
            status = static_cast<std::uint8_t>(
                (status & (Mask(StatusBit::MotorEnable) | Mask(StatusBit::MotorForward))) |
                commands);
            for (int t = 0; t < runMs; t += 10)
                motor.Advance(memory, 10);
            const Shown shown{memory[Address(Id::CurrentSpeed)] |
                                  memory[Address(Id::CurrentSpeed) + 1] << 8,
                              (status & Mask(StatusBit::MotorEnable)) != 0,
                              (status & Mask(StatusBit::MotorForward)) != 0,
                              memory[Address(Id::MotorVolt)], memory[Address(Id::MotorCurrent)]};
            EXPECT_EQ(shown, expected) << "commands " << commands << " for " << runMs << " ms";
        }
    }
}
