#include "monitor/monitor_csv.h"

#include "monitor/sample_history.h"

#include <limits>

namespace kt::monitor {

namespace {

QByteArray Field(const QString& text) {
    QByteArray bytes = text.toUtf8();
    if (!bytes.contains(',') && !bytes.contains('"') && !bytes.contains('\n') &&
        !bytes.contains('\r'))
        return bytes;
    bytes.replace("\"", "\"\"");
    return '"' + bytes + '"';
}

// Whole milliseconds as seconds with 3 decimals, exactly: no rounding of a
// double on the way.
QByteArray Seconds(qint64 msecs) {
    return QByteArray::number(msecs / 1000) + '.' +
           QByteArray::number(msecs % 1000).rightJustified(3, '0');
}

} // namespace

QString MonitorValueText(double value, bool bit) {
    if (bit)
        return value != 0 ? QStringLiteral("1") : QStringLiteral("0");
    QString text = QString::number(value, 'f', 3);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    if (text == QLatin1String("-0"))
        text = QStringLiteral("0");
    return text;
}

QByteArray MonitorCsv(const std::vector<PlotTrace>& traces) {
    QByteArray csv = "time_s";
    for (const PlotTrace& trace : traces) {
        csv += ',';
        csv += Field(trace.unit.isEmpty() ? trace.name
                                          : QStringLiteral("%1 [%2]").arg(trace.name, trace.unit));
    }
    csv += '\n';

    // A merge of the histories, each already in time order.
    std::vector<int> next(traces.size(), 0);
    auto size = [&](size_t t) { return traces[t].history ? traces[t].history->Size() : 0; };
    qint64 earliest = std::numeric_limits<qint64>::max();
    for (size_t t = 0; t < traces.size(); ++t) {
        if (size(t) > 0)
            earliest = std::min(earliest, traces[t].history->FirstMsecs());
    }
    std::vector<QByteArray> cells(traces.size());
    for (;;) {
        qint64 time = std::numeric_limits<qint64>::max();
        bool any = false;
        for (size_t t = 0; t < traces.size(); ++t) {
            if (next[t] < size(t)) {
                time = std::min(time, traces[t].history->At(next[t]).msecs);
                any = true;
            }
        }
        if (!any)
            break;
        csv += Seconds(time - earliest);
        for (size_t t = 0; t < traces.size(); ++t) {
            cells[t].clear();
            // Two samples at one time: the later one is what was read last.
            while (next[t] < size(t) && traces[t].history->At(next[t]).msecs == time) {
                cells[t] = MonitorValueText(traces[t].history->At(next[t]).value, traces[t].bit)
                               .toLatin1();
                ++next[t];
            }
            csv += ',';
            csv += cells[t];
        }
        csv += '\n';
    }
    return csv;
}

} // namespace kt::monitor
