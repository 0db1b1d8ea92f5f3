#include "compiler/compile_messages.h"
#include "compiler/program_compiler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kt::compiler;

namespace {

std::string Lines(const std::vector<std::string>& lines) {
    std::string text;
    for (std::size_t i = 0; i < lines.size(); ++i)
        text += (i ? "\r\n" : "") + lines[i];
    return text;
}

std::string Statements(int count, const std::string& statement) {
    return Lines(std::vector<std::string>(static_cast<std::size_t>(count), statement));
}

struct ProgramCase {
    std::string name;
    std::string text;
    int result;
    long lineCount;
};

} // namespace

TEST(ProgramCompiler, WorkedExampleImage) {
    ProgramCompiler compiler;
    long lineCount = 0;
    const std::string text = Lines({"Do", "  If Input.0", "    Output.0 = True", "  Else",
                                    "    Output.0 = False", "  End If", "Loop"});
    ASSERT_EQ(compiler.CompileText(text, lineCount), kCompiled);
    EXPECT_EQ(lineCount, 7);
    ProgramImage expected;
    expected.fill(0xFF);
    const std::vector<std::uint8_t> bytes = {15, 0, 10, 0, 37, 8, 61, 0, 35, 8, 62, 0, 67, 0};
    std::copy(bytes.begin(), bytes.end(), expected.begin());
    EXPECT_EQ(compiler.ProgramBuffer(), expected);
}

TEST(ProgramCompiler, BlockChecksAndLineCounts) {
    const std::vector<ProgramCase> cases = {
        {"loop alone", "Loop", kLoopBeforeDo, 1},
        {"statement after loop", Lines({"Do", "Loop", "Counter0 = 1"}), kNoFinalLoop, 3},
        {"do left open", Lines({"Do", "Counter0 = 1"}), kExpectLoop, 2},
        {"if closed by loop", Lines({"If Input.0", "Loop"}), kLoopBeforeDo, 2},
        {"do closed by end if", Lines({"Do", "End If"}), kEndIfBeforeIf, 2},
        {"else first", Lines({"Else", "Do", "Loop"}), kElseBeforeIf, 1},
        {"two elses", Lines({"If Input.0", "Else", "Else"}), kConsecutiveElse, 3},
        {"if left open", Lines({"Do", "Loop", "If Input.0"}), kExpectEndIf, 3},
        {"error on third line", Lines({"Do", "' note", "Counter0 = 300", "Loop"}), kDataOutOfLimit,
         3},
        {"no statements", Lines({"' only a comment", "", "  "}), kNoFinalLoop, 3},
        {"trailing break counts a line", "Do\r\nCounter0 = 1\r\n", kExpectLoop, 3},
        {"trailing blank lines", Lines({"Do", "Loop", "", "' end", "\t"}), kCompiled, 5},
        {"lone CR breaks a line", "Do\rLoop", kCompiled, 2},
        {"lone LF does not", "Do\nLoop", kStatementNotIdentified, 1},
        {"else after nested if",
         Lines({"Do", "If Input.0", "Else", "If Input.1", "End If", "Else", "End If", "Loop"}),
         kCompiled, 8},
        {"else after do in if", Lines({"If Input.0", "Else", "Do", "Loop", "Else"}),
         kConsecutiveElse, 5},
        // The two ends of each opener range, each closed by its own closer.
        {"if openers 0 and 14",
         Lines({"Do", "If ClickedToFalse Input.1", "End If", "If WordCounter0 <> WordCounter.1",
                "End If", "Loop"}),
         kCompiled, 6},
        {"do openers 15 and 28",
         Lines({"Do", "Do Until WordCounter0 <> WordCounter.1", "Loop", "Loop"}), kCompiled, 4},
        {"28 is no if", Lines({"Do Until WordCounter0 <> WordCounter.1", "End If"}), kEndIfBeforeIf,
         2},
        {"28 left open", Lines({"Do", "Loop", "Do Until WordCounter0 <> WordCounter.0"}),
         kExpectLoop, 3},
        // Each clear of the Else flag on its own: an inner If clears it with
        // no End If in between; an End If clears it with no If after it.
        {"if clears else",
         Lines({"Do", "If Input.0", "Else", "If Input.1", "Else", "End If", "End If", "Loop"}),
         kCompiled, 8},
        {"end if clears else",
         Lines({"Do", "If Input.0", "If Input.1", "Else", "End If", "Else", "End If", "Loop"}),
         kCompiled, 8},
        // 127 statements fit; the 128th is too many, unless it is a misplaced
        // block statement, whose error comes first; deep nesting is no fault.
        {"full", Lines({"Do", Statements(125, "Counter0 = 1"), "Loop"}), kCompiled, 127},
        {"one too many", Lines({"Do", Statements(126, "Counter0 = 1"), "Loop"}), kMemoryExceeded,
         128},
        {"misplaced 128th", Lines({"Do", Statements(126, "Counter0 = 1"), "Else"}), kElseBeforeIf,
         128},
        {"128 nested", Statements(200, "Do"), kMemoryExceeded, 128},
        {"tenths rows are no blocks",
         Lines({"Do", "AccelerateRate = 102.1", "WordCounter0 = 102.1", "Loop"}), kCompiled, 4},
    };
    for (const ProgramCase& c : cases) {
        ProgramCompiler compiler;
        long lineCount = 0;
        EXPECT_EQ(compiler.CompileText(c.text, lineCount), c.result) << c.name;
        EXPECT_EQ(lineCount, c.lineCount) << c.name;
    }
}

TEST(ProgramCompiler, BufferAcrossCompilations) {
    ProgramCompiler compiler;
    long lineCount = 0;
    ASSERT_EQ(
        compiler.CompileText(Lines({"Do", Statements(125, "Counter0 = 5"), "Loop"}), lineCount),
        kCompiled);
    const ProgramImage before = compiler.ProgramBuffer();
    EXPECT_EQ(before[250], 45);
    EXPECT_EQ(before[251], 5);
    EXPECT_EQ(before[252], 67);
    EXPECT_EQ(before[253], 0);

    // An empty text compiles nothing and leaves the buffer alone.
    lineCount = 0;
    EXPECT_EQ(compiler.CompileText("", lineCount), kNothingToCompile);
    EXPECT_EQ(lineCount, 0);
    EXPECT_EQ(compiler.ProgramBuffer(), before);

    // A failed compilation keeps what it compiled and fills the rest.
    lineCount = 0;
    EXPECT_EQ(compiler.CompileText(Lines({"Do", "Counter0 = 999"}), lineCount), kDataOutOfLimit);
    EXPECT_EQ(compiler.ProgramBuffer()[0], 15);
    EXPECT_EQ(compiler.ProgramBuffer()[2], 0xFF);

    // LineCount is advanced from what the caller passes.
    lineCount = 10;
    EXPECT_EQ(compiler.CompileText(Lines({"Do", "Loop"}), lineCount), kCompiled);
    EXPECT_EQ(lineCount, 12);
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
    for (int code = 0; code < 12; ++code) {
        EXPECT_EQ(messages[static_cast<std::size_t>(code)].first, code);
        EXPECT_EQ(CompileMessage(code), messages[static_cast<std::size_t>(code)].second) << code;
    }
    EXPECT_EQ(kNothingToCompile, 255);
    EXPECT_EQ(CompileMessage(255), "");
}
