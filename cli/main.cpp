// ktmotor-cli: the command-line companion of the programming environment.
#include "cli/command_help.h"
#include "cli/compile_commands.h"
#include "cli/drive_commands.h"
#include "cli/simulate_command.h"
#include "cli/standard_output.h"

#include <QCommandLineParser>
#include <QCoreApplication>

#include <algorithm>
#include <cctype>
#include <climits>
#include <iostream>
#include <map>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#ifdef _WIN32
#include <fcntl.h>
#include <io.h>
#endif

namespace {

const kt::cli::OptionSpec* FindSpec(const std::string& name) {
    for (const kt::cli::OptionSpec& spec : kt::cli::OptionSpecs())
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
        const kt::cli::OptionSpec* spec = FindSpec(name);
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
    for (const kt::cli::OptionSpec& spec : kt::cli::OptionSpecs()) {
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
    // The whole help, or the named command's own.
    const auto help = [&out](const std::vector<std::string>& named) {
        if (named.empty() || named.front() == "help") {
            out << kt::cli::Help();
            return kt::cli::kExitOk;
        }
        const std::optional<std::string> text = kt::cli::CommandHelp(named.front());
        if (!text)
            return Usage("unknown command '" + named.front() + "'");
        out << *text;
        return kt::cli::kExitOk;
    };
    if (parser.isSet(QStringLiteral("help")))
        return help(words.arguments);
    if (parser.isSet(QStringLiteral("version"))) {
        out << "ktmotor-cli " << KT_VERSION << '\n';
        return kt::cli::kExitOk;
    }
    std::vector<std::string> args = words.arguments;
    if (args.empty()) {
        std::cerr << kt::cli::Help();
        return kt::cli::kExitUsage;
    }
    const std::string command = args.front();
    args.erase(args.begin());

    for (const kt::cli::OptionSpec& spec : kt::cli::OptionSpecs()) {
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

    if (command == "help")
        return help(args);
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
        options.json = parser.isSet(QStringLiteral("json"));
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
        if (const auto found = words.values.find("force"); found != words.values.end())
            options.forces = found->second;
        if (const auto found = words.values.find("break-when"); found != words.values.end())
            options.breaks = found->second;
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
