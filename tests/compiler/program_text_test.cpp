#include "compiler/program_text.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace kt::compiler;

TEST(ProgramText, LinesAsTheyReadBack) {
    using Lines = std::vector<std::string_view>;
    const std::vector<std::pair<std::string, Lines>> cases = {
        {"Do\r\nLoop\r\n", {"Do", "Loop", ""}},
        {"Do\rLoop", {"Do", "Loop"}},
        {"Do\r\rLoop", {"Do", "", "Loop"}},
        {"Do\nLoop", {"Do\nLoop"}}};
    for (const auto& [text, lines] : cases)
        EXPECT_EQ(ProgramTextLines(text), lines) << text;
}

TEST(ProgramText, FileReadingRule) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"Do\r\nLoop\r\n", "Do\r\nLoop\r\n"},
        {"Do\r\nLoop\r\n\r\n", "Do\r\nLoop\r\n"},
        {"Do\r\nLoop", "Do\r\nLoop"},
        {"\r\n\r\n", "\r\n"},
        {"Do\nLoop\n\n", "Do\r\nLoop\r\n"},
        {"\nDo", "\r\nDo"},
        {"Do\r\r", "Do\r\r"}};
    for (const auto& [file, text] : cases)
        EXPECT_EQ(ReadProgramFile(file), text) << file;

    // A text saved and opened again comes back unchanged when it ends in a
    // break, and with one more break when it does not.
    for (const std::string text : {"Do\r\nLoop\r\n", "\tIf Input.1\r\n\r\n"})
        EXPECT_EQ(ReadProgramFile(WriteProgramFile(text)), text);
    EXPECT_EQ(ReadProgramFile(WriteProgramFile("Do\r\nLoop")), "Do\r\nLoop\r\n");
}

// Bytes 0x80 to 0x9F against the standard code page; the five it leaves
// undefined stand for the C1 controls of the same value.
TEST(ProgramText, Windows1252) {
    std::string high;
    for (int byte = 0x80; byte <= 0x9F; ++byte)
        high += static_cast<char>(byte);
    const std::string utf8 = "\u20AC\u0081\u201A\u0192\u201E\u2026\u2020\u2021\u02C6\u2030\u0160"
                             "\u2039\u0152\u008D\u017D\u008F\u0090\u2018\u2019\u201C\u201D\u2022"
                             "\u2013\u2014\u02DC\u2122\u0161\u203A\u0153\u009D\u017E\u0178";
    EXPECT_EQ(Windows1252ToUtf8(high), utf8);
    EXPECT_EQ(Utf8ToWindows1252(utf8), high);
    // Below and above that range the byte is the code point.
    EXPECT_EQ(Windows1252ToUtf8("\x7F\xA0\xE9\xFF"), "\u007F\u00A0\u00E9\u00FF");
    EXPECT_EQ(Utf8ToWindows1252("\u007F\u00A0\u00E9\u00FF"), "\x7F\xA0\xE9\xFF");
    EXPECT_EQ(Utf8ToWindows1252("\u4E2D"), "?");
    EXPECT_EQ(Utf8ToWindows1252("a\xC3"), "a?");       // cut short
    EXPECT_EQ(Utf8ToWindows1252("\xED\xA0\x80"), "?"); // a surrogate
    EXPECT_EQ(Utf8ToWindows1252("\xC0\xAF"), "?");     // overlong
}
