#include "compiler/compile_messages.h"
#include "compiler/instruction_table.h"
#include "compiler/line_compiler.h"
#include "compiler/white_space.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <set>
#include <string>
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
        {"Counter0 = -0", 0, 45, 0},
        {"Counter0 = 1e-50", 0, 45, 0},
        {"Counter0 = 2e2", 0, 45, 200},
        {"Counter0 = .5", 0, 45, 0},
        {"Counter0 = 0x10", 1},
        {"If Input.7.0", 0, 10, 7},
        {"AccelerateRate = -0.04", 0, 29, 0},
        {"AccelerateRate = -0.06", 2},
        {"CurrentLimit = -1e38", 2},
        {"Volt% = 0.2", 0, 81, 1},
    };
    for (const LineCase& c : cases)
        ExpectLine(c);
}

// Number texts of any length: the value decides, not how it is written.
// Too large for a Single is out of limit; too small reads as 0.
TEST(LineCompiler, LongNumberTexts) {
    const std::string zeros310(310, '0'), zeros323(323, '0'), zeros400(400, '0');
    const std::string huge = "99999999999999999999"; // an exponent no integer holds
    const std::vector<LineCase> cases = {
        {"Counter0 = 1" + zeros310 + "e-1", 2},            // 1e309, beyond a double too
        {"Counter0 = -1" + zeros310 + "e-1", 2},           // -1e309
        {"Counter0 = ." + zeros323 + "1", 0, 45, 0},       // 1e-324, below a double too
        {"Counter0 = -." + zeros323 + "1", 0, 45, 0},      // -1e-324
        {"Counter0 = 1" + zeros400 + "e-390", 2},          // 1e10
        {"Counter0 = 2" + zeros400 + "e-398", 0, 45, 200}, // 200
        {"Counter0 = 0." + std::string(330, '0') + "2e+333", 0, 45, 200},
        {"Counter0 = " + zeros400, 0, 45, 0},
        {"Counter0 = 0e" + huge, 0, 45, 0},
        {"Counter0 = 1e-" + huge, 0, 45, 0},
        {"Counter0 = 1e" + huge, 2},
        {"Counter0 = 1" + zeros310 + "e-" + huge, 0, 45, 0},
        {"Counter0 = 0." + zeros310 + "1e" + huge, 2},
        {"Counter0 = 3.5E38", 2}, // above the largest Single, within a double
        {"Counter0 = 1e-45", 0, 45, 0},
        {"AccelerateRate = 1" + zeros310 + "e-1", 2}, // the tenths rows
        {"AccelerateRate = ." + zeros323 + "1", 0, 29, 0},
        {"WordCounter.2 = Analog.1" + zeros310 + "e-1", 2}, // a second value
        {"WordCounter.2 = Analog.." + zeros323 + "1", 0, 91, 4},
    };
    for (const LineCase& c : cases)
        ExpectLine(c);
}

namespace {

std::string Number(double v) {
    char text[32];
    std::snprintf(text, sizeof text, "%g", v);
    return text;
}

// The table's rules are "+n" and "*n" / "/n" steps read left to right.
double Evaluate(const std::string& rule, double value) {
    double result = value;
    std::size_t i = 0;
    while (i < rule.size()) {
        const char op = rule[i++];
        std::size_t used = 0;
        const double n = std::stod(rule.substr(i), &used);
        i += used;
        result = op == '+' ? result + n : op == '*' ? result * n : result / n;
    }
    return result;
}

std::vector<std::string> Split(const std::string& text, char sep) {
    std::vector<std::string> fields(1);
    for (const char c : text) {
        if (c == sep)
            fields.emplace_back();
        else
            fields.back() += c;
    }
    return fields;
}

// Template, opcode, limits, rules of a row; each of the last two as a pair.
struct RowText {
    std::string text;
    int opcode;
    std::vector<double> limits;
    std::vector<std::string> rules;
};

RowText ReadRow(int index) {
    std::vector<std::string> fields = Split(std::string(InstructionTable[index]), ',');
    fields.resize(4);
    RowText row{fields[0], std::stoi(fields[1]), {}, Split(fields[3], '|')};
    for (const std::string& limit : Split(fields[2], '|'))
        row.limits.push_back(std::stod(limit));
    row.limits.resize(2);
    row.rules.resize(2);
    return row;
}

// The source line of a row with its values filled in.
std::string Fill(const std::string& text, const std::string& first, const std::string& second) {
    const std::size_t dot = text.find('.');
    if (dot == std::string::npos)
        return text.back() == ' ' ? text + first : text;
    std::string line = text.substr(0, dot + 1) + first + text.substr(dot + 1);
    if (line.back() == '.')
        line += second;
    return line;
}

} // namespace

// Every row compiles from its own template at its limits and refuses a value
// just above them; the first match must be the row itself.
TEST(LineCompiler, EveryRowAtAndAboveItsLimit) {
    for (int index = 0; index < kInstructionCount; ++index) {
        const RowText row = ReadRow(index);
        SCOPED_TRACE("row " + std::to_string(index) + ": " + row.text);
        const auto [limit0, limit1] = std::pair(row.limits[0], row.limits[1]);

        StatementBytes code{};
        const std::string atLimit = Fill(row.text, Number(limit0), Number(limit1));
        ASSERT_EQ(CompileStatement(atLimit, code), 0) << atLimit;
        const bool tenths = limit0 == 102.1;
        const double operand =
            tenths ? 1021 % 256 : Evaluate(row.rules[0], limit0) + Evaluate(row.rules[1], limit1);
        EXPECT_EQ(code[0], row.opcode + (tenths ? 1021 / 256 : 0));
        EXPECT_EQ(code[1], std::nearbyint(operand));

        if (limit0 == 0)
            continue; // nothing to exceed
        const double step = limit0 == std::floor(limit0) ? 1 : 0.1;
        EXPECT_EQ(CompileStatement(Fill(row.text, Number(limit0 + step), Number(limit1)), code),
                  kDataOutOfLimit);
        if (limit1 != 0) {
            EXPECT_EQ(CompileStatement(Fill(row.text, Number(limit0), Number(limit1 + 1)), code),
                      kDataOutOfLimit);
        }
    }
}

// Opcodes 0..99 are all reachable: from a row, or from the tenths rows' carry.
TEST(InstructionTable, CoversEveryOpcodeAndCategory) {
    std::set<int> opcodes;
    std::array<int, 5> perCategory{};
    for (int index = 0; index < kInstructionCount; ++index) {
        const int opcode = ReadRow(index).opcode;
        opcodes.insert(opcode);
        if (ReadRow(index).limits[0] == 102.1) {
            for (int carry = 1; carry <= 3; ++carry)
                opcodes.insert(opcode + carry);
        }
        ++perCategory[static_cast<int>(CategoryOf(index))];
        EXPECT_TRUE(InCategory(index, PickerCategory::All));
    }
    EXPECT_EQ(opcodes.size(), 100u);
    EXPECT_EQ(*opcodes.rbegin(), 99);
    EXPECT_EQ(perCategory, (std::array<int, 5>{5, 52, 58, 9, 62}));

    EXPECT_EQ(TemplateTextOf(11), "Counter0 = ");
    for (const int allOnly : {162, 180, 182, 183, 184})
        EXPECT_EQ(CategoryOf(allOnly), PickerCategory::All) << allOnly;
    EXPECT_FALSE(InCategory(162, PickerCategory::Miscellaneous));
    EXPECT_TRUE(TemplateTextOf(186).empty());
}

TEST(LineCompiler, SplitTemplateFields) {
    const TemplateFields analog = SplitTemplate(181);
    EXPECT_EQ(analog.TemplateText, "WordCounter. = Analog.");
    EXPECT_EQ(analog.TemplateHead, "WordCounter.");
    EXPECT_EQ(analog.TemplateTail, " = Analog.");
    EXPECT_EQ(analog.StatementCode, (StatementBytes{91, 0}));
    EXPECT_EQ(analog.TemplateLimit, (std::array<Single, 2>{3, 5}));
    EXPECT_EQ(analog.TemplateRule, (std::array<std::string, 2>{"*2", "*32"}));

    EXPECT_EQ(SplitTemplate(186).TemplateText, "");
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

// Whatever a line holds, the result is one of the line compiler's codes.
TEST(LineCompiler, AnyLineGivesACode) {
    const std::set<int> codes = {0, 1, 2, 255};
    std::vector<std::string> lines = {
        std::string(100000, 'x'),
        std::string(100000, '.'),
        "Counter0 = " + std::string(100000, '9'),
        "If Flag." + std::string(100000, '1'),
        std::string("Do\0Loop", 7),
        "\x80\xff\x01\x7f",
        "WordCounter." + std::string(50000, ' ') + ".",
    };
    const std::vector<std::string> pieces = {
        "Counter0", "Counter.", "Flag.",   "WordCounter.", " = ",   " ",   "\t",
        ".",        "'",        "1",       "255",          "102.1", "-0",  "1e39",
        "e",        "+",        "Analog.", "\xe9",         "\0",    "Not "};
    std::mt19937 random(12345);
    for (int n = 0; n < 20000; ++n) {
        std::string line;
        const int count = static_cast<int>(random() % 8);
        for (int k = 0; k < count; ++k)
            line += pieces[random() % pieces.size()];
        lines.push_back(line);
    }
    for (int index = 0; index < kInstructionCount; ++index)
        lines.push_back(std::string(TemplateTextOf(index)));
    for (const std::string& line : lines) {
        StatementBytes code{};
        EXPECT_TRUE(codes.contains(CompileStatement(line, code))) << line.substr(0, 80);
    }
}
