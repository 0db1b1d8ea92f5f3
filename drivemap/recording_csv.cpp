#include "drivemap/recording_csv.h"

#include <algorithm>
#include <cstdio>
#include <limits>

namespace kt::drivemap {

namespace {

constexpr int kWhole = ValueRef::kWhole;

ValueRef BitOf(const ValueRef& group, const Bit& bit) {
    return {group.value, kWhole, bit.index};
}

} // namespace

RecordingCsv::RecordingCsv(std::vector<ValueRef> values) : m_values(std::move(values)) {
    for (std::size_t v = 0; v < m_values.size(); ++v) {
        ValueRef& ref = m_values[v];
        if (ref.Family())
            ref.channel = 0;
        if (WholeGroup(v)) {
            for (const Bit& bit : ref.value->bits)
                m_columns.push_back(BitOf(ref, bit));
        } else {
            m_columns.push_back(ref);
        }
    }
}

bool RecordingCsv::WholeGroup(std::size_t value) const {
    const ValueRef& ref = m_values[value];
    return ref.value->kind == Kind::Bits && ref.bit == kWhole;
}

std::string RecordingCsv::Title(const ValueRef& column, std::string_view suffix) {
    std::string title = Name(column);
    if (!suffix.empty())
        title.append(" ").append(suffix);
    // A bit is 0 or 1 whatever its group measures.
    if (column.bit == kWhole && !column.value->unit.empty())
        title.append(" [").append(column.value->unit).append("]");
    return Field(title);
}

std::string RecordingCsv::Seconds(std::int64_t ms) {
    // The sign apart, so the most negative time does not overflow.
    const std::uint64_t magnitude =
        ms < 0 ? 0 - static_cast<std::uint64_t>(ms) : static_cast<std::uint64_t>(ms);
    char text[32];
    std::snprintf(text, sizeof text, "%s%llu.%03llu", ms < 0 ? "-" : "",
                  static_cast<unsigned long long>(magnitude / 1000),
                  static_cast<unsigned long long>(magnitude % 1000));
    return text;
}

std::string RecordingCsv::Field(std::string_view text) {
    if (text.find_first_of(",\"\r\n") == std::string_view::npos)
        return std::string(text);
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

std::string RecordingCsv::Header() const {
    std::string header(kTimeTitle);
    for (const ValueRef& column : m_columns)
        header.append(",").append(Title(column));
    return header.append(kLineEnd);
}

void RecordingCsv::AppendCells(std::string& row, std::size_t value,
                               std::optional<double> reading) const {
    const ValueRef& ref = m_values[value];
    if (!WholeGroup(value)) {
        row += ',';
        if (reading)
            row += Field(Format(ref, *reading));
        return;
    }
    const auto byte = reading ? static_cast<unsigned>(*reading) : 0u;
    for (const Bit& bit : ref.value->bits) {
        row += ',';
        if (reading)
            row += (byte >> bit.index & 1) != 0 ? '1' : '0';
    }
}

std::string RecordingCsv::Row(std::int64_t ms, std::span<const double> readings) const {
    std::string row = Seconds(ms);
    for (std::size_t v = 0; v < m_values.size(); ++v)
        AppendCells(row, v,
                    v < readings.size() ? std::optional<double>(readings[v]) : std::nullopt);
    return row.append(kLineEnd);
}

std::string RecordingCsv::Recording(std::span<const Series> series) const {
    const std::size_t count = m_values.size();
    const auto of = [&](std::size_t v) { return v < series.size() ? series[v] : Series(); };
    // Extremes columns only for values that have such samples.
    std::vector<char> spread(count, 0);
    std::string csv(kTimeTitle);
    std::int64_t earliest = std::numeric_limits<std::int64_t>::max();
    for (std::size_t v = 0; v < count; ++v) {
        spread[v] = !WholeGroup(v) && std::any_of(of(v).begin(), of(v).end(), [](const Sample& s) {
            return s.extremes.has_value();
        });
        if (WholeGroup(v)) {
            for (const Bit& bit : m_values[v].value->bits)
                csv.append(",").append(Title(BitOf(m_values[v], bit)));
        } else {
            csv.append(",").append(Title(m_values[v]));
        }
        if (spread[v])
            csv.append(",")
                .append(Title(m_values[v], "min"))
                .append(",")
                .append(Title(m_values[v], "max"));
        if (!of(v).empty())
            earliest = std::min(earliest, of(v).front().ms);
    }
    csv += kLineEnd;

    // A merge of the series, each already in time order.
    std::vector<std::size_t> next(count, 0);
    for (;;) {
        std::optional<std::int64_t> time;
        for (std::size_t v = 0; v < count; ++v)
            if (next[v] < of(v).size())
                time = std::min(time.value_or(of(v)[next[v]].ms), of(v)[next[v]].ms);
        if (!time)
            break;
        csv += Seconds(*time - earliest);
        for (std::size_t v = 0; v < count; ++v) {
            const Series samples = of(v);
            std::optional<double> reading;
            std::optional<Extremes> extremes;
            bool reduced = false;
            for (; next[v] < samples.size() && samples[next[v]].ms == *time; ++next[v]) {
                const Sample& sample = samples[next[v]];
                reading = sample.reading;
                const Extremes own =
                    sample.extremes.value_or(Extremes{sample.reading, sample.reading});
                extremes = extremes ? Extremes{std::min(extremes->min, own.min),
                                               std::max(extremes->max, own.max)}
                                    : own;
                reduced = reduced || sample.extremes.has_value();
            }
            AppendCells(csv, v, reading);
            if (!spread[v])
                continue;
            csv += ',';
            if (reduced)
                csv += Field(Format(m_values[v], extremes->min));
            csv += ',';
            if (reduced)
                csv += Field(Format(m_values[v], extremes->max));
        }
        csv += kLineEnd;
    }
    return csv;
}

} // namespace kt::drivemap
