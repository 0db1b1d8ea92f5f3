#include "monitor/plot_scale.h"

#include <algorithm>
#include <cmath>

namespace kt::monitor {

double NiceStep(double range, double count) {
    const double raw = range / std::max(count, 1.0);
    const double magnitude = std::pow(10.0, std::floor(std::log10(raw)));
    const double norm = raw / magnitude;
    const double nice = norm <= 1 ? 1 : norm <= 2 ? 2 : norm <= 5 ? 5 : 10;
    return nice * magnitude;
}

QString NumberText(double value, int decimals) {
    QString text = QString::number(value, 'f', decimals);
    if (text.startsWith(QLatin1Char('-')) && text.toDouble() == 0)
        text.remove(0, 1);
    return text;
}

std::optional<SampleHistory::Extent> VisibleExtent(std::span<const SampleHistory* const> histories,
                                                   qint64 first, qint64 last) {
    std::optional<SampleHistory::Extent> extent;
    auto widen = [&](const SampleHistory::Extent& some) {
        extent = extent ? SampleHistory::Extent{std::min(extent->min, some.min),
                                                std::max(extent->max, some.max)}
                        : some;
    };
    for (const SampleHistory* history : histories) {
        if (!history)
            continue;
        // Only the held entry's last value: a spike of its bucket, off to
        // the left, would squash the picture for nothing.
        if (const int before = history->IndexAtOrBefore(first - 1); before >= 0) {
            const double held = history->At(before).value;
            widen({held, held});
        }
        if (const auto some = history->MinMax(first, last))
            widen(*some);
    }
    return extent;
}

ValueAxis AutoScale(std::optional<SampleHistory::Extent> extent, double height) {
    double lo = extent ? extent->min : 0.0;
    double hi = extent ? extent->max : 1.0;
    // Speeds, volts and counts: a drive value below 0 does not occur, and an
    // axis running into negatives wastes the plot on it.
    const bool floored = lo >= 0;
    if (hi - lo < std::max(std::abs(hi), std::abs(lo)) * 1e-9 || hi == lo) {
        const double pad = lo == 0 ? 1.0 : std::abs(lo) * 0.1;
        lo = floored ? std::max(lo - pad, 0.0) : lo - pad;
        hi += pad;
    }
    const double margin = (hi - lo) * 0.05;
    ValueAxis axis;
    axis.step = NiceStep(hi - lo + 2 * margin, std::max(2.0, height / 40));
    axis.lo = std::floor((lo - margin) / axis.step) * axis.step;
    axis.hi = std::ceil((hi + margin) / axis.step) * axis.step;
    // Of the snapped top, so the floor moves no more often than it does.
    if (floored && axis.lo < 0)
        axis.lo = -kFloorRoom * axis.hi / (1 - kFloorRoom);
    axis.large = std::max(std::abs(axis.lo), std::abs(axis.hi)) >= 1e6;
    axis.decimals = std::clamp(static_cast<int>(-std::floor(std::log10(axis.step) + 1e-9)), 0, 6);
    return axis;
}

std::vector<double> Ticks(const ValueAxis& axis) {
    std::vector<double> ticks;
    for (double tick = std::ceil(axis.lo / axis.step - 1e-9) * axis.step;
         tick <= axis.hi + axis.step / 2 && ticks.size() < 100; tick += axis.step)
        ticks.push_back(tick);
    return ticks;
}

QString TickLabel(const ValueAxis& axis, double tick) {
    return axis.large ? QString::number(tick, 'g', 4) : NumberText(tick, axis.decimals);
}

TimeAxis TimeTicks(qint64 first, qint64 span, double width, double labelWidth) {
    TimeAxis axis;
    axis.step = static_cast<qint64>(
        std::max(1.0, NiceStep(static_cast<double>(span), width / (labelWidth + 30))));
    axis.decimals = axis.step >= 1000 ? 0 : axis.step >= 100 ? 1 : axis.step >= 10 ? 2 : 3;
    // The remainder taken towards minus infinity, for times before 0.
    axis.first = first - ((first % axis.step) + axis.step) % axis.step;
    if (axis.first < first)
        axis.first += axis.step;
    return axis;
}

LegendLayout Legend(std::span<const double> nameWidths, double plotWidth, double lineHeight) {
    LegendLayout legend;
    double x = 0;
    double y = 0;
    for (const double name : nameWidths) {
        const double item = kLegendSwatch + 4 + name;
        // A new row when this one is full; an item wider than the plot
        // takes a row of its own.
        if (x > 0 && x + item > plotWidth) {
            x = 0;
            y += lineHeight;
        }
        legend.items.emplace_back(x, y);
        legend.width = std::max(legend.width, x + item);
        x += item + 10;
    }
    legend.height = nameWidths.empty() ? 0 : y + lineHeight;
    return legend;
}

QRectF ReadoutRect(QSizeF size, double x, double y, const QRectF& bounds) {
    constexpr double kGap = 10;
    const double width = std::min(size.width(), bounds.width());
    const double height = std::min(size.height(), bounds.height());
    double left = x + kGap;
    if (left + width > bounds.right())
        left = x - kGap - width;
    if (left < bounds.left())
        left = bounds.right() - x >= x - bounds.left() ? bounds.right() - width : bounds.left();
    const double top = std::clamp(y, bounds.top(), bounds.bottom() - height);
    return {left, top, width, height};
}

} // namespace kt::monitor
