// The plot's arithmetic, apart from any drawing: tick steps, the value
// axis's autoscale and its ticks, the time axis's ticks and the legend's
// layout. Plain functions of numbers (and of the histories, for what a view
// shows of them), so that tables can test them; the plot view only draws
// what they give. No painter, font or widget here.
#pragma once

#include "monitor/sample_history.h"

#include <QString>
#include <QtGlobal>

#include <optional>
#include <span>
#include <vector>

namespace kt::monitor {

// A step of 1, 2 or 5 times a power of ten, about range / count.
double NiceStep(double range, double count);

// value with that many decimals, never "-0".
QString NumberText(double value, int decimals);

// A plot's value axis: from lo to hi, a tick every step.
struct ValueAxis {
    double lo = 0;
    double hi = 1;
    double step = 1;
    int decimals = 0;   // of the tick labels
    bool large = false; // labels in 4 significant digits
    bool operator==(const ValueAxis&) const = default;
};

// The smallest and largest value the histories show from first to last:
// their entries timed within (buckets with their extremes), and the value
// each holds at first, its last entry before. None when they show nothing.
std::optional<SampleHistory::Extent> VisibleExtent(std::span<const SampleHistory* const> histories,
                                                   qint64 first, qint64 last);

// The axis for values within extent (none: 0 to 1) on a plot height pixels
// tall, a tick about every 40 pixels: a flat extent is opened around its
// value, 5% of room is added at each end, and both ends are snapped out to
// ticks, so the scale moves only when a value crosses one.
ValueAxis AutoScale(std::optional<SampleHistory::Extent> extent, double height);
// From lo to hi, at most 100, whatever rounding does to huge values' steps.
std::vector<double> Ticks(const ValueAxis& axis);
QString TickLabel(const ValueAxis& axis, double tick);

// The shared time axis: a tick every step milliseconds (at least 1) from
// the first multiple of step at or after the view's first millisecond,
// labelled in seconds with that many decimals.
struct TimeAxis {
    qint64 step = 1;
    qint64 first = 0;
    int decimals = 3;
    bool operator==(const TimeAxis&) const = default;
};
// span milliseconds from first over width pixels, with labels labelWidth
// wide and 30 pixels apart at least.
TimeAxis TimeTicks(qint64 first, qint64 span, double width, double labelWidth);

// A plot's legend: a swatch and a name per trace, in one row when that fits
// the plot's width (less 16 pixels), else in one column.
inline constexpr double kLegendSwatch = 14;
struct LegendLayout {
    bool asRow = true;
    double width = 0;
    double height = 0;
    bool operator==(const LegendLayout&) const = default;
};
LegendLayout Legend(std::span<const double> nameWidths, double plotWidth, double lineHeight);

} // namespace kt::monitor
