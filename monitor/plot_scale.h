// The plot's arithmetic, apart from any drawing: tick steps, the value
// axis's autoscale and its ticks, the time axis's ticks, the legend's
// layout and the place of the cursor's readout. Plain functions of numbers
// (and of the histories, for what a view shows of them), so that tables can
// test them; the plot view only draws what they give. No painter, font or
// widget here.
#pragma once

#include "monitor/sample_history.h"

#include <QPointF>
#include <QRectF>
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
// ticks, so the scale moves only when a value crosses one. Values never
// below 0 get no negative ticks: the axis then starts kFloorRoom of its
// height below 0, so a trace at 0 stays clear of the frame.
inline constexpr double kFloorRoom = 0.03;
ValueAxis AutoScale(std::optional<SampleHistory::Extent> extent, double height);
// The multiples of step from lo to hi, at most 100, whatever rounding does
// to huge values' steps.
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

// A plot's legend, which stands above its data, never over it: a swatch and
// a name per trace, side by side in rows no wider than the plot. Each item's
// top left from the legend's, and the size of the whole.
inline constexpr double kLegendSwatch = 14;
struct LegendLayout {
    std::vector<QPointF> items;
    double width = 0;
    double height = 0;
    bool operator==(const LegendLayout&) const = default;
};
LegendLayout Legend(std::span<const double> nameWidths, double plotWidth, double lineHeight);

// Where the cursor's readout of that size goes: beside the cursor at x, on
// its right where it fits within bounds, else on its left, else against the
// side with more room; top at y or higher, so that it ends within bounds.
// Never outside bounds: a readout larger than they are is cut to them.
QRectF ReadoutRect(QSizeF size, double x, double y, const QRectF& bounds);

} // namespace kt::monitor
