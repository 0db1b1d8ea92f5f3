#include "compiler/line_compiler.h"
#include "compiler/program_compiler.h"
#include "drivemap/drive_catalogue.h"
#include "sim/program_interpreter.h"
#include "sim/simulation_assumptions.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <set>
#include <string>
#include <tuple>
#include <vector>

using kt::drivemap::Address;
using kt::drivemap::Id;
using namespace kt;
using namespace kt::sim;

constexpr std::uint16_t kCounter = Address(Id::Counter);

// Raw bytes, the rest 0xFF.
static compiler::ProgramImage ImageOfBytes(const std::vector<std::uint8_t>& bytes) {
    compiler::ProgramImage image;
    image.fill(compiler::kImageFill);
    std::copy_n(bytes.begin(), std::min(bytes.size(), image.size()), image.begin());
    return image;
}

// The lines written with "|" between them, each compiled on its own: a test
// can hold programs the program compiler would refuse.
static compiler::ProgramImage ImageOf(const std::string& lines) {
    std::vector<std::uint8_t> bytes;
    for (std::size_t start = 0, bar = 0; bar != std::string::npos; start = bar + 1) {
        bar = lines.find('|', start);
        const std::string line = lines.substr(start, bar == std::string::npos ? bar : bar - start);
        compiler::StatementBytes code{};
        EXPECT_EQ(compiler::CompileStatement(line, code), 0) << line;
        bytes.insert(bytes.end(), code.begin(), code.end());
    }
    return ImageOfBytes(bytes);
}

// A powered-up drive with the inputs given and analog input n at 1000 + n,
// running the lines and then resting in a closing Do / Loop.
struct Drive {
    ProgramInterpreter sim;

    explicit Drive(const std::string& lines, std::uint8_t inputs = 0) {
        for (int n = 0; n < drivemap::Channels(drivemap::Id::Inputs); ++n) // 6 analog of them
            sim.SetInput(n, (inputs >> n & 1) != 0),
                sim.SetAnalog(n, static_cast<std::uint16_t>(1000 + n));
        EXPECT_EQ(sim.Load(ImageOf(lines + "|Do|Loop")), 0) << lines;
    }
};

// One row per kind of statement, condition and block nesting: the word it leaves (low byte
// first) once the program rests in its closing Do / Loop. Tenths as the command set stores them,
// the value's high part in the opcode; word counters wrap at 16 bits; Flag0 with a bit sets
// Flag0 only; a condition sets Flag.1 when it holds, Flag.2 when not ("300 against 45" compares
// words, not low bytes); blocks pair as the compiler nests them, and a Loop inside an If part
// goes back to its own Do.
TEST(ProgramInterpreter, ProgramsLeaveTheirValues) {
    const std::string ifElse = "|Flag.1 = True|Else|Flag.2 = True|End If";
    constexpr std::uint16_t kFlags = Address(Id::Flags);
    const std::string nestedIf = "If Input.0|If Input.1|Counter1 = 1|Else|Counter1 = 2|End If|"
                                 "Else|If Input.1|Counter1 = 3|Else|Counter1 = 4|End If|End If";
    // The second Else of one If, accepted with an If between: never runs.
    const std::string twoElses = "If Input.0|Counter1 = 1|Else|If Input.1|End If|Counter2 = 2|"
                                 "Else|Counter3 = 3|End If";
    // Two rounds of an outer loop, two of an inner one in each.
    const std::string nestedDo = "WordCounter0 = 0.2|Do Until WordCounter0 = WordCounter.1|"
                                 "WordCounter1 = WordCounter1 + 1|Counter4 = 0|"
                                 "Do Until WordCounter0 = WordCounter.2|"
                                 "WordCounter2 = WordCounter2 + 1|WordCounter3 = WordCounter3 + 1|"
                                 "Loop|Loop";
    const std::string wordIf = "WordCounter0 = 30|Counter2 = 45|If WordCounter0 >= WordCounter.1";
    const std::string doInIf = "If Input.0|Do Until Counter0 = 3|Counter0 = 3|Loop|Counter1 = 7";
    using Row = std::tuple<std::string, std::uint8_t, std::uint16_t, int>;
    // clang-format off
    for (const auto& [lines, inputs, address, word] : std::vector<Row>{
             {"Counter0 = 12|Counter3 = 10|Counter0 Xor Counter.3", 0, kCounter, 6},
             {"Counter5 = 77|Counter0 = Counter.5|Counter.6 = Counter0", 0, kCounter + 6, 77},
             {"Counter.2 = InputByte", 0xA5, kCounter + 2, 0xA5}, {nestedDo, 0, kCounter + 6, 4},
             {"DecelerateRate = 102.1", 0, Address(Id::DecelerationRate), 1021},
             {"Counter4 = 7|Counter5 = 1|DecelerateRate = WordCounter.2", 0, 272, 263},
             {"CurrentLimit = 12.75", 0, Address(Id::CurrentLimit), 50},
             {"WordCounter2 = WordCounter2 - 1", 0, kCounter + 4, 65535},
             {"Counter6 = 255|Counter7 = 255|WordCounter3 = WordCounter3 + 1", 0, kCounter + 6, 0},
             {"WordCounter.2 = Analog.4", 0, kCounter + 4, 1004},
             {"RefrenceSpeed = 12.3|WordCounter.1 = RefrenceSpeed", 0, kCounter + 2, 123},
             {"Flag.3 = True|Flag.3 = False|Flag.4 = True", 0, kFlags, 0x10},
             {"Flag.0 = True|Output.0 = Flag0", 0, Address(Id::Outputs), 1},
             {"Flag.7 = True|Flag0 = Input.3", 8, kFlags, 0x81},
             {"Flag.0 = True|Flag0 Xor Input.3", 0x08, kFlags, 0}, {wordIf + ifElse, 0, kFlags, 2},
             {"Counter0 = 5|If Counter0 <> 5" + ifElse, 0, kFlags, 4},
             {"Counter0 = 6|Counter2 = 6|If Counter0 >= Counter.2" + ifElse, 0, kFlags, 2},
             {"Counter0 = 5|If Counter0 < 6" + ifElse, 0, kFlags, 2},
             {"If Not Output.1" + ifElse, 0, kFlags, 2}, {"If Input.3" + ifElse, 8, kFlags, 2},
             {"CommandForward = True|If CommandForward" + ifElse, 0, kFlags, 2},
             {"TriggerTimer0 0|If TimerFlag.0" + ifElse, 0, kFlags, 2},
             {nestedIf, 3, kCounter + 1, 1}, {nestedIf, 0, kCounter + 1, 4},
             {twoElses, 1, kCounter + 1, 1}, {twoElses, 0, kCounter + 1, 2 << 8},
             {doInIf + "|End If", 1, kCounter, 7 << 8 | 3}}) {
        // clang-format on
        Drive drive(lines, inputs);
        drive.sim.RunFor(200);
        EXPECT_EQ(std::pair(drive.sim.Running(), int{drive.sim.Word(address)}),
                  std::pair(true, word))
            << lines << ", inputs " << int(inputs);
    }
}

// A timer set to k runs out at the k-th 100 ms tick after it was set (one
// written over the link too), and its flag stays set until it is triggered
// again.
TEST(ProgramInterpreter, TimersRunOutOnTicks) {
    Drive drive("TriggerTimer0 5|TriggerTimer1 0|Counter6 = 3|TriggerTimer2 By Counter.6|"
                "Do|If TimerFlag.3|TriggerTimer3 2|WordCounter1 = WordCounter1 + 1|End If|Loop");
    drive.sim.Memory()[Address(Id::Timer) + 3] = 1;
    std::vector<std::uint64_t> firstSetMs(4, 0);
    for (int ms = 0; ms < 1000; ++ms) {
        drive.sim.RunFor(1);
        for (int n = 0; n < 4; ++n)
            if (firstSetMs[n] == 0 && drive.sim.TimerFlag(n))
                firstSetMs[n] = drive.sim.TimeMs();
    }
    EXPECT_EQ(firstSetMs, (std::vector<std::uint64_t>{500, 2, 300, 100}));
    EXPECT_EQ(drive.sim.TimerFlag(0) + drive.sim.TimerFlag(1) + drive.sim.TimerFlag(2), 3);
    EXPECT_EQ(drive.sim.Word(kCounter + 2), 5); // at 100, 300, 500, 700, 900 ms
}

// Each click statement remembers the input as it was when it last ran; Reset Program starts
// again from the top with the memories forgotten, the data memory kept (rounds in WordCounter3).
TEST(ProgramInterpreter, ClickedEdgesSeenByTheStatementUntilResetProgram) {
    const std::string clicks = "If ClickedToTrue Input.2|WordCounter1 = WordCounter1 + 1|End If|"
                               "If ClickedToFalse Input.2|WordCounter2 = WordCounter2 + 1|End If";
    // On from the start: no edge. Off and on again between two runs of the statement (the 0 ms
    // step): no edge either. With Reset Program, four statements a round: never a click.
    const std::vector<std::pair<bool, int>> changes = {{true, 20}, {false, 20}, {true, 20},
                                                       {true, 20}, {false, 0},  {true, 20}};
    using Seen = std::vector<std::array<int, 2>>; // rises, falls after each change
    for (const auto& [lines, expected, rounds] : std::vector<std::tuple<std::string, Seen, int>>{
             {"Do|" + clicks + "|Loop", {{0, 0}, {0, 1}, {1, 1}, {1, 1}, {1, 1}, {1, 1}}, 0},
             {clicks + "|WordCounter3 = WordCounter3 + 1|Reset Program", Seen(6, {0, 0}), 25}}) {
        Drive drive(lines);
        Seen seen;
        for (const auto& [input, runMs] : changes) {
            drive.sim.SetInput(2, input);
            drive.sim.RunFor(static_cast<std::uint64_t>(runMs));
            seen.push_back({drive.sim.Word(kCounter + 2), drive.sim.Word(kCounter + 4)});
        }
        EXPECT_EQ(seen, expected) << lines;
        EXPECT_EQ(drive.sim.Word(kCounter + 6), rounds) << lines;
    }
}

// Refused at load, run past the end, or erased: how many statements run, and
// the error and where it was found.
TEST(ProgramInterpreter, BadImagesAndRunningPastTheEnd) {
    std::vector<std::uint8_t> full;
    for (int i = 0; i < 127; ++i)
        full.insert(full.end(), {46, static_cast<std::uint8_t>(i)});
    // No such opcode, an input as a target, Loop before Do, End If closing a Do, the If still
    // open at Loop, an If never closed; both commands then the end, a false If at the end, 127
    // statements and no end mark; erased: no program.
    using Row = std::tuple<std::vector<std::uint8_t>, int, std::uint8_t, std::size_t>;
    // clang-format off
    for (const auto& [bytes, statementsRun, error, statement] : std::vector<Row>{
             {{100, 0}, 0, 2, 0}, {{37, 3}, 0, 2, 0}, {{67, 0}, 0, 2, 0}, {{10, 0, 62, 0}, 1, 1, 0},
             {{15, 0, 62, 0, 67, 0}, 0, 2, 1}, {{15, 0, 10, 0, 67, 0}, 0, 2, 2},
             {{10, 0, 15, 0, 67, 0}, 0, 1, 0}, {{37, 24, 37, 25}, 2, 1, 1},
             {full, 127, 1, 126}, {{}, 0, 0, ProgramInterpreter::kNoStatement}}) {
        // clang-format on
        SCOPED_TRACE(::testing::PrintToString(bytes));
        ProgramInterpreter sim;
        EXPECT_EQ(sim.Load(ImageOfBytes(bytes)), statementsRun == 0 ? error : 0);
        for (int k = 0; k < statementsRun; ++k)
            EXPECT_TRUE(sim.Step());
        EXPECT_FALSE(sim.Step());
        sim.RunFor(100);
        // Stopped, and the motor no longer commanded (status 0).
        EXPECT_EQ(std::tuple(sim.Running(), sim.Error(), sim.ErrorStatement(),
                             sim.Byte(Address(Id::Status))),
                  std::tuple(false, error, statement, 0));
    }
}

// A forced value holds against the program's writes from the moment it is forced (a word counter
// low byte first: 1 is no 256; a timer neither counts nor is triggered); released, it keeps its
// count or gets its old one back (analog 2 starts at 1002); the same forcing, the same trace.
TEST(ProgramInterpreter, ForcedValuesHoldAgainstTheProgram) {
    constexpr std::uint16_t kFlags = Address(Id::Flags);
    const std::string ifTimer = "TriggerTimer2 1|Do|If TimerFlag.2|Flag.1 = True|End If|Loop";
    using Row = std::tuple<std::string, std::uint16_t, std::string, std::uint16_t, int>;
    // clang-format off
    for (const auto& [name, count, lines, seenAt, seen] : std::vector<Row>{
             {"Input.3", 1, "If Input.3|Flag.1 = True|End If", kFlags, 2},
             {"Analog.2", 700, "WordCounter.1 = Analog.2", kCounter + 2, 700},
             {"Counter.3", 9, "Counter3 = 50|Counter0 = Counter.3", kCounter, 9},
             {"WordCounter.1", 1, "WordCounter1 = WordCounter1 + 5|DecelerateRate = WordCounter.1",
              Address(Id::DecelerationRate), 1},
             {"WordCounter.1", 300, "Counter2 = 7|DecelerateRate = WordCounter.1",
              Address(Id::DecelerationRate), 300},
             {"Flag.4", 1, "Flag.4 = False|Flag0 = Flag.4", kFlags, 0x11},
             {"Output.1", 1, "Output.1 = False|Flag0 = Output.1", kFlags, 1},
             {"Timer.2", 3, ifTimer, kFlags, 0}}) {
        // clang-format on
        SCOPED_TRACE(name + "=" + std::to_string(count));
        const drivemap::ValueRef ref = *drivemap::Find(name);
        const auto reading = [&ref](const Drive& drive) {
            return drivemap::Reading(ref, drive.sim.Memory());
        };
        for (const bool restore : {false, true}) {
            Drive drive(lines);
            const double before = reading(drive);
            ASSERT_TRUE(drive.sim.Force(ref, count));
            int heldMs = reading(drive) == count; // before any statement
            for (int ms = 0; ms < 300; ++ms) {
                drive.sim.RunFor(1);
                heldMs += reading(drive) == count;
            }
            const std::uint16_t at = ref.Address();
            EXPECT_EQ(std::tuple(heldMs, int{drive.sim.Word(seenAt)}, drive.sim.Forced(ref)),
                      std::tuple(301, seen, true));
            if (ref.value->size == 2) {
                EXPECT_EQ(std::pair(drive.sim.Byte(at), drive.sim.Byte(at + 1u)),
                          std::pair(std::uint8_t(count & 0xFF), std::uint8_t(count >> 8)));
            }
            EXPECT_TRUE(drive.sim.Release(ref, restore));
            EXPECT_EQ(std::pair(reading(drive), drive.sim.Forced(ref)),
                      std::pair(restore ? before : static_cast<double>(count), false));
        }
        std::vector<std::string> traces[2];
        for (std::vector<std::string>& trace : traces) {
            Drive drive(lines);
            drive.sim.SetTraceHook([&trace](const TraceRecord& record) {
                std::string line = std::to_string(record.timeMs);
                for (const MemoryChange& change : record.changes)
                    line +=
                        " " + std::to_string(change.address) + ":" + std::to_string(change.after);
                trace.push_back(line);
            });
            for (const bool restore : {false, true}) {
                drive.sim.Force(ref, count);
                drive.sim.RunFor(150);
                drive.sim.Release(ref, restore);
                drive.sim.RunFor(150);
            }
        }
        EXPECT_EQ(traces[0], traces[1]);
    }
}

// A held motor (the virtual drive's SetMotorModel(false)) leaves what is written to it alone.
TEST(ProgramInterpreter, HeldMotorStandsStill) {
    Drive drive("CommandForward = True");
    drive.sim.HoldMotor(true);
    drive.sim.Memory()[Address(Id::CurrentSpeed)] = 77;
    drive.sim.RunFor(100);
    EXPECT_EQ(drive.sim.Word(Address(Id::CurrentSpeed)), 77);
}

// The line of each statement, counted from 1 in the text itself ("|" a line break) whatever the
// line count before; after a failure, the statements compiled before it; an earlier
// compilation's lines do not linger.
TEST(StatementLines, OnePerStatementFromOne) {
    for (auto [text, lineCountBefore, lines] :
         std::vector<std::tuple<std::string, long, std::vector<int>>>{
             {"Do|' start||  Counter1 = 2|Loop|", 0, {1, 4, 5}},
             {"Do|Loop", 10, {1, 2}},
             {"Do|Counter1 = 2|Foo|Loop", 0, {1, 2}},
             {"", 0, {}}}) {
        for (std::size_t bar = text.find('|'); bar != std::string::npos; bar = text.find('|'))
            text.replace(bar, 1, "\r\n");
        compiler::ProgramCompiler compiler;
        long lineCount = 0;
        compiler.CompileText("Do\r\nLoop", lineCount);
        lineCount = lineCountBefore;
        compiler.CompileText(text, lineCount);
        EXPECT_EQ(compiler.StatementLines(), lines) << text;
    }
}

// The help's list of power-up values is the catalogue's, line for line.
TEST(ProgramInterpreter, AssumptionsListThePowerUpValuesItStartsFrom) {
    std::set<std::string> expected = {"- everything else 0: every input off, the analog inputs at "
                                      "0, no error."};
    for (const drivemap::DriveValue& value : drivemap::Values()) {
        std::string line = "- " + std::string(value.name) + " " + std::to_string(value.powerUp);
        if (value.kind == drivemap::Kind::Scaled)
            line += " (" + drivemap::Format(value, drivemap::Scale(value.scaling, value.powerUp)) +
                    (value.unit.empty() ? "" : " " + std::string(value.unit)) + ")";
        if (value.powerUp != 0)
            expected.insert(line);
    }
    const std::string_view text = kSimulationAssumptions;
    std::set<std::string> listed;
    for (std::size_t at = text.find("\n- ", text.find("Power-up values"));
         at != std::string_view::npos; at = text.find("\n- ", at + 1))
        listed.emplace(text.substr(at + 1, text.find('\n', at + 1) - at - 1));
    EXPECT_EQ(listed, expected);
}

// A loop counting Counter0 up, setting Flag.1 each round, Flag.2 at 3 and Output.0 at 6: where
// and when each breakpoint first holds (a change of Flag.2 is not one of Flag.1 in its byte).
TEST(ProgramInterpreter, BreakpointsHoldAfterTheirFirstStatement) {
    const std::string loop = "Do|Flag.1 = True|WordCounter0 = WordCounter0 + 1|If Counter0 = 3|"
                             "Flag.2 = True|End If|If Counter0 = 6|Output.0 = True|End If|Loop";
    using Row = std::tuple<std::string, std::size_t, std::uint64_t>;
    for (const auto& [when, statement, ms] : {
             Row{"Counter0 >= 5", 2, 28},
             Row{"Flag.2", 4, 16},
             Row{"Output.0", 7, 37},
             Row{"Not Output.0", 0, 0},
             Row{"changed WordCounter.0", 2, 2},
             Row{"changed Flag.2", 4, 16},
             Row{"Counter0 = 200", ProgramInterpreter::kNoStatement, 100},
         }) {
        Drive drive(loop);
        int id = 0;
        const std::string changed = "changed ";
        if (when.starts_with(changed))
            id = drive.sim.AddBreakOnChange(*drivemap::Find(when.substr(changed.size()))).value();
        else
            ASSERT_EQ(drive.sim.AddBreakCondition(when, id), 0) << when;
        drive.sim.RunFor(100);
        const std::optional<BreakHit> hit = drive.sim.LastHit();
        EXPECT_EQ(std::tuple(hit ? hit->id : 0,
                             hit ? hit->statement : ProgramInterpreter::kNoStatement,
                             hit ? hit->timeMs : drive.sim.TimeMs()),
                  std::tuple(hit ? id : 0, statement, ms))
            << when;
        if (hit) {
            EXPECT_EQ(drive.sim.TimeMs(), ms + 1) << when; // the run ended there
        }
    }

    Drive drive(loop);
    int flag2 = 0;
    ASSERT_EQ(drive.sim.AddBreakCondition("Flag.2", flag2), 0);
    const int word = drive.sim.AddBreakOnChange(*drivemap::Find("WordCounter.0")).value();
    ASSERT_TRUE(drive.sim.EnableBreakpoint(word, false));
    drive.sim.RunFor(100);
    EXPECT_EQ(drive.sim.TimeMs(), 17u);
    ASSERT_TRUE(drive.sim.EnableBreakpoint(word, true));
    ASSERT_TRUE(drive.sim.RemoveBreakpoint(flag2));
    EXPECT_FALSE(drive.sim.RemoveBreakpoint(flag2));
    drive.sim.RunFor(100);
    EXPECT_EQ(std::pair(drive.sim.LastHit()->id, drive.sim.TimeMs()), std::pair(word, 23ul));
    drive.sim.ClearBreakpoints();
    drive.sim.RunFor(100);
    EXPECT_FALSE(drive.sim.LastHit());
    EXPECT_EQ(drive.sim.TimeMs(), 123u);

    // What does not compile as an If is refused with the line compiler's code.
    for (const auto& [condition, code] : {std::pair("Counter0 >= 300", 2), std::pair("Flag.9", 2),
                                          std::pair("Banana", 1), std::pair("", 1)}) {
        int id = 0;
        EXPECT_EQ(drive.sim.AddBreakCondition(condition, id), code) << condition;
    }
}
