#include "sim/memory_map.h"
#include "sim/motor_model.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

using namespace kt::sim;

namespace {

struct Memory {
    std::array<std::uint8_t, MemoryMap::kUsedSize> bytes{};

    void SetWord(std::uint16_t address, int value) {
        bytes[address] = static_cast<std::uint8_t>(value & 0xFF);
        bytes[address + 1u] = static_cast<std::uint8_t>(value >> 8);
    }
    int Word(std::uint16_t address) const { return bytes[address] | bytes[address + 1u] << 8; }
};

// One stage of a run: the commands from then on, the time it lasts and what
// the memory shows at its end.
struct Stage {
    std::uint8_t commands; // status bits written by the host or the program
    int runMs;
    int speed; // tenths, without direction
    bool enabled;
    bool forward;
};

void RunStage(MotorModel& motor, Memory& memory, const Stage& stage, const std::string& name) {
    memory.bytes[MemoryMap::kStatus] = static_cast<std::uint8_t>(
        (memory.bytes[MemoryMap::kStatus] & (MemoryMap::kMotorEnable | MemoryMap::kMotorForward)) |
        stage.commands);
    for (int t = 0; t < stage.runMs; t += 10)
        motor.Advance(memory.bytes, 10);
    const std::uint8_t status = memory.bytes[MemoryMap::kStatus];
    EXPECT_EQ(memory.Word(MemoryMap::kCurrentSpeed), stage.speed) << name;
    EXPECT_EQ((status & MemoryMap::kMotorEnable) != 0, stage.enabled) << name;
    EXPECT_EQ((status & MemoryMap::kMotorForward) != 0, stage.forward) << name;
}

constexpr std::uint8_t kForward = MemoryMap::kCommandForward;
constexpr std::uint8_t kReverse = MemoryMap::kCommandReverse;

} // namespace

// Reference 25.0, acceleration 5.0 and deceleration 10.0 per second.
// A rate of 0 means no ramp.
TEST(MotorModel, SpeedRampsAtTheRates) {
    struct Case {
        std::string name;
        std::vector<Stage> stages;
        int rateScale = 1; // 0: both rates 0
    };
    const std::vector<Case> cases = {
        {"forward up to speed",
         {{kForward, 1000, 50, true, true},
          {kForward, 4000, 250, true, true},
          {kForward, 1000, 250, true, true}}},
        {"stop: slows to rest, enabled until then",
         {{kForward, 5000, 250, true, true},
          {0, 1000, 150, true, true},
          {0, 1500, 0, false, false}}},
        {"reverse", {{kReverse, 2000, 100, true, false}}},
        {"reversal: to rest at the deceleration rate, then up",
         {{kForward, 5000, 250, true, true},
          {kReverse, 2500, 0, true, false},
          {kReverse, 1000, 50, true, false}}},
        {"both commands are none", {{kForward | kReverse, 1000, 0, false, false}}},
        {"a fault stops the drive", {{kForward | MemoryMap::kFault, 1000, 0, false, false}}},
        {"rates of 0: no ramp", {{kReverse, 10, 250, true, false}, {0, 10, 0, false, false}}, 0},
        {"at rest, commanded forward",
         {{kForward, 0, 0, false, false}, {kForward, 10, 0, true, true}}},
    };
    for (const Case& c : cases) {
        Memory memory;
        memory.SetWord(MemoryMap::kReferenceSpeed, 250);
        memory.SetWord(MemoryMap::kAccelerationRate, 50 * c.rateScale);
        memory.SetWord(MemoryMap::kDecelerationRate, 100 * c.rateScale);
        MotorModel motor;
        for (const Stage& stage : c.stages)
            RunStage(motor, memory, stage, c.name);
    }
}

// Voltage follows the speed up to the reference voltage; current is higher
// while the speed ramps and never above the limit.
TEST(MotorModel, VoltageAndCurrentFollowTheSpeed) {
    struct Case {
        int runMs;
        std::uint8_t currentLimit;
        std::uint8_t volt;
        std::uint8_t current;
    };
    for (const Case& c :
         {Case{2500, 100, 100, MotorModel::kRampCurrent},
          Case{6000, 100, 200, MotorModel::kSteadyCurrent}, Case{2500, 10, 100, 10}}) {
        Memory memory;
        memory.SetWord(MemoryMap::kReferenceSpeed, 250);
        memory.SetWord(MemoryMap::kAccelerationRate, 50);
        memory.bytes[MemoryMap::kReferenceVolt] = 200;
        memory.bytes[MemoryMap::kCurrentLimit] = c.currentLimit;
        MotorModel motor;
        memory.bytes[MemoryMap::kStatus] = kForward;
        for (int t = 0; t < c.runMs; t += 10)
            motor.Advance(memory.bytes, 10);
        EXPECT_EQ(memory.bytes[MemoryMap::kMotorVolt], c.volt) << c.runMs;
        EXPECT_EQ(memory.bytes[MemoryMap::kMotorCurrent], c.current) << c.runMs;
        memory.bytes[MemoryMap::kStatus] = 0;
        memory.SetWord(MemoryMap::kDecelerationRate, 0);
        motor.Advance(memory.bytes, 10);
        EXPECT_EQ(memory.bytes[MemoryMap::kMotorVolt], 0);
        EXPECT_EQ(memory.bytes[MemoryMap::kMotorCurrent], 0);
    }
}
