// Recorded values of the drive as CSV text (RFC 4180), named, formatted and
// given units by the catalogue. It writes no file, keeps no samples and reads
// nothing from a drive: callers hand it readings and take its text.
//
// The header is "time [s]", then a column per value: its canonical name,
// with its unit in brackets where the catalogue has one ("BusVolt [V]",
// "ReferenceVolt [%]", "Counter.1"). A whole bit group is a column per bit
// ("Input.0" ... "Input.7"), its reading the group's byte. A numbered value
// given without its channel stands for channel 0. Cells: the time in seconds
// with three decimals, each reading in the catalogue's format (bits 0 and 1,
// "25", "47.96733", "3: Fault in motor power stage."). A field holding a
// comma, a quote, CR or LF is quoted, its quotes doubled; records end in
// CR LF.
//
// Two ways to use it:
//  - Rows as they come, every value read each round (the command line's
//    monitor): Header(), then Row(ms, readings) a round.
//  - A whole recording of samples per value at their own times (the
//    Monitor window's Export CSV): Recording(series), a series per value in
//    time order. It writes a row per distinct time from the earliest sample
//    on, time 0.000 there, with an empty cell where a value has no sample at
//    that row's time; of two samples of a value at one time the later one
//    counts. A value whose series holds a sample standing for several
//    (Sample::extremes) gets two more columns right after its own,
//    "<name> min [unit]" and "<name> max [unit]", filled in rows of such
//    samples and empty in rows of samples kept whole; a whole bit group's
//    extremes are not written.
#pragma once

#include "drivemap/drive_catalogue.h"

#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace kt::drivemap {

class RecordingCsv {
public:
    static constexpr std::string_view kTimeTitle = "time [s]";
    static constexpr std::string_view kLineEnd = "\r\n";

    struct Extremes {
        double min;
        double max;
    };
    struct Sample {
        std::int64_t ms; // from any origin
        double reading;  // a whole bit group's: its byte
        // For a sample standing for several: the least and greatest of them.
        std::optional<Extremes> extremes = std::nullopt;
    };
    // One value's samples, in time order.
    using Series = std::span<const Sample>;

    explicit RecordingCsv(std::vector<ValueRef> values);

    // The values as given (a family as its channel 0), and the columns after
    // the time: a whole bit group's bits in its place.
    const std::vector<ValueRef>& Recorded() const { return m_values; }
    const std::vector<ValueRef>& Columns() const { return m_columns; }

    std::string Header() const;
    // A row at ms: readings hold one per recorded value, in order; a value
    // beyond them has empty cells.
    std::string Row(std::int64_t ms, std::span<const double> readings) const;
    // Header and rows of a recording: series hold one per recorded value, in
    // order; a value beyond them has only empty cells.
    std::string Recording(std::span<const Series> series) const;

    // "BusVolt [V]", "BusVolt min [V]", "Input.0".
    static std::string Title(const ValueRef& column, std::string_view suffix = {});
    // 1500 as "1.500", -20 as "-0.020".
    static std::string Seconds(std::int64_t ms);
    static std::string Field(std::string_view text);

private:
    bool WholeGroup(std::size_t value) const;
    // The value's cells for a reading; a whole group's are its bits.
    void AppendCells(std::string& row, std::size_t value, std::optional<double> reading) const;

    std::vector<ValueRef> m_values;
    std::vector<ValueRef> m_columns;
};

} // namespace kt::drivemap
