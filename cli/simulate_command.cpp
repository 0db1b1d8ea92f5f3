#include "cli/simulate_command.h"

#include "cli/compile_commands.h"
#include "cli/json_object.h"
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

// What happens at a simulated time: an input's bit or an analog channel
// set, or a value forced or released.
struct InputChange {
    enum class What { Set, Force, Release };
    std::uint64_t atMs = 0;
    ValueRef ref;
    int value = 0;
    What what = What::Set;
};

std::string Describe(const InputChange& change) {
    if (change.what == InputChange::What::Release)
        return "release " + Name(change.ref);
    return (change.what == InputChange::What::Force ? "force " : "") + Name(change.ref) + '=' +
           std::to_string(change.value);
}

// NAME=VALUE[@SECONDS[-SECONDS]] taken apart: NAME as the catalogue finds
// it (nothing if it finds none), the times in milliseconds.
struct TimedValue {
    std::string name;
    std::optional<ValueRef> ref;
    int value = 0;
    std::uint64_t fromMs = 0;
    std::optional<std::uint64_t> untilMs;
};

std::optional<TimedValue> SplitTimedValue(const std::string& text) {
    static const std::regex pattern(
        R"(([^=]+)=(\d+)(?:@(\d+(?:\.\d*)?|\.\d+)(?:-(\d+(?:\.\d*)?|\.\d+))?)?)");
    std::smatch match;
    if (!std::regex_match(text, match, pattern))
        return std::nullopt;
    const auto ms = [](const std::string& seconds) {
        return static_cast<std::uint64_t>(std::llround(std::stod(seconds) * 1000));
    };
    TimedValue timed;
    timed.name = match[1].str();
    timed.ref = drivemap::Find(timed.name);
    try {
        timed.value = std::stoi(match[2]);
        timed.fromMs = match[3].matched ? ms(match[3]) : 0;
        if (match[4].matched)
            timed.untilMs = ms(match[4]);
    } catch (const std::exception&) {
        return std::nullopt;
    }
    return timed;
}

// NAME=VALUE[@SECONDS], NAME any name the catalogue finds for an input or an
// analog channel, VALUE within its range.
std::optional<InputChange> ParseSet(const std::string& text) {
    const std::optional<TimedValue> timed = SplitTimedValue(text);
    if (!timed || timed->untilMs)
        return std::nullopt;
    const std::optional<ValueRef>& ref = timed->ref;
    const bool input = ref && ref->value->id == Id::Inputs && ref->bit != ValueRef::kWhole;
    const bool analog = ref && ref->value->id == Id::Analog && ref->channel != ValueRef::kWhole;
    if (!input && !analog)
        return std::nullopt;
    InputChange change;
    change.ref = *ref;
    change.value = timed->value;
    change.atMs = timed->fromMs;
    return change.value <= ref->value->range.high ? std::optional<InputChange>(change)
                                                  : std::nullopt;
}

// What the simulator forces, from the catalogue: "Output.0 to Output.1, ...".
std::string Forceable() {
    std::string text;
    for (const drivemap::DriveValue& value : drivemap::Values()) {
        const bool bits = value.channels == 0 && !value.bits.empty();
        const ValueRef first = bits ? ValueRef{&value, ValueRef::kWhole, value.bits.front().index}
                                    : ValueRef{&value, 0};
        if (!ProgramInterpreter::Forceable(first))
            continue;
        const ValueRef last = bits ? ValueRef{&value, ValueRef::kWhole, value.bits.back().index}
                                   : ValueRef{&value, value.channels - 1};
        text += (text.empty() ? "" : ", ") + Name(first) + " to " + Name(last);
    }
    return text;
}

// NAME=VALUE[@SECONDS[-SECONDS]]: forced from the first time, released at the
// second (the program takes over from the forced value) or never. Appends
// both to changes, or says what is wrong.
std::string ParseForce(const std::string& text, std::vector<InputChange>& changes) {
    const std::string head = "--force " + text;
    const std::optional<TimedValue> timed = SplitTimedValue(text);
    if (!timed)
        return head + " is not NAME=VALUE[@SECONDS[-SECONDS]]";
    if (!timed->ref || !ProgramInterpreter::Forceable(*timed->ref))
        return head + ": " + timed->name + " cannot be forced; these can: " + Forceable();
    const ValueRef& ref = *timed->ref;
    if (timed->value > ref.value->range.high)
        return head + ": " + Name(ref) + " takes " + drivemap::Format(ref, ref.value->range.low) +
               " to " + drivemap::Format(ref, ref.value->range.high);
    if (timed->untilMs && *timed->untilMs <= timed->fromMs)
        return head + ": the release must come after the force";
    changes.push_back({timed->fromMs, ref, timed->value, InputChange::What::Force});
    if (timed->untilMs)
        changes.push_back({*timed->untilMs, ref, 0, InputChange::What::Release});
    return {};
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

// A reading as a number, as the text prints it: the error by its code, a
// bit as 0 or 1, any other value as the catalogue formats it ("50.5").
std::string Number(const ValueRef& ref, std::span<const std::uint8_t> memory) {
    if (ref.value->kind == drivemap::Kind::Text)
        return std::to_string(static_cast<int>(drivemap::Reading(ref, memory)));
    return drivemap::Text(ref, memory);
}

// A value a statement changed, named by the catalogue; a byte outside every
// value by its address, its counts in decimal.
struct Change {
    std::string name; // empty for a byte outside every value
    std::string before, after;
    std::uint16_t address = 0;
};

// The values a statement changed: a group's changed bits one by one
// ("Output.0"), any other value whole ("ReferenceSpeed").
std::vector<Change> ChangesOf(std::span<const sim::MemoryChange> changes,
                              std::span<const std::uint8_t> memory) {
    std::vector<std::uint8_t> before(memory.begin(), memory.begin() + drivemap::kUsedSize);
    for (const sim::MemoryChange& change : changes)
        if (change.address < before.size())
            before[change.address] = change.before;
    const std::span<const std::uint8_t> after = memory.first(drivemap::kUsedSize);
    std::vector<Change> changed;
    std::optional<ValueRef> last;
    for (const sim::MemoryChange& change : changes) {
        const std::optional<ValueRef> ref = drivemap::Holding(change.address);
        if (!ref) {
            changed.push_back(
                {{}, std::to_string(change.before), std::to_string(change.after), change.address});
            continue;
        }
        if (ref == last)
            continue; // the value's other byte
        last = ref;
        if (ref->value->kind == drivemap::Kind::Bits) {
            for (const drivemap::Bit& bit : ref->value->bits) {
                const ValueRef one{ref->value, ValueRef::kWhole, bit.index};
                if (Number(one, before) != Number(one, after))
                    changed.push_back({Name(one), Number(one, before), Number(one, after)});
            }
            continue;
        }
        changed.push_back({Name(*ref), Number(*ref, before), Number(*ref, after)});
    }
    return changed;
}

// "  Output.0 0->1  ReferenceSpeed 25->50.5  address 300 01->02".
std::string ChangesText(const std::vector<Change>& changes) {
    std::string text;
    for (const Change& change : changes) {
        if (change.name.empty())
            text += "  address " + std::to_string(change.address) + ' ' +
                    Hex(static_cast<std::uint8_t>(std::stoi(change.before))) + "->" +
                    Hex(static_cast<std::uint8_t>(std::stoi(change.after)));
        else
            text += "  " + change.name + ' ' + change.before + "->" + change.after;
    }
    return text;
}

// [{"name":"Output.0","before":0,"after":1},{"address":300,"before":1,...}]
std::string ChangesJson(const std::vector<Change>& changes) {
    std::string json = "[";
    for (const Change& change : changes) {
        JsonObject one;
        if (change.name.empty())
            one.Number("address", change.address);
        else
            one.String("name", change.name);
        json += (json.size() > 1 ? "," : "") +
                one.Json("before", change.before).Json("after", change.after).Text();
    }
    return json + "]";
}

// An input set, a value forced or released, as a JSON line.
std::string ChangeJson(const InputChange& change, std::uint64_t timeMs) {
    static constexpr const char* kTypes[] = {"set", "force", "release"};
    JsonObject json;
    json.String("type", kTypes[static_cast<int>(change.what)])
        .Number("t_ms", static_cast<std::int64_t>(timeMs))
        .String("name", Name(change.ref));
    if (change.what != InputChange::What::Release)
        json.Number("value", change.value);
    return json.Text();
}

// The text's final table as a JSON line: each bit of a bit group under its
// own name, the error by its code with its text beside, the units apart.
std::string ValuesJson(const ProgramInterpreter& drive) {
    JsonObject flags;
    for (int n = 0; n < Channels(Id::Timer); ++n)
        flags.Number("TimerFlag." + std::to_string(n), drive.TimerFlag(n) ? 1 : 0);
    JsonObject values;
    JsonObject units;
    const std::span<const std::uint8_t> memory = drive.Memory();
    for (const drivemap::DriveValue& value : drivemap::Values()) {
        for (int n = 0; n < std::max<int>(value.channels, 1); ++n) {
            const ValueRef ref{&value, value.channels > 0 ? n : ValueRef::kWhole};
            if (!value.unit.empty())
                units.String(Name(ref), value.unit);
            if (value.kind != drivemap::Kind::Bits) {
                values.Json(Name(ref), Number(ref, memory));
                continue;
            }
            for (const drivemap::Bit& bit : value.bits) {
                const ValueRef one{&value, ValueRef::kWhole, bit.index};
                values.Json(Name(one), Number(one, memory));
            }
        }
    }
    return JsonObject()
        .String("type", "values")
        .Number("t_ms", static_cast<std::int64_t>(drive.TimeMs()))
        .Json("timer_flags", flags.Text())
        .Json("values", values.Text())
        .Json("units", units.Text())
        .String("error_text", drivemap::ErrorText(drive.Error()))
        .Text();
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
    for (const std::string& force : options.forces)
        if (const std::string wrong = ParseForce(force, changes); !wrong.empty())
            return usage(wrong);
    ProgramInterpreter drive;
    std::vector<std::string> breakTexts; // by breakpoint id - 1
    for (const std::string& condition : options.breaks) {
        int id = 0;
        if (const std::uint8_t code = drive.AddBreakCondition(condition, id); code != 0) {
            const std::string_view message = compiler::CompileMessage(code);
            return usage("--break-when " + condition + ": " +
                         (message.empty() ? std::string("no condition") : std::string(message)));
        }
        breakTexts.push_back(condition);
    }
    // In time order; at the same time releases first (one forcing may end as
    // the next begins), the rest in the order given.
    std::stable_sort(changes.begin(), changes.end(),
                     [](const InputChange& a, const InputChange& b) {
                         const auto key = [](const InputChange& c) {
                             return std::pair(c.atMs, c.what != InputChange::What::Release);
                         };
                         return key(a) < key(b);
                     });

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

    const auto lineOf = [&statementLines](std::size_t statement) {
        return statement < statementLines.size() ? statementLines[statement] : 0;
    };
    if (options.trace) {
        drive.SetTraceHook([&](const sim::TraceRecord& record) {
            const int line = lineOf(record.statement);
            std::string statement =
                line > 0 && line <= int(sourceLines.size())
                    ? std::string(sourceLines[static_cast<std::size_t>(line - 1)])
                    : std::string();
            statement.erase(0, statement.find_first_not_of(" \t"));
            const std::vector<Change> changed = ChangesOf(record.changes, drive.Memory());
            if (options.json) {
                out << JsonObject()
                           .String("type", "statement")
                           .Number("t_ms", static_cast<std::int64_t>(record.timeMs))
                           .Number("line", line)
                           .String("statement", compiler::Windows1252ToUtf8(statement))
                           .Json("changes", ChangesJson(changed))
                           .Text()
                    << '\n';
                return;
            }
            char head[48];
            std::snprintf(head, sizeof head, "%8llu ms  line %3d  ",
                          static_cast<unsigned long long>(record.timeMs), line);
            out << head << statement << ChangesText(changed) << '\n';
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
            if (change.what == InputChange::What::Force)
                drive.Force(change.ref, static_cast<std::uint16_t>(change.value));
            else if (change.what == InputChange::What::Release)
                drive.Release(change.ref, false);
            else if (change.ref.value->id == Id::Analog)
                drive.SetAnalog(change.ref.channel, static_cast<std::uint16_t>(change.value));
            else
                drive.SetInput(change.ref.bit, change.value != 0);
            if (options.trace && options.json)
                out << ChangeJson(change, drive.TimeMs()) << '\n';
            else if (options.trace)
                out << "        at " << drive.TimeMs() << " ms: " << Describe(change) << '\n';
        }
    };
    // A run stopped by a break condition says where, when and which.
    const auto stopped = [&] {
        const std::optional<sim::BreakHit>& hit = drive.LastHit();
        if (!hit)
            return false;
        const std::string& condition = breakTexts[static_cast<std::size_t>(hit->id - 1)];
        if (options.json)
            out << JsonObject()
                       .String("type", "stop")
                       .String("reason", "break")
                       .Number("t_ms", static_cast<std::int64_t>(hit->timeMs))
                       .Number("line", lineOf(hit->statement))
                       .String("condition", condition)
                       .Text()
                << '\n';
        else
            out << "stopped at line " << lineOf(hit->statement) << ", " << hit->timeMs
                << " ms: " << condition << '\n';
        return true;
    };
    bool stop = false;
    // A trace is checked a statement at a time (a traced run steps through
    // them anyway), so refused output (a full disk) ends the run at once.
    if (options.steps) {
        for (long long i = 0; i < *options.steps; ++i) {
            applyDue();
            drive.Step();
            stop = stopped();
            if (!out)
                return kExitIoError;
            if (stop)
                break;
        }
    } else {
        const auto end =
            static_cast<std::uint64_t>(std::llround(options.forSeconds.value_or(1.0) * 1000));
        const std::uint64_t slice = options.trace ? 1 : end;
        while (!stop && drive.TimeMs() < end) {
            applyDue();
            std::uint64_t until = end;
            if (nextChange < changes.size())
                until = std::min(until, std::max(changes[nextChange].atMs, drive.TimeMs() + 1));
            drive.RunFor(std::min(until - drive.TimeMs(), slice));
            stop = stopped();
            if (!out)
                return kExitIoError;
        }
    }
    if (!stop) // what is due at the stop comes after it
        applyDue();
    if (options.json) {
        if (!stop) {
            JsonObject end;
            end.String("type", "stop");
            if (drive.Error() != 0)
                end.String("reason", "error")
                    .Number("line", lineOf(drive.ErrorStatement()))
                    .Number("error", drive.Error());
            else
                end.String("reason", "end");
            out << end.Text() << '\n';
        }
        out << ValuesJson(drive) << '\n';
    } else if (!options.trace)
        PrintFinalValues(drive, out);
    else if (drive.Error() != 0)
        out << "stopped with error " << int(drive.Error()) << '\n';
    return kExitOk;
}

} // namespace kt::cli
