#include "compiler/program_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kt::compiler;

TEST(ProgramText, LinesAsTheyReadBack) {
    using Lines = std::vector<std::string_view>;
    const std::vector<std::pair<std::string, Lines>> cases = {
        {"", {""}},
        {"Do", {"Do"}},
        {"Do\r\nLoop", {"Do", "Loop"}},
        {"Do\r\nLoop\r\n", {"Do", "Loop", ""}},
        {"Do\rLoop", {"Do", "Loop"}},
        {"Do\r", {"Do", ""}},
        {"Do\r\rLoop", {"Do", "", "Loop"}},
        {"Do\nLoop", {"Do\nLoop"}},
        {"\r\n\r\n", {"", "", ""}},
    };
    for (const auto& [text, lines] : cases)
        EXPECT_EQ(ProgramTextLines(text), lines) << text;
}

TEST(ProgramText, FileReadingRule) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"Do\r\nLoop\r\n", "Do\r\nLoop\r\n"},
        {"Do\r\nLoop\r\n\r\n", "Do\r\nLoop\r\n"},
        {"Do\r\nLoop", "Do\r\nLoop"},
        {"Do", "Do"},
        {"\r\n\r\n", "\r\n"},
        {"Do\nLoop\n", "Do\r\nLoop\r\n"},
        {"Do\nLoop\n\n", "Do\r\nLoop\r\n"},
        {"\nDo", "\r\nDo"},
        {"Do\r\r", "Do\r\r"},
        {"", ""},
    };
    for (const auto& [file, text] : cases)
        EXPECT_EQ(ReadProgramFile(file), text) << file;

    // A text saved and opened again comes back unchanged when it ends in a
    // break, and with one more break when it does not.
    for (const std::string text : {"Do\r\nLoop\r\n", "\tIf Input.1\r\n\r\n"})
        EXPECT_EQ(ReadProgramFile(WriteProgramFile(text)), text);
    EXPECT_EQ(ReadProgramFile(WriteProgramFile("Do\r\nLoop")), "Do\r\nLoop\r\n");
}

TEST(ProgramText, Windows1252) {
    std::string all;
    for (int b = 0; b < 256; ++b)
        all += static_cast<char>(b);
    EXPECT_EQ(Utf8ToWindows1252(Windows1252ToUtf8(all)), all);

    EXPECT_EQ(Windows1252ToUtf8("\x80"), "\u20AC");
    EXPECT_EQ(Windows1252ToUtf8("\xE9t\xE9"), "\u00E9t\u00E9");
    EXPECT_EQ(Utf8ToWindows1252("\u2018x\u2019"), "\x91x\x92");
    EXPECT_EQ(Utf8ToWindows1252("\u4E2D"), "?");
    EXPECT_EQ(Utf8ToWindows1252("a\xC3"), "a?");       // cut short
    EXPECT_EQ(Utf8ToWindows1252("\xED\xA0\x80"), "?"); // a surrogate
    EXPECT_EQ(Utf8ToWindows1252("\xC0\xAF"), "?");     // overlong
}
