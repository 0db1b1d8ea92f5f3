#include "drivemap/drive_catalogue.h"
#include "sim/motor_model.h"

#include <gtest/gtest.h>

#include <array>
#include <tuple>
#include <vector>

using namespace kt::drivemap;
using kt::sim::MotorModel;

// Reference speed 25.0, reference voltage 200; rates in tenths per second. Each case: the
// acceleration, deceleration and current limit, then stages: the commands from then on, how long
// they last, and what memory shows then: speed in tenths, MotorEnable, MotorForward, voltage,
// current. Stopping slows to rest, enabled until then; a reversal slows to rest at the
// deceleration rate first, either way; rates of 0 make no ramp.
TEST(MotorModel, RampsAtTheRatesWithVoltageAndCurrentFollowing) {
    using Shown = std::array<int, 5>;
    using Stage = std::tuple<int, int, Shown>;
    constexpr int kForward = Mask(StatusBit::CommandForward);
    constexpr int kReverse = Mask(StatusBit::CommandReverse);
    constexpr int kKept = Mask(StatusBit::MotorEnable) | Mask(StatusBit::MotorForward);
    const Stage upToSpeed{kForward, 6000, {250, 1, 1, 200, MotorModel::kSteadyCurrent}};
    // clang-format off
    for (const auto& [rates, stages] :
         std::vector<std::pair<std::array<int, 3>, std::vector<Stage>>>{
             {{50, 100, 100}, {{kForward, 1000, {50, 1, 1, 40, MotorModel::kRampCurrent}},
                               upToSpeed}},
             {{50, 100, 100}, {upToSpeed, {0, 1000, {150, 1, 1, 120, 60}}, {0, 1500, {}}}},
             {{50, 100, 100}, {upToSpeed, {kReverse, 2500, {0, 1, 0, 0, 60}},
                               {kReverse, 1000, {50, 1, 0, 40, 60}}, {0, 250, {25, 1, 0, 20, 60}}}},
             {{50, 100, 10}, {{kForward, 1000, {50, 1, 1, 40, 10}}}},
             {{50, 100, 100}, {{kForward | kReverse, 1000, {}}}},
             {{50, 100, 100}, {{kForward | Mask(StatusBit::Fault), 1000, {}}}},
             {{0, 0, 100}, {{kReverse, 10, {250, 1, 0, 200, 60}}, {0, 10, {}}}}}) {
        // clang-format on
        std::array<std::uint8_t, kUsedSize> memory{};
        const auto at = [&memory](Id id) -> std::uint8_t& { return memory[Address(id)]; };
        at(Id::ReferenceSpeed) = 250; // all values below 256
        at(Id::ReferenceVolt) = 200;
        at(Id::AccelerationRate) = static_cast<std::uint8_t>(rates[0]);
        at(Id::DecelerationRate) = static_cast<std::uint8_t>(rates[1]);
        at(Id::CurrentLimit) = static_cast<std::uint8_t>(rates[2]);
        MotorModel motor;
        for (const auto& [commands, runMs, expected] : stages) {
            at(Id::Status) = static_cast<std::uint8_t>((at(Id::Status) & kKept) | commands);
            for (int t = 0; t < runMs; t += 10)
                motor.Advance(memory, 10);
            const Shown shown{at(Id::CurrentSpeed) | memory[Address(Id::CurrentSpeed) + 1] << 8,
                              (at(Id::Status) & Mask(StatusBit::MotorEnable)) != 0,
                              (at(Id::Status) & Mask(StatusBit::MotorForward)) != 0,
                              at(Id::MotorVolt), at(Id::MotorCurrent)};
            EXPECT_EQ(shown, expected) << "commands " << commands << " for " << runMs << " ms";
        }
    }
}
