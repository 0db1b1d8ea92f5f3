// The CSV text of recorded values: RFC 4180 fields, the catalogue's names,
// units and texts, and recordings merged into a row per time.
#include "drivemap/recording_csv.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using namespace kt::drivemap;
using Sample = RecordingCsv::Sample;

namespace {

std::vector<ValueRef> Refs(std::initializer_list<const char*> names) {
    std::vector<ValueRef> refs;
    for (const char* name : names)
        refs.push_back(Find(name).value());
    return refs;
}

} // namespace

TEST(RecordingCsv, FieldsHoldingSeparatorsAreQuoted) {
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"3: Fault in motor power stage.", "3: Fault in motor power stage."},
        {"a,b", "\"a,b\""},
        {"say \"hi\"", "\"say \"\"hi\"\"\""},
        {"two\nlines", "\"two\nlines\""}};
    for (const auto& [text, field] : cases)
        EXPECT_EQ(RecordingCsv::Field(text), field) << text;
}

// A whole group is a column per bit, a bit alone one column, a family its
// channel 0; the rows give the catalogue's texts.
TEST(RecordingCsv, HeaderAndRowsGiveTheCataloguesNamesAndTexts) {
    EXPECT_EQ(
        RecordingCsv(Refs({"Outputs", "In3", "status.Fault", "WordCounter", "volt%"})).Header(),
        "time [s],Output.0,Output.1,Input.3,Fault,WordCounter.0,ReferenceVolt [%]\r\n");
    const RecordingCsv csv(Refs({"BusVolt", "Inputs", "ReferenceSpeed", "Error", "Fault"}));
    // The time, the readings, the row.
    const std::vector<std::tuple<std::int64_t, std::vector<double>, std::string>> cases = {
        {0,
         {Decode(At(Id::BusVolt), std::vector<std::uint8_t>{0xBE, 0x01}), 0x81, 25, 3, 1},
         "0.000,47.96733,1,0,0,0,0,0,0,1,25,3: Fault in motor power stage.,1"},
        {1234, {69.8f, 0xFF, 102.1f, 0, 0}, "1.234,69.8,1,1,1,1,1,1,1,1,102.1,0: No Error.,0"},
        // Fewer readings than values: the rest left empty.
        {20, {12.5}, "0.020,12.5,,,,,,,,,,,"},
        // Before the origin, down to the most negative time.
        {-20, {12.5}, "-0.020,12.5,,,,,,,,,,,"},
        {INT64_MIN, {}, "-9223372036854775.808,,,,,,,,,,,,"},
    };
    for (const auto& [ms, readings, row] : cases)
        EXPECT_EQ(csv.Row(ms, readings), row + "\r\n");
}

TEST(RecordingCsv, RecordingsMergeIntoARowPerTime) {
    struct Case {
        const char* what;
        std::vector<ValueRef> values;
        std::vector<std::vector<Sample>> series;
        std::string csv;
    };
    const std::vector<Case> cases = {
        {"times of their own: empty cells where a value has no sample, time from the earliest",
         Refs({"BusVolt", "Counter.1"}),
         {{{1000, 48}, {1020, 48.5f}}, {{1010, 7}, {1020, 8}}},
         "time [s],BusVolt [V],Counter.1\r\n"
         "0.000,48,\r\n"
         "0.010,,7\r\n"
         "0.020,48.5,8\r\n"},
        {"a group's byte as its bits, empty together",
         Refs({"Outputs", "ReferenceVolt"}),
         {{{0, 2}}, {{5, 50}}},
         "time [s],Output.0,Output.1,ReferenceVolt [%]\r\n"
         "0.000,0,1,\r\n"
         "0.005,,,50\r\n"},
        {"two samples at one time: the later counts",
         Refs({"Timer.2"}),
         {{{3, 1}, {3, 2}, {4, 3}}},
         "time [s],Timer.2\r\n0.000,2\r\n0.001,3\r\n"},
        {"reduced samples: extremes after the value's column, empty for samples kept whole",
         Refs({"MotorCurrent", "Input.1"}),
         {{{0, 1.02f, RecordingCsv::Extremes{0.255f, 2.04f}}, {40, 0.51f}},
          {{0, 1, RecordingCsv::Extremes{0, 1}}, {40, 0}}},
         "time [s],MotorCurrent [A],MotorCurrent min [A],MotorCurrent max [A],"
         "Input.1,Input.1 min,Input.1 max\r\n"
         "0.000,1.02,0.255,2.04,1,0,1\r\n"
         "0.040,0.51,,,0,,\r\n"},
        {"extremes of two samples at one time span both",
         Refs({"CurrentSpeed"}),
         {{{0, 5, RecordingCsv::Extremes{4, 6}}, {0, 9}}},
         "time [s],CurrentSpeed,CurrentSpeed min,CurrentSpeed max\r\n0.000,9,4,9\r\n"},
        {"nothing recorded", Refs({"BusVolt"}), {{}}, "time [s],BusVolt [V]\r\n"},
    };
    for (const Case& c : cases) {
        std::vector<RecordingCsv::Series> series(c.series.begin(), c.series.end());
        EXPECT_EQ(RecordingCsv(c.values).Recording(series), c.csv) << c.what;
    }
}
