#include "compiler/program_compiler.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>
#include <vector>

using namespace kt::compiler;

// The line of each statement, counted from 1 in the text itself; after a
// failure, the statements compiled before it.
TEST(StatementLines, OnePerStatementFromOne) {
    // The text with "|" for a line break, the line count before, the lines.
    for (auto [text, lineCountBefore, lines] :
         std::vector<std::tuple<std::string, long, std::vector<int>>>{
             {"Do|' start||  Counter1 = 2|Loop|", 0, {1, 4, 5}},
             {"Do|Loop", 10, {1, 2}},
             {"Do|Counter1 = 2|Foo|Loop", 0, {1, 2}},
             {"", 0, {}}}) {
        for (std::size_t bar = text.find('|'); bar != std::string::npos; bar = text.find('|'))
            text.replace(bar, 1, "\r\n");
        ProgramCompiler compiler;
        long lineCount = 0;
        compiler.CompileText("Do\r\nLoop", lineCount); // the last result must not linger
        lineCount = lineCountBefore;
        compiler.CompileText(text, lineCount);
        EXPECT_EQ(compiler.StatementLines(), lines) << text;
    }
}
