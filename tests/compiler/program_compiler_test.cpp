#include "compiler/compile_messages.h"
#include "compiler/program_compiler.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

using namespace kt::compiler;

namespace {

// The lines written with "|" between them, joined by CR LF.
std::string Lines(std::string text) {
    for (std::size_t bar = text.find('|'); bar != std::string::npos; bar = text.find('|', bar))
        text.replace(bar, 1, "\r\n");
    return text;
}

std::string Statements(int count, const std::string& statement) {
    std::string text;
    for (int i = 0; i < count; ++i)
        text += statement + "|";
    return text;
}

} // namespace

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
    const std::vector<std::uint8_t> bytes = {15, 0, 10, 0, 37, 8, 61, 0, 35, 8, 62, 0, 67, 0};
    std::copy(bytes.begin(), bytes.end(), expected.begin());
    EXPECT_EQ(compiler.ProgramBuffer(), expected);

    // An empty text compiles nothing and leaves the image alone.
    lineCount = 0;
    EXPECT_EQ(compiler.CompileText("", lineCount), kNothingToCompile);
    EXPECT_EQ(lineCount, 0);
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
