// The compiler's result codes and their message texts. The texts are the
// ones users know, misspellings included; code 255 (nothing to compile) has
// no text.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace kt::compiler {

enum CompileCode : std::uint8_t {
    kCompiled = 0,
    kStatementNotIdentified = 1,
    kDataOutOfLimit = 2,
    kVariableOutOfLimit = 3, // has a text, but no check produces it
    kExpectEndIf = 4,
    kExpectLoop = 5,
    kConsecutiveElse = 6,
    kElseBeforeIf = 7,
    kLoopBeforeDo = 8,
    kEndIfBeforeIf = 9,
    kMemoryExceeded = 10,
    kNoFinalLoop = 11,
    kNothingToCompile = 255,
};

extern const std::array<std::string_view, 12> CompileMessages;

// The text of a code; empty for a code without one, so no caller ever
// indexes past the table.
std::string_view CompileMessage(int code);

} // namespace kt::compiler
