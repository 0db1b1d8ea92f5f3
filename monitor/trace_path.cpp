#include "monitor/trace_path.h"

#include <algorithm>
#include <cmath>

namespace kt::monitor {

TracePath MakeTracePath(const SampleHistory& history, bool step, qint64 first, qint64 last,
                        int columns, const ValueMap& map) {
    TracePath path;
    QPolygonF& points = path.points;
    if (history.Empty())
        return path;
    // One entry beyond each edge, so the lines reach the edges.
    const int begin = std::max(history.IndexAtOrBefore(first), 0);
    const int end = std::min(history.IndexAtOrBefore(last) + 1, history.Size() - 1);
    const double span = static_cast<double>(last - first);
    const double scale = columns / span;
    auto x = [&](qint64 msecs) { return static_cast<double>(msecs - first) * scale; };
    path.dense = end - begin + 1 > 2 * columns;
    const bool dense = path.dense;
    points.reserve(dense ? 5 * columns + 8 : 4 * (end - begin + 1) + 2);
    path.runs.push_back(0);
    // The pauses after the first entry taken, each starting a run at the
    // first entry at or after its time.
    const std::vector<qint64>& breaks = history.Breaks();
    auto nextBreak = std::upper_bound(breaks.begin(), breaks.end(), history.At(begin).msecs);

    bool held = false;
    double heldY = 0;
    auto add = [&](double px, double py) {
        if (step && held)
            points << QPointF(px, heldY);
        points << QPointF(px, py);
        heldY = py;
        held = true;
    };
    auto spread = [&](double px, double low, double high, double value, bool lowFirst) {
        if (step && held)
            points << QPointF(px, heldY);
        points << QPointF(px, map.Y(lowFirst ? low : high))
               << QPointF(px, map.Y(lowFirst ? high : low)) << QPointF(px, map.Y(value));
        heldY = map.Y(value);
        held = true;
    };
    // A step trace is a bit: anything but 0 is 1, as the file has it.
    auto level = [step](double value) { return step ? (value != 0 ? 1.0 : 0.0) : value; };

    struct Column {
        int index = -1;
        int count = 0;
        bool spread = false;
        qint64 msecs = 0;
        double min = 0;
        double max = 0;
        double last = 0;
        bool minFirst = true;
    } column;
    auto flush = [&] {
        if (column.count == 0)
            return;
        if (column.spread)
            spread(column.index + 0.5, column.min, column.max, column.last, column.minFirst);
        else
            add(x(column.msecs), map.Y(column.last));
        column.count = 0;
    };

    history.ForEach(begin, end, [&](const SampleHistory::Sample& entry) {
        if (nextBreak != breaks.end() && entry.msecs >= *nextBreak) {
            flush();
            path.runs.push_back(points.size());
            held = false;
            nextBreak = std::upper_bound(nextBreak, breaks.end(), entry.msecs);
        }
        const double value = level(entry.value);
        const bool reduced = entry.Reduced();
        const double low = reduced ? std::min(level(entry.min), level(entry.max)) : value;
        const double high = reduced ? std::max(level(entry.min), level(entry.max)) : value;
        // Beyond the edges only the line towards the last value shows.
        if (entry.msecs < first || entry.msecs > last) {
            flush();
            add(x(entry.msecs), map.Y(value));
            return;
        }
        if (!dense) {
            if (!reduced) {
                add(x(entry.msecs), map.Y(value));
                return;
            }
            // From the end nearer the line that comes in, so the span
            // does not double back on it.
            const bool lowFirst =
                !held || std::abs(map.Y(low) - heldY) <= std::abs(map.Y(high) - heldY);
            spread(x(entry.msecs), low, high, value, lowFirst);
            return;
        }
        const int index = std::clamp(
            static_cast<int>(static_cast<double>(entry.msecs - first) * scale), 0, columns - 1);
        if (index != column.index)
            flush();
        if (column.count == 0) {
            column.index = index;
            column.msecs = entry.msecs;
            column.min = low;
            column.max = high;
            column.minFirst = true;
            column.spread = reduced;
        } else {
            column.spread = true;
            if (low < column.min) {
                column.min = low;
                column.minFirst = false;
            }
            if (high > column.max) {
                column.max = high;
                column.minFirst = true;
            }
        }
        column.last = value;
        ++column.count;
    });
    flush();
    // The entries beyond the edges may lie far off: brought to just outside
    // along their lines, so no drawing meets coordinates it cannot handle.
    // One alone in its run has no line and just goes to the edge.
    auto bring = [](QPointF& far, const QPointF* near, double edge) {
        if (near && near->x() != far.x())
            far.setY(near->y() +
                     (far.y() - near->y()) * (edge - near->x()) / (far.x() - near->x()));
        far.setX(edge);
    };
    const qsizetype size = points.size();
    if (size > 0 && points.front().x() < -1)
        bring(points.front(), path.RunEnd(0) > 1 ? &points[1] : nullptr, -1);
    if (size > 0 && points.back().x() > columns + 1)
        bring(points.back(), size - path.runs.back() > 1 ? &points[size - 2] : nullptr,
              columns + 1.0);
    return path;
}

} // namespace kt::monitor
