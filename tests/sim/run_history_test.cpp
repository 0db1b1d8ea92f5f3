#include "compiler/program_compiler.h"
#include "drivemap/drive_catalogue.h"
#include "sim/program_interpreter.h"
#include "sim/run_history.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>
#include <vector>

using namespace kt;
using namespace kt::sim;

constexpr std::uint16_t kCounter = drivemap::Address(drivemap::Id::Counter);

// The lines written with "|" between them.
static void Load(ProgramInterpreter& sim, std::string lines) {
    for (std::size_t bar = lines.find('|'); bar != std::string::npos; bar = lines.find('|'))
        lines.replace(bar, 1, "\r\n");
    compiler::ProgramCompiler compiler;
    long count = 0;
    ASSERT_EQ(compiler.CompileText(lines, count), 0) << lines;
    ASSERT_EQ(sim.Load(compiler.ProgramBuffer()), 0) << lines;
}

// The used memory, the timer flags (RunHistory::Bytes so far), then the next statement.
static std::vector<std::uint8_t> StateOf(const ProgramInterpreter& sim) {
    std::vector<std::uint8_t> state(sim.Memory().begin(),
                                    sim.Memory().begin() + drivemap::kUsedSize);
    state.push_back(static_cast<std::uint8_t>(sim.TimerFlag(0) | sim.TimerFlag(1) << 1 |
                                              sim.TimerFlag(2) << 2 | sim.TimerFlag(3) << 3));
    state.push_back(static_cast<std::uint8_t>(sim.NextStatement()));
    return state;
}

// When, what (input, analog input, force, release with restore), which, and the value.
using UserAction = std::tuple<std::uint64_t, char, std::string, std::uint16_t>;

template <typename Target> void Apply(Target& target, const UserAction& action) {
    const auto& [ms, kind, name, value] = action;
    const drivemap::ValueRef ref = *drivemap::Find(name);
    kind == 'i'   ? target.SetInput(ref.bit, value != 0)
    : kind == 'a' ? target.SetAnalog(ref.channel, value)
    : kind == 'f' ? target.Force(ref, value)
                  : target.Release(ref, value != 0);
}

// Timers, counters, word counters, the motor and a click, with the user's inputs, an analog
// input and a forced word counter changing during 15 s: stepped back to the start of what is
// kept and forward again, sought, and as a timeline, every moment is the straight run's; an
// action made back in time drops the recorded future.
TEST(RunHistory, GoingBackAndForthRepeatsTheRun) {
    const std::string lines = "RefrenceSpeed = 50|CommandForward = True|TriggerTimer1 3|Do|"
                              "If ClickedToTrue Input.2|WordCounter2 = WordCounter2 + 1|End If|"
                              "If TimerFlag.1|TriggerTimer1 3|Counter0 Xor 1|End If|"
                              "WordCounter1 = WordCounter1 + 1|WordCounter.3 = Analog.1|Loop";
    const std::vector<UserAction> actions = {
        {1000, 'a', "Analog.1", 5},        {3500, 'i', "Input.2", 1},
        {3900, 'f', "WordCounter.1", 300}, {4321, 'i', "Input.2", 0},
        {4321, 'i', "Input.2", 1},         {4322, 'i', "Input.2", 0},
        {4322, 'i', "Input.2", 1},         {5000, 'r', "WordCounter.1", 1},
        {5555, 'a', "Analog.1", 777},      {9000, 'f', "Input.2", 1}};
    constexpr std::uint64_t kEndMs = 15000;
    ProgramInterpreter straight, sim;
    Load(straight, lines);
    Load(sim, lines);
    RunHistory history(sim);
    std::vector<std::vector<std::uint8_t>> states;
    for (auto action = actions.begin(); states.size() <= kEndMs; straight.RunFor(1)) {
        for (; action != actions.end() && std::get<0>(*action) == straight.TimeMs(); ++action) {
            history.RunFor(std::get<0>(*action) - history.NowMs());
            Apply(straight, *action);
            Apply(history, *action);
        }
        states.push_back(StateOf(straight));
    }
    history.RunFor(kEndMs - history.NowMs());

    const std::uint64_t earliest = history.EarliestMs();
    EXPECT_EQ(std::tuple(earliest + 10000 <= kEndMs, history.LatestMs()), std::tuple(true, kEndMs));
    EXPECT_FALSE(history.SeekTo(earliest - 1));
    EXPECT_FALSE(history.SeekTo(kEndMs + 1));
    const auto at = [&](std::uint64_t ms) {
        ASSERT_EQ(history.NowMs(), ms);
        ASSERT_EQ(StateOf(sim), states[ms]) << ms;
    };
    for (std::uint64_t ms = kEndMs; ms >= earliest; --ms, history.StepBack()) {
        at(ms);
        const RunHistory::Bytes bytes = history.BytesAt(ms);
        ASSERT_TRUE(std::equal(bytes.begin(), bytes.end(), states[ms].begin())) << ms;
    }
    for (std::uint64_t ms = earliest; ms < kEndMs; at(++ms))
        history.Step();
    ASSERT_TRUE(history.SeekTo(4000));
    history.RunFor(1234);
    at(5234);
    const drivemap::ValueRef counted = *drivemap::Find("WordCounter.1"); // both bytes at 256
    const auto curve = history.Curve(counted);
    for (std::uint64_t ms = earliest, i = 0; ms <= kEndMs; ++ms) {
        i += i + 1 < curve.size() && curve[i + 1].first <= ms;
        ASSERT_EQ(curve[i].second, drivemap::Reading(counted, states[ms])) << ms;
    }

    ASSERT_TRUE(history.SeekTo(5500)); // before the analog input changes
    ASSERT_TRUE(history.SetInput(2, false));
    EXPECT_EQ(std::tuple(history.LatestMs(), history.SeekTo(5501), history.Changes().back().timeMs),
              std::tuple(5500u, false, 5500u));
    std::vector<std::vector<std::uint8_t>> branch;
    for (const std::uint64_t ms : {60, 90, 100})
        history.RunFor(ms), branch.push_back(StateOf(sim));
    for (const std::size_t i : {0, 1}) {
        ASSERT_TRUE(history.SeekTo(i == 0 ? 5560 : 5650));
        EXPECT_EQ(StateOf(sim), branch[i]) << i;
    }
}

// A four-statement loop, before statement k at 4n + k ms, Counter0 counting up at 4n + 1 ms.
// Lines marked or breakpoints added while paused: where successive Run Backs from 1000 ms stop.
TEST(RunHistory, RunBackStopsWhereARunForwardWould) {
    using Row = std::tuple<std::set<std::size_t>, std::string, std::vector<std::uint64_t>>;
    for (const auto& [marks, when, stops] :
         {Row{{2}, "", {998, 994, 990}}, Row{{}, "Counter0 = 5", {21, 20, 19}},
          Row{{3}, "Counter.0", {999, 998, 995}}, Row{{}, "", {0, 0}}}) {
        ProgramInterpreter sim;
        Load(sim, "Do|WordCounter0 = WordCounter0 + 1|Counter2 = 0|Loop");
        RunHistory history(sim);
        history.RunFor(1000);
        int id = 0;
        if (when.starts_with("Counter0"))
            sim.AddBreakCondition(when, id);
        else if (!when.empty())
            sim.AddBreakOnChange(*drivemap::Find(when));
        std::vector<std::uint64_t> seen;
        while (seen.size() < stops.size()) {
            history.RunBack([&marked = marks](std::size_t k) { return marked.contains(k); });
            seen.push_back(history.NowMs());
        }
        EXPECT_EQ(seen, stops) << when;
    }
}

// A snapshot carries a running program, its click memories and a forced value, into another
// interpreter with the same program; one with another program refuses it.
TEST(RunHistory, SnapshotsCarryARunToItsOwnProgramOnly) {
    const std::string lines = "Do|If ClickedToTrue Input.2|WordCounter1 = WordCounter1 + 1|"
                              "End If|WordCounter3 = WordCounter3 + 1|Loop";
    ProgramInterpreter first, second, other;
    Load(first, lines);
    Load(second, lines);
    Load(other, "Do|Loop");
    first.RunFor(150);
    first.Force(*drivemap::Find("WordCounter.3"), 7);
    const ProgramInterpreter::Snapshot snapshot = first.Save();
    EXPECT_EQ(std::pair(other.Restore(snapshot), other.TimeMs()), std::pair(false, 0ul));
    ASSERT_TRUE(second.Restore(snapshot));
    for (ProgramInterpreter* sim : {&first, &second})
        sim->SetInput(2, true), sim->RunFor(100);
    EXPECT_EQ(StateOf(second), StateOf(first));
    EXPECT_EQ(std::pair(int{second.Word(kCounter + 2)}, int{second.Word(kCounter + 6)}),
              std::pair(1, 7));
}
