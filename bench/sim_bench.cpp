// Statements per second of the simulated drive's interpreter on a program
// that exercises conditions, counters, word counters, bits and timers.
#include "compiler/program_compiler.h"
#include "sim/program_interpreter.h"

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

// With the trace hook on, the cost a printing command line starts from.
void Run(benchmark::State& state, bool traced) {
    kt::compiler::ProgramCompiler compiler;
    long lines = 0;
    if (compiler.CompileText(kProgram, lines) != 0) {
        state.SkipWithError("the benchmark program does not compile");
        return;
    }
    kt::sim::ProgramInterpreter interpreter;
    interpreter.SetInput(0, true);
    if (interpreter.Load(compiler.ProgramBuffer()) != 0) {
        state.SkipWithError("the benchmark program does not load");
        return;
    }
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

} // namespace

BENCHMARK_MAIN();
