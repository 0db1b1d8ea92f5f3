#include "compiler/compile_hint.h"
#include "compiler/compile_messages.h"
#include "compiler/line_compiler.h"
#include "compiler/program_compiler.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

using namespace kt::compiler;

// The lines written with "|" between them, joined by CR LF.
static std::string Lines(std::string text) {
    for (std::size_t bar = text.find('|'); bar != std::string::npos; bar = text.find('|', bar))
        text.replace(bar, 1, "\r\n");
    return text;
}

static std::string Statements(int count, const std::string& statement) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += statement + "|";
    return text;
}

// The worked example's image; what later compilations leave of it.
TEST(ProgramCompiler, ImageAcrossCompilations) {
    ProgramCompiler compiler;
    long lineCount = 0;
    const std::string text = Lines("Do|  If Input.0|    Output.0 = True|  Else|"
                                   "    Output.0 = False|  End If|Loop");
    ASSERT_EQ(compiler.CompileText(text, lineCount), kCompiled);
    EXPECT_EQ(lineCount, 7);
    ProgramImage expected;
    expected.fill(0xFF);
    std::ranges::copy(std::vector<int>{15, 0, 10, 0, 37, 8, 61, 0, 35, 8, 62, 0, 67, 0},
                      expected.begin());
    EXPECT_EQ(compiler.ProgramBuffer(), expected);

    // An empty text compiles nothing and leaves the image alone.
    EXPECT_EQ(compiler.CompileText("", lineCount), kNothingToCompile);
    EXPECT_EQ(lineCount, 7);
    EXPECT_EQ(compiler.ProgramBuffer(), expected);

    // A failed compilation keeps what it compiled and fills the rest.
    EXPECT_EQ(compiler.CompileText(Lines("Do|Counter0 = 999"), lineCount), kDataOutOfLimit);
    EXPECT_EQ(compiler.ProgramBuffer()[0], 15);
    EXPECT_EQ(compiler.ProgramBuffer()[2], 0xFF);

    // LineCount is advanced from what the caller passes.
    lineCount = 10;
    EXPECT_EQ(compiler.CompileText(Lines("Do|Loop"), lineCount), kCompiled);
    EXPECT_EQ(lineCount, 12);
}

TEST(ProgramCompiler, BlockChecksAndLineCounts) {
    const std::vector<std::tuple<std::string, int, long>> cases = {
        {"Do|Loop|Counter0 = 1", kNoFinalLoop, 3},
        {"Do|Counter0 = 1", kExpectLoop, 2},
        {"If Input.0|Loop", kLoopBeforeDo, 2},
        {"Else|Do|Loop", kElseBeforeIf, 1},
        {"If Input.0|Else|Else", kConsecutiveElse, 3},
        {"Do|Loop|If Input.0", kExpectEndIf, 3},
        {"Do|' note|Counter0 = 300|Loop", kDataOutOfLimit, 3},
        {"Do|Counter0 = 1|", kExpectLoop, 3}, // a final break is one more line
        {"Do|Loop||' end|\t", kCompiled, 5},
        {"If Input.0|Else|Do|Loop|Else", kConsecutiveElse, 5},
        // The two ends of each opener range, each closed by its own closer.
        {"Do|If ClickedToFalse Input.1|End If|If WordCounter0 <> WordCounter.1|End If|Loop",
         kCompiled, 6},
        {"Do|Do Until WordCounter0 <> WordCounter.1|Loop|Loop", kCompiled, 4},
        {"Do Until WordCounter0 <> WordCounter.1|End If", kEndIfBeforeIf, 2},
        // Each clear of the Else flag on its own: an inner If clears it with
        // no End If in between; an End If clears it with no If after it.
        {"Do|If Input.0|Else|If Input.1|Else|End If|End If|Loop", kCompiled, 8},
        {"Do|If Input.0|If Input.1|Else|End If|Else|End If|Loop", kCompiled, 8},
        // 127 statements fit; the 128th is too many, unless it is a misplaced
        // block statement, whose error comes first; deep nesting is no fault.
        {"Do|" + Statements(125, "Counter0 = 1") + "Loop", kCompiled, 127},
        {"Do|" + Statements(126, "Counter0 = 1") + "Else", kElseBeforeIf, 128},
        {Statements(200, "Do"), kMemoryExceeded, 128},
    };
    for (const auto& [text, result, lines] : cases) {
        SCOPED_TRACE(text.substr(0, 60));
        ProgramCompiler compiler;
        long lineCount = 0;
        EXPECT_EQ(compiler.CompileText(Lines(text), lineCount), result);
        EXPECT_EQ(lineCount, lines);
    }
}

// The codes the compiler's names stand for, and their texts.
TEST(CompileMessages, CodesAndTexts) {
    const std::vector<std::pair<int, std::string_view>> messages = {
        {kCompiled, "Compiled Successfully."},
        {kStatementNotIdentified, "Error: Statement not identified."},
        {kDataOutOfLimit, "Error: Data out of limit."},
        {kVariableOutOfLimit, "Error: Varable out of limit."},
        {kExpectEndIf, "Error: Expect EndIf."},
        {kExpectLoop, "Error: Expect Loop."},
        {kConsecutiveElse, "Error: Consecutive Else."},
        {kElseBeforeIf, "Error: Else Before If."},
        {kLoopBeforeDo, "Error: Loop Before Do."},
        {kEndIfBeforeIf, "Error: EndIf Before If."},
        {kMemoryExceeded, "Error: Memory Exceeded."},
        {kNoFinalLoop, "Error: Program always ends with Loop."},
    };
    for (std::size_t code = 0; code < messages.size(); ++code) {
        EXPECT_EQ(messages[code].first, static_cast<int>(code));
        EXPECT_EQ(CompileMessage(messages[code].first), messages[code].second) << code;
    }
    EXPECT_EQ(CompileMessage(kNothingToCompile), "");
}

// The hint for each failing line and program, given the compiler's own code (checked above and
// in the line compiler's tests).
TEST(CompileHint, Lines) {
    for (const auto& [line, code, hint] : std::vector<std::tuple<std::string, int, std::string>>{
             {"RefrenceSpeed = 102.2", 2, "RefrenceSpeed takes 0 to 102.1"},
             {"Counter0 = 256 ' note", 2, "Counter0 takes 0 to 255"},
             {"CurrentLimit = 25.6", 2, "CurrentLimit takes 0 to 25.5"},
             {"Volt% = 101", 2, "Volt% takes 0 to 100"},
             {"If Counter0 >= 256", 2, "the number after If Counter0 >= is 0 to 255"},
             {"Counter.9 = Counter0", 2, "Counter takes index 0 to 7"},
             {"If Not Output.2", 2, "Output takes index 0 to 1"},
             {"WordCounter.1 = Analog.6", 2, "Analog takes index 0 to 5"},
             {"ReferenceSpeed = 50", 1, "ReferenceSpeed: did you mean RefrenceSpeed?"},
             {"  Do Untill Input.3", 1, "Untill: did you mean Until?"},
             {"EndIf", 1, "did you mean End If?"},
             {"loop", 1, "loop: did you mean Loop?"},
             {"If Input3", 1, "Input3: did you mean Input.n?"},
             {"Loop 5", 1, "did you mean Loop?"},
             {"RefrenceSpeed =", 1, "did you mean RefrenceSpeed = n?"},
             {"Counter0 = Counter.3 + 1", 1, "did you mean Counter0 = Counter.3?"},
             {"Counter0  = 5", 1, "write it as Counter0 = 5: one blank between words, no tabs"},
             {"Jump", 1, ""}, // nothing close
             {"Do", 0, ""},
             {std::string(100000, 'x'), 1, ""}}) // no search through a huge line
        EXPECT_EQ(LineHint(line, code), hint) << line.substr(0, 30);
}

TEST(CompileHint, Programs) {
    for (const auto& [lines, code, hint] : std::vector<std::tuple<std::string, int, std::string>>{
             {"Do|  If Input.0|Output.0 = True", 4, "the If on line 2 has no End If"},
             {"' x|Do|Output.0 = True", 5, "the Do on line 2 has no Loop"},
             {"Do|If Input.0|Else|Else|End If|Loop", 6,
              "the If on line 2 already has its Else on line 3"},
             {"Else", 7, "the Else on line 1 has no If"},
             {"Do|Else|Loop", 7, "the Else on line 2 stands in the Do on line 1, not in an If"},
             {"Loop", 8, "the Loop on line 1 has no Do"},
             {"Do|If Input.0|Loop", 8,
              "the If on line 2 needs its End If before the Loop on line 3"},
             {"End If", 9, "the End If on line 1 has no If"},
             {"Do|End If", 9, "the Do on line 1 needs its Loop before the End If on line 2"},
             {"Do|" + Statements(126, "Counter0 = 1") + "Loop", 10,
              "line 128 is statement 128; the drive holds 127"},
             {"Do|Loop|Output.0 = True|", 11, "the program ends on line 3 without a Loop"},
             {"Do|' x|RefrenceSpeed = 200|Loop", 2, "RefrenceSpeed takes 0 to 102.1"},
             {"Do|Loop", 0, ""}}) {
        const std::string text = Lines(lines);
        ProgramCompiler compiler;
        long lineCount = 0;
        compiler.CompileText(text, lineCount);
        EXPECT_EQ(ProgramHint(text, code, lineCount), hint) << lines.substr(0, 40);
    }
}
