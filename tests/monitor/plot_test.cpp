// The plot: its arithmetic as tables, then the view over ten minutes read a
// thousand times a second: the cursor, zoom, pan and follow.
#include "monitor/plot_scale.h"
#include "monitor/plot_view.h"
#include "monitor/sample_history.h"
#include "platform/contrast.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QMouseEvent>
#include <QSignalSpy>
#include <QTest>
#include <QWheelEvent>

#include <cmath>
#include <optional>
#include <tuple>
#include <vector>

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
        {"below 0 keeps its ticks", Extent{-1, 100}, 400, {-20, 120, 20, 0, false}},
        {"flat elsewhere: a tenth each way", Extent{48, 48}, 400, {42, 54, 2, 0, false}},
        {"lost in rounding: flat", Extent{1e6, 1e6 + 1e-4}, 400, {850000, 1150000, 50000, 0, true}},
        {"negative", Extent{-3, -1}, 400, {-3.5, -0.5, 0.5, 1, false}},
        {"a low plot has two ticks at least", Extent{-3, -1}, 20, {-4, 0, 2, 0, false}},
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
    const std::vector<std::tuple<ValueAxis, double, const char*>> cases = {
        {{-1, 1, 0.5, 1, false}, -1e-17, "0.0"}, // never "-0.0"
        {{850000, 1150000, 50000, 0, true}, 1050000, "1.05e+06"}};
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
        {-6000, 30000, 800, {5000, -5000, 0}}, // before the recording's start
        {1001, 1000, 800, {100, 1100, 1}},
        {12345, 20, 800, {2, 12346, 3}},
        {0, 30000, 40, {50000, 0, 0}}, // too narrow for two labels: one
    };
    for (const auto& [first, span, width, axis] : cases)
        EXPECT_EQ(kt::monitor::TimeTicks(first, span, width, 50), axis) << first << " + " << span;
}

TEST(PlotScaleTest, ReadoutStaysBesideTheCursorAndInsideItsBounds) {
    const QRectF wide(2, 2, 796, 496);
    const QRectF small(0, 0, 400, 300);
    // What, size, cursor x and y, bounds: where the readout goes.
    const std::vector<std::tuple<const char*, QSizeF, double, double, QRectF, QRectF>> cases = {
        {"right of it", {200, 100}, 400, 30, wide, {410, 30, 200, 100}},
        {"at the right edge: flipped", {200, 100}, 797, 30, wide, {587, 30, 200, 100}},
        {"too tall for where it starts: raised", {200, 100}, 400, 450, wide, {410, 398, 200, 100}},
        {"fits neither side", {300, 100}, 150, 0, small, {100, 0, 300, 100}},
        {"larger than its bounds: cut", {500, 600}, 200, 50, small, small},
    };
    for (const auto& [what, size, x, y, bounds, expected] : cases) {
        const QRectF rect = kt::monitor::ReadoutRect(size, x, y, bounds);
        EXPECT_EQ(rect, expected) << what;
        EXPECT_TRUE(bounds.contains(rect)) << what;
    }
}

constexpr qint64 kFedMs = SampleHistory::kSpanMs + 2000;
constexpr qint64 kNewest = kFedMs - 1;
constexpr qint64 kSpikeMs = 240000;

class PlotViewTest : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        // A sawtooth within +-0.5 and a spike to 100.
        for (qint64 msecs = 0; msecs < kFedMs; ++msecs) {
            s_volts.Append(msecs, msecs == kSpikeMs ? 100 : (msecs % 1000) / 1000.0 - 0.5);
            s_pulse.Append(msecs, 0);
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
    QSignalSpy clicked(&m_view, &PlotView::timeClicked);
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
    EXPECT_EQ(clicked.size(), 0); // drags are no clicks
}

// A click moves nothing and names its time; the marker is drawn at its time.
TEST_F(PlotViewTest, ClickNamesItsTimeMarkerStandsAtItsTime) {
    QSignalSpy clicked(&m_view, &PlotView::timeClicked);
    const PlotView::Layout layout = m_view.Geometry();
    const double x = (layout.left + layout.right) / 2;
    Send(QEvent::MouseButtonPress, x, Qt::LeftButton, Qt::LeftButton);
    Send(QEvent::MouseMove, x + 1, Qt::NoButton, Qt::LeftButton);
    Send(QEvent::MouseButtonRelease, x + 1, Qt::LeftButton, Qt::NoButton);
    EXPECT_TRUE(m_view.Following());
    ASSERT_EQ(clicked.size(), 1);
    const qint64 at = clicked.front().front().toLongLong();
    EXPECT_NEAR(static_cast<double>(at), static_cast<double>(kNewest - 15000), 200);

    m_view.SetMarker(at);
    QEvent leave(QEvent::Leave); // the mouse's own cursor would cover it
    QApplication::sendEvent(&m_view, &leave);
    const QImage image = m_view.grab().toImage();
    const QColor mark = m_view.palette().color(QPalette::Highlight);
    const int y = static_cast<int>(layout.plots.front().center().y());
    EXPECT_EQ(image.pixelColor(static_cast<int>(x + 1), y), mark);
    EXPECT_NE(image.pixelColor(static_cast<int>(x + 40), y), mark);
}

// Keys only, to the widget with the focus; each row's state after its key.
TEST_F(PlotViewTest, KeysZoomPanAndMoveACursorWhoseEnterPicksItsTime) {
    m_view.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&m_view));
    QSignalSpy clicked(&m_view, &PlotView::timeClicked);
    constexpr qint64 kMiddle = kNewest - 15000;
    const std::vector<std::tuple<Qt::Key, Qt::KeyboardModifiers, qint64, qint64,
                                 std::optional<qint64>>>
        rows = {// key, modifiers: the span, the last time shown, the cursor
                {Qt::Key_Plus, Qt::ShiftModifier, 24000, kNewest - 3000, {}},
                {Qt::Key_Minus, {}, 30000, kNewest, {}},
                {Qt::Key_Left, {}, 30000, kNewest - 3000, {}},
                {Qt::Key_PageUp, {}, 30000, kNewest - 33000, {}},
                {Qt::Key_Home, {}, 30000, kNewest, {}},
                {Qt::Key_Period, {}, 30000, kNewest, kMiddle},
                {Qt::Key_Right, Qt::ShiftModifier, 30000, kNewest, kMiddle + 300},
                {Qt::Key_Comma, {}, 30000, kNewest, kMiddle},
                {Qt::Key_Left, Qt::ShiftModifier, 30000, kNewest, kMiddle - 300},
                {Qt::Key_Plus, {}, 24000, kNewest - 3060, kMiddle - 300}, // about the cursor
                {Qt::Key_Return, {}, 24000, kNewest - 3060, kMiddle - 300},
                {Qt::Key_Escape, {}, 24000, kNewest - 3060, {}}};
    for (const auto& [key, modifiers, span, last, cursor] : rows) {
        QTest::keyClick(QApplication::focusWidget(), key, modifiers);
        SCOPED_TRACE(QKeySequence(key | modifiers).toString().toStdString());
        EXPECT_EQ(m_view.VisibleSpan(), span);
        EXPECT_EQ(m_view.VisibleRange().last, last);
        EXPECT_EQ(std::pair(m_view.CursorMsecs(), m_view.ReadoutArea().has_value()),
                  std::pair(cursor, cursor.has_value()));
    }
    EXPECT_EQ(clicked.size() == 1 ? clicked[0][0].toLongLong() : -1, kMiddle - 300);
}

// Lines at 3:1, text at 4.5:1; high contrast: text and axes in the text's colour.
TEST_F(PlotViewTest, ColoursKeepTheirContrastOnTheirGround) {
    using kt::platform::Contrast;
    const std::vector<std::tuple<const char*, QColor, QColor, bool>> cases = {
        {"light", Qt::white, Qt::black, true},
        {"dark", QColor(30, 30, 30), QColor(220, 220, 220), true},
        {"soft", QColor(250, 250, 250), QColor(105, 105, 105), false}};
    for (const auto& [what, ground, text, high] : cases) {
        SCOPED_TRACE(what);
        QPalette inks;
        inks.setColor(QPalette::Base, ground);
        inks.setColor(QPalette::Text, text);
        const PlotView::Colours colours = PlotView::ColoursFor(inks);
        for (int i = 0; i < 8; ++i) {
            EXPECT_GE(Contrast(PlotView::TraceColor(i, inks), ground), 3.0) << i;
            EXPECT_GE(Contrast(PlotView::TraceTextColor(i, inks), ground), 4.5) << i;
        }
        EXPECT_GE(std::min(Contrast(colours.text, ground), Contrast(colours.muted, ground)), 4.5);
        EXPECT_GE(std::min(Contrast(colours.frame, ground), Contrast(colours.mark, ground)), 3.0);
        EXPECT_EQ(colours.muted == colours.text && colours.frame == colours.text, high);
        // What is drawn is what was measured.
        m_view.setPalette(inks);
        const QRectF lanes = m_view.Geometry().plots.back(); // no ticks cross its frame
        const QPoint edge = QPointF(lanes.left(), lanes.center().y()).toPoint();
        EXPECT_EQ(m_view.grab().toImage().pixelColor(edge), colours.frame);
    }
}

} // namespace
