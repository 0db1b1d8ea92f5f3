#include "compiler/program_compiler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kt::compiler;

namespace {

struct LinesCase {
    std::string text; // "|" for a line break
    long lineCountBefore;
    std::vector<int> lines;
};

std::string Text(std::string text) {
    for (std::size_t bar = text.find('|'); bar != std::string::npos; bar = text.find('|', bar))
        text.replace(bar, 1, "\r\n");
    return text;
}

} // namespace

// The line of each statement, counted from 1 in the text itself; after a
// failure, the statements compiled before it.
TEST(StatementLines, OnePerStatementFromOne) {
    const std::vector<LinesCase> cases = {
        {"Do|' start||  Counter1 = 2|Loop|", 0, {1, 4, 5}},
        {"Do|Loop", 10, {1, 2}},
        {"Do|Counter1 = 2|Foo|Loop", 0, {1, 2}},
        {"", 0, {}},
    };
    for (const LinesCase& c : cases) {
        ProgramCompiler compiler;
        long lineCount = 0;
        compiler.CompileText(Text("Do|Loop"), lineCount); // the last result must not linger
        lineCount = c.lineCountBefore;
        compiler.CompileText(Text(c.text), lineCount);
        EXPECT_EQ(compiler.StatementLines(), c.lines) << c.text;
    }
}
