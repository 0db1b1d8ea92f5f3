#include "compiler/compile_messages.h"
#include "compiler/instruction_table.h"
#include "compiler/line_compiler.h"
#include "compiler/white_space.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <tuple>
#include <vector>

using namespace kt::compiler;

namespace {

struct LineCase {
    std::string line;
    int result;
    int opcode = -1; // checked only on result 0
    int operand = -1;
};

void ExpectLine(const LineCase& c) {
    SCOPED_TRACE("line: \"" + c.line + "\"");
    StatementBytes code{};
    const int result = CompileStatement(c.line, code);
    ASSERT_EQ(result, c.result);
    if (c.result == 0) {
        EXPECT_EQ(code[0], c.opcode);
        EXPECT_EQ(code[1], c.operand);
    }
}

} // namespace

TEST(LineCompiler, CompilesLines) {
    const std::vector<LineCase> cases = {
        {"Counter0 = 200", 0, 45, 200},
        {"Counter0 And 255", 0, 38, 255},
        {"AutoTorque = False", 0, 35, 26},
        {"Do", 0, 15, 0},
        {"Output.1 = True", 0, 37, 9},
        {"If Output.2", 2},
        {"If Input.7", 0, 10, 7},
        {"If Not TimerFlag.3", 0, 10, 163},
        {"If TimerFlag.4", 2},
        {"Do Until Not Input.7", 0, 24, 135},
        {"Do Until WordCounter0 <> WordCounter.3", 0, 28, 6},
        {"If Counter0 <> Counter.8", 2},
        {"Flag0 = Not Output.1", 0, 64, 137},
        {"Counter.3 = Counter0", 0, 53, 3},
        {"TriggerTimer2 By Counter.5", 0, 79, 5},
        {"ReferenceSpeed = WordCounter.1", 0, 72, 2},
        {"WordCounter.3 = Analog.5", 0, 91, 166},
        // Values in tenths: W = value x 10 over opcode and operand.
        {"AccelerateRate = 102.1", 0, 32, 253},
        {"DecelerateRate = 102.1", 0, 58, 253},
        {"WordCounter0 = 102.1", 0, 98, 253},
        {"RefrenceSpeed = 50", 0, 69, 244},
        // Limits that are not whole numbers, and rules that scale.
        {"CurrentLimit = 25.5", 0, 34, 100},
        {"CurrentLimit = 25.6", 2},
        {"Volt% = 100", 0, 81, 255},
        {"Volt% = 100.1", 2},
        {"Counter0 = 256", 2},
        {"Counter0 = 254.6", 0, 45, 255},
        {"Counter0 = 255.4", 2},
        {"Counter0 = 254.5", 0, 45, 254},
        {"Counter0 = -1", 2},
        {"counter0 = 5", 1},
        {"Counter0  = 5", 1},
        {"AccelerateRate = 50.5", 0, 30, 249},
        {"AccelerateRate = 102.2", 2},
        {"AccelerateRate = 0.05", 0, 29, 1},
        {"RefrenceSpeed = 0", 0, 68, 0},
        {"ReferenceSpeed = 50", 1},
        {"WordCounter0 = 25.6", 0, 96, 0},
        {"Volt% = 50", 0, 81, 128},
        {"If Not Flag.3", 0, 10, 147},
        {"Counter.3 = InputByte", 0, 54, 3},
        {"Counter.8 = Counter0", 2},
        {"Counter.3", 1},
        {"WordCounter.2 = Analog.4", 0, 91, 132},
        {"WordCounter.3 = Analog.6", 2},
        {"WordCounter.2 = Analog.", 2},
        {"If Not MotorEnable", 1},
        {"Flag0 = Not MotorEnable", 0, 64, 157},
        {"Counter0 = 7", 0, 45, 7},
        {"Counter0 = Counter.7", 0, 44, 7},
        {"Counter7 = 9", 0, 52, 9},
        {" \t \t", 255},
        {"", 255},
        {"   ' indented comment", 255},
        {"Do   ' start", 0, 15, 0},
        {"Do\t' start", 1},
        {"\t\tOutput.0 = True  \t", 0, 37, 8},
        {".", 1},
        {"If Flag.", 2},
        {"If Flag.x", 2},
        // The first row whose head matches checks the values, even when its
        // tail then does not match.
        {"Counter.9 = Foo", 2},
        {"Counter.3 = Foo", 1},
        {"WordCounter.5 = CurrentSpeed", 2},
        {"Flag.8 = Flag0", 2},
        // Text after a complete statement is not dropped: the line means
        // something else than the statement it starts with.
        {"If Flag.3 = 5", 1},
        {"If Flag.3 junk", 1},
        {"Counter0 = Counter.3 + 1", 1},
        {"WordCounter.2 = Analog.4 7", 1},
        {"If Flag.3 ' a comment", 0, 10, 19},
        {"WordCounter.2 = Analog.9 7", 2},
        // A negative second value would corrupt the first one's bits.
        {"WordCounter.3 = Analog.-0.1", 2},
        // Number text.
        {"Counter0 = 1e39", 2},
        {"Counter0 = 3.5E38", 2}, // above the largest Single, within a double
        {"Counter0 = 1" + std::string(310, '0') + "e-1", 2}, // the value decides
        {"Counter0 = 2" + std::string(400, '0') + "e-398", 0, 45, 200},
        {"WordCounter.2 = Analog.1e39", 2},
        {"Counter0 = -0", 0, 45, 0},
        {"Counter0 = .5", 0, 45, 0},
        {"Counter0 = 0x10", 1},
        {"If Input.7.0", 0, 10, 7},
        {"AccelerateRate = -0.04", 0, 29, 0},
        {"AccelerateRate = -0.06", 2},
        {"Volt% = 0.2", 0, 81, 1},
    };
    for (const LineCase& c : cases)
        ExpectLine(c);
}

// Rows per category, as the picker's menus list them.
TEST(InstructionTable, Categories) {
    std::array<int, 5> perCategory{};
    for (int index = 0; index < kInstructionCount; ++index)
        ++perCategory[static_cast<int>(CategoryOf(index))];
    EXPECT_EQ(perCategory, (std::array<int, 5>{5, 52, 58, 9, 62}));
    for (const int allOnly : {162, 180, 182, 183, 184})
        EXPECT_EQ(CategoryOf(allOnly), PickerCategory::All) << allOnly;
    EXPECT_EQ(CategoryOf(161), PickerCategory::Miscellaneous);
    EXPECT_EQ(CategoryOf(185), PickerCategory::Assign);
    EXPECT_EQ(CategoryOf(172), PickerCategory::Operational);
    EXPECT_EQ(CategoryOf(31), PickerCategory::Conditional);
    EXPECT_TRUE(InCategory(162, PickerCategory::All));
    EXPECT_FALSE(InCategory(162, PickerCategory::Miscellaneous));
    EXPECT_EQ(TemplateTextOf(11), "Counter0 = ");
    EXPECT_TRUE(TemplateTextOf(186).empty());
}

TEST(LineCompiler, SplitLineShapes) {
    using Parts = std::vector<std::string_view>;
    const std::vector<std::pair<std::string, Parts>> cases = {
        {"Do", {"Do"}},
        {"Counter0 = 200", {"Counter0 = ", "200"}},
        {"If Flag.3", {"If Flag.", "3"}},
        {"Counter.3 = Counter0", {"Counter.", "3", " = Counter0"}},
        {"WordCounter.2 = Analog.4", {"WordCounter.", "2", " = Analog.", "4"}},
        {"If Flag. 3", {"If Flag.", "", " ", "3"}},
        {"  Counter0 = 1.5e1  ' set", {"Counter0 = ", "1.5e1"}},
    };
    for (const auto& [line, parts] : cases) {
        const auto split = SplitLine(line, "'");
        ASSERT_TRUE(split.has_value()) << line;
        EXPECT_EQ(*split, parts) << line;
    }
    for (const std::string line : {"", " \t ", "'x", "\t ' x"})
        EXPECT_FALSE(SplitLine(line, "'").has_value()) << line;
    // Without a comment mark the quote is ordinary text.
    EXPECT_EQ(*SplitLine("Do ' x", ""), (Parts{"Do ' x"}));
}

TEST(LineCompiler, ApplyRuleSteps) {
    const std::vector<std::tuple<std::string, Single, Single>> cases = {
        {"*255/100", 50, 127.5f}, {"+16+128", 3, 147}, {"*1000/255", 25.5f, 100}, {"", 7, 7},
        {"+0+24+128", 0, 152},    {"%5", 4, 4}, // an unknown operator leaves the value
    };
    for (const auto& [rule, in, out] : cases) {
        Single value = in;
        ASSERT_TRUE(ApplyRule(rule, value)) << rule;
        EXPECT_EQ(value, out) << rule;
    }
    for (const std::string rule : {"/0", "+", "+x", "*1e38*1e38", "+1.2.3"}) {
        Single value = 1;
        EXPECT_FALSE(ApplyRule(rule, value)) << rule;
    }
}

TEST(WhiteSpace, WhtSpcTrimsAndReturnsIndentation) {
    const std::vector<std::tuple<std::string, std::string, std::string>> cases = {
        {"  \tIf Flag.1 \t ", "  \t", "If Flag.1"},
        {"\t \t x", "\t \t ", "x"},
        {"x", "", "x"},
        {"   ", "", ""},
        {" \t", "", ""},
        {"", "", ""},
        {"a \t b", "", "a \t b"},
    };
    for (const auto& [in, leading, rest] : cases) {
        std::string t = in;
        EXPECT_EQ(WhtSpc(t), leading) << '"' << in << '"';
        EXPECT_EQ(t, rest) << '"' << in << '"';
    }
}
