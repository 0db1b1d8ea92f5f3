#include "cli/simulate_command.h"

#include "cli/compile_commands.h"
#include "cli/program_file.h"
#include "compiler/compile_messages.h"
#include "compiler/program_compiler.h"
#include "compiler/program_text.h"
#include "drivemap/drive_catalogue.h"
#include "sim/program_interpreter.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ostream>
#include <regex>
#include <span>

namespace kt::cli {

namespace {

using drivemap::At;
using drivemap::Channels;
using drivemap::Id;
using drivemap::Name;
using drivemap::ValueRef;
using sim::ProgramInterpreter;

// An input change at a simulated time: an input's bit or an analog channel.
struct InputChange {
    std::uint64_t atMs = 0;
    ValueRef ref;
    int value = 0;
};

std::string Describe(const InputChange& change) {
    return Name(change.ref) + '=' + std::to_string(change.value);
}

// NAME=VALUE[@SECONDS], NAME any name the catalogue finds for an input or an
// analog channel, VALUE within its range.
std::optional<InputChange> ParseSet(const std::string& text) {
    static const std::regex pattern(R"(([^=]+)=(\d+)(?:@(\d+(?:\.\d*)?|\.\d+))?)");
    std::smatch match;
    if (!std::regex_match(text, match, pattern))
        return std::nullopt;
    const std::optional<ValueRef> ref = drivemap::Find(match[1].str());
    const bool input = ref && ref->value->id == Id::Inputs && ref->bit != ValueRef::kWhole;
    const bool analog = ref && ref->value->id == Id::Analog && ref->channel != ValueRef::kWhole;
    if (!input && !analog)
        return std::nullopt;
    InputChange change;
    change.ref = *ref;
    try {
        change.value = std::stoi(match[2]);
        change.atMs = match[3].matched
                          ? static_cast<std::uint64_t>(std::llround(std::stod(match[3]) * 1000))
                          : 0;
    } catch (const std::exception&) {
        return std::nullopt;
    }
    const float high = input ? 1 : ref->value->range.high;
    return change.value <= high ? std::optional<InputChange>(change) : std::nullopt;
}

// What --set takes, from the catalogue.
std::string SetForms() {
    const drivemap::DriveValue& inputs = At(Id::Inputs);
    const drivemap::DriveValue& analog = At(Id::Analog);
    return "INPUT=0|1[@SECONDS] (" + Name({&inputs, ValueRef::kWhole, inputs.bits.front().index}) +
           " to " + Name({&inputs, ValueRef::kWhole, inputs.bits.back().index}) +
           ") or ANALOG=VALUE[@SECONDS] (" + Name({&analog, 0}) + " to " +
           Name({&analog, analog.channels - 1}) + ", VALUE 0 to " +
           drivemap::Format(analog, analog.range.high) + ")";
}

std::string Hex(std::uint8_t byte) {
    char text[4];
    std::snprintf(text, sizeof text, "%02X", byte);
    return text;
}

// The values a statement changed, named and formatted by the catalogue: a
// group's changed bits one by one ("Output.0 0->1"), the error by its code,
// any other value whole ("ReferenceSpeed 25->50.5"); a byte outside every
// value by its address.
std::string Changes(std::span<const sim::MemoryChange> changes,
                    std::span<const std::uint8_t> memory) {
    std::vector<std::uint8_t> before(memory.begin(), memory.begin() + drivemap::kUsedSize);
    for (const sim::MemoryChange& change : changes)
        if (change.address < before.size())
            before[change.address] = change.before;
    const std::span<const std::uint8_t> after = memory.first(drivemap::kUsedSize);
    std::string text;
    std::optional<ValueRef> last;
    for (const sim::MemoryChange& change : changes) {
        const std::optional<ValueRef> ref = drivemap::Holding(change.address);
        if (!ref) {
            text += "  address " + std::to_string(change.address) + ' ' + Hex(change.before) +
                    "->" + Hex(change.after);
            continue;
        }
        if (ref == last)
            continue; // the value's other byte
        last = ref;
        if (ref->value->kind == drivemap::Kind::Bits) {
            for (const drivemap::Bit& bit : ref->value->bits) {
                const ValueRef one{ref->value, ValueRef::kWhole, bit.index};
                const std::string was = drivemap::Text(one, before);
                const std::string is = drivemap::Text(one, after);
                if (was != is)
                    text += "  " + Name(one) + ' ' + was + "->" + is;
            }
            continue;
        }
        const auto textOf = [&](std::span<const std::uint8_t> bytes) {
            const double reading = drivemap::Reading(*ref, bytes);
            return ref->value->kind == drivemap::Kind::Text
                       ? std::to_string(static_cast<int>(reading))
                       : drivemap::Format(*ref, reading);
        };
        text += "  " + Name(*ref) + ' ' + textOf(before) + "->" + textOf(after);
    }
    return text;
}

// The simulation's own time and timer flags (no value of the drive's
// memory), then every value of the drive as read prints it.
void PrintFinalValues(const ProgramInterpreter& drive, std::ostream& out) {
    out << "time " << drive.TimeMs() << " ms\n";
    out << "timer-flags";
    for (int n = 0; n < Channels(Id::Timer); ++n)
        out << " TimerFlag." << n << '=' << (drive.TimerFlag(n) ? 1 : 0);
    out << '\n';
    const std::span<const std::uint8_t> memory = drive.Memory();
    for (const drivemap::DriveValue& value : drivemap::Values()) {
        for (int n = 0; n < std::max<int>(value.channels, 1); ++n) {
            const ValueRef ref{&value, value.channels > 0 ? n : ValueRef::kWhole};
            out << Name(ref) << ' ' << drivemap::Text(ref, memory) << '\n';
        }
    }
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
            return usage("--set " + set + " is not " + SetForms());
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
            out << head << statement << Changes(record.changes, drive.Memory()) << '\n';
        });
    }
    if (const std::uint8_t error = drive.Load(compiler.ProgramBuffer())) {
        err << args[0] << ": the drive refuses the program: error "
            << drivemap::Format(At(Id::Error), error) << '\n';
        return kExitProgramError;
    }

    std::size_t nextChange = 0;
    const auto applyDue = [&] {
        for (; nextChange < changes.size() && changes[nextChange].atMs <= drive.TimeMs();
             ++nextChange) {
            const InputChange& change = changes[nextChange];
            if (change.ref.value->id == Id::Analog)
                drive.SetAnalog(change.ref.channel, static_cast<std::uint16_t>(change.value));
            else
                drive.SetInput(change.ref.bit, change.value != 0);
            if (options.trace)
                out << "        at " << drive.TimeMs() << " ms: " << Describe(change) << '\n';
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
