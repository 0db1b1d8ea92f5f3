// The compiler's commands of the command-line companion: "line" compiles
// source lines, "compile" compiles a program file to its image. Their output
// formats are parsed by other tools and must not change.
#pragma once

#include <iosfwd>
#include <string>
#include <vector>

namespace kt::cli {

// Exit codes of the compiler commands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitProgramError = 1; // a program error, or nothing to compile
inline constexpr int kExitIoError = 2;      // a file unreadable or unwritable; bad usage

// args are the words after the command's name.
int RunLineCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                   std::ostream& err);
int RunCompileCommand(const std::vector<std::string>& args, std::ostream& out, std::ostream& err);

} // namespace kt::cli
