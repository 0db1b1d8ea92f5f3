#include "compiler/compile_hint.h"

namespace kt::compiler {

std::string LineHint(std::string_view /*line*/, int /*code*/) {
    return {};
}

std::string ProgramHint(std::string_view /*text*/, int /*code*/, long /*lineCount*/) {
    return {};
}

} // namespace kt::compiler
