// The plot: its arithmetic as tables, then the view over ten minutes read a
// thousand times a second: the cursor, zoom, pan and follow, legends and
// readout clear of the data, and the pixels of a spike, a dip and a pulse.
#include "monitor/plot_scale.h"
#include "monitor/plot_view.h"
#include "monitor/sample_history.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <tuple>
#include <vector>

using kt::monitor::PlotTrace;
using kt::monitor::PlotView;
using kt::monitor::SampleHistory;
using kt::monitor::ValueAxis;
using Extent = SampleHistory::Extent;

namespace {

TEST(PlotScaleTest, AutoScaleOpensFlatValuesAddsRoomAndSnapsToTicks) {
    // What, the extent shown, the plot's height: the axis.
    const std::vector<std::tuple<const char*, std::optional<Extent>, double, ValueAxis>> cases = {
        // Never below 0: no negative tick, only a little room under 0.
        {"nothing shown", std::nullopt, 400, {-0.036 / 0.97, 1.2, 0.2, 1, false}},
        {"flat at 0: opened upwards", Extent{0, 0}, 400, {-0.036 / 0.97, 1.2, 0.2, 1, false}},
        {"from 0", Extent{0, 100}, 400, {-3.6 / 0.97, 120, 20, 0, false}},
        {"just above 0", Extent{2, 100}, 400, {-3.6 / 0.97, 120, 20, 0, false}},
        {"below 0 keeps its ticks", Extent{-1, 100}, 400, {-20, 120, 20, 0, false}},
        {"flat elsewhere: a tenth each way", Extent{48, 48}, 400, {42, 54, 2, 0, false}},
        {"lost in rounding: flat", Extent{1e6, 1e6 + 1e-4}, 400, {850000, 1150000, 50000, 0, true}},
        {"negative", Extent{-3, -1}, 400, {-3.5, -0.5, 0.5, 1, false}},
        {"a low plot has two ticks at least", Extent{-3, -1}, 20, {-4, 0, 2, 0, false}},
        {"fine steps", Extent{0.001, 0.004}, 400, {0.0005, 0.0045, 0.0005, 4, false}},
    };
    for (const auto& [what, extent, height, expected] : cases) {
        SCOPED_TRACE(what);
        const ValueAxis axis = kt::monitor::AutoScale(extent, height);
        EXPECT_NEAR(axis.lo, expected.lo, 1e-9 * std::abs(expected.step));
        EXPECT_NEAR(axis.hi, expected.hi, 1e-9 * std::abs(expected.step));
        EXPECT_DOUBLE_EQ(axis.step, expected.step);
        EXPECT_EQ(axis.decimals, expected.decimals);
        EXPECT_EQ(axis.large, expected.large);
        // The ticks are multiples of the step, wherever the axis starts.
        const double first = kt::monitor::Ticks(axis).front();
        EXPECT_NEAR(std::remainder(first, axis.step), 0, 1e-9 * axis.step);
        EXPECT_GE(first, axis.lo);
    }
}

TEST(PlotScaleTest, TicksAndTheirLabels) {
    const ValueAxis negative{-3.2, -0.8, 0.8, 1, false};
    const std::vector<double> ticks = kt::monitor::Ticks(negative);
    ASSERT_EQ(ticks.size(), 4u);
    EXPECT_DOUBLE_EQ(ticks.back(), -0.8);
    const std::vector<std::tuple<ValueAxis, double, const char*>> cases = {
        {negative, -3.2, "-3.2"},
        {{-1, 1, 0.5, 1, false}, -1e-17, "0.0"}, // never "-0.0"
        {{0, 2, 1, 0, false}, 2, "2"},
        {{850000, 1150000, 50000, 0, true}, 1050000, "1.05e+06"},
    };
    for (const auto& [axis, tick, label] : cases)
        EXPECT_EQ(kt::monitor::TickLabel(axis, tick).toStdString(), label) << tick;
    // However the steps round, a paint never draws more than 100.
    EXPECT_EQ(kt::monitor::Ticks({0, 1e300, 1, 0, true}).size(), 100u);
}

TEST(PlotScaleTest, VisibleExtentHoldsTheLeftEdgesValueNotItsBucketsSpike) {
    // Kept in full: only the newest. The slot from 0 holds 2, a spike of
    // 100, then 1; 30 and 35 follow.
    SampleHistory history(1);
    for (const auto& [msecs, value] :
         std::vector<std::pair<qint64, double>>{{0, 2}, {5, 100}, {10, 1}, {30, 3}, {35, 4}})
        history.Append(msecs, value);
    SampleHistory other;
    other.Append(20, -7);
    using MinMax = std::optional<std::pair<double, double>>;
    using Histories = std::vector<const SampleHistory*>;
    // The histories, the view's first and last millisecond: what they show.
    const std::vector<std::tuple<Histories, qint64, qint64, MinMax>> cases = {
        {{&history}, 15, 40, std::pair(1, 4)},  // held from the bucket: its last value
        {{&history}, 0, 40, std::pair(1, 100)}, // the bucket in view: its extremes
        {{&history}, 38, 40, std::pair(4, 4)},  // only what is held
        {{&history}, -10, -5, std::nullopt},
        {{&history, nullptr, &other}, 15, 40, std::pair(-7, 4)},
        {{nullptr}, 0, 40, std::nullopt},
    };
    for (const auto& [histories, first, last, expected] : cases) {
        const std::optional<Extent> extent = kt::monitor::VisibleExtent(histories, first, last);
        EXPECT_EQ(extent ? MinMax(std::pair(extent->min, extent->max)) : std::nullopt, expected)
            << first << " to " << last;
    }
}

TEST(PlotScaleTest, TimeTicksFallOnMultiplesOfTheirStep) {
    // first, span, width: labels 50 pixels wide, a tick per 80 pixels at most.
    const std::vector<std::tuple<qint64, qint64, double, kt::monitor::TimeAxis>> cases = {
        {0, 30000, 800, {5000, 0, 0}},
        {-6000, 30000, 800, {5000, -5000, 0}}, // before the recording's start
        {1001, 100, 800, {10, 1010, 2}},
        {1001, 1000, 800, {100, 1100, 1}},
        {12345, 20, 800, {2, 12346, 3}},
        {7, 1, 800, {1, 7, 3}}, // a millisecond at least
        {777, 600000, 1200, {50000, 50000, 0}},
        {0, 30000, 40, {50000, 0, 0}}, // too narrow for two labels: one
    };
    for (const auto& [first, span, width, axis] : cases)
        EXPECT_EQ(kt::monitor::TimeTicks(first, span, width, 50), axis) << first << " + " << span;
}

TEST(PlotScaleTest, LegendFillsRowsNoWiderThanThePlot) {
    // A swatch of 14, 4 before the name, 10 between items; rows 16 high.
    // The names' widths, the plot's: the items' places and the whole size.
    const std::vector<std::tuple<std::vector<double>, double, kt::monitor::LegendLayout>> cases = {
        {{30, 40}, 200, {{{0, 0}, {58, 0}}, 116, 16}},
        {{30, 40}, 116, {{{0, 0}, {58, 0}}, 116, 16}},
        {{30, 40}, 115, {{{0, 0}, {0, 16}}, 58, 32}},
        {{100}, 50, {{{0, 0}}, 118, 16}}, // wider than the plot: a row of its own
        {{100, 20, 60}, 160, {{{0, 0}, {0, 16}, {48, 16}}, 126, 32}},
        {{}, 100, {{}, 0, 0}},
    };
    for (const auto& [names, plotWidth, legend] : cases)
        EXPECT_EQ(kt::monitor::Legend(names, plotWidth, 16), legend) << plotWidth;
}

TEST(PlotScaleTest, ReadoutStaysBesideTheCursorAndInsideItsBounds) {
    const QRectF wide(2, 2, 796, 496);
    const QRectF small(0, 0, 400, 300);
    // What, size, cursor x and y, bounds: where the readout goes.
    const std::vector<std::tuple<const char*, QSizeF, double, double, QRectF, QRectF>> cases = {
        {"right of it", {200, 100}, 400, 30, wide, {410, 30, 200, 100}},
        {"at the left edge", {200, 100}, 3, 30, wide, {13, 30, 200, 100}},
        {"at the right edge: flipped", {200, 100}, 797, 30, wide, {587, 30, 200, 100}},
        {"too tall for where it starts: raised", {200, 100}, 400, 450, wide, {410, 398, 200, 100}},
        {"fits neither side", {300, 100}, 150, 0, small, {100, 0, 300, 100}},
        {"fits neither side, more room left", {300, 100}, 250, 0, small, {0, 0, 300, 100}},
        {"larger than its bounds: cut", {500, 600}, 200, 50, small, small},
    };
    for (const auto& [what, size, x, y, bounds, expected] : cases) {
        const QRectF rect = kt::monitor::ReadoutRect(size, x, y, bounds);
        EXPECT_EQ(rect, expected) << what;
        EXPECT_TRUE(bounds.contains(rect)) << what;
    }
}

constexpr qint64 kSpan = SampleHistory::kSpanMs;
constexpr qint64 kFedMs = kSpan + 2000;
constexpr qint64 kNewest = kFedMs - 1;
constexpr qint64 kSpikeMs = 240000;
constexpr qint64 kDipMs = 360000;
constexpr qint64 kPulseMs = 300000;

// A sawtooth within +-0.5: every bucket spreads, and none but the spike's
// and the dip's comes near +-100.
double Baseline(qint64 msecs) {
    return static_cast<double>(msecs % 1000) / 1000.0 - 0.5;
}

class PlotViewTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        for (qint64 msecs = 0; msecs < kFedMs; ++msecs) {
            s_volts.Append(msecs, msecs == kSpikeMs ? 100
                                  : msecs == kDipMs ? -100
                                                    : Baseline(msecs));
            s_pulse.Append(msecs, msecs == kPulseMs ? 1 : 0);
        }
    }
    PlotViewTest() {
        m_view.SetTraces({{"Volts", "V", false, &s_volts, {}, "V"}, {"Pulse", "", true, &s_pulse}});
        m_view.resize(900, 500);
        m_view.show();
    }
    void Send(QEvent::Type type, double x, Qt::MouseButton button = Qt::NoButton,
              Qt::MouseButtons buttons = Qt::NoButton) {
        QMouseEvent event(type, QPointF(x, 60), m_view.mapToGlobal(QPointF(x, 60)), button, buttons,
                          Qt::NoModifier);
        QApplication::sendEvent(&m_view, &event);
    }
    void Drag(double from, double to) {
        Send(QEvent::MouseButtonPress, from, Qt::LeftButton, Qt::LeftButton);
        Send(QEvent::MouseMove, to, Qt::NoButton, Qt::LeftButton);
        Send(QEvent::MouseButtonRelease, to, Qt::LeftButton, Qt::NoButton);
    }
    // The time under column x, as the cursor reads it.
    qint64 TimeAtColumn(int x) {
        Send(QEvent::MouseMove, x);
        return m_view.CursorMsecs().value_or(-1);
    }
    // Without the cursor, whose box shows the traces' colours.
    QImage Picture() {
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&m_view, &leave);
        return m_view.grab().toImage().convertToFormat(QImage::Format_RGB32);
    }

    // Ten minutes and two seconds, a thousand reads a second.
    static inline SampleHistory s_volts{2000};
    static inline SampleHistory s_pulse{2000};
    PlotView m_view;
};

TEST_F(PlotViewTest, CursorShowsTheSampleAtOrBeforeAndABucketsExtremes) {
    EXPECT_EQ(m_view.CursorValues(-1), (QStringList{"Volts = \u2014", "Pulse = \u2014"}));
    EXPECT_EQ(m_view.CursorValues(kSpikeMs),
              (QStringList{"Volts = -0.481 V (min -0.499, max 100)", "Pulse = 0 (min 0, max 0)"}));
    EXPECT_EQ(m_view.CursorValues(kNewest), (QStringList{"Volts = 0.499 V", "Pulse = 0"}));
}

TEST_F(PlotViewTest, ZoomAndPanLeaveFollowingHomeReturns) {
    // Following, the last thirty seconds.
    EXPECT_TRUE(m_view.Following());
    EXPECT_EQ(m_view.VisibleRange().first, kNewest - 30000);
    EXPECT_EQ(m_view.VisibleRange().last, kNewest);

    QSignalSpy following(&m_view, &PlotView::followingChanged);
    QWheelEvent wheel(QPointF(400, 100), m_view.mapToGlobal(QPointF(400, 100)), QPoint(),
                      QPoint(0, 120), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QApplication::sendEvent(&m_view, &wheel);
    EXPECT_FALSE(m_view.Following());
    EXPECT_EQ(following.size(), 1);
    const PlotView::Range zoomed = m_view.VisibleRange();
    EXPECT_EQ(zoomed.last - zoomed.first, 24000);
    EXPECT_GT(zoomed.first, kNewest - 30000);
    EXPECT_LT(zoomed.last, kNewest);

    Drag(400, 500); // to the right: earlier times come into view
    const PlotView::Range panned = m_view.VisibleRange();
    EXPECT_LT(panned.last, zoomed.last);
    EXPECT_EQ(panned.last - panned.first, 24000);

    QTest::keyClick(&m_view, Qt::Key_Home);
    EXPECT_TRUE(m_view.Following());
    Drag(400, 300);
    EXPECT_FALSE(m_view.Following());
    EXPECT_LE(m_view.VisibleRange().last, kNewest + 30000);
    QTest::mouseDClick(&m_view, Qt::LeftButton, {}, QPoint(400, 100));
    EXPECT_TRUE(m_view.Following());
    EXPECT_EQ(m_view.VisibleRange().last, kNewest);
}

// Legends stand above the data, the newest samples' place included, and the
// cursor's readout inside the widget wherever the cursor is.
TEST_F(PlotViewTest, LegendsAndReadoutKeepClearOfTheDataAndInsideTheWidget) {
    std::vector<PlotTrace> traces = m_view.Traces();
    for (const char* name : {"Reference speed", "Current speed", "Deceleration rate"})
        traces.push_back({name, "V", false, &s_volts});
    m_view.SetTraces(traces);
    for (const QSize size : {QSize(800, 500), QSize(300, 120)}) {
        m_view.resize(size);
        const PlotView::Layout layout = m_view.Geometry();
        ASSERT_EQ(layout.legends.size(), 2u);
        EXPECT_TRUE(layout.legends[1].isEmpty()); // bits are named at their lanes
        EXPECT_TRUE(QRectF(m_view.rect()).contains(layout.legends[0])) << size.width();
        for (const QRectF& plot : layout.plots)
            EXPECT_FALSE(layout.legends[0].intersects(plot)) << size.width();
        for (const double x : {layout.left, layout.right}) {
            Send(QEvent::MouseMove, x);
            const std::optional<QRectF> readout = m_view.ReadoutArea();
            ASSERT_TRUE(readout) << x;
            EXPECT_TRUE(QRectF(m_view.rect()).contains(*readout)) << size.width() << " " << x;
        }
        EXPECT_FALSE(m_view.grab().isNull()); // with the readout, cut to what fits
    }
}

// A trace's pixels in a column of the picture: the first and the last row.
struct Column {
    int x;
    int top = std::numeric_limits<int>::max();
    int bottom = -1;
    int Height() const { return std::max(bottom - top + 1, 0); }
};
// The columns between the value axis and the legend, in rows from top to bottom.
template <typename Pick>
std::vector<Column> Scan(const QImage& image, int top, int bottom, Pick pick) {
    std::vector<Column> columns;
    for (int x = 150; x < 650; ++x) {
        Column& column = columns.emplace_back(Column{x});
        for (int y = top; y < bottom; ++y)
            if (pick(image.pixel(x, y))) {
                column.top = std::min(column.top, y);
                column.bottom = y;
            }
    }
    return columns;
}

TEST_F(PlotViewTest, TheSpikeTheDipAndThePulseShowAtTheirTimes) {
    const PlotView::Layout layout = m_view.Geometry();
    const int split = static_cast<int>(layout.plots[0].bottom() + layout.plots[1].top()) / 2;
    // The first trace's blue, also where a thin line blends it with white.
    auto blue = [](QRgb pixel) { return qBlue(pixel) - qRed(pixel) > 60; };
    auto pulse = [](QRgb pixel) { return pixel == PlotView::TraceColor(1).rgb(); };
    auto byTop = [](const Column& a, const Column& b) { return a.top < b.top; };
    auto byBottom = [](const Column& a, const Column& b) { return a.bottom < b.bottom; };
    auto byHeight = [](const Column& a, const Column& b) { return a.Height() < b.Height(); };

    // Ten minutes: the spike climbs from the band in the middle to near the
    // top, the dip falls as far, each in the column of its time; the pulse
    // spans its lane in one column.
    m_view.SetVisibleSpan(kSpan);
    const QImage whole = Picture();
    const std::vector<Column> volts = Scan(whole, 0, split, blue);
    const Column highest = *std::min_element(volts.begin(), volts.end(), byTop);
    const Column lowest = *std::max_element(volts.begin(), volts.end(), byBottom);
    EXPECT_LT(highest.top, volts.front().top - 100);
    EXPECT_GT(lowest.bottom, volts.front().bottom + 100);
    const qint64 perColumn = kSpan / 700 + 1;
    EXPECT_NEAR(TimeAtColumn(highest.x), kSpikeMs, 2 * perColumn);
    EXPECT_NEAR(TimeAtColumn(lowest.x), kDipMs, 2 * perColumn);
    const std::vector<Column> bit = Scan(whole, split, whole.height(), pulse);
    const auto tallest = std::max_element(bit.begin() + 20, bit.end(), byHeight);
    EXPECT_GT(tallest->Height(), layout.plots[1].height() / 2);
    EXPECT_LE((tallest - 20)->Height(), 3);
    EXPECT_NEAR(TimeAtColumn(tallest->x), kPulseMs, 2 * perColumn);

    // Two seconds: a hundred buckets, each drawn on its own; the spike's is
    // an upright span from the sawtooth to 100 and back, in one column.
    m_view.SetVisibleSpan(2000);
    m_view.ShowUntil(kSpikeMs + 1000);
    const std::vector<Column> zoomed = Scan(Picture(), 0, split, blue);
    const auto spike = std::min_element(zoomed.begin(), zoomed.end() - 8, byTop);
    EXPECT_GT(spike->Height(), 150);
    EXPECT_LE((spike + 8)->Height(), 20);
    EXPECT_NEAR(TimeAtColumn(spike->x), kSpikeMs, SampleHistory::kBucketMs + 2000 / 700 + 1);
}

} // namespace
