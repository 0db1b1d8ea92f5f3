// Statements per second of the simulated drive's interpreter on a program
// that exercises conditions, counters, word counters, bits and timers; the
// same with the run recorded for going back, and the cost of going back.
#include "compiler/program_compiler.h"
#include "sim/program_interpreter.h"
#include "sim/run_history.h"

#include <benchmark/benchmark.h>

#include <string>

namespace {

const char* const kProgram = "WordCounter0 = 10\r\n"
                             "Do\r\n"
                             "  If Input.0\r\n"
                             "    Output.0 = True\r\n"
                             "    CommandForward = True\r\n"
                             "  Else\r\n"
                             "    Output.0 = False\r\n"
                             "    CommandForward = False\r\n"
                             "  End If\r\n"
                             "  WordCounter1 = WordCounter1 + 1\r\n"
                             "  If WordCounter0 < WordCounter.1\r\n"
                             "    Counter2 = 0\r\n"
                             "    Counter3 = 0\r\n"
                             "    Counter0 Xor 1\r\n"
                             "  End If\r\n"
                             "  Flag0 = Not TimerFlag.1\r\n"
                             "  Flag0 Or Input.2\r\n"
                             "  If Not TimerFlag.1\r\n"
                             "  Else\r\n"
                             "    TriggerTimer1 5\r\n"
                             "  End If\r\n"
                             "  Do Until Counter0 <> 0\r\n"
                             "    Counter0 = 1\r\n"
                             "  Loop\r\n"
                             "Loop\r\n";

bool Loaded(benchmark::State& state, kt::sim::ProgramInterpreter& interpreter) {
    kt::compiler::ProgramCompiler compiler;
    long lines = 0;
    if (compiler.CompileText(kProgram, lines) != 0) {
        state.SkipWithError("the benchmark program does not compile");
        return false;
    }
    interpreter.SetInput(0, true);
    if (interpreter.Load(compiler.ProgramBuffer()) != 0) {
        state.SkipWithError("the benchmark program does not load");
        return false;
    }
    return true;
}

// With the trace hook on, the cost a printing command line starts from.
void Run(benchmark::State& state, bool traced) {
    kt::sim::ProgramInterpreter interpreter;
    if (!Loaded(state, interpreter))
        return;
    std::uint64_t changes = 0;
    if (traced)
        interpreter.SetTraceHook(
            [&](const kt::sim::TraceRecord& record) { changes += record.changes.size(); });
    constexpr std::uint64_t kBatchMs = 100000;
    for (auto _ : state) {
        interpreter.RunFor(kBatchMs);
        benchmark::DoNotOptimize(interpreter.Memory().data());
        benchmark::DoNotOptimize(changes);
    }
    if (!interpreter.Running())
        state.SkipWithError("the program stopped");
    state.counters["statements/s"] = benchmark::Counter(
        static_cast<double>(state.iterations() * kBatchMs), benchmark::Counter::kIsRate);
}
void StatementsPerSecond(benchmark::State& state) {
    Run(state, false);
}
void StatementsPerSecondTraced(benchmark::State& state) {
    Run(state, true);
}
BENCHMARK(StatementsPerSecond)->Unit(benchmark::kMillisecond);
BENCHMARK(StatementsPerSecondTraced)->Unit(benchmark::kMillisecond);

// Ten seconds of simulated time, recorded for going back or not; the input
// changes once a second, as a user's would.
void TenSeconds(benchmark::State& state, bool recorded) {
    kt::sim::ProgramInterpreter interpreter;
    if (!Loaded(state, interpreter))
        return;
    kt::sim::RunHistory history(interpreter);
    bool on = true;
    for (auto _ : state) {
        for (int second = 0; second < 10; ++second) {
            on = !on;
            if (recorded) {
                history.SetInput(2, on);
                history.RunFor(1000);
            } else {
                interpreter.SetInput(2, on);
                interpreter.RunFor(1000);
            }
        }
        benchmark::DoNotOptimize(interpreter.Memory().data());
    }
    state.counters["statements/s"] = benchmark::Counter(
        static_cast<double>(state.iterations() * 10000), benchmark::Counter::kIsRate);
}
void TenSecondsNotRecorded(benchmark::State& state) {
    TenSeconds(state, false);
}
void TenSecondsRecorded(benchmark::State& state) {
    TenSeconds(state, true);
}
BENCHMARK(TenSecondsNotRecorded)->Unit(benchmark::kMillisecond);
BENCHMARK(TenSecondsRecorded)->Unit(benchmark::kMillisecond);

// After the argument's milliseconds of recorded run: a step back (and one
// forward again), a seek one second back (and to the end again), and the
// timeline over everything kept, derived afresh after each step.
enum class Back { Step, Second, Timeline };
void GoBack(benchmark::State& state, Back back) {
    kt::sim::ProgramInterpreter interpreter;
    if (!Loaded(state, interpreter))
        return;
    kt::sim::RunHistory history(interpreter);
    history.RunFor(static_cast<std::uint64_t>(state.range(0)));
    const std::uint64_t end = history.NowMs();
    for (auto _ : state) {
        if (back == Back::Step) {
            history.StepBack();
            history.Step();
        } else if (back == Back::Second) {
            history.SeekTo(end - 1000);
            history.SeekTo(end);
        } else {
            history.Step();
            benchmark::DoNotOptimize(history.Changes().size());
        }
    }
    if (back != Back::Timeline && history.NowMs() != end)
        state.SkipWithError("the run did not come back to its end");
}
void StepBack(benchmark::State& state) {
    GoBack(state, Back::Step);
}
void SeekOneSecondBack(benchmark::State& state) {
    GoBack(state, Back::Second);
}
void Timeline(benchmark::State& state) {
    GoBack(state, Back::Timeline);
}
BENCHMARK(StepBack)->Arg(1000)->Arg(5000)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(SeekOneSecondBack)->Arg(10000)->Unit(benchmark::kMicrosecond);
BENCHMARK(Timeline)->Arg(12000)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
