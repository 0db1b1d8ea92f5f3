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
        {"Do\nLoop", {"Do\nLoop"}},
    };
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
        {"Do\r\r", "Do\r\r"},
    };
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
    const std::vector<std::pair<unsigned char, const char*>> high = {
        {0x80, "\u20AC"}, {0x81, "\u0081"}, {0x82, "\u201A"}, {0x83, "\u0192"}, {0x84, "\u201E"},
        {0x85, "\u2026"}, {0x86, "\u2020"}, {0x87, "\u2021"}, {0x88, "\u02C6"}, {0x89, "\u2030"},
        {0x8A, "\u0160"}, {0x8B, "\u2039"}, {0x8C, "\u0152"}, {0x8D, "\u008D"}, {0x8E, "\u017D"},
        {0x8F, "\u008F"}, {0x90, "\u0090"}, {0x91, "\u2018"}, {0x92, "\u2019"}, {0x93, "\u201C"},
        {0x94, "\u201D"}, {0x95, "\u2022"}, {0x96, "\u2013"}, {0x97, "\u2014"}, {0x98, "\u02DC"},
        {0x99, "\u2122"}, {0x9A, "\u0161"}, {0x9B, "\u203A"}, {0x9C, "\u0153"}, {0x9D, "\u009D"},
        {0x9E, "\u017E"}, {0x9F, "\u0178"}};
    ASSERT_EQ(high.size(), 32u);
    for (const auto& [byte, utf8] : high) {
        const std::string bytes(1, static_cast<char>(byte));
        EXPECT_EQ(Windows1252ToUtf8(bytes), utf8) << int(byte);
        EXPECT_EQ(Utf8ToWindows1252(utf8), bytes) << int(byte);
    }
    // Below and above that range the byte is the code point.
    EXPECT_EQ(Windows1252ToUtf8("\x7F\xA0\xE9\xFF"), "\u007F\u00A0\u00E9\u00FF");
    EXPECT_EQ(Utf8ToWindows1252("\u007F\u00A0\u00E9\u00FF"), "\x7F\xA0\xE9\xFF");
    EXPECT_EQ(Utf8ToWindows1252("\u4E2D"), "?");
    EXPECT_EQ(Utf8ToWindows1252("a\xC3"), "a?");       // cut short
    EXPECT_EQ(Utf8ToWindows1252("\xED\xA0\x80"), "?"); // a surrogate
    EXPECT_EQ(Utf8ToWindows1252("\xC0\xAF"), "?");     // overlong
}
