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
    // Extremes only for values that have reduced entries: a recording kept
    // whole exports as it always did.
    std::vector<char> reduced(traces.size(), 0);
    QByteArray csv = "time_s";
    for (size_t t = 0; t < traces.size(); ++t) {
        const PlotTrace& trace = traces[t];
        auto title = [&](const QString& name) {
            return Field(trace.unit.isEmpty() ? name
                                              : QStringLiteral("%1 [%2]").arg(name, trace.unit));
        };
        csv += ',';
        csv += title(trace.name);
        reduced[t] = trace.history && trace.history->Reduced();
        if (reduced[t]) {
            csv += ',';
            csv += title(trace.name + QStringLiteral(" min"));
            csv += ',';
            csv += title(trace.name + QStringLiteral(" max"));
        }
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
            const bool bit = traces[t].bit;
            QByteArray cell;
            bool seen = false;
            bool spread = false;
            double low = 0;
            double high = 0;
            // Two entries at one time: the later one is what was read last,
            // and the extremes span both.
            while (next[t] < size(t) && traces[t].history->At(next[t]).msecs == time) {
                const SampleHistory::Sample entry = traces[t].history->At(next[t]);
                cell = MonitorValueText(entry.value, bit).toLatin1();
                low = seen ? std::min(low, entry.min) : entry.min;
                high = seen ? std::max(high, entry.max) : entry.max;
                spread = spread || entry.Reduced();
                seen = true;
                ++next[t];
            }
            csv += ',';
            csv += cell;
            if (reduced[t]) {
                csv += ',';
                if (spread)
                    csv += MonitorValueText(low, bit).toLatin1();
                csv += ',';
                if (spread)
                    csv += MonitorValueText(high, bit).toLatin1();
            }
        }
        csv += '\n';
    }
    return csv;
}

} // namespace kt::monitor
