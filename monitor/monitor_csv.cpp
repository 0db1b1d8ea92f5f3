#include "monitor/monitor_csv.h"

#include "drivemap/recording_csv.h"

namespace kt::monitor {

using drivemap::RecordingCsv;

QByteArray MonitorCsv(const std::vector<RecordedValue>& values) {
    std::vector<drivemap::ValueRef> refs;
    std::vector<std::vector<RecordingCsv::Sample>> samples(values.size());
    for (std::size_t v = 0; v < values.size(); ++v) {
        refs.push_back(values[v].ref);
        const SampleHistory* history = values[v].history;
        if (!history || history->Empty())
            continue;
        samples[v].reserve(static_cast<std::size_t>(history->Size()));
        history->ForEach(0, history->Size() - 1, [&](const SampleHistory::Sample& entry) {
            samples[v].push_back({entry.msecs, entry.value,
                                  entry.Reduced()
                                      ? std::optional(RecordingCsv::Extremes{entry.min, entry.max})
                                      : std::nullopt});
        });
    }
    const std::vector<RecordingCsv::Series> series(samples.begin(), samples.end());
    const std::string csv = RecordingCsv(std::move(refs)).Recording(series);
    return QByteArray(csv.data(), static_cast<qsizetype>(csv.size()));
}

} // namespace kt::monitor
