// ktmotor-cli: the command-line companion of the programming environment.
#include "cli/compile_commands.h"

#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

constexpr const char* kHelp = R"(usage: ktmotor-cli COMMAND [ARGUMENTS]

Commands:
  line [TEXT]
      Compiles one source line, or without TEXT every line of standard input
      in turn. Prints one line per source line:
        0 OPCODE OPERAND   the compiled statement, in decimal ("0 45 200")
        CODE MESSAGE       why the line does not compile ("2 Error: Data out of limit.")
        255                the line has nothing to compile (blank or comment)
      Exit status 0.

  compile FILE [--hex] [--image OUT]
      Compiles a program file (.KtVbM) to the drive's 254-byte program image.
      Prints "Compiled Successfully."; with --hex also the image as hex bytes,
      16 per line; with --image writes the raw image to OUT.
      On a program error prints "FILE:LINE: MESSAGE" on standard error.
      Exit status 0 compiled, 1 program error or nothing to compile,
      2 a file that cannot be read or written.

  --help
      Shows this text.
)";

} // namespace

int main(int argc, char* argv[]) {
#ifdef _WIN32
    // Line ends and image bytes pass through unchanged.
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    std::vector<std::string> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::cerr << kHelp;
        return kt::cli::kExitIoError;
    }
    const std::string command = args.front();
    args.erase(args.begin());
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kHelp;
        return kt::cli::kExitOk;
    }
    if (command == "line")
        return kt::cli::RunLineCommand(args, std::cin, std::cout, std::cerr);
    if (command == "compile")
        return kt::cli::RunCompileCommand(args, std::cout, std::cerr);
    std::cerr << "ktmotor-cli: unknown command '" << command << "'; see ktmotor-cli --help\n";
    return kt::cli::kExitIoError;
}
