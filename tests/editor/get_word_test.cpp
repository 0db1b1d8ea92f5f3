#include "editor/get_word.h"

#include <gtest/gtest.h>

// The caret is the "^" in each line.
TEST(GetWord, WordAroundTheCaret) {
    for (const auto& [marked, word] :
         std::initializer_list<std::pair<QString, QString>>{{"Coun^ter0 = 5", "Counter0"},
                                                            {"If Flag.^3", "Flag.3"},
                                                            {"x = ^(a b)+c d", "(a b)"},
                                                            {"If Counter0 <^> 5", "<>"},
                                                            {"Counter0 =^5", "5"},
                                                            {"^Do", "Do"},
                                                            {"^", ""}}) {
        const qsizetype caret = marked.indexOf(u'^');
        EXPECT_EQ(kt::editor::GetWord(QString(marked).remove(caret, 1), caret), word)
            << marked.toStdString();
    }
}
