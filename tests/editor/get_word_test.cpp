#include "editor/get_word.h"

#include <gtest/gtest.h>

#include <vector>

using kt::editor::GetWord;

// The caret is the "^" in each line.
TEST(GetWord, WordAroundTheCaret) {
    const std::vector<std::pair<QString, QString>> cases = {
        {"Coun^ter0 = 5", "Counter0"},
        {"If Flag.^3", "Flag.3"},
        {"x = ^(a b)+c d", "(a b)"},
        {"If Counter0 <^> 5", "<>"},
        {"Counter0 =^5", "5"},
        {"^Do", "Do"},
        {"^", ""},
    };
    for (const auto& [marked, word] : cases) {
        const qsizetype caret = marked.indexOf(u'^');
        const QString line = QString(marked).remove(caret, 1);
        EXPECT_EQ(GetWord(line, caret), word) << marked.toStdString();
    }
}
