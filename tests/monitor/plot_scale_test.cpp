// The plot's arithmetic as tables: tick steps, what a view shows of the
// histories, the value axis's autoscale and ticks, the time axis's ticks,
// the legend's layout and the cursor readout's place.
#include "monitor/plot_scale.h"

#include <gtest/gtest.h>

#include <cmath>
#include <optional>
#include <vector>

using kt::monitor::SampleHistory;
using kt::monitor::ValueAxis;
using Extent = SampleHistory::Extent;

namespace {

TEST(PlotScaleTest, NiceStepIsOneTwoOrFiveTimesAPowerOfTen) {
    struct Case {
        double range;
        double count;
        double step;
    };
    const std::vector<Case> cases = {
        {10, 5, 2},      {10, 4, 5},          {1, 10, 0.1}, {7, 1, 10},
        {0.03, 2, 0.02}, {30000, 10, 5000},   {3, 0, 5}, // fewer than one tick: one
        {1e7, 3, 5e6},   {0.0001, 1, 0.0001},
    };
    for (const Case& c : cases)
        EXPECT_DOUBLE_EQ(kt::monitor::NiceStep(c.range, c.count), c.step)
            << c.range << " / " << c.count;
}

TEST(PlotScaleTest, AutoScaleOpensFlatValuesAddsRoomAndSnapsToTicks) {
    struct Case {
        const char* what;
        std::optional<Extent> extent;
        double height;
        ValueAxis axis;
    };
    const std::vector<Case> cases = {
        // Never below 0: no negative tick, only a little room under 0.
        {"nothing shown", std::nullopt, 400, {-0.036 / 0.97, 1.2, 0.2, 1, false}},
        {"flat at 0: opened upwards", Extent{0, 0}, 400, {-0.036 / 0.97, 1.2, 0.2, 1, false}},
        {"from 0", Extent{0, 100}, 400, {-3.6 / 0.97, 120, 20, 0, false}},
        {"just above 0", Extent{2, 100}, 400, {-3.6 / 0.97, 120, 20, 0, false}},
        {"below 0 keeps its ticks", Extent{-1, 100}, 400, {-20, 120, 20, 0, false}},
        {"flat elsewhere: a tenth each way", Extent{48, 48}, 400, {42, 54, 2, 0, false}},
        {"a difference lost in rounding is flat",
         Extent{1e6, 1e6 + 1e-4},
         400,
         {850000, 1150000, 50000, 0, true}},
        {"negative", Extent{-3, -1}, 400, {-3.5, -0.5, 0.5, 1, false}},
        {"a low plot has two ticks at least", Extent{-3, -1}, 20, {-4, 0, 2, 0, false}},
        {"fine steps", Extent{0.001, 0.004}, 400, {0.0005, 0.0045, 0.0005, 4, false}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const ValueAxis axis = kt::monitor::AutoScale(c.extent, c.height);
        EXPECT_NEAR(axis.lo, c.axis.lo, 1e-9 * std::abs(c.axis.step));
        EXPECT_NEAR(axis.hi, c.axis.hi, 1e-9 * std::abs(c.axis.step));
        EXPECT_DOUBLE_EQ(axis.step, c.axis.step);
        EXPECT_EQ(axis.decimals, c.axis.decimals);
        EXPECT_EQ(axis.large, c.axis.large);
        // Everything shown lies inside, with room to spare.
        if (c.extent) {
            EXPECT_LT(axis.lo, c.extent->min);
            EXPECT_GT(axis.hi, c.extent->max);
        }
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
    struct Case {
        ValueAxis axis;
        double tick;
        const char* label;
    };
    const std::vector<Case> cases = {
        {negative, -3.2, "-3.2"},
        {{-1, 1, 0.5, 1, false}, -1e-17, "0.0"}, // never "-0.0"
        {{0, 2, 1, 0, false}, 2, "2"},
        {{850000, 1150000, 50000, 0, true}, 1050000, "1.05e+06"},
    };
    for (const Case& c : cases)
        EXPECT_EQ(kt::monitor::TickLabel(c.axis, c.tick).toStdString(), c.label) << c.tick;
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
    struct Case {
        std::vector<const SampleHistory*> histories;
        qint64 first;
        qint64 last;
        std::optional<Extent> extent;
    };
    const std::vector<Case> cases = {
        {{&history}, 15, 40, Extent{1, 4}},  // held from the bucket: its last value
        {{&history}, 0, 40, Extent{1, 100}}, // the bucket in view: its extremes
        {{&history}, 38, 40, Extent{4, 4}},  // only what is held
        {{&history}, -10, -5, std::nullopt}, {{&history, nullptr, &other}, 15, 40, Extent{-7, 4}},
        {{nullptr}, 0, 40, std::nullopt},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        const Case& c = cases[i];
        const std::optional<Extent> extent =
            kt::monitor::VisibleExtent(c.histories, c.first, c.last);
        ASSERT_EQ(extent.has_value(), c.extent.has_value()) << i;
        if (extent) {
            EXPECT_EQ(extent->min, c.extent->min) << i;
            EXPECT_EQ(extent->max, c.extent->max) << i;
        }
    }
}

TEST(PlotScaleTest, TimeTicksFallOnMultiplesOfTheirStep) {
    struct Case {
        qint64 first;
        qint64 span;
        double width;
        kt::monitor::TimeAxis axis;
    };
    // Labels 50 pixels wide: a tick per 80 pixels at most.
    const std::vector<Case> cases = {
        {0, 30000, 800, {5000, 0, 0}},
        {-1234, 30000, 800, {5000, 0, 0}}, // before the recording's start
        {-6000, 30000, 800, {5000, -5000, 0}},
        {1001, 100, 800, {10, 1010, 2}},
        {1001, 1000, 800, {100, 1100, 1}},
        {12345, 20, 800, {2, 12346, 3}},
        {7, 1, 800, {1, 7, 3}}, // a millisecond at least
        {777, 600000, 1200, {50000, 50000, 0}},
    };
    for (const Case& c : cases)
        EXPECT_EQ(kt::monitor::TimeTicks(c.first, c.span, c.width, 50), c.axis)
            << c.first << " + " << c.span;
}

TEST(PlotScaleTest, LegendFillsRowsNoWiderThanThePlot) {
    struct Case {
        std::vector<double> names;
        double plotWidth;
        std::vector<QPointF> items;
        double width;
        double height;
    };
    // A swatch of 14, 4 before the name, 10 between items; rows 16 high.
    const std::vector<Case> cases = {
        {{30, 40}, 200, {{0, 0}, {58, 0}}, 116, 16},
        {{30, 40}, 116, {{0, 0}, {58, 0}}, 116, 16},
        {{30, 40}, 115, {{0, 0}, {0, 16}}, 58, 32},
        {{100}, 50, {{0, 0}}, 118, 16}, // wider than the plot: a row of its own
        {{100, 20, 60}, 160, {{0, 0}, {0, 16}, {48, 16}}, 126, 32},
        {{}, 100, {}, 0, 0},
    };
    for (const Case& c : cases) {
        const kt::monitor::LegendLayout legend = kt::monitor::Legend(c.names, c.plotWidth, 16);
        EXPECT_EQ(legend.items, c.items) << c.plotWidth;
        EXPECT_EQ(legend.width, c.width) << c.plotWidth;
        EXPECT_EQ(legend.height, c.height) << c.plotWidth;
    }
}

TEST(PlotScaleTest, ReadoutStaysBesideTheCursorAndInsideItsBounds) {
    struct Case {
        const char* what;
        QSizeF size;
        double x;
        double y;
        QRectF bounds;
        QRectF rect;
    };
    const QRectF wide(2, 2, 796, 496);
    const std::vector<Case> cases = {
        {"right of it", {200, 100}, 400, 30, wide, {410, 30, 200, 100}},
        {"at the left edge", {200, 100}, 3, 30, wide, {13, 30, 200, 100}},
        {"at the right edge: flipped", {200, 100}, 797, 30, wide, {587, 30, 200, 100}},
        {"too tall for where it starts: raised", {200, 100}, 400, 450, wide, {410, 398, 200, 100}},
        {"fits neither side", {300, 100}, 150, 0, {0, 0, 400, 300}, {100, 0, 300, 100}},
        {"larger than its bounds: cut", {500, 600}, 200, 50, {0, 0, 400, 300}, {0, 0, 400, 300}},
    };
    for (const Case& c : cases) {
        const QRectF rect = kt::monitor::ReadoutRect(c.size, c.x, c.y, c.bounds);
        EXPECT_EQ(rect, c.rect) << c.what;
        EXPECT_TRUE(c.bounds.contains(rect)) << c.what;
    }
}

} // namespace
