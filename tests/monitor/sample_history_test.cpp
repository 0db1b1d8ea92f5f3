// The recording of one value: the newest samples in full, older ones in
// min/max buckets, ten minutes in bounded memory; its trace and its CSV.
#include "monitor/monitor_csv.h"
#include "monitor/sample_history.h"
#include "monitor/trace_path.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <tuple>
#include <utility>
#include <vector>

using kt::monitor::SampleHistory;

namespace {

constexpr qint64 kSpan = SampleHistory::kSpanMs;

// Each entry's time and how many samples it stands for.
std::vector<std::pair<qint64, qint64>> Entries(const SampleHistory& history) {
    std::vector<std::pair<qint64, qint64>> entries;
    for (int i = 0; i < history.Size(); ++i)
        entries.emplace_back(history.At(i).msecs, history.At(i).count);
    return entries;
}

TEST(SampleHistoryTest, KeepsTheNewestInFullFoldsTheOlderDropsByTime) {
    struct Case {
        const char* what;
        int capacity;
        std::vector<qint64> appended;
        std::vector<std::pair<qint64, qint64>> kept;
        bool whole;
    };
    const std::vector<Case> cases = {
        {"count", 4, {0, 1, 2, 3, 4, 5, 6}, {{2, 3}, {3, 1}, {4, 1}, {5, 1}, {6, 1}}, false},
        {"a bucket per slot", 2, {0, 19, 20, 45, 46}, {{19, 2}, {20, 1}, {45, 1}, {46, 1}}, false},
        {"folded one by one is whole", 1, {1, 2}, {{1, 1}, {2, 1}}, true},
        {"time", 100, {0, 5, kSpan, kSpan + 5}, {{5, 1}, {kSpan, 1}, {kSpan + 5, 1}}, false},
        // A bucket stays while its last sample is within, and goes with it.
        {"bucket kept", 1, {0, 10, kSpan + 5}, {{10, 2}, {kSpan + 5, 1}}, false},
        {"gone", 1, {0, 10, kSpan + 5, kSpan + 15}, {{kSpan + 5, 1}, {kSpan + 15, 1}}, false},
        {"late time refused", 100, {10, 20, 15, 20}, {{10, 1}, {20, 1}, {20, 1}}, true},
    };
    for (const Case& c : cases) {
        SampleHistory history(c.capacity);
        for (qint64 msecs : c.appended)
            history.Append(msecs, 1.0);
        EXPECT_EQ(Entries(history), c.kept) << c.what;
        EXPECT_EQ(history.Whole(), c.whole) << c.what;
    }
    SampleHistory history;
    EXPECT_FALSE(history.Append(0, std::nan("")));
    EXPECT_TRUE(history.Empty());
}

TEST(SampleHistoryTest, SearchesAndScalesAcrossBothTiersUntilCleared) {
    // Kept in full: 80 to 120. Buckets of two: 0-10, 20-30, 40-50, 60-70.
    SampleHistory history(5);
    for (int i = 0; i <= 12; ++i)
        history.Append(i * 10, i % 2 ? -i : i);
    ASSERT_EQ(history.Size(), 9);
    EXPECT_TRUE(history.Reduced());
    EXPECT_EQ(history.FullFromMsecs(), 80);
    const SampleHistory::Sample b = history.At(1);
    EXPECT_EQ(std::tuple(b.msecs, b.value, b.min, b.max), std::tuple(30, -3.0, -3.0, 2.0));
    // A time, the entry at or before it and the one standing for it (a
    // reduced bucket stands for its whole slot).
    const std::vector<std::tuple<qint64, int, int>> searches = {
        {-1, -1, -1}, {5, -1, 0}, {10, 0, 0}, {25, 0, 1},  {45, 1, 2},  {70, 3, 3},
        {79, 3, 3},   {80, 4, 4}, {95, 5, 5}, {119, 7, 7}, {5000, 8, 8}};
    for (const auto& [msecs, atOrBefore, at] : searches) {
        EXPECT_EQ(history.IndexAtOrBefore(msecs), atOrBefore) << msecs;
        EXPECT_EQ(history.IndexAt(msecs), at) << msecs;
    }
    // From, to: the extremes of the entries timed within.
    const std::vector<std::tuple<qint64, qint64, double, double>> ranges = {
        {0, 1000, -11, 12}, {25, 55, -5, 4}, {25, 70, -7, 6}, {65, 85, -7, 8}, {81, 95, -9, -9}};
    for (const auto& [from, to, min, max] : ranges) {
        const auto extent = history.MinMax(from, to);
        ASSERT_TRUE(extent) << from;
        EXPECT_EQ(std::pair(extent->min, extent->max), std::pair(min, max)) << from << "-" << to;
    }
    EXPECT_FALSE(history.MinMax(121, 200));
    EXPECT_FALSE(history.MinMax(11, 29));
    // A pause, then Clear: the next recording starts afresh.
    history.MarkBreak();
    history.Append(130, 0);
    EXPECT_EQ(history.Breaks(), std::vector<qint64>{130});
    history.Clear();
    EXPECT_TRUE(history.Whole());
    EXPECT_TRUE(history.Append(5, 1));
    EXPECT_EQ(history.FirstMsecs(), 5);
    EXPECT_TRUE(history.Breaks().empty());
}

TEST(SampleHistoryTest, GrowsAWrappedRingInOrder) {
    // One a second for 25 minutes: the time bound drops the oldest and the
    // ring, still small, wraps; then a fast burst makes it grow, wrapped.
    SampleHistory history(3000);
    qint64 msecs = 0;
    for (int i = 0; i < 1500; ++i, msecs += 1000)
        history.Append(msecs, 0);
    for (int i = 0; i < 2000; ++i, ++msecs)
        history.Append(msecs, 0);
    std::vector<qint64> kept;
    for (qint64 t = 0; t < msecs; t += t < 1500 * 1000 ? 1000 : 1)
        if (t >= msecs - 1 - kSpan)
            kept.push_back(t);
    std::vector<qint64> times;
    history.ForEach(0, history.Size() - 1,
                    [&](const SampleHistory::Sample& entry) { times.push_back(entry.msecs); });
    EXPECT_EQ(times, kept);
    EXPECT_FALSE(history.Reduced());
}

// The oldest kept is ten minutes back, and memory bounded, whatever the rate.
TEST(SampleHistoryTest, KeepsTenMinutesInBoundedMemoryAtEveryRate) {
    constexpr int kFull = SampleHistory::kRawCapacity;
    // Every stepMs, perMs samples, until fedMs; kept in full at most; reduced?
    const std::vector<std::tuple<qint64, int, qint64, int, bool>> cases = {
        {1000, 1, kSpan + 60000, kFull, false},
        {1, 1, kSpan + 60000, kFull, true},
        {1, 50, 20000, kFull, true},
        {1, 1, kSpan + 60002, 1, true}, // a bucket in every slot, the newest's too
    };
    for (const auto& [stepMs, perMs, fedMs, capacity, reduced] : cases) {
        SCOPED_TRACE(testing::Message() << stepMs << " ms, " << perMs << " each");
        SampleHistory history(capacity);
        for (qint64 msecs = 0; msecs < fedMs; msecs += stepMs)
            for (int k = 0; k < perMs; ++k)
                history.Append(msecs, static_cast<double>(msecs % 1000));
        const qint64 newest = history.LastMsecs();
        EXPECT_LE(history.MemoryBytes(), SampleHistory::kMaxBytes);
        EXPECT_LE(history.Size(), SampleHistory::kRawCapacity + SampleHistory::kMaxBuckets);
        EXPECT_EQ(history.Reduced(), reduced);
        if (fedMs > kSpan) {
            EXPECT_LE(SampleHistory::SlotStart(history.FirstMsecs()), newest - kSpan);
            EXPECT_GE(history.FirstMsecs(), newest - kSpan);
        } else {
            EXPECT_EQ(history.Samples(), fedMs * perMs);
            EXPECT_EQ(history.FirstMsecs(), SampleHistory::kBucketMs - 1);
        }
    }
}

// Nothing drawn crosses a pause; thinned to a column, a one-sample spike shows.
TEST(TracePathTest, APauseBreaksTheLineAndThinningKeepsASpike) {
    constexpr int kFull = SampleHistory::kRawCapacity;
    // What, a step trace?, milliseconds between samples, kept in full, paused?
    const std::vector<std::tuple<const char*, bool, qint64, int, bool>> cases = {
        {"values", false, 10, kFull, true},
        {"bits", true, 10, kFull, true},
        {"thinned per column", false, 1, kFull, true},
        {"buckets", false, 5, 10, true},
        {"no pause, no break", false, 10, kFull, false},
    };
    // Read 0 to 1 s and 2 to 3 s, over 300 columns: the pause is 100 to 200.
    for (const auto& [what, step, every, capacity, paused] : cases) {
        SampleHistory history(capacity);
        history.MarkBreak(); // before any sample: nothing
        for (qint64 msecs = 0; msecs < 3000; msecs += every) {
            if (msecs == 1000) {
                if (paused)
                    history.MarkBreak();
                msecs = 2000;
            }
            history.Append(msecs, static_cast<double>(msecs % 7 > 3));
        }
        const kt::monitor::TracePath path =
            kt::monitor::MakeTracePath(history, step, 0, 3000, 300, {0, 1, 0, 100});
        ASSERT_EQ(path.runs.size(), paused ? 2u : 1u) << what;
        for (qsizetype i = 0; paused && i < path.points.size(); ++i)
            EXPECT_TRUE(i < path.runs[1] ? path.points[i].x() <= 100 : path.points[i].x() >= 199)
                << what << " point " << i;
    }
    SampleHistory history;
    for (qint64 msecs = 0; msecs < 3000; ++msecs)
        history.Append(msecs, msecs == 1500 ? 1 : 0);
    const kt::monitor::TracePath path =
        kt::monitor::MakeTracePath(history, false, 0, 3000, 300, {0, 1, 0, 100});
    ASSERT_TRUE(path.dense);
    EXPECT_TRUE(std::any_of(path.points.begin(), path.points.end(), [](const QPointF& p) {
        return p.y() == 0 && std::abs(p.x() - 150) < 1;
    }));
}

TEST(MonitorCsvTest, MergesValuesByTimeWithTheBucketsExtremes) {
    // Kept in full: 30 and 31. Folded: 0, 5, 10 into one bucket, 25 alone.
    SampleHistory volts(2);
    for (const auto& [msecs, value] : std::vector<std::pair<qint64, double>>{
             {0, 1}, {5, 9}, {10, -2}, {25, 4}, {30, 5}, {31, 6}})
        volts.Append(msecs, value);
    // A bucket and a sample kept in full at one time: one row.
    SampleHistory amps(1);
    for (const double value : {3.0, 7.0, 5.0})
        amps.Append(40, value);
    SampleHistory input;
    input.Append(10, 1);
    input.Append(31, 0);
    auto ref = [](const char* name) { return *kt::drivemap::Find(name); };
    // Times from the oldest entry kept: the bucket's last sample, at 10.
    EXPECT_EQ(kt::monitor::MonitorCsv({{ref("BusVolt"), &volts},
                                       {ref("Input.0"), &input},
                                       {ref("MotorCurrent"), &amps},
                                       {ref("Counter.2"), nullptr}}),
              QByteArray("time [s],BusVolt [V],BusVolt min [V],BusVolt max [V],Input.0,"
                         "MotorCurrent [A],MotorCurrent min [A],MotorCurrent max [A],Counter.2\r\n"
                         "0.000,-2,-2,9,1,,,,\r\n"
                         "0.015,4,,,,,,,\r\n"
                         "0.020,5,,,,,,,\r\n"
                         "0.021,6,,,0,,,,\r\n"
                         "0.030,,,,,5,3,7,\r\n"));
}

} // namespace
