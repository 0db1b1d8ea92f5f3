// A full repaint of the Monitor window's plot over ten minutes of six values
// read 200 times a second, two of them bits: what the window pays at each
// of its 20 or more refreshes a second when zoomed out all the way.
#include "monitor/plot_view.h"
#include "monitor/sample_history.h"

#include <benchmark/benchmark.h>

#include <array>
#include <cmath>

using kt::monitor::PlotTrace;
using kt::monitor::PlotView;
using kt::monitor::SampleHistory;

namespace {

void BM_PaintFullHistory(benchmark::State& state) {
    std::array<SampleHistory, 6> histories;
    constexpr qint64 kStepMs = 5;
    for (qint64 msecs = 0; msecs < 120000 * kStepMs; msecs += kStepMs) {
        const double t = static_cast<double>(msecs) / 1000.0;
        // Noisy curves, so every pixel column has a real minimum and maximum.
        const double noise = static_cast<double>((msecs * 7919) % 101) / 100.0;
        histories[0].Append(msecs, 24 + std::sin(t) + 0.2 * noise);
        histories[1].Append(msecs, 1500 * std::sin(t / 7) + 40 * noise);
        histories[2].Append(msecs, 3 * std::cos(t / 3) + noise);
        histories[3].Append(msecs, static_cast<double>((msecs * 31) % 4096));
        histories[4].Append(msecs, (msecs / 700) % 2);
        histories[5].Append(msecs, (msecs * 13 % 997) < 500 ? 1 : 0);
    }
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
}
BENCHMARK(BM_PaintFullHistory)->Unit(benchmark::kMillisecond);

} // namespace
