// ktmotor-cli: the command-line companion of the programming environment.
#include "cli/compile_commands.h"
#include "cli/drive_commands.h"

#include <QCoreApplication>

#include <iostream>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

constexpr const char* kHelp = R"(usage: ktmotor-cli [OPTIONS] COMMAND [ARGUMENTS]

Compiler commands:
  line [TEXT]
      Compiles one source line, or without TEXT every line of standard input
      in turn. Prints one line per source line:
        0 OPCODE OPERAND   the compiled statement, in decimal ("0 45 200")
        CODE MESSAGE       why the line does not compile ("2 Error: Data out of limit.")
        255                the line has nothing to compile (blank or comment)
      A line of standard input longer than 1 MiB (1048576 bytes before its
      line break) is not compiled: it is answered "1 Error: Statement not
      identified." and named on standard error.
      Exit status 0.

  compile FILE [--hex] [--image OUT]
      Compiles a program file (.KtVbM) to the drive's 254-byte program image.
      Prints "Compiled Successfully."; with --hex also the image as hex bytes,
      16 per line; with --image writes the raw image to OUT.
      FILE must be a regular file. OUT is replaced only once the whole image
      is on the disk; a link is followed and its target replaced. A character
      device or a named pipe is written as it is (--image /dev/stdout), a pipe
      only while something reads it; a folder or any other kind of file is
      refused.
      On a program error prints "FILE:LINE: MESSAGE" on standard error.
      Exit status 0 compiled, 1 program error or nothing to compile,
      2 a file that cannot be read or written.

Drive commands:
  ports                   the candidate ports, one per line: N DEVICE
  find                    searches the ports for the drive
  read NAME [N]           reads a value: acceleration-rate deceleration-rate
                          reference-speed current-speed bus-volt current-limit
                          motor-current reference-volt motor-volt status inputs
                          outputs flags error timer N counter N word-counter N
                          analog N
  write NAME [N] VALUE    writes a value: acceleration-rate deceleration-rate
                          reference-speed current-limit reference-volt
                          counter N, word-counter N, timer N, flag N, output N,
                          auto-torque, command-forward, command-reverse
                          (on/off values are "on" and "off")
  erase                   erases the drive's program (asks first)
  download FILE           compiles FILE and puts it into the drive (asks first)
  virtual-drive [--link PATH]
                          serves a virtual drive on a new pseudo-terminal,
                          prints its device path, and serves until interrupted
      Exit status 0 done, 1 communication failed, 2 no drive found, 3 link
      busy, 4 argument out of range or not confirmed.

Options (before the command):
  --port DEVICE           a port to search; repeat for more. Replaces the
                          system's list; the first one is port 1.
  --virtual-drive         adds an in-process virtual drive as the last port
  --yes                   answers Yes to the confirmation of erase and download
  --help                  shows this text

A command line that cannot be understood exits with status 64.
)";

} // namespace

int main(int argc, char* argv[]) {
#ifdef _WIN32
    // Line ends and image bytes pass through unchanged.
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    QCoreApplication app(argc, argv);
    std::vector<std::string> args(argv + 1, argv + argc);

    kt::cli::DriveOptions options;
    std::size_t i = 0;
    for (; i < args.size() && args[i].starts_with("--"); ++i) {
        const std::string& option = args[i];
        if (option == "--help") {
            std::cout << kHelp;
            return kt::cli::kExitOk;
        }
        if (option == "--port" && i + 1 < args.size())
            options.ports << QString::fromLocal8Bit(args[++i].c_str());
        else if (option.starts_with("--port="))
            options.ports << QString::fromLocal8Bit(option.substr(7).c_str());
        else if (option == "--yes")
            options.assumeYes = true;
        else if (option == "--virtual-drive")
            options.virtualDrive = true;
        else {
            std::cerr << "ktmotor-cli: unknown option '" << option << "'; see ktmotor-cli --help\n";
            return kt::cli::kExitUsage;
        }
    }
    if (i == args.size()) {
        std::cerr << kHelp;
        return kt::cli::kExitUsage;
    }
    const std::string command = args[i];
    args.erase(args.begin(), args.begin() + static_cast<std::ptrdiff_t>(i) + 1);

    if (command == "help") {
        std::cout << kHelp;
        return kt::cli::kExitOk;
    }
    if (command == "line")
        return kt::cli::RunLineCommand(args, std::cin, std::cout, std::cerr);
    if (command == "compile")
        return kt::cli::RunCompileCommand(args, std::cout, std::cerr);
    if (kt::cli::IsDriveCommand(command))
        return kt::cli::RunDriveCommand(command, args, options, std::cout, std::cerr);
    std::cerr << "ktmotor-cli: unknown command '" << command << "'; see ktmotor-cli --help\n";
    return kt::cli::kExitUsage;
}
