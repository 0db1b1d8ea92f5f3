// What the Monitor window recorded, as CSV text through the one CSV writer
// (drivemap::RecordingCsv), so that a recording opens in a spreadsheet as
// the command line's `monitor --csv` does: the same columns, names, units,
// time and quoting. Here only the step from the window's histories to the
// writer's samples; it writes no file.
#pragma once

#include "drivemap/drive_catalogue.h"
#include "monitor/sample_history.h"

#include <QByteArray>

#include <vector>

namespace kt::monitor {

// One recorded value, channel or bit, and its samples (none: an empty
// column).
struct RecordedValue {
    drivemap::ValueRef ref;
    const SampleHistory* history = nullptr;
};

// The header, then a row per distinct sample time, time 0.000 at the
// earliest, a value's cell empty in a row whose time it was not sampled at.
//
// A value whose history holds reduced buckets gets two more columns right
// after its own, "<name> min [unit]" and "<name> max [unit]". They are
// filled only in that value's reduced rows, and an empty pair says the row
// is a sample as read. A reduced row stands at the time of its bucket's last
// sample and gives that sample's value; min and max are the extremes of the
// bucket's samples, all within the SampleHistory::kBucketMs slot that holds
// the row's time. Every row has every column, so a spreadsheet opens it as
// one plain table.
QByteArray MonitorCsv(const std::vector<RecordedValue>& values);

} // namespace kt::monitor
