#include "cli/simulate_command.h"

#include "cli/compile_commands.h"
#include "cli/program_file.h"
#include "compiler/compile_messages.h"
#include "compiler/program_compiler.h"
#include "compiler/program_text.h"
#include "drivemap/drive_catalogue.h"
#include "link/cls_kt_motor.h"
#include "link/link_log.h"
#include "sim/program_interpreter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <ostream>
#include <regex>

namespace kt::cli {

namespace {

using drivemap::Address;
using drivemap::Channels;
using drivemap::Id;
using sim::ProgramInterpreter;

// An input change at a simulated time.
struct InputChange {
    std::uint64_t atMs = 0;
    bool analog = false;
    int number = 0;
    int value = 0;
    std::string text;
};

std::optional<InputChange> ParseSet(const std::string& text) {
    static const std::regex pattern(R"((input|analog)\.(\d+)=(\d+)(?:@(\d+(?:\.\d*)?|\.\d+))?)");
    std::smatch match;
    if (!std::regex_match(text, match, pattern))
        return std::nullopt;
    InputChange change;
    change.analog = match[1] == "analog";
    change.text = text;
    try {
        change.number = std::stoi(match[2]);
        change.value = std::stoi(match[3]);
        change.atMs = match[4].matched
                          ? static_cast<std::uint64_t>(std::llround(std::stod(match[4]) * 1000))
                          : 0;
    } catch (const std::exception&) {
        return std::nullopt;
    }
    const bool fits = change.analog ? change.number < Channels(Id::Analog) && change.value <= 1023
                                    : change.number < Channels(Id::Inputs) && change.value <= 1;
    return fits ? std::optional<InputChange>(change) : std::nullopt;
}

std::string Hex(std::uint8_t byte) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", byte);
    return text;
}

std::string Tenths(std::uint16_t count) {
    char text[16];
    std::snprintf(text, sizeof text, "%.1f", count / 10.0);
    return text;
}

void PrintFinalValues(const ProgramInterpreter& drive, std::ostream& out) {
    const auto bits = [&](std::uint16_t address, const char* name, int count) {
        std::string text;
        for (int k = 0; k < count; ++k)
            text += std::string(k ? " " : "") + name + std::to_string(k) + "=" +
                    ((drive.Byte(address) >> k) & 1 ? "1" : "0");
        return text;
    };
    out << "time " << drive.TimeMs() << " ms\n";
    out << "inputs " << bits(Address(Id::Inputs), "In", 8) << '\n';
    out << "outputs " << bits(Address(Id::Outputs), "Op", 2) << '\n';
    out << "flags " << bits(Address(Id::Flags), "Flag", 8) << '\n';
    std::string timerFlags;
    for (int n = 0; n < Channels(Id::Timer); ++n)
        timerFlags += std::string(n ? " " : "") + "TimerFlag" + std::to_string(n) + "=" +
                      (drive.TimerFlag(n) ? "1" : "0");
    out << "timer-flags " << timerFlags << '\n';
    const std::uint8_t status = drive.Byte(Address(Id::Status));
    out << "status Fault=" << ((status >> 7) & 1) << " MotorEnable=" << ((status >> 5) & 1)
        << " MotorForward=" << ((status >> 4) & 1) << " ProgramRunMode=" << ((status >> 3) & 1)
        << " AutoTorque=" << ((status >> 2) & 1) << " CommandReverse=" << ((status >> 1) & 1)
        << " CommandForward=" << (status & 1) << '\n';
    for (int n = 0; n < 8; ++n)
        out << "counter " << n << ' ' << int(drive.Byte(Address(Id::Counter) + n)) << '\n';
    for (int n = 0; n < 4; ++n)
        out << "word-counter " << n << ' ' << drive.Word(Address(Id::Counter) + 2 * n) << '\n';
    for (int n = 0; n < 4; ++n)
        out << "timer " << n << ' ' << int(drive.Byte(Address(Id::Timer) + n)) << '\n';
    out << "current-speed " << Tenths(drive.Word(Address(Id::CurrentSpeed))) << '\n';
    out << "reference-speed " << Tenths(drive.Word(Address(Id::ReferenceSpeed))) << '\n';
    const std::uint8_t error = drive.Byte(Address(Id::Error));
    out << "error " << int(error) << ": "
        << link::ClsKtMotor::ErrorDescription(static_cast<double>(error)).toStdString() << '\n';
}

} // namespace

int RunSimulateCommand(const std::vector<std::string>& args, const SimulateOptions& options,
                       std::ostream& out, std::ostream& err) {
    const auto usage = [&err](const std::string& why) {
        err << "ktmotor-cli simulate: " << why << "; see ktmotor-cli --help\n";
        return kExitUsage;
    };
    if (args.size() != 1)
        return usage("give one program file");
    if (options.forSeconds && options.steps)
        return usage("--for and --steps exclude each other");
    if (options.forSeconds && !(*options.forSeconds >= 0 && *options.forSeconds <= 86400))
        return usage("--for takes 0 to 86400 seconds");
    std::vector<InputChange> changes;
    for (const std::string& set : options.sets) {
        const std::optional<InputChange> change = ParseSet(set);
        if (!change)
            return usage("--set " + set +
                         " is not input.N=0|1[@SECONDS] (N 0-7) or "
                         "analog.N=VALUE[@SECONDS] (N 0-5, VALUE 0-1023)");
        changes.push_back(*change);
    }
    // In time order; changes at the same time in the order given.
    std::stable_sort(changes.begin(), changes.end(),
                     [](const InputChange& a, const InputChange& b) { return a.atMs < b.atMs; });

    const FileResult read = ReadProgramBytes(args[0]);
    if (!read.ok) {
        err << args[0] << ": cannot read: " << read.reason << '\n';
        return kExitIoError;
    }
    const std::string text = compiler::ReadProgramFile(read.data);
    compiler::ProgramCompiler compiler;
    long lineCount = 0;
    const std::uint8_t compiled = compiler.CompileText(text, lineCount);
    if (compiled != compiler::kCompiled) {
        if (compiled == compiler::kNothingToCompile)
            err << args[0] << ": nothing to compile\n";
        else
            err << args[0] << ':' << lineCount << ": " << compiler::CompileMessage(compiled)
                << '\n';
        return kExitProgramError;
    }
    const std::vector<std::string_view> sourceLines = compiler::ProgramTextLines(text);
    const std::vector<int> statementLines = compiler.StatementLines();

    ProgramInterpreter drive;
    if (options.trace) {
        drive.SetTraceHook([&](const sim::TraceRecord& record) {
            const int line =
                record.statement < statementLines.size() ? statementLines[record.statement] : 0;
            std::string statement =
                line > 0 && line <= int(sourceLines.size())
                    ? std::string(sourceLines[static_cast<std::size_t>(line - 1)])
                    : std::string();
            statement.erase(0, statement.find_first_not_of(" \t"));
            char head[48];
            std::snprintf(head, sizeof head, "%8llu ms  line %3d  ",
                          static_cast<unsigned long long>(record.timeMs), line);
            out << head << statement;
            for (const sim::MemoryChange& change : record.changes)
                out << "  " << link::LinkLog::AddressName(0, change.address, 1) << ' '
                    << Hex(change.before) << "->" << Hex(change.after);
            out << '\n';
        });
    }
    if (const std::uint8_t error = drive.Load(compiler.ProgramBuffer())) {
        err << args[0] << ": the drive refuses the program: error " << int(error) << ": "
            << link::ClsKtMotor::ErrorDescription(static_cast<double>(error)).toStdString() << '\n';
        return kExitProgramError;
    }

    std::size_t nextChange = 0;
    const auto applyDue = [&] {
        for (; nextChange < changes.size() && changes[nextChange].atMs <= drive.TimeMs();
             ++nextChange) {
            const InputChange& change = changes[nextChange];
            if (change.analog)
                drive.SetAnalog(change.number, static_cast<std::uint16_t>(change.value));
            else
                drive.SetInput(change.number, change.value != 0);
            if (options.trace)
                out << "        at " << drive.TimeMs() << " ms: " << change.text << '\n';
        }
    };
    // A trace is checked a statement at a time (a traced run steps through
    // them anyway), so refused output (a full disk) ends the run at once.
    if (options.steps) {
        for (long long i = 0; i < *options.steps; ++i) {
            applyDue();
            drive.Step();
            if (!out)
                return kExitIoError;
        }
    } else {
        const auto end =
            static_cast<std::uint64_t>(std::llround(options.forSeconds.value_or(1.0) * 1000));
        const std::uint64_t slice = options.trace ? 1 : end;
        while (drive.TimeMs() < end) {
            applyDue();
            std::uint64_t until = end;
            if (nextChange < changes.size())
                until = std::min(until, std::max(changes[nextChange].atMs, drive.TimeMs() + 1));
            drive.RunFor(std::min(until - drive.TimeMs(), slice));
            if (!out)
                return kExitIoError;
        }
    }
    applyDue();
    if (!options.trace)
        PrintFinalValues(drive, out);
    else if (drive.Error() != 0)
        out << "stopped with error " << int(drive.Error()) << '\n';
    return kExitOk;
}

} // namespace kt::cli
