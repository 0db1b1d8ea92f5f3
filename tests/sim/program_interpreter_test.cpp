#include "sim/memory_map.h"
#include "sim/program_interpreter.h"
#include "sim_test_programs.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <utility>
#include <vector>

using namespace kt;
using namespace kt::sim;
using test::ImageOf;
using test::ImageOfBytes;
using test::ParkedImageOf;

namespace {

constexpr std::uint16_t kCounter = MemoryMap::kCounters;

// A powered-up interpreter with the inputs given and analog input n at 1000 + n.
ProgramInterpreter Prepared(std::uint8_t inputs) {
    ProgramInterpreter interpreter;
    for (int n = 0; n < MemoryMap::kInputCount; ++n)
        interpreter.SetInput(n, (inputs >> n & 1) != 0);
    for (int n = 0; n < MemoryMap::kAnalogCount; ++n)
        interpreter.SetAnalog(n, static_cast<std::uint16_t>(1000 + n));
    return interpreter;
}

struct StatementCase {
    std::string lines;
    std::uint8_t inputs;
    std::uint16_t address; // the 16-bit word there, low byte first
    int word;
};

void PrintTo(const StatementCase& c, std::ostream* os) {
    *os << c.lines;
}

} // namespace

class Statements : public ::testing::TestWithParam<StatementCase> {};

// Each program runs once through, then rests; the word is what it left.
TEST_P(Statements, LeaveTheirValuesInMemory) {
    const StatementCase& c = GetParam();
    ProgramInterpreter interpreter = Prepared(c.inputs);
    ASSERT_EQ(interpreter.Load(ParkedImageOf(c.lines)), 0);
    interpreter.RunFor(9); // short of the first motor update
    EXPECT_TRUE(interpreter.Running());
    EXPECT_EQ(interpreter.Word(c.address), c.word);
}

// clang-format off
INSTANTIATE_TEST_SUITE_P(Rows, Statements, ::testing::Values(
    StatementCase{"Counter0 = 12|Counter0 And 10", 0, kCounter, 8},
    StatementCase{"Counter0 = 12|Counter0 Xor 10", 0, kCounter, 6},
    StatementCase{"Counter0 = 12|Counter3 = 10|Counter0 Or Counter.3", 0, kCounter, 14},
    StatementCase{"Counter5 = 77|Counter0 = Counter.5", 0, kCounter, 77},
    StatementCase{"Counter0 = 9|Counter.6 = Counter0", 0, kCounter + 6, 9},
    StatementCase{"Counter.2 = InputByte", 0xA5, kCounter + 2, 0xA5},
    // Tenths as the command set stores them.
    StatementCase{"AccelerateRate = 50.5", 0, 274, 505},
    StatementCase{"DecelerateRate = 102.1", 0, 272, 1021},
    StatementCase{"WordCounter0 = 12.3", 0, kCounter, 123},
    StatementCase{"WordCounter0 = 30|AccelerateRate = WordCounter.0", 0, 274, 300},
    StatementCase{"Counter4 = 7|Counter5 = 1|DecelerateRate = WordCounter.2", 0, 272, 263},
    StatementCase{"Counter2 = 9|ReferenceSpeed = WordCounter.1", 0, 276, 9},
    StatementCase{"CurrentLimit = 12.75", 0, 280, 50},
    StatementCase{"Volt% = 50", 0, 278, 128},
    StatementCase{"TriggerTimer2 30", 0, 9, 30},
    StatementCase{"Counter3 = 15|TriggerTimer1 By Counter.3", 0, 8, 15},
    StatementCase{"WordCounter1 = WordCounter1 + 200|WordCounter1 = WordCounter1 + 100", 0, kCounter + 2, 300},
    // Word counters wrap around at 16 bits.
    StatementCase{"WordCounter2 = WordCounter2 - 1", 0, kCounter + 4, 65535},
    StatementCase{"Counter6 = 255|Counter7 = 255|WordCounter3 = WordCounter3 + 1", 0, kCounter + 6, 0},
    StatementCase{"WordCounter.2 = Analog.4", 0, kCounter + 4, 1004},
    StatementCase{"WordCounter.3 = AccelerateRate", 0, kCounter + 6, 50},
    StatementCase{"DecelerateRate = 1|WordCounter.0 = DecelerateRate", 0, kCounter, 10},
    StatementCase{"RefrenceSpeed = 12.3|WordCounter.1 = RefrenceSpeed", 0, kCounter + 2, 123},
    StatementCase{"Counter2 = 1|WordCounter.1 = CurrentSpeed", 0, kCounter + 2, 0},
    StatementCase{"WordCounter0 = 40|WordCounter.3 = WordCounter0", 0, kCounter + 6, 400},
    // Bits, and Flag0 with a bit: the result lands in Flag0 only.
    StatementCase{"Output.1 = True", 0, 5, 2},
    StatementCase{"Flag.3 = True|Flag.3 = False|Flag.4 = True", 0, 74, 16},
    StatementCase{"Flag.0 = True|Output.0 = Flag0", 0, 5, 1},
    StatementCase{"CommandReverse = True", 0, 62, 0x0A},
    StatementCase{"AutoTorque = True|AutoTorque = Flag0", 0, 62, 0x08},
    StatementCase{"Flag.7 = True|Flag0 = Input.3", 0x08, 74, 0x81},
    StatementCase{"Flag.0 = True|Flag0 And Not Input.2", 0x08, 74, 1},
    StatementCase{"Flag0 Or Not Input.2", 0x08, 74, 1},
    StatementCase{"Flag0 Xor Input.3", 0x08, 74, 1},
    StatementCase{"Flag.5 = True|Flag0 = Flag.5", 0, 74, 0x21},
    StatementCase{"CommandReverse = True|Flag0 = CommandReverse", 0, 74, 1},
    StatementCase{"Flag0 = Not MotorEnable", 0, 74, 1},
    StatementCase{"TriggerTimer1 0|Flag0 = TimerFlag.1", 0, 74, 1}));
// clang-format on

struct ConditionCase {
    std::string setup;
    std::string condition;
    std::uint8_t inputs;
    bool holds;
};

void PrintTo(const ConditionCase& c, std::ostream* os) {
    *os << c.condition;
}

class Conditions : public ::testing::TestWithParam<ConditionCase> {};

TEST_P(Conditions, DecideIf) {
    const ConditionCase& c = GetParam();
    ProgramInterpreter interpreter = Prepared(c.inputs);
    const std::string setup = c.setup.empty() ? "" : c.setup + "|";
    ASSERT_EQ(interpreter.Load(ParkedImageOf(setup + "If " + c.condition +
                                             "|Output.0 = True|Else|Output.1 = True|End If")),
              0);
    interpreter.RunFor(9);
    EXPECT_EQ(interpreter.Byte(MemoryMap::kOutputs), c.holds ? 1 : 2);
}

// Tested at the Do: a condition that holds at once skips the body.
TEST_P(Conditions, EndDoUntilAtTheDo) {
    const ConditionCase& c = GetParam();
    ProgramInterpreter interpreter = Prepared(c.inputs);
    const std::string setup = c.setup.empty() ? "" : c.setup + "|";
    ASSERT_EQ(interpreter.Load(ParkedImageOf(setup + "Do Until " + c.condition +
                                             "|WordCounter3 = WordCounter3 + 1|Loop")),
              0);
    interpreter.RunFor(20);
    EXPECT_EQ(interpreter.Word(kCounter + 6) == 0, c.holds);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, Conditions,
    ::testing::Values(ConditionCase{"Counter0 = 5", "Counter0 = 5", 0, true},
                      ConditionCase{"Counter0 = 5", "Counter0 >= 6", 0, false},
                      ConditionCase{"Counter0 = 5", "Counter0 < 6", 0, true},
                      ConditionCase{"Counter0 = 5", "Counter0 <> 5", 0, false},
                      ConditionCase{"Counter0 = 5|Counter2 = 5", "Counter0 = Counter.2", 0, true},
                      ConditionCase{"Counter0 = 5|Counter2 = 6", "Counter0 >= Counter.2", 0, false},
                      ConditionCase{"Counter0 = 5|Counter2 = 6", "Counter0 < Counter.2", 0, true},
                      ConditionCase{"Counter0 = 5|Counter2 = 5", "Counter0 <> Counter.2", 0, false},
                      // Word counter 0 = 300 against word counter 1 = 300 or 301.
                      ConditionCase{"WordCounter0 = 30|Counter2 = 44|Counter3 = 1",
                                    "WordCounter0 = WordCounter.1", 0, true},
                      ConditionCase{"WordCounter0 = 30|Counter2 = 45|Counter3 = 1",
                                    "WordCounter0 >= WordCounter.1", 0, false},
                      ConditionCase{"WordCounter0 = 30|Counter2 = 45|Counter3 = 1",
                                    "WordCounter0 < WordCounter.1", 0, true},
                      ConditionCase{"WordCounter0 = 30|Counter2 = 44|Counter3 = 1",
                                    "WordCounter0 <> WordCounter.1", 0, false},
                      ConditionCase{"", "Input.3", 0x08, true},
                      ConditionCase{"Flag.2 = True", "Flag.2", 0, true},
                      ConditionCase{"", "Not Output.1", 0, true},
                      ConditionCase{"CommandForward = True", "CommandForward", 0, true},
                      ConditionCase{"", "MotorForward", 0, false},
                      ConditionCase{"TriggerTimer0 0", "TimerFlag.0", 0, true},
                      ConditionCase{"TriggerTimer0 3", "Not TimerFlag.0", 0, true}));

using Bytes = std::vector<std::pair<std::uint16_t, std::uint8_t>>;

struct BlockCase {
    std::string lines;
    std::uint8_t inputs;
    Bytes expected;
};

void PrintTo(const BlockCase& c, std::ostream* os) {
    *os << c.lines << " inputs " << int(c.inputs);
}

class Blocks : public ::testing::TestWithParam<BlockCase> {};

TEST_P(Blocks, PairAsTheCompilerNestsThem) {
    const BlockCase& c = GetParam();
    ProgramInterpreter interpreter = Prepared(c.inputs);
    ASSERT_EQ(interpreter.Load(ParkedImageOf(c.lines)), 0);
    interpreter.RunFor(200);
    EXPECT_EQ(interpreter.Error(), 0);
    for (const auto& [address, value] : c.expected)
        EXPECT_EQ(interpreter.Byte(address), value) << "address " << address;
}

namespace {
const std::string kNestedIf = "If Input.0|If Input.1|Counter1 = 1|Else|Counter1 = 2|End If|"
                              "Else|If Input.1|Counter1 = 3|Else|Counter1 = 4|End If|End If";
// The second Else of one If: the compiler accepts it with an If between.
const std::string kTwoElses = "If Input.0|Counter1 = 1|Else|If Input.1|End If|Counter2 = 2|"
                              "Else|Counter3 = 3|End If";
// Two rounds of an outer loop, two of an inner one in each.
const std::string kNestedDo = "WordCounter0 = 0.2|Do Until WordCounter0 = WordCounter.1|"
                              "WordCounter1 = WordCounter1 + 1|Counter4 = 0|"
                              "Do Until WordCounter0 = WordCounter.2|"
                              "WordCounter2 = WordCounter2 + 1|WordCounter3 = WordCounter3 + 1|"
                              "Loop|Loop";
} // namespace

INSTANTIATE_TEST_SUITE_P(
    Rows, Blocks,
    ::testing::Values(
        BlockCase{kNestedIf, 3, {{kCounter + 1, 1}}}, BlockCase{kNestedIf, 1, {{kCounter + 1, 2}}},
        BlockCase{kNestedIf, 2, {{kCounter + 1, 3}}}, BlockCase{kNestedIf, 0, {{kCounter + 1, 4}}},
        BlockCase{kTwoElses, 1, {{kCounter + 1, 1}, {kCounter + 2, 0}, {kCounter + 3, 0}}},
        BlockCase{kTwoElses, 0, {{kCounter + 1, 0}, {kCounter + 2, 2}, {kCounter + 3, 0}}},
        BlockCase{kNestedDo, 0, {{kCounter + 2, 2}, {kCounter + 6, 4}}},
        // A Loop inside an If part goes back to its own Do.
        BlockCase{"If Input.0|Do Until Counter0 = 3|Counter0 = 3|Loop|"
                  "Counter1 = 7|End If",
                  1,
                  {{kCounter, 3}, {kCounter + 1, 7}}}));

TEST(ProgramInterpreter, EveryStatementTakesOneMillisecond) {
    ProgramInterpreter interpreter;
    ASSERT_EQ(interpreter.Load(ImageOf("Do|WordCounter1 = WordCounter1 + 1|Loop")), 0);
    EXPECT_TRUE(interpreter.Step());
    EXPECT_EQ(interpreter.TimeMs(), 1u);
    interpreter.RunFor(299);
    EXPECT_EQ(interpreter.TimeMs(), 300u);
    EXPECT_EQ(interpreter.Word(kCounter + 2), 100); // three statements a round
    EXPECT_EQ(interpreter.NextStatement(), 0u);
}

// A timer set to k runs out at the k-th 100 ms tick after it was set.
TEST(ProgramInterpreter, TimersCountDownOncePerTick) {
    struct Case {
        std::string trigger;
        std::uint64_t outAtMs;
    };
    for (const Case& c :
         {Case{"TriggerTimer0 5", 500}, Case{"TriggerTimer0 1", 100}, Case{"TriggerTimer0 0", 1},
          Case{"Counter6 = 3|TriggerTimer0 By Counter.6", 300}}) {
        ProgramInterpreter interpreter;
        ASSERT_EQ(interpreter.Load(ParkedImageOf(c.trigger)), 0);
        interpreter.RunFor(c.outAtMs - 1);
        EXPECT_FALSE(interpreter.TimerFlag(0)) << c.trigger;
        interpreter.RunFor(1);
        EXPECT_TRUE(interpreter.TimerFlag(0)) << c.trigger;
        EXPECT_EQ(interpreter.Byte(MemoryMap::kTimers), 0) << c.trigger;
        interpreter.RunFor(1000); // stays set
        EXPECT_TRUE(interpreter.TimerFlag(0)) << c.trigger;
    }
}

TEST(ProgramInterpreter, TriggeringAgainClearsTheTimerFlag) {
    ProgramInterpreter interpreter;
    ASSERT_EQ(interpreter.Load(ImageOf("Do|If TimerFlag.2|TriggerTimer2 2|"
                                       "WordCounter1 = WordCounter1 + 1|End If|Loop")),
              0);
    interpreter.Memory()[MemoryMap::kTimers + 2] = 1; // written over the link
    interpreter.RunFor(1000);
    EXPECT_EQ(interpreter.Word(kCounter + 2), 5); // at 100, 300, 500, 700, 900 ms
    EXPECT_FALSE(interpreter.TimerFlag(2));
}

// Each click statement remembers the input as it was when it last ran.
TEST(ProgramInterpreter, ClickedEdgesSeenByTheStatement) {
    ProgramInterpreter interpreter;
    interpreter.SetInput(2, true);
    ASSERT_EQ(interpreter.Load(ImageOf("Do|If ClickedToTrue Input.2|"
                                       "WordCounter1 = WordCounter1 + 1|End If|"
                                       "If ClickedToFalse Input.2|WordCounter2 = WordCounter2 + 1|"
                                       "End If|Loop")),
              0);
    struct Change {
        bool input;
        std::uint64_t runMs;
        int rises;
        int falls;
    };
    const std::vector<Change> changes = {
        {true, 20, 0, 0}, // on from the start: no edge
        {false, 20, 0, 1},
        {true, 20, 1, 1},
        {true, 20, 1, 1},
        // Off and on again between two runs of the statement: no edge seen.
        {false, 0, 1, 1},
    };
    for (const Change& change : changes) {
        interpreter.SetInput(2, change.input);
        interpreter.RunFor(change.runMs);
        EXPECT_EQ(interpreter.Word(kCounter + 2), change.rises);
        EXPECT_EQ(interpreter.Word(kCounter + 4), change.falls);
    }
    interpreter.SetInput(2, true);
    interpreter.RunFor(20);
    EXPECT_EQ(interpreter.Word(kCounter + 2), 1);
    EXPECT_EQ(interpreter.Word(kCounter + 4), 1);
}

TEST(ProgramInterpreter, ResetProgramStartsAgainKeepingMemory) {
    ProgramInterpreter interpreter;
    interpreter.SetInput(0, true);
    ASSERT_EQ(interpreter.Load(ImageOf("If ClickedToTrue Input.0|Counter3 = 9|End If|"
                                       "WordCounter2 = WordCounter2 + 1|Reset Program")),
              0);
    interpreter.RunFor(4); // If (remembers), increment, Reset Program, If again
    EXPECT_EQ(interpreter.NextStatement(), 3u);
    interpreter.SetInput(0, false);
    interpreter.RunFor(4);
    interpreter.SetInput(0, true);
    interpreter.RunFor(4);
    EXPECT_EQ(interpreter.Word(kCounter + 4), 4);
    // Each round starts with a forgotten click: the rise is never seen.
    EXPECT_EQ(interpreter.Byte(kCounter + 3), 0);
    EXPECT_EQ(interpreter.Error(), 0);
}

TEST(ProgramInterpreter, MotorBitsComeFromTheMotor) {
    ProgramInterpreter interpreter;
    ASSERT_EQ(
        interpreter.Load(ImageOf("CommandForward = True|Do|Flag0 = MotorForward|"
                                 "Output.0 = Flag0|Flag0 = MotorEnable|Output.1 = Flag0|Loop")),
        0);
    interpreter.RunFor(5);
    EXPECT_EQ(interpreter.Byte(MemoryMap::kOutputs), 0); // before the first motor update
    interpreter.RunFor(20);
    EXPECT_EQ(interpreter.Byte(MemoryMap::kOutputs), 3);
}

struct BadImage {
    std::vector<std::uint8_t> bytes;
    std::uint8_t error;
    std::size_t statement;
};

void PrintTo(const BadImage& c, std::ostream* os) {
    for (const std::uint8_t b : c.bytes)
        *os << int(b) << ' ';
}

class BadImages : public ::testing::TestWithParam<BadImage> {};

// Refused at load: nothing runs, the error byte tells why.
TEST_P(BadImages, DoNotLoad) {
    const BadImage& c = GetParam();
    ProgramInterpreter interpreter;
    interpreter.Memory()[MemoryMap::kStatus] = MemoryMap::kCommandForward;
    EXPECT_EQ(interpreter.Load(ImageOfBytes(c.bytes)), c.error);
    EXPECT_EQ(interpreter.Error(), c.error);
    EXPECT_EQ(interpreter.ErrorStatement(), c.statement);
    EXPECT_FALSE(interpreter.Running());
    EXPECT_EQ(interpreter.Byte(MemoryMap::kStatus), 0);
    EXPECT_FALSE(interpreter.Step());
    interpreter.RunFor(100);
    EXPECT_EQ(interpreter.Error(), c.error);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, BadImages,
    ::testing::Values(BadImage{{100, 0}, 2, 0},                // no such opcode
                      BadImage{{67, 0}, 2, 0},                 // Loop before Do
                      BadImage{{61, 0}, 2, 0},                 // Else before If
                      BadImage{{15, 0, 62, 0, 67, 0}, 2, 1},   // End If closing a Do
                      BadImage{{15, 0}, 1, 0},                 // Do never closed
                      BadImage{{15, 0, 10, 0, 67, 0}, 2, 2},   // the If still open at Loop
                      BadImage{{10, 0, 15, 0, 67, 0}, 1, 0})); // If never closed

struct RunOffCase {
    std::vector<std::uint8_t> bytes;
    std::uint64_t runMs;
    std::size_t statement;
};

// Running on past the last statement stops the program with error 1.
TEST(ProgramInterpreter, RunningPastTheEnd) {
    std::vector<std::uint8_t> full;
    for (int i = 0; i < 127; ++i)
        full.insert(full.end(), {46, static_cast<std::uint8_t>(i)});
    for (const RunOffCase& c : {RunOffCase{{37, 24, 45, 5}, 2, 1},
                                RunOffCase{{10, 0, 62, 0}, 1, 0}, // a false If at the end
                                RunOffCase{full, 127, 126}}) {
        ProgramInterpreter interpreter;
        ASSERT_EQ(interpreter.Load(ImageOfBytes(c.bytes)), 0);
        interpreter.RunFor(c.runMs - 1);
        EXPECT_TRUE(interpreter.Running());
        interpreter.RunFor(1000);
        EXPECT_FALSE(interpreter.Running());
        EXPECT_EQ(interpreter.Error(), MemoryMap::kPassedEndOfBuffer);
        EXPECT_EQ(interpreter.ErrorStatement(), c.statement);
        // The motor is no longer commanded.
        EXPECT_EQ(interpreter.Byte(MemoryMap::kStatus), 0);
    }
}

TEST(ProgramInterpreter, ErasedImageIsNoProgram) {
    ProgramInterpreter interpreter;
    EXPECT_EQ(interpreter.Load(ImageOfBytes({})), 0);
    EXPECT_FALSE(interpreter.Running());
    interpreter.RunFor(100);
    EXPECT_EQ(interpreter.Error(), 0);
    EXPECT_EQ(interpreter.TimeMs(), 100u);
}

// Damaged images of every kind: never a crash, never a hang.
TEST(ProgramInterpreter, RandomImagesNeverCrash) {
    std::mt19937 random(20240501);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> opcode(0, 104);
    for (int round = 0; round < 3000; ++round) {
        compiler::ProgramImage image;
        for (std::size_t i = 0; i < image.size(); ++i)
            image[i] = static_cast<std::uint8_t>(i % 2 == 0 ? opcode(random) : byte(random));
        ProgramInterpreter interpreter;
        const std::uint8_t error = interpreter.Load(image);
        EXPECT_TRUE(error <= 2);
        interpreter.RunFor(300);
        EXPECT_EQ(interpreter.Running(), interpreter.Error() == 0);
        EXPECT_EQ(interpreter.Byte(MemoryMap::kIdentification), 7);
    }
}

TEST(ProgramInterpreter, TraceReportsEachStatementAndWhatChanged) {
    ProgramInterpreter interpreter;
    std::vector<std::string> lines;
    interpreter.SetTraceHook([&](const TraceRecord& r) {
        std::string line = std::to_string(r.timeMs) + " #" + std::to_string(r.statement) + " " +
                           std::to_string(r.opcode) + "," + std::to_string(r.operand);
        for (const MemoryChange& change : r.changes)
            line += " [" + std::to_string(change.address) + "] " + std::to_string(change.before) +
                    "->" + std::to_string(change.after);
        lines.push_back(line);
    });
    ASSERT_EQ(interpreter.Load(ImageOf("Counter1 = 5|Do|CommandForward = True|Loop")), 0);
    interpreter.RunFor(3);
    interpreter.SetTraceHook({});
    interpreter.RunFor(6);
    interpreter.SetTraceHook([&](const TraceRecord& r) {
        lines.push_back(std::to_string(r.timeMs) + " #" + std::to_string(r.statement) + " " +
                        std::to_string(r.changes.size()) + " changes");
    });
    interpreter.Step(); // the 10th millisecond: the motor starts
    const std::vector<std::string> expected = {
        "0 #0 46,5 [289] 0->5", "1 #1 15,0", "2 #2 37,24 [62] 8->9",
        "9 #3 2 changes", // status and motor current; the speed is still below a tenth
    };
    EXPECT_EQ(lines, expected);
}

TEST(ProgramInterpreter, SharesTheMemoryItIsGiven) {
    std::vector<std::uint8_t> memory(MemoryMap::kUsedSize);
    ProgramInterpreter interpreter(memory);
    ASSERT_EQ(interpreter.Load(ParkedImageOf("Counter2 = 42")), 0);
    interpreter.Step();
    EXPECT_EQ(memory[kCounter + 2], 42);
    memory[MemoryMap::kInputs] = 0x80; // another writer, between statements
    EXPECT_FALSE(interpreter.SetInput(8, true));
    EXPECT_FALSE(interpreter.SetAnalog(6, 1));
    std::vector<std::uint8_t> tooSmall(MemoryMap::kUsedSize - 1);
    EXPECT_THROW(ProgramInterpreter{tooSmall}, std::invalid_argument);
}
