// Compiler speed: whole programs and the slowest single lines.
#include "compiler/line_compiler.h"
#include "compiler/program_compiler.h"

#include <benchmark/benchmark.h>

#include <string>

using namespace kt::compiler;

namespace {

std::string FullProgram() {
    std::string text = "Do\r\n";
    for (int i = 0; i < 125; ++i)
        text += (i % 2 ? "  WordCounter.2 = Analog.4\r\n" : "  Flag0 Xor Not TimerFlag.3\r\n");
    return text + "Loop";
}

std::string LongText(int lines) {
    // Mostly comments and blank lines, so the text compiles however long it is.
    std::string text = "Do\r\n";
    for (int i = 0; i < lines - 2; ++i)
        text += (i % 3 == 0) ? "  ' WordCounter.2 = Analog.4 note\r\n"
                             : (i % 3 == 1 ? "\r\n" : "\t  \r\n");
    return text + "Loop";
}

void BM_CompileFullProgram(benchmark::State& state) {
    const std::string text = FullProgram();
    ProgramCompiler compiler;
    for (auto _ : state) {
        long lineCount = 0;
        benchmark::DoNotOptimize(compiler.CompileText(text, lineCount));
    }
}
BENCHMARK(BM_CompileFullProgram);

void BM_CompileTenThousandLines(benchmark::State& state) {
    const std::string text = LongText(10000);
    ProgramCompiler compiler;
    for (auto _ : state) {
        long lineCount = 0;
        benchmark::DoNotOptimize(compiler.CompileText(text, lineCount));
    }
}
BENCHMARK(BM_CompileTenThousandLines);

void BM_CompileStatement(benchmark::State& state, const std::string& line) {
    for (auto _ : state) {
        StatementBytes code{};
        benchmark::DoNotOptimize(CompileStatement(line, code));
    }
}
// The last row of the most shared head: every earlier "WordCounter." row is
// tried first.
BENCHMARK_CAPTURE(BM_CompileStatement, last_of_shared_head,
                  std::string("WordCounter.3 = WordCounter0"));
BENCHMARK_CAPTURE(BM_CompileStatement, two_values, std::string("WordCounter.2 = Analog.4"));
BENCHMARK_CAPTURE(BM_CompileStatement, dots_100k, std::string(100000, '.') + "x");
BENCHMARK_CAPTURE(BM_CompileStatement, indices_100k, [] {
    std::string line;
    while (line.size() < 100000)
        line += "a.1 ";
    return line;
}());

} // namespace

BENCHMARK_MAIN();
