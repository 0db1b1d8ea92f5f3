#include "compiler/compile_hint.h"
#include "compiler/line_compiler.h"
#include "compiler/program_compiler.h"

#include <gtest/gtest.h>

#include <string>

using namespace kt::compiler;

namespace {

// The lines written with "|" between them, joined by CR LF.
std::string Lines(std::string text) {
    for (std::size_t bar = text.find('|'); bar != std::string::npos; bar = text.find('|', bar))
        text.replace(bar, 1, "\r\n");
    return text;
}

} // namespace

// Each line's code is the compiler's own, so the hint explains a real result.
TEST(CompileHint, Lines) {
    struct Row {
        const char* line;
        int code;
        const char* hint;
    };
    const Row rows[] = {
        {"RefrenceSpeed = 102.2", 2, "RefrenceSpeed takes 0 to 102.1"},
        {"DecelerateRate = -1", 2, "DecelerateRate takes 0 to 102.1"},
        {"Counter0 = 256 ' note", 2, "Counter0 takes 0 to 255"},
        {"CurrentLimit = 25.6", 2, "CurrentLimit takes 0 to 25.5"},
        {"Volt% = 101", 2, "Volt% takes 0 to 100"},
        {"TriggerTimer0 300", 2, "TriggerTimer0 takes 0 to 255"},
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
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        StatementBytes bytes{};
        ASSERT_EQ(CompileStatement(row.line, bytes), row.code);
        EXPECT_EQ(LineHint(row.line, row.code), row.hint);
    }
    EXPECT_EQ(LineHint(std::string(100000, 'x'), 1), ""); // no search through a huge line
}

TEST(CompileHint, Programs) {
    struct Row {
        std::string text;
        int code;
        const char* hint;
    };
    std::string full = "Do|";
    for (int i = 0; i < 126; ++i)
        full += "Counter0 = 1|";
    const Row rows[] = {
        {"Do|  If Input.0|Output.0 = True", 4, "the If on line 2 has no End If"},
        {"' x|Do|Output.0 = True", 5, "the Do on line 2 has no Loop"},
        {"Do|If Input.0|Else|Else|End If|Loop", 6,
         "the If on line 2 already has its Else on line 3"},
        {"Else", 7, "the Else on line 1 has no If"},
        {"Do|Else|Loop", 7, "the Else on line 2 stands in the Do on line 1, not in an If"},
        {"Loop", 8, "the Loop on line 1 has no Do"},
        {"Do|If Input.0|Loop", 8, "the If on line 2 needs its End If before the Loop on line 3"},
        {"End If", 9, "the End If on line 1 has no If"},
        {"Do|End If", 9, "the Do on line 1 needs its Loop before the End If on line 2"},
        {full + "Loop", 10, "line 128 is statement 128; the drive holds 127"},
        {"Do|Loop|Output.0 = True|", 11, "the program ends on line 3 without a Loop"},
        {"Do|' x|RefrenceSpeed = 200|Loop", 2, "RefrenceSpeed takes 0 to 102.1"},
        {"Do|Lop", 1, "Lop: did you mean Loop?"},
        {"Do|Loop", 0, ""},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        const std::string text = Lines(row.text);
        ProgramCompiler compiler;
        long lineCount = 0;
        ASSERT_EQ(compiler.CompileText(text, lineCount), row.code);
        EXPECT_EQ(ProgramHint(text, row.code, lineCount), row.hint);
    }
}
