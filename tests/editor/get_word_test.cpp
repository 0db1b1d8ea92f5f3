#include "editor/get_word.h"

#include <gtest/gtest.h>

#include <vector>

using kt::editor::GetWord;

// The caret is the "^" in each line.
TEST(GetWord, WordAroundTheCaret) {
    const std::vector<std::pair<QString, QString>> cases = {
        {"Coun^ter0 = 5", "Counter0"},
        {"Counter0 ^>= 5", ">="},
        {"If Flag.^3", "Flag.3"},
        {"Loop^", "Loop"},
        {"WordCounter.2 = Ana^log.4", "Analog.4"},
        {"Counter0 = ^(12)", "(12)"},
        {"x = ^(a b)+c d", "(a b)"},
        {"If Counter0 ^<> 5", "<>"},
        {"If Counter0 <^> 5", "<>"},
        {"If Counter0 >^= 5", ">="},
        {"If Counter0 ^< 5", "<"},
        {"Counter0 =^5", "5"},
        {"Counter0 ^= 5", "="},
        {"^Do", "Do"},
        {"a+b^", "b"},
        {"^", ""},
    };
    for (const auto& [marked, word] : cases) {
        const qsizetype caret = marked.indexOf(u'^');
        const QString line = QString(marked).remove(caret, 1);
        EXPECT_EQ(GetWord(line, caret), word) << marked.toStdString();
    }
}
