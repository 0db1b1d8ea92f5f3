// The polyline a trace is drawn as, in the pixels of its plot: the visible
// part of one history, cut into runs where the recording was paused, so no
// line crosses a pause. Geometry only: it neither paints nor scales axes.
#pragma once

#include "monitor/sample_history.h"

#include <QPolygonF>
#include <QtGlobal>

#include <vector>

namespace kt::monitor {

// Values from lo to hi, mapped to pixels from bottom to top.
struct ValueMap {
    double lo;
    double hi;
    double top;
    double bottom;
    double Y(double value) const { return bottom - (value - lo) / (hi - lo) * (bottom - top); }
};

struct TracePath {
    QPolygonF points;
    // Where each run begins in points, the first at 0: the line goes from
    // point to point within a run, never from one run to the next.
    std::vector<qsizetype> runs;
    // Thinned to the smallest and largest value per pixel column.
    bool dense = false;

    // The points of run r, from its first to one past its last.
    qsizetype RunEnd(std::size_t r) const {
        return r + 1 < runs.size() ? runs[r + 1] : points.size();
    }
};

// The time from first to last spread over columns pixels, x 0 at first.
// Every entry while there are few, else at most the smallest and largest
// value per pixel column, in the order they came. A reduced entry is an
// upright span from its minimum to its maximum at its time, ending at its
// last value. A step trace (a bit: anything but 0 is 1) holds each value
// until the next within its run. One entry beyond each edge is taken, so
// the lines reach the edges, and brought to just outside them.
TracePath MakeTracePath(const SampleHistory& history, bool step, qint64 first, qint64 last,
                        int columns, const ValueMap& map);

} // namespace kt::monitor
