#include "compiler/compile_messages.h"

namespace kt::compiler {

constinit const std::array<std::string_view, 12> CompileMessages{
    "Compiled Successfully.",    "Error: Statement not identified.",
    "Error: Data out of limit.", "Error: Varable out of limit.",
    "Error: Expect EndIf.",      "Error: Expect Loop.",
    "Error: Consecutive Else.",  "Error: Else Before If.",
    "Error: Loop Before Do.",    "Error: EndIf Before If.",
    "Error: Memory Exceeded.",   "Error: Program always ends with Loop.",
};

std::string_view CompileMessage(int code) {
    if (code < 0 || code >= static_cast<int>(CompileMessages.size()))
        return {};
    return CompileMessages[static_cast<std::size_t>(code)];
}

} // namespace kt::compiler
