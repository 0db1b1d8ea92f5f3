// The Monitor window's data and plot: the history's bounds by time, its
// folding of older samples into buckets, its rings' wrap and growth, its
// pauses, the CSV of several values sampled at different times, the trace
// broken at a pause, and the plot's cursor, zoom, pan and follow, where its
// legends and readout go, with a paint of a full history.
#include "monitor/monitor_csv.h"
#include "monitor/plot_view.h"
#include "monitor/sample_history.h"
#include "monitor/trace_path.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <cmath>
#include <vector>

using kt::monitor::MonitorCsv;
using kt::monitor::MonitorValueText;
using kt::monitor::PlotTrace;
using kt::monitor::PlotView;
using kt::monitor::RecordedValue;
using kt::monitor::SampleHistory;

namespace {

kt::drivemap::ValueRef Ref(const char* name) {
    return *kt::drivemap::Find(name);
}

std::vector<qint64> Times(const SampleHistory& history) {
    std::vector<qint64> times;
    for (int i = 0; i < history.Size(); ++i)
        times.push_back(history.At(i).msecs);
    return times;
}

constexpr qint64 kSpan = SampleHistory::kSpanMs;

std::vector<qint64> Counts(const SampleHistory& history) {
    std::vector<qint64> counts;
    for (int i = 0; i < history.Size(); ++i)
        counts.push_back(history.At(i).count);
    return counts;
}

TEST(SampleHistoryTest, KeepsTheNewestInFullFoldsTheOlderDropsByTime) {
    struct Case {
        const char* what;
        int capacity;
        std::vector<qint64> appended;
        std::vector<qint64> kept;
        std::vector<qint64> counts;
        bool whole;
    };
    const std::vector<Case> cases = {
        {"count", 4, {0, 1, 2, 3, 4, 5, 6}, {2, 3, 4, 5, 6}, {3, 1, 1, 1, 1}, false},
        {"a bucket per slot",
         2,
         {0, 19, 20, 45, 46, 47},
         {19, 20, 45, 46, 47},
         {2, 1, 1, 1, 1},
         false},
        {"folded one by one is whole", 1, {1, 2}, {1, 2}, {1, 1}, true},
        {"time", 100, {0, 5, kSpan, kSpan + 5}, {5, kSpan, kSpan + 5}, {1, 1, 1}, false},
        {"a bucket stays while its last sample is within",
         1,
         {0, 10, kSpan + 5},
         {10, kSpan + 5},
         {2, 1},
         false},
        {"and goes with it",
         1,
         {0, 10, kSpan + 5, kSpan + 15},
         {kSpan + 5, kSpan + 15},
         {1, 1},
         false},
        {"late time refused", 100, {10, 20, 15, 20}, {10, 20, 20}, {1, 1, 1}, true},
    };
    for (const Case& c : cases) {
        SampleHistory history(c.capacity);
        for (qint64 msecs : c.appended)
            history.Append(msecs, 1.0);
        EXPECT_EQ(Times(history), c.kept) << c.what;
        EXPECT_EQ(Counts(history), c.counts) << c.what;
        EXPECT_EQ(history.Whole(), c.whole) << c.what;
        qint64 samples = 0;
        for (qint64 count : c.counts)
            samples += count;
        EXPECT_EQ(history.Samples(), samples) << c.what;
    }
    SampleHistory history;
    EXPECT_FALSE(history.Append(0, std::nan("")));
    EXPECT_TRUE(history.Empty());
}

TEST(SampleHistoryTest, SearchesAndScalesAcrossBothTiers) {
    // Kept in full: 80 to 120. Buckets of two: 0-10, 20-30, 40-50, 60-70.
    SampleHistory history(5);
    for (int i = 0; i <= 12; ++i)
        history.Append(i * 10, i % 2 ? -i : i);
    ASSERT_EQ(Times(history), (std::vector<qint64>{10, 30, 50, 70, 80, 90, 100, 110, 120}));
    EXPECT_TRUE(history.Reduced());
    EXPECT_EQ(history.FullFromMsecs(), 80);
    const SampleHistory::Sample bucket = history.At(1);
    EXPECT_EQ(bucket.value, -3);
    EXPECT_EQ(bucket.min, -3);
    EXPECT_EQ(bucket.max, 2);
    struct Search {
        qint64 msecs;
        int atOrBefore;
        int at; // a reduced bucket stands for its whole slot
    };
    const std::vector<Search> searches = {{-1, -1, -1}, {5, -1, 0},  {10, 0, 0},  {25, 0, 1},
                                          {45, 1, 2},   {70, 3, 3},  {79, 3, 3},  {80, 4, 4},
                                          {95, 5, 5},   {119, 7, 7}, {5000, 8, 8}};
    for (const Search& s : searches) {
        EXPECT_EQ(history.IndexAtOrBefore(s.msecs), s.atOrBefore) << s.msecs;
        EXPECT_EQ(history.IndexAt(s.msecs), s.at) << s.msecs;
    }
    struct Range {
        qint64 from;
        qint64 to;
        double min;
        double max;
    };
    const std::vector<Range> ranges = {
        {0, 1000, -11, 12}, {25, 55, -5, 4}, {65, 85, -7, 8}, {81, 95, -9, -9}};
    for (const Range& r : ranges) {
        const auto extent = history.MinMax(r.from, r.to);
        ASSERT_TRUE(extent) << r.from;
        EXPECT_EQ(extent->min, r.min) << r.from;
        EXPECT_EQ(extent->max, r.max) << r.from;
    }
    EXPECT_FALSE(history.MinMax(121, 200));
    EXPECT_FALSE(history.MinMax(11, 29));
    history.Clear();
    EXPECT_EQ(history.IndexAtOrBefore(100), -1);
    EXPECT_EQ(history.Samples(), 0);
    EXPECT_TRUE(history.Whole());
    EXPECT_TRUE(history.Append(5, 1));
    EXPECT_EQ(history.FirstMsecs(), 5);
}

TEST(SampleHistoryTest, GrowsAWrappedRingInOrder) {
    SampleHistory history(3000);
    // One a second for 25 minutes: the time bound drops the oldest and the
    // ring, still small, wraps; then a fast burst makes it grow, wrapped,
    // up to its capacity, and fold the slow samples into buckets of one.
    qint64 msecs = 0;
    for (int i = 0; i < 1500; ++i, msecs += 1000)
        history.Append(msecs, 0);
    for (int i = 0; i < 3000; ++i, ++msecs)
        history.Append(msecs, 0);
    std::vector<qint64> kept;
    for (qint64 t = 0; t < 1500 * 1000; t += 1000)
        if (t >= msecs - 1 - kSpan)
            kept.push_back(t);
    for (qint64 t = msecs - 3000; t < msecs; ++t)
        kept.push_back(t);
    EXPECT_EQ(Times(history), kept);
    EXPECT_FALSE(history.Reduced());
    EXPECT_EQ(history.FullFromMsecs(), history.FirstMsecs());
}

// A pause leaves a break that nothing drawn crosses: a run of samples
// before it and one after, whatever the drawing makes of the samples.
TEST(TracePathTest, APauseBreaksTheLine) {
    struct Case {
        const char* what;
        bool step;
        qint64 every; // milliseconds between samples
        int capacity; // kept in full; older ones are folded into buckets
        bool paused;
    };
    const std::vector<Case> cases = {
        {"values", false, 10, SampleHistory::kRawCapacity, true},
        {"bits", true, 10, SampleHistory::kRawCapacity, true},
        {"thinned per column", false, 1, SampleHistory::kRawCapacity, true},
        {"buckets", false, 5, 10, true},
        {"no pause, no break", false, 10, SampleHistory::kRawCapacity, false},
    };
    // Read 0 to 1 s and 2 to 3 s, over 300 columns: the pause is 100 to 200.
    for (const Case& c : cases) {
        SampleHistory history(c.capacity);
        history.MarkBreak(); // before any sample: nothing
        for (qint64 msecs = 0; msecs < 3000; msecs += c.every) {
            if (msecs == 1000) {
                if (c.paused)
                    history.MarkBreak();
                msecs = 2000;
            }
            history.Append(msecs, static_cast<double>(msecs % 7 > 3));
        }
        const kt::monitor::TracePath path =
            kt::monitor::MakeTracePath(history, c.step, 0, 3000, 300, {0, 1, 0, 100});
        ASSERT_EQ(path.runs.size(), c.paused ? 2u : 1u) << c.what;
        if (!c.paused)
            continue;
        EXPECT_EQ(history.Breaks(), std::vector<qint64>{2000}) << c.what;
        for (qsizetype i = 0; i < path.points.size(); ++i) {
            const double x = path.points[i].x();
            if (i < path.runs[1])
                EXPECT_LE(x, 100) << c.what << " point " << i;
            else
                EXPECT_GE(x, 199) << c.what << " point " << i;
        }
    }
}

// Through the one CSV writer: the command line's header, time, text and
// line ends.
TEST(MonitorCsvTest, MergesValuesByTime) {
    SampleHistory volts;
    volts.Append(1000, 12.5);
    volts.Append(1005, 3);
    SampleHistory input;
    input.Append(1005, 1);
    input.Append(1010, 0);
    input.Append(1010, 1); // read twice in one millisecond: the later counts
    SampleHistory error;
    error.Append(2010, 3);
    const std::vector<RecordedValue> values = {{Ref("BusVolt"), &volts},
                                               {Ref("Input.1"), &input},
                                               {Ref("Error"), &error},
                                               {Ref("Counter.2"), nullptr}};
    EXPECT_EQ(MonitorCsv(values), QByteArray("time [s],BusVolt [V],Input.1,Error,Counter.2\r\n"
                                             "0.000,12.5,,,\r\n"
                                             "0.005,3,1,,\r\n"
                                             "0.010,,1,,\r\n"
                                             "1.010,,,3: Fault in motor power stage.,\r\n"));
    EXPECT_EQ(MonitorCsv({}), QByteArray("time [s]\r\n"));
}

TEST(PlotViewTextTest, AValueWithoutATextOfItsOwn) {
    const std::vector<std::tuple<double, bool, QString>> cases = {{12.5, false, "12.5"},
                                                                  {3, false, "3"},
                                                                  {0.1, false, "0.1"},
                                                                  {-2.25, false, "-2.25"},
                                                                  {1234.5678, false, "1234.568"},
                                                                  {-0.0004, false, "0"},
                                                                  {-32768, false, "-32768"},
                                                                  {0.7, true, "1"},
                                                                  {0, true, "0"}};
    for (const auto& [value, bit, text] : cases)
        EXPECT_EQ(MonitorValueText(value, bit), text) << value;
}

class PlotViewTest : public ::testing::Test {
protected:
    PlotViewTest() {
        // 200 reads a second for ten minutes, and a bit toggling each second.
        for (qint64 msecs = 0; msecs < kSpan; msecs += 5) {
            m_volts.Append(msecs, 24 + std::sin(static_cast<double>(msecs) / 1000.0));
            if (msecs % 1000 == 0)
                m_input.Append(msecs, static_cast<double>((msecs / 1000) % 2));
        }
        m_view.SetTraces(
            {{"Bus volt", "V", false, &m_volts, {}, "V"}, {"Input 1", "", true, &m_input}});
        m_view.resize(800, 500);
        m_view.show();
    }
    void Send(QEvent::Type type, double x, Qt::MouseButton button, Qt::MouseButtons buttons) {
        QMouseEvent event(type, QPointF(x, 100), m_view.mapToGlobal(QPointF(x, 100)), button,
                          buttons, Qt::NoModifier);
        QApplication::sendEvent(&m_view, &event);
    }
    void Drag(double from, double to) {
        Send(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
        Send(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
        Send(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    }

    SampleHistory m_volts;
    SampleHistory m_input;
    PlotView m_view;
};

TEST_F(PlotViewTest, CursorShowsTheSampleAtOrBefore) {
    EXPECT_EQ(m_view.CursorValues(-1), (QStringList{"Bus volt = \u2014", "Input 1 = \u2014"}));
    EXPECT_EQ(m_view.CursorValues(1002), (QStringList{"Bus volt = 24.841 V", "Input 1 = 1"}));
    QSignalSpy moved(&m_view, &PlotView::cursorMoved);
    Send(QEvent::MouseMove, 400, Qt::NoButton, Qt::NoButton);
    ASSERT_EQ(moved.size(), 1);
    EXPECT_EQ(m_view.CursorMsecs(), moved.front().front().toLongLong());
    const PlotView::Range range = m_view.VisibleRange();
    EXPECT_GT(*m_view.CursorMsecs(), range.first);
    EXPECT_LT(*m_view.CursorMsecs(), range.last);
}

TEST_F(PlotViewTest, ZoomAndPanLeaveFollowingHomeReturns) {
    const qint64 newest = m_volts.LastMsecs();
    EXPECT_TRUE(m_view.Following());
    EXPECT_EQ(m_view.VisibleRange().first, newest - PlotView::kDefaultSpanMs);
    EXPECT_EQ(m_view.VisibleRange().last, newest);

    QSignalSpy following(&m_view, &PlotView::followingChanged);
    QWheelEvent wheel(QPointF(400, 100), m_view.mapToGlobal(QPointF(400, 100)), QPoint(),
                      QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&m_view, &wheel);
    EXPECT_FALSE(m_view.Following());
    EXPECT_EQ(following.size(), 1);
    PlotView::Range zoomed = m_view.VisibleRange();
    EXPECT_EQ(zoomed.last - zoomed.first, PlotView::kDefaultSpanMs * 8 / 10);
    EXPECT_GT(zoomed.first, newest - PlotView::kDefaultSpanMs);
    EXPECT_LT(zoomed.last, newest);

    Drag(400, 500); // to the right: earlier times come into view
    const PlotView::Range panned = m_view.VisibleRange();
    EXPECT_LT(panned.last, zoomed.last);
    EXPECT_EQ(panned.last - panned.first, zoomed.last - zoomed.first);

    QTest::keyClick(&m_view, Qt::Key_Home);
    EXPECT_TRUE(m_view.Following());
    Drag(400, 300);
    EXPECT_FALSE(m_view.Following());
    EXPECT_LE(m_view.VisibleRange().last, newest + PlotView::kDefaultSpanMs);
    QTest::mouseDClick(&m_view, Qt::LeftButton, {}, QPoint(400, 100));
    EXPECT_TRUE(m_view.Following());
    EXPECT_EQ(m_view.VisibleRange().last, newest);
}

// Legends stand above the data, the newest samples' place included, and the
// cursor's readout inside the widget wherever the cursor is.
TEST_F(PlotViewTest, LegendsAndReadoutKeepClearOfTheDataAndInsideTheWidget) {
    SampleHistory other;
    other.Append(0, 3);
    std::vector<PlotTrace> traces = m_view.Traces();
    for (const char* name : {"Reference speed", "Current speed", "Deceleration rate"})
        traces.push_back({name, "V", false, &other});
    m_view.SetTraces(traces);
    for (const QSize size : {QSize(800, 500), QSize(300, 120)}) {
        m_view.resize(size);
        const PlotView::Layout layout = m_view.Geometry();
        ASSERT_EQ(layout.legends.size(), 2u);
        EXPECT_TRUE(layout.legends[1].isEmpty()); // bits are named at their lanes
        for (const QRectF& legend : {layout.legends[0]}) {
            EXPECT_TRUE(QRectF(m_view.rect()).contains(legend)) << size.width();
            for (const QRectF& plot : layout.plots)
                EXPECT_FALSE(legend.intersects(plot)) << size.width();
        }
        for (const double x : {layout.left, layout.right}) {
            Send(QEvent::MouseMove, x, Qt::NoButton, Qt::NoButton);
            const std::optional<QRectF> readout = m_view.ReadoutArea();
            ASSERT_TRUE(readout) << x;
            EXPECT_TRUE(QRectF(m_view.rect()).contains(*readout)) << size.width() << " " << x;
        }
    }
}

TEST_F(PlotViewTest, PaintsAFullHistory) {
    ASSERT_EQ(m_volts.Size(), 120000);
    m_view.SetVisibleSpan(kSpan);
    Send(QEvent::MouseMove, 400, Qt::NoButton, Qt::NoButton); // with the cursor box
    const qint64 before = m_view.PaintCount();
    EXPECT_FALSE(m_view.grab().isNull());
    m_view.SetVisibleSpan(PlotView::kMinSpanMs); // a few samples, each drawn
    EXPECT_FALSE(m_view.grab().isNull());
    m_view.SetTraces({});
    EXPECT_FALSE(m_view.grab().isNull());
    EXPECT_EQ(m_view.PaintCount(), before + 3);
}

} // namespace
