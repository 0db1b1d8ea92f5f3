// The compiler's commands of the command-line companion: "line" compiles
// source lines, "compile" compiles a program file to its image. Their output
// formats are parsed by other tools and must not change.
#pragma once

#include "compiler/program_compiler.h"

#include <cstddef>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace kt::cli {

// Exit codes of the compiler commands.
inline constexpr int kExitOk = 0;
inline constexpr int kExitProgramError = 1; // a program error, or nothing to compile
// A file unreadable or unwritable, standard output too: a command writing
// much stops when out goes bad; saying why is StandardOutput's.
inline constexpr int kExitIoError = 2;
inline constexpr int kExitUsage = 64; // a command line that cannot be understood

// The longest source line "line" compiles from standard input, in bytes
// before its break; a longer one is answered as not identified.
inline constexpr std::size_t kMaxLineBytes = 1024 * 1024;

// Reads and compiles a program file as the compile command does, telling
// err what went wrong (withHint: and on a line of its own how to fix it);
// 0 with the image, or the exit code of the failure.
int CompileProgramFile(const std::string& file, std::ostream& err, compiler::ProgramImage& image,
                       bool withHint = false);

// args are the words after the command's name.
int RunLineCommand(const std::vector<std::string>& args, std::istream& in, std::ostream& out,
                   std::ostream& err);
struct CompileOptions {
    bool hex = false;                 // --hex
    std::optional<std::string> image; // --image OUT, as the command line's bytes
};
int RunCompileCommand(const std::vector<std::string>& args, const CompileOptions& options,
                      std::ostream& out, std::ostream& err);

} // namespace kt::cli
