// What to do about a compile error, in words: the allowed range of a value,
// the nearest known statement for an unknown word, the block left open. The
// specified messages stay as they are; these hints go beside them (status
// bar, tooltips, the command line's standard error, the simulator's state).
// Not a compiler: it re-reads the failing line or text to explain a result.
#pragma once

#include <string>
#include <string_view>

namespace kt::compiler {

// The hint for one source line's result code from CompileStatement; empty
// when the line compiles or nothing more can be said.
std::string LineHint(std::string_view line, int code);

// The hint for a whole program's result from ProgramCompiler::CompileText:
// text in CR LF lines, code and lineCount as CompileText gave them. Empty
// when there is nothing to add. The lines it names are counted in the text
// itself, wherever the caller's LineCount started.
std::string ProgramHint(std::string_view text, int code, long lineCount);

} // namespace kt::compiler
