// What the Monitor window recorded, as CSV text: a time column in seconds
// from the earliest sample, then one column per value, one row per distinct
// sample time. Also the text of one value, shared with the plot's cursor so
// the screen and the file agree. It writes no file.
#pragma once

#include "monitor/plot_view.h"

#include <QByteArray>
#include <QString>

#include <vector>

namespace kt::monitor {

// The header is "time_s,<name> [unit],..." (no brackets without a unit),
// fields quoted as RFC 4180 wants; a value's cell is empty in a row whose
// time it was not sampled at. "C" numbers, "\n" line ends. A trace without
// a history is an empty column.
//
// A value whose history holds reduced buckets gets two more columns right
// after its own, "<name> min [unit]" and "<name> max [unit]". They are
// filled only in that value's reduced rows, and an empty pair says the row
// is a sample as read. A reduced row stands at the time of its bucket's last
// sample and gives that sample's value; min and max are the extremes of the
// bucket's samples, all within the SampleHistory::kBucketMs slot that holds
// the row's time. Every row has every column, so a spreadsheet opens it as
// one plain table.
QByteArray MonitorCsv(const std::vector<PlotTrace>& traces);

// A bit as 0 or 1, any other value with at most 3 decimals and no trailing
// zeros: 12.5, 3, 0.1, -2.25.
QString MonitorValueText(double value, bool bit);

} // namespace kt::monitor
