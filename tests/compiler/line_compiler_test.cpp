#include "compiler/compile_messages.h"
#include "compiler/line_compiler.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

using namespace kt::compiler;

// The opcode and operand of each line. "Counter.3 = InputByte": the first row's tail does not
// match. Tenths: W = value x 10, its high part added to the opcode. Then limits that are not
// whole numbers, and rules that scale.
TEST(LineCompiler, CompiledBytes) {
    // clang-format off
    const std::vector<std::tuple<std::string, int, int>> cases = {
        {"Counter0 = 200", 45, 200},           {"Counter0 = 254.6", 45, 255},
        {"AutoTorque = False", 35, 26},        {"Do", 15, 0},
        {"Do   ' start", 15, 0},               {"  Counter0 = 1.5e1  ' set", 45, 15},
        {"Output.1 = True", 37, 9},            {"If Input.7", 10, 7},
        {"If Not Flag.3", 10, 147},            {"Counter.3 = Counter0", 53, 3},
        {"Counter.3 = InputByte", 54, 3},      {"TriggerTimer2 By Counter.5", 79, 5},
        {"WordCounter.2 = Analog.4", 91, 132}, {"WordCounter.3 = Analog.5", 91, 166},
        {"AccelerateRate = 102.1", 32, 253},   {"AccelerateRate = 50.5", 30, 249},
        {"AccelerateRate = 0.05", 29, 1},      {"AccelerateRate = -0.04", 29, 0},
        {"RefrenceSpeed = 0", 68, 0},          {"CurrentLimit = 25.5", 34, 100},
        {"Volt% = 100", 81, 255},              {"Volt% = 50", 81, 128}};
    // clang-format on
    for (const auto& [line, opcode, operand] : cases) {
        StatementBytes code{};
        ASSERT_EQ(CompileStatement(line, code), kCompiled) << line;
        EXPECT_EQ((std::pair<int, int>{code[0], code[1]}), (std::pair{opcode, operand})) << line;
    }
}

// "3.5E38" is above the largest Single, within a double. A negative second value would corrupt
// the first one's bits. The first row whose head matches checks the values, even when its tail
// then does not match ("Counter.9 = Foo"). Text after a complete statement makes it another
// line.
TEST(LineCompiler, FailingLines) {
    // clang-format off
    const std::vector<std::pair<std::string, int>> cases = {
        {"Counter0 = 255.4", 2}, {"Counter0 = -1", 2}, {"Counter0 = 3.5E38", 2},
        {"AccelerateRate = 102.2", 2}, {"AccelerateRate = -0.06", 2}, {"Counter.8 = Counter0", 2},
        {"WordCounter.3 = Analog.6", 2}, {"WordCounter.2 = Analog.", 2}, {"If Flag.", 2},
        {"WordCounter.3 = Analog.-0.1", 2}, {"Counter.9 = Foo", 2}, {"Counter.3 = Foo", 1},
        {"counter0 = 5", 1}, {"Counter.3", 1}, {"Do\t' start", 1}, {".", 1}, {"If Flag.3 = 5", 1},
        {"WordCounter.2 = Analog.4 7", 1}, {" \t \t", 255}, {"   ' indented comment", 255}};
    // clang-format on
    for (const auto& [line, result] : cases) {
        StatementBytes code{};
        EXPECT_EQ(CompileStatement(line, code), result) << line;
    }
}

// A step that is no number or no finite result fails (the rules that work are checked through
// the rows that scale, above).
TEST(LineCompiler, ApplyRuleRefusesBadSteps) {
    for (const std::string rule : {"/0", "+", "+x", "*1e38*1e38"}) {
        Single value = 1;
        EXPECT_FALSE(ApplyRule(rule, value)) << rule;
    }
}
