// ktmotor-cli: the command-line companion of the programming environment.
#include "cli/compile_commands.h"
#include "cli/drive_commands.h"
#include "cli/simulate_command.h"
#include "cli/standard_output.h"
#include "drivemap/drive_catalogue.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <algorithm>
#include <cctype>
#include <climits>
#include <iostream>
#include <map>
#include <optional>
#include <set>
#include <stdexcept>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

constexpr const char* kHelp = R"(usage: ktmotor-cli COMMAND [ARGUMENTS] [OPTIONS]

Options may stand anywhere on the line; after "--" every word is an argument.

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
      FILE must be a regular file of at most 16 MiB. OUT is replaced only
      once the whole image is on the disk; a link is followed and its target
      replaced. A character device or a named pipe is written as it is
      (--image /dev/stdout), a pipe only while something reads it; a folder
      or any other kind of file is refused.
      On a program error prints "FILE:LINE: MESSAGE" on standard error.
      Exit status 0 compiled, 1 program error or nothing to compile,
      2 a file that cannot be read or written.

Drive commands:
  ports                   the candidate ports, one per line: N DEVICE
  find                    searches the ports for the drive
  read NAME ...           reads one value or several, by the names under
                          "Values" below. "all" reads what the device
                          window's left Read All reads, "all-right" what its
                          right one reads, in the same order. One value
                          prints as it is; several print one line each:
                          NAME VALUE, with the value's name as listed. A
                          failing read ends the run; the values before it
                          are printed.
  write NAME VALUE        writes a value marked (w) below: a number in its
                          range, a bit on or off (1 or 0). A value above what
                          the drive takes is written as its largest value
                          (102.1 for rates and speed, 65 for the current
                          limit), and standard error says so.
  monitor NAME ... [--interval MS] [--count N] [--csv]
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
  erase                   erases the drive's program (asks first)
  download FILE           compiles FILE and puts it into the drive (asks first)
  simulate FILE [--for SECONDS | --steps N] [--set CHANGE]... [--trace]
                          compiles FILE and runs it on a simulated drive (no
                          port): for SECONDS of simulated time (default 1) or
                          N statement slots. CHANGE is INPUT=0|1@SECONDS or
                          ANALOG=VALUE@SECONDS, INPUT an input's name
                          (Input.3, In3) and ANALOG an analog input's
                          (Analog.2), applied at that simulated time (default
                          0). Prints the time and the timer flags (the
                          simulator's own), then every value as read prints
                          it, NAME VALUE; or with --trace a line per
                          statement: time, source line, statement, the values
                          it changed. The same command prints the same text
                          every time. A simulation, not the drive: see the
                          help topic "How a program runs in the simulator".
  virtual-drive [--link PATH]
                          serves a virtual drive on a new pseudo-terminal,
                          prints its device path, and serves until interrupted
      Exit status 0 done, 1 communication failed, 2 no drive found, 3 link
      busy, 4 argument out of range or not confirmed.

%VALUES%
Options of the drive commands:
  --port DEVICE           a port to search; repeat for more. Replaces the
                          system's list; the first one is port 1.
  --virtual-drive         adds an in-process virtual drive as the last port
  --yes                   answers Yes to the confirmation of erase and download
  --log                   prints every request and reply on standard error:
                          time in ms, port, hex bytes, what they mean;
                          resends, time-outs and failures marked

  --help                  shows this text
  --version               shows the version

A command line that cannot be understood exits with status 64.
Standard output that cannot be written (a full disk) ends any command at
once with status 2.
)";

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

std::string Help() {
    std::string help = kHelp;
    const std::string mark = "%VALUES%\n";
    return help.replace(help.find(mark), mark.size(), ValuesHelp() + '\n');
}

struct OptionSpec {
    const char* name;
    const char* valueName; // nullptr: a switch
    std::set<std::string> commands;
};

const std::set<std::string> kDriveCommands = {"ports", "find",     "read",   "write",
                                              "erase", "download", "monitor"};

const std::vector<OptionSpec>& OptionSpecs() {
    static const std::vector<OptionSpec> specs = {
        {"port", "DEVICE", kDriveCommands},  {"virtual-drive", nullptr, kDriveCommands},
        {"log", nullptr, kDriveCommands},    {"yes", nullptr, {"erase", "download"}},
        {"hex", nullptr, {"compile"}},       {"image", "OUT", {"compile"}},
        {"link", "PATH", {"virtual-drive"}}, {"interval", "MS", {"monitor"}},
        {"count", "N", {"monitor"}},         {"csv", nullptr, {"monitor"}},
        {"for", "SECONDS", {"simulate"}},    {"steps", "N", {"simulate"}},
        {"set", "CHANGE", {"simulate"}},     {"trace", nullptr, {"simulate"}},
    };
    return specs;
}

const OptionSpec* FindSpec(const std::string& name) {
    for (const OptionSpec& spec : OptionSpecs())
        if (name == spec.name)
            return &spec;
    return nullptr;
}

bool IsNegativeNumber(const std::string& word) {
    return word.size() > 1 && word[0] == '-' &&
           (std::isdigit(static_cast<unsigned char>(word[1])) || word[1] == '.');
}

// The words of the command line sorted into options and arguments, keeping
// the bytes as given: a file name need not be valid text. The parser then
// sees the options first and the arguments after "--", so a negative value
// ("write word-counter 0 -5") stays an argument.
struct Words {
    QStringList forParser;
    std::vector<std::string> arguments;
    std::map<std::string, std::vector<std::string>> values; // option -> its values, as bytes
    std::string missingValue; // an option that ends the line without its value
};

Words Sort(const std::vector<std::string>& words) {
    Words sorted;
    QStringList options;
    QStringList arguments;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word == "--") {
            for (++i; i < words.size(); ++i) {
                sorted.arguments.push_back(words[i]);
                arguments << QString::fromLocal8Bit(words[i].c_str());
            }
            break;
        }
        if (word.size() < 2 || word[0] != '-' || IsNegativeNumber(word)) {
            sorted.arguments.push_back(word);
            arguments << QString::fromLocal8Bit(word.c_str());
            continue;
        }
        options << QString::fromLocal8Bit(word.c_str());
        const std::size_t start = word.find_first_not_of('-');
        const std::size_t equals = word.find('=');
        const std::string name =
            word.substr(start, equals == std::string::npos ? std::string::npos : equals - start);
        const OptionSpec* spec = FindSpec(name);
        if (!spec || !spec->valueName)
            continue;
        if (equals != std::string::npos) {
            sorted.values[name].push_back(word.substr(equals + 1));
        } else if (i + 1 < words.size()) {
            sorted.values[name].push_back(words[++i]);
            options << QString::fromLocal8Bit(words[i].c_str());
        } else {
            sorted.missingValue = word;
        }
    }
    sorted.forParser << QStringLiteral("ktmotor-cli") << options << QStringLiteral("--")
                     << arguments;
    return sorted;
}

int Usage(const std::string& message) {
    std::cerr << "ktmotor-cli: " << message << "; see ktmotor-cli --help\n";
    return kt::cli::kExitUsage;
}

std::optional<long long> Whole(const std::string& text, long long low, long long high) {
    try {
        std::size_t used = 0;
        const long long value = std::stoll(text, &used);
        if (used == text.size() && value >= low && value <= high)
            return value;
    } catch (const std::exception&) {
    }
    return std::nullopt;
}

// Runs the command line's command, writing its output to out; the exit code.
int Run(int& argc, char* argv[], std::ostream& out) {
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("ktmotor-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(KT_VERSION));

    QCommandLineParser parser;
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.addOption({{QStringLiteral("h"), QStringLiteral("help")}, QString()});
    parser.addOption({QStringLiteral("version"), QString()});
    for (const OptionSpec& spec : OptionSpecs()) {
        QCommandLineOption option(QString::fromLatin1(spec.name));
        if (spec.valueName)
            option.setValueName(QString::fromLatin1(spec.valueName));
        parser.addOption(option);
    }
    const Words words = Sort(std::vector<std::string>(argv + 1, argv + argc));
    if (!words.missingValue.empty())
        return Usage("missing value after '" + words.missingValue + "'");
    if (const auto ports = words.values.find("port");
        ports != words.values.end() &&
        std::ranges::any_of(ports->second, [](const std::string& port) { return port.empty(); }))
        return Usage("--port takes a device name");
    if (!parser.parse(words.forParser)) {
        std::string error = parser.errorText().toStdString(); // "Unknown option 'x'."
        if (!error.empty() && error.back() == '.')
            error.pop_back();
        return Usage(error);
    }
    if (parser.isSet(QStringLiteral("help"))) {
        out << Help();
        return kt::cli::kExitOk;
    }
    if (parser.isSet(QStringLiteral("version"))) {
        out << "ktmotor-cli " << KT_VERSION << '\n';
        return kt::cli::kExitOk;
    }
    std::vector<std::string> args = words.arguments;
    if (args.empty()) {
        std::cerr << Help();
        return kt::cli::kExitUsage;
    }
    const std::string command = args.front();
    args.erase(args.begin());

    for (const OptionSpec& spec : OptionSpecs()) {
        if (parser.isSet(QString::fromLatin1(spec.name)) && !spec.commands.contains(command) &&
            command != "help")
            return Usage(std::string("option --") + spec.name + " does not apply to " + command);
    }
    const auto last = [&](const char* name) -> std::optional<std::string> {
        const auto found = words.values.find(name);
        if (found == words.values.end() || found->second.empty())
            return std::nullopt;
        return found->second.back();
    };

    if (command == "help") {
        out << Help();
        return kt::cli::kExitOk;
    }
    if (command == "line")
        return kt::cli::RunLineCommand(args, std::cin, out, std::cerr);
    if (command == "compile") {
        kt::cli::CompileOptions options;
        options.hex = parser.isSet(QStringLiteral("hex"));
        options.image = last("image");
        return kt::cli::RunCompileCommand(args, options, out, std::cerr);
    }
    if (command == "simulate") {
        kt::cli::SimulateOptions options;
        options.trace = parser.isSet(QStringLiteral("trace"));
        if (const auto seconds = last("for")) {
            try {
                std::size_t used = 0;
                options.forSeconds = std::stod(*seconds, &used);
                if (used != seconds->size())
                    return Usage("--for takes seconds");
            } catch (const std::exception&) {
                return Usage("--for takes seconds");
            }
        }
        if (const auto steps = last("steps")) {
            options.steps = Whole(*steps, 0, 1'000'000'000);
            if (!options.steps)
                return Usage("--steps takes a number of statements, 0 to 1000000000");
        }
        if (const auto found = words.values.find("set"); found != words.values.end())
            options.sets = found->second;
        return kt::cli::RunSimulateCommand(args, options, out, std::cerr);
    }
    if (command == "virtual-drive")
        return kt::cli::RunVirtualDrive(args, last("link"), out, std::cerr);
    if (kt::cli::IsDriveCommand(command)) {
        kt::cli::DriveOptions options;
        if (const auto found = words.values.find("port"); found != words.values.end())
            for (const std::string& port : found->second)
                options.ports << QString::fromLocal8Bit(port.c_str());
        options.assumeYes = parser.isSet(QStringLiteral("yes"));
        options.virtualDrive = parser.isSet(QStringLiteral("virtual-drive"));
        options.log = parser.isSet(QStringLiteral("log"));
        options.csv = parser.isSet(QStringLiteral("csv"));
        if (const auto interval = last("interval")) {
            options.intervalMs = Whole(*interval, 0, 24LL * 3600 * 1000);
            if (!options.intervalMs)
                return Usage("--interval takes milliseconds, 0 to 86400000");
        }
        if (const auto count = last("count")) {
            options.count = Whole(*count, 1, LLONG_MAX);
            if (!options.count)
                return Usage("--count takes a number of rounds, 1 or more");
        }
        return kt::cli::RunDriveCommand(command, args, options, out, std::cerr);
    }
    std::cerr << "ktmotor-cli: unknown command '" << command << "'; see ktmotor-cli --help\n";
    return kt::cli::kExitUsage;
}

} // namespace

int main(int argc, char* argv[]) {
#ifdef _WIN32
    // Line ends and image bytes pass through unchanged.
    _setmode(_fileno(stdin), _O_BINARY);
#endif
    kt::cli::StandardOutput output;
    const int result = Run(argc, argv, output.Stream());
    // Output the system refused fails any command: a shell's "> FILE" on a
    // full disk must not leave an empty FILE behind with exit 0.
    if (!output.Flush(std::cerr))
        return kt::cli::kExitIoError;
    return result;
}
