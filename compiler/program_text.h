// Program text as it is stored and read: cutting a text into lines the way a
// sequential text file reads back, and the program file format (Windows-1252
// text, one CR LF appended on writing and taken off again on reading).
// Byte strings throughout; no file access here, callers do their own I/O.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace kt::compiler {

// The text's lines as they read back after the text is written with one more
// line break: CR LF or a lone CR ends a line (a lone LF does not), so a text
// ending in a line break yields one more, empty line. The lines are views
// into text.
std::vector<std::string_view> ProgramTextLines(std::string_view text);

// A program file's bytes as program text: a lone LF counts as a CR LF line
// break, and when the text holds a CR LF and ends with two CR LF pairs the
// last pair, which the writer appended, is removed.
std::string ReadProgramFile(std::string_view fileBytes);

// The bytes to store for a program text: the text and one CR LF.
std::string WriteProgramFile(std::string_view text);

// Windows-1252 bytes to UTF-8 and back. The five bytes the code page leaves
// undefined map to the C1 controls of the same value; a character the code
// page lacks becomes "?", and malformed UTF-8 reads as U+FFFD first.
std::string Windows1252ToUtf8(std::string_view bytes);
std::string Utf8ToWindows1252(std::string_view utf8);

} // namespace kt::compiler
