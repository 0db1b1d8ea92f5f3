// The Monitor's history and plot at the rates they meet: a full repaint over
// ten minutes of six values read 200 times a second, two of them bits (kept
// in full), and read 50,000 times a second (reduced to buckets), which is
// what the window pays at each of its 25 refreshes a second when zoomed out
// all the way; and the cost of recording one second at 50,000 reads a
// second into a history already holding ten minutes.
#include "monitor/plot_view.h"
#include "monitor/sample_history.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>
#include <memory>

using kt::monitor::PlotTrace;
using kt::monitor::PlotView;
using kt::monitor::SampleHistory;

namespace {

using Histories = std::array<SampleHistory, 6>;

// Noisy curves, so every pixel column has a real minimum and maximum.
void Record(Histories& histories, qint64 msecs, qint64 serial) {
    const double t = static_cast<double>(msecs) / 1000.0;
    const double noise = static_cast<double>((serial * 7919) % 101) / 100.0;
    histories[0].Append(msecs, 24 + std::sin(t) + 0.2 * noise);
    histories[1].Append(msecs, 1500 * std::sin(t / 7) + 40 * noise);
    histories[2].Append(msecs, 3 * std::cos(t / 3) + noise);
    histories[3].Append(msecs, static_cast<double>((serial * 31) % 4096));
    histories[4].Append(msecs, (msecs / 700) % 2);
    histories[5].Append(msecs, (serial * 13 % 997) < 500 ? 1 : 0);
}

void Paint(benchmark::State& state, const Histories& histories) {
    PlotView view;
    view.SetTraces({{"Bus volt", "V", false, &histories[0]},
                    {"Current speed", "rpm", false, &histories[1]},
                    {"Current", "A", false, &histories[2]},
                    {"Position", "rpm", false, &histories[3]},
                    {"Input 1", "", true, &histories[4]},
                    {"Output 2", "", true, &histories[5]}});
    view.resize(1200, 700);
    view.SetVisibleSpan(SampleHistory::kSpanMs);
    for (auto _ : state)
        benchmark::DoNotOptimize(view.grab());
    state.counters["paints"] = static_cast<double>(view.PaintCount());
    state.counters["entries"] = static_cast<double>(histories[0].Size());
}

void BM_PaintFullHistory(benchmark::State& state) {
    Histories histories;
    constexpr qint64 kStepMs = 5;
    for (qint64 msecs = 0; msecs < 120000 * kStepMs; msecs += kStepMs)
        Record(histories, msecs, msecs);
    Paint(state, histories);
}
BENCHMARK(BM_PaintFullHistory)->Unit(benchmark::kMillisecond);

constexpr int kPerMs = 50; // 50,000 reads a second

// Ten minutes at 50,000 reads a second, recorded once for every run.
const Histories& ReducedTenMinutes() {
    static const auto histories = [] {
        auto h = std::make_unique<Histories>();
        for (qint64 msecs = 0; msecs < SampleHistory::kSpanMs; ++msecs)
            for (int k = 0; k < kPerMs; ++k)
                Record(*h, msecs, msecs * kPerMs + k);
        return h;
    }();
    return *histories;
}

void BM_PaintReducedTenMinutes(benchmark::State& state) {
    Paint(state, ReducedTenMinutes());
}
BENCHMARK(BM_PaintReducedTenMinutes)->Unit(benchmark::kMillisecond);

// One iteration is one second of samples, each folding the oldest kept in
// full into its bucket and dropping what ten minutes leave behind.
void BM_RecordOneSecondAt50kHz(benchmark::State& state) {
    SampleHistory history;
    qint64 msecs = 0;
    auto second = [&] {
        for (const qint64 end = msecs + 1000; msecs < end; ++msecs)
            for (int k = 0; k < kPerMs; ++k)
                history.Append(msecs, static_cast<double>((msecs * kPerMs + k) * 7919 % 101));
    };
    while (msecs < SampleHistory::kSpanMs)
        second();
    for (auto _ : state)
        second();
    state.SetItemsProcessed(state.iterations() * 1000 * kPerMs);
    state.counters["bytes"] = static_cast<double>(history.MemoryBytes());
}
BENCHMARK(BM_RecordOneSecondAt50kHz)->Unit(benchmark::kMillisecond);

} // namespace
