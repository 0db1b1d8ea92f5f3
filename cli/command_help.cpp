#include "cli/command_help.h"

#include "drivemap/drive_catalogue.h"

#include <algorithm>
#include <string_view>

namespace kt::cli {

namespace {

constexpr const char* kHead = R"(usage: ktmotor-cli COMMAND [ARGUMENTS] [OPTIONS]

Options may stand anywhere on the line; after "--" every word is an argument.

)";

constexpr const char* kTail = R"(
A command line that cannot be understood exits with status 64.
Standard output that cannot be written (a full disk) ends any command at
once with status 2.
)";

constexpr const char* kHelpOption = "  --help                  shows this text\n";

constexpr const char* kDriveExits =
    R"(      Exit status 0 done, 1 communication failed, 2 no drive found, 3 link
      busy, 4 argument out of range or not confirmed.
)";

struct Command {
    const char* name;
    bool compiler; // under "Compiler commands", else "Drive commands"
    const char* text;
    const char* example;
    // Its exit statuses where its entry does not give them; nullptr: the
    // drive commands'.
    const char* exits = nullptr;
    bool values = false; // takes the names under "Values"
};

const std::vector<Command>& Commands() {
    static const std::vector<Command> commands = {
        {"line", true, R"(  line [TEXT]
      Compiles one source line, or without TEXT every line of standard input
      in turn. Prints one line per source line:
        0 OPCODE OPERAND   the compiled statement, in decimal ("0 45 200")
        CODE MESSAGE       why the line does not compile ("2 Error: Data out of limit.")
        255                the line has nothing to compile (blank or comment)
      A line of standard input longer than 1 MiB (1048576 bytes before its
      line break) is not compiled: it is answered "1 Error: Statement not
      identified." and named on standard error.
      Exit status 0.
)",
         "ktmotor-cli line \"Counter0 = 200\"", ""},
        {"compile", true, R"(  compile FILE [--hex] [--image OUT]
      Compiles a program file (.KtVbM) to the drive's 254-byte program image.
      Prints "Compiled Successfully."; with --hex also the image as hex bytes,
      16 per line; with --image writes the raw image to OUT.
      FILE must be a regular file of at most 16 MiB. OUT is replaced only
      once the whole image is on the disk; a link is followed and its target
      replaced. A character device or a named pipe is written as it is
      (--image /dev/stdout), a pipe only while something reads it; a folder
      or any other kind of file is refused.
      On a program error prints "FILE:LINE: MESSAGE" on standard error.
      Exit status 0 compiled, 1 program error or nothing to compile,
      2 a file that cannot be read or written.
)",
         "ktmotor-cli compile Blink.KtVbM --hex", ""},
        {"ports", false, "  ports                   the candidate ports, one per line: N DEVICE\n",
         "ktmotor-cli ports"},
        {"find", false, "  find                    searches the ports for the drive\n",
         "ktmotor-cli find --port /dev/ttyUSB0"},
        {"read", false, R"(  read NAME ...           reads one value or several, by the names under
                          "Values" below. "all" reads what the device
                          window's left Read All reads, "all-right" what its
                          right one reads, in the same order. One value
                          prints as it is; several print one line each:
                          NAME VALUE, with the value's name as listed. A
                          failing read ends the run; the values before it
                          are printed.
)",
         "ktmotor-cli read BusVolt Counter.3 --port /dev/ttyUSB0", nullptr, true},
        {"write", false,
         R"(  write NAME VALUE        writes a value marked (w) below: a number in its
                          range, a bit on or off (1 or 0). A value above what
                          the drive takes is written as its largest value
                          (102.1 for rates and speed, 65 for the current
                          limit), and standard error says so.
)",
         "ktmotor-cli write ReferenceSpeed 50 --port /dev/ttyUSB0", nullptr, true},
        {"monitor", false, R"(  monitor NAME ... [--interval MS] [--count N] [--csv]
                          reads the named values (as read takes them) again
                          and again, as fast as the line allows or every MS
                          milliseconds, N rounds or until interrupted (Ctrl+C
                          ends it cleanly). One line per round: the
                          milliseconds since the start, then the values,
                          separated by tabs, under a header line "# ms" and
                          the names. --csv prints CSV (RFC 4180): a header
                          row "time [s]" and each value's name with its unit
                          ("BusVolt [V]"), a column per bit of a bit group,
                          then a row per round: the seconds since the start
                          with three decimals, then the values.
)",
         "ktmotor-cli monitor BusVolt CurrentSpeed --interval 100 --count 50 --csv", nullptr, true},
        {"erase", false, "  erase                   erases the drive's program (asks first)\n",
         "ktmotor-cli erase --yes --port /dev/ttyUSB0"},
        {"download", false,
         R"(  download FILE           compiles FILE and puts it into the drive (asks first)
                          and says so: "Program written: N of 254 bytes"
)",
         "ktmotor-cli download Blink.KtVbM --port /dev/ttyUSB0"},
        {"simulate", false,
         R"(  simulate FILE [--for SECONDS | --steps N] [--set CHANGE]...
                [--force FORCING]... [--break-when CONDITION]... [--trace]
                [--json]
                          compiles FILE and runs it on a simulated drive (no
                          port): for SECONDS of simulated time (default 1) or
                          N statement slots. CHANGE is INPUT=0|1@SECONDS or
                          ANALOG=VALUE@SECONDS, INPUT an input's name
                          (Input.3, In3) and ANALOG an analog input's
                          (Analog.2), applied at that simulated time (default
                          0). FORCING is NAME=VALUE@FROM[-TO]: the value
                          (an input, output or flag, an analog input, a
                          counter, word counter or timer, as read names it)
                          is held at VALUE from FROM seconds of simulated
                          time (default 0) to TO, or to the end; the
                          program's writes leave it and its reads see VALUE.
                          At TO the program takes over from VALUE.
                          CONDITION is what follows "If " on an If line
                          ("Counter0 >= 5", "Not Flag.2"): the run stops
                          after the first statement at which one holds and
                          prints "stopped at line L, T ms: CONDITION" (T the
                          time the statement began) before the rest. Prints
                          the time and the timer flags (the simulator's
                          own), then every value as read prints it, NAME
                          VALUE; or with --trace a line per
                          statement: time, source line, statement, the values
                          it changed. With --json the same as JSON Lines,
                          an object a line, "type" first: with --trace
                          "statement" (t_ms, line, statement, changes: name
                          or address, before, after), "set" and "force"
                          (t_ms, name, value), "release" (t_ms, name); then
                          always "stop" (reason "break" with t_ms, line and
                          condition, "error" with line and error, or "end")
                          and "values" (t_ms, timer_flags, values by name,
                          each bit of a group on its own, units,
                          error_text). The manual page has the schema.
                          The same command prints the same text every time.
                          A simulation, not the drive: see the help topic
                          "How a program runs in the simulator".
)",
         "ktmotor-cli simulate Blink.KtVbM --for 2 --set Input.0=1@0.5 --trace\n"
         "  ktmotor-cli simulate AnalogThreshold.KtVbM --force Analog.0=700@0.1-0.5\n"
         "  ktmotor-cli simulate Blink.KtVbM --set Input.0=1@0.5 --break-when \"Output.0\"\n"
         "  ktmotor-cli simulate Blink.KtVbM --steps 12 --set Input.0=1@0.004 --trace --json",
         "      Exit status 0 done or stopped by --break-when, 1 program error or\n"
         "      nothing to compile, 2 a file that cannot be read.\n"},
        {"virtual-drive", false, R"(  virtual-drive [--link PATH]
                          serves a virtual drive on a new pseudo-terminal,
                          prints its device path, and serves until interrupted
)",
         "ktmotor-cli virtual-drive --link /tmp/ktmotor-drive",
         "      Exit status 0 interrupted, 1 no pseudo-terminal could be made.\n"},
    };
    return commands;
}

// Text wrapped to the help's width, each line after the first indented.
std::string Wrapped(std::string line, const std::string& text, std::size_t indent) {
    constexpr std::size_t kWidth = 79;
    std::string wrapped;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find(' ', start);
        if (end == std::string::npos)
            end = text.size();
        const std::string word = text.substr(start, end - start);
        // A mark in brackets stays with the word before it.
        if (line.size() > indent && line.size() + 1 + word.size() > kWidth && word[0] != '(') {
            wrapped += line + '\n';
            line.assign(indent, ' ');
        } else if (line.size() > indent) {
            line += ' ';
        }
        line += word;
        start = end + 1;
    }
    return wrapped + line + '\n';
}

// The drive's values as the catalogue describes them: the names read,
// monitor and write take, ranges, units and what write takes.
std::string ValuesHelp() {
    namespace dm = kt::drivemap;
    constexpr std::size_t kColumn = 26;
    std::string help = "Values (the names in any case; (w): write takes it too):\n";
    for (const dm::DriveValue& value : dm::Values()) {
        std::string name = "  " + std::string(value.name);
        std::string what;
        if (value.channels > 0) {
            name += ".N";
            what = "N 0 to " + std::to_string(value.channels - 1) + ";";
        }
        if (value.kind == dm::Kind::Bits) {
            what += what.empty() ? "bits" : " bits";
            const dm::Bit& first = value.bits.front();
            if (first.name.find('.') != std::string_view::npos) {
                what.append(" ").append(first.name).append(" to ").append(value.bits.back().name);
                what += first.writable ? " (w)" : "";
            } else {
                for (const dm::Bit& bit : value.bits)
                    what.append(" ").append(bit.name).append(bit.writable ? " (w)" : "");
            }
        } else {
            what += what.empty() ? "" : " ";
            if (value.kind == dm::Kind::Text)
                what += "a code, shown with its text (\"" + dm::Format(value, 3) + "\")";
            else
                what += dm::Format(value, value.range.low) + " to " +
                        dm::Format(value, value.range.high) +
                        (value.unit.empty() ? "" : " " + std::string(value.unit));
            what += value.writable ? " (w)" : "";
        }
        name.resize(std::max(name.size() + 1, kColumn), ' ');
        help += Wrapped(name, what, kColumn);
    }
    return help + Wrapped("",
                          "Older spellings are taken as well: bus-volt, reference-speed, "
                          "counter 3, word-counter 1, inputs, In0, Op1, flag 2, status.Fault, "
                          "AccelerateRate, Volt%.",
                          0);
}

// "read NAME ... [--port DEVICE]... [--log]": the entry's first words and
// the options it does not show already.
std::string Synopsis(const Command& command) {
    std::string_view first = command.text;
    first = first.substr(0, first.find('\n'));
    first.remove_prefix(first.find_first_not_of(' '));
    std::string synopsis(first.substr(0, first.find("  ")));
    for (const OptionSpec& option : OptionSpecs()) {
        const std::string name = std::string("--") + option.name;
        if (!option.commands.contains(command.name) || synopsis.find(name) != std::string::npos)
            continue;
        synopsis += " [" + name + (option.valueName ? std::string(" ") + option.valueName : "") +
                    "]" + (option.repeats ? "..." : "");
    }
    return synopsis;
}

} // namespace

const std::vector<OptionSpec>& OptionSpecs() {
    static const std::set<std::string> drive = {"ports", "find",     "read",   "write",
                                                "erase", "download", "monitor"};
    static const std::vector<OptionSpec> specs = {
        {"port", "DEVICE", drive, true,
         "  --port DEVICE           a port to search; repeat for more. Replaces the\n"
         "                          system's list; the first one is port 1.\n"},
        {"virtual-drive", nullptr, drive, false,
         "  --virtual-drive         adds an in-process virtual drive as the last port\n"},
        {"yes",
         nullptr,
         {"erase", "download"},
         false,
         "  --yes                   answers Yes to the confirmation of erase and download\n"},
        {"log", nullptr, drive, false,
         "  --log                   prints every request and reply on standard error:\n"
         "                          time in ms, port, hex bytes, what they mean;\n"
         "                          resends, time-outs and failures marked\n"},
        {"hex", nullptr, {"compile"}},
        {"image", "OUT", {"compile"}},
        {"link", "PATH", {"virtual-drive"}},
        {"interval", "MS", {"monitor"}},
        {"count", "N", {"monitor"}},
        {"csv", nullptr, {"monitor"}},
        {"for", "SECONDS", {"simulate"}},
        {"steps", "N", {"simulate"}},
        {"set", "CHANGE", {"simulate"}, true},
        {"force", "FORCING", {"simulate"}, true},
        {"break-when", "CONDITION", {"simulate"}, true},
        {"trace", nullptr, {"simulate"}},
        {"json", nullptr, {"simulate"}},
    };
    return specs;
}

std::string Help() {
    std::string help = kHead;
    help += "Compiler commands:\n";
    for (const Command& command : Commands())
        if (command.compiler)
            help += std::string(command.text) + '\n';
    help += "Drive commands:\n";
    for (const Command& command : Commands())
        if (!command.compiler)
            help += command.text;
    help += std::string(kDriveExits) + '\n' + ValuesHelp() + '\n';
    help += "Options of the drive commands:\n";
    for (const OptionSpec& option : OptionSpecs())
        if (option.help)
            help += option.help;
    help += std::string("\n") + kHelpOption + "  --version               shows the version\n";
    return help + kTail;
}

std::optional<std::string> CommandHelp(const std::string& name) {
    const auto found = std::ranges::find_if(
        Commands(), [&name](const Command& command) { return command.name == name; });
    if (found == Commands().end())
        return std::nullopt;
    const Command& command = *found;
    std::string help = "usage: ktmotor-cli " + Synopsis(command) + "\n\n" + command.text;
    help += command.exits ? command.exits : kDriveExits;
    help += "\nOptions:\n";
    for (const OptionSpec& option : OptionSpecs())
        if (option.help && option.commands.contains(command.name))
            help += option.help;
    help += std::string(kHelpOption) + "\nExample:\n  " + command.example + '\n';
    if (command.values)
        help += '\n' + ValuesHelp();
    return help + kTail;
}

} // namespace kt::cli
