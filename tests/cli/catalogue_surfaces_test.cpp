// Every value of the drive's catalogue on every surface of the command-line
// program: read under its canonical name against the in-process virtual
// drive, shown under that name and with that text by simulate, a column of
// monitor's CSV and tab-separated output, named so in the log, and every
// name any of them prints read back. The test walks the catalogue, so a value
// added to it and missed by a surface fails here.
#include "drivemap/drive_catalogue.h"
#include "run_cli.h"

#include <gtest/gtest.h>

#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <vector>

using kt::cli::test::CliRun;
using kt::cli::test::CliTest;
using kt::cli::test::RunCli;
using namespace kt::drivemap;

namespace {

const QStringList kVirtualDrive = {"--virtual-drive", "--port", "none"};
constexpr std::size_t kNone = std::string::npos;

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream stream(text);
    for (std::string part; std::getline(stream, part, separator);)
        parts.push_back(part);
    return parts;
}

std::string Join(const std::vector<std::string>& parts, char separator) {
    std::string text;
    for (const std::string& part : parts)
        text += (text.empty() ? "" : std::string(1, separator)) + part;
    return text;
}

// "NAME TEXT" lines, and each "BIT=VALUE" of a group's text, by name; a name
// shown twice must show the same text. `order` gets the lines' names.
std::map<std::string, std::string> Shown(const std::string& out,
                                         std::vector<std::string>* order = nullptr) {
    std::map<std::string, std::string> shown;
    const auto show = [&shown](const std::string& name, const std::string& text) {
        const auto [at, added] = shown.emplace(name, text);
        EXPECT_EQ(at->second, text) << name << " shown twice";
    };
    for (const std::string& line : Split(out, '\n')) {
        const std::size_t blank = line.find(' ');
        const std::string text = blank == kNone ? "" : line.substr(blank + 1);
        show(line.substr(0, blank), text);
        if (order)
            order->push_back(line.substr(0, blank));
        for (const std::string& word : Split(text, ' '))
            if (const std::size_t equals = word.find('='); equals != kNone)
                show(word.substr(0, equals), word.substr(equals + 1));
    }
    return shown;
}

} // namespace

TEST_F(CliTest, EveryCatalogueValueUnderItsCanonicalNameOnEverySurface) {
    // Each value, each channel of a numbered one, and each bit of a group.
    std::vector<ValueRef> refs;
    for (const DriveValue& value : Values()) {
        if (value.channels == 0)
            refs.push_back({&value});
        for (int n = 0; n < value.channels; ++n)
            refs.push_back({&value, n});
        for (const Bit& bit : value.bits)
            refs.push_back({&value, ValueRef::kWhole, bit.index});
    }
    std::vector<std::string> names;
    QStringList args;
    for (const ValueRef& ref : refs) {
        names.push_back(Name(ref));
        args << QString::fromStdString(names.back());
    }
    std::set<std::string> printed; // to be read back

    // read: a line per name, in the order asked, each exchange logged under
    // the name asked for.
    const CliRun read = RunCli(kVirtualDrive + QStringList{"read", "--log"} + args);
    ASSERT_EQ(read.exitCode, 0) << read.err;
    std::vector<std::string> order;
    const std::map<std::string, std::string> readText = Shown(read.out, &order);
    EXPECT_EQ(order, names);
    for (const ValueRef& ref : refs) {
        const std::string logged = "read " + Name(ref) + " (" + std::to_string(ref.Address()) +
                                   "), " + std::to_string(ref.value->size) + " bytes";
        if (ref.bit == ValueRef::kWhole) {
            EXPECT_NE(read.err.find(logged), kNone) << logged;
        }
    }
    static const std::regex request(R"((read|write|set bits|clear bits) (.+) \(\d+\))");
    for (const std::string& line : Split(read.err, '\n'))
        if (std::smatch match; std::regex_search(line, match, request))
            printed.insert(match[2]);

    // simulate: its own time and timer flags, then every value as read
    // shows it. A loaded program sets ProgramRunMode; the in-process drive
    // runs none.
    const CliRun simulate =
        RunCli({"simulate", Write("idle.KtVbM", "Do\r\nLoop\r\n"), "--steps", "0"});
    ASSERT_EQ(simulate.exitCode, 0) << simulate.err;
    const std::size_t timerFlags = simulate.out.find("\ntimer-flags ");
    ASSERT_TRUE(simulate.out.starts_with("time ") && timerFlags == simulate.out.find('\n'))
        << simulate.out;
    const std::map<std::string, std::string> simulated =
        Shown(simulate.out.substr(simulate.out.find('\n', timerFlags + 1) + 1));
    for (const std::string& name : names) {
        ASSERT_TRUE(simulated.contains(name)) << name << " missing from\n" << simulate.out;
        if (name != "Status" && name != "ProgramRunMode") {
            EXPECT_EQ(simulated.at(name), readText.at(name)) << name;
        }
    }
    for (const auto& shown : {readText, simulated})
        for (const auto& [name, text] : shown)
            printed.insert(name);

    // monitor --csv: the time, then a column per value, a group's per bit,
    // titled with the unit, and a round's cells as read shows them.
    std::vector<std::string> titles = {"time [s]"};
    std::vector<std::string> cells = {"0.000"};
    const auto column = [&](const ValueRef& ref) {
        const bool unit = !ref.value->unit.empty() && ref.bit == ValueRef::kWhole;
        titles.push_back(Name(ref) + (unit ? " [" + std::string(ref.value->unit) + "]" : ""));
        cells.push_back(readText.at(Name(ref)));
    };
    for (const ValueRef& ref : refs) {
        if (ref.value->kind != Kind::Bits || ref.bit != ValueRef::kWhole)
            column(ref);
        else
            for (const Bit& bit : ref.value->bits)
                column({ref.value, ValueRef::kWhole, bit.index});
    }
    const CliRun csv =
        RunCli(kVirtualDrive + QStringList{"monitor", "--csv", "--count", "1"} + args);
    EXPECT_EQ(csv.exitCode, 0) << csv.err;
    EXPECT_EQ(csv.out, Join(titles, ',') + "\r\n" + Join(cells, ',') + "\r\n");

    // The tab-separated form: the same names, a value's text as read's.
    std::vector<std::string> texts;
    for (const std::string& name : names)
        texts.push_back(readText.at(name));
    const CliRun tabs = RunCli(kVirtualDrive + QStringList{"monitor", "--count", "1"} + args);
    EXPECT_EQ(tabs.exitCode, 0) << tabs.err;
    EXPECT_EQ(tabs.out, "# ms\t" + Join(names, '\t') + "\n0\t" + Join(texts, '\t') + "\n");

    QStringList back;
    for (const std::string& name : printed)
        back << QString::fromStdString(name);
    const CliRun again = RunCli(kVirtualDrive + QStringList{"read"} + back);
    EXPECT_EQ(again.exitCode, 0) << again.err;
    EXPECT_EQ(Split(again.out, '\n').size(), printed.size()) << again.out;
}

// The names a trace gives the bytes a statement changed read back, and
// simulate's --set takes every spelling of an input or analog channel.
TEST_F(CliTest, TraceAndSetNamesAreTheCatalogues) {
    const QString program = Write("busy.KtVbM", "Output.0 = True\r\nTriggerTimer0 50\r\n"
                                                "Counter3 = 7\r\nRefrenceSpeed = 50.5\r\n"
                                                "CommandForward = True\r\nFlag0 = Input.1\r\n"
                                                "Do\r\nLoop\r\n");
    const CliRun trace = RunCli({"simulate", program, "--steps", "8", "--trace", "--set", "In1=1",
                                 "--set", "Analog.2=100@0.003"});
    ASSERT_EQ(trace.exitCode, 0) << trace.err;
    static const std::regex change(R"(  (\S+) \S+->\S+)");
    QStringList named;
    for (auto it = std::sregex_iterator(trace.out.begin(), trace.out.end(), change);
         it != std::sregex_iterator(); ++it)
        named << QString::fromStdString((*it)[1]);
    for (const char* name :
         {"Output.0", "Timer.0", "Counter.3", "ReferenceSpeed", "CommandForward", "Flag.0"})
        EXPECT_TRUE(named.contains(name)) << name << " in\n" << trace.out;
    const CliRun back = RunCli(kVirtualDrive + QStringList{"read"} + named);
    EXPECT_EQ(back.exitCode, 0) << back.err;

    // Every spelling, each on a channel of its own.
    QStringList args = {"simulate", Write("idle.KtVbM", "Do\r\nLoop\r\n"), "--steps", "1"};
    for (const char* set : {"input.3=1", "In4=1", "Input.5=1", "INPUT.6=1", "inputs.In7=1",
                            "analog.2=7", "Analog.3=8", "analog 4=9"})
        args << "--set" << set;
    const CliRun set = RunCli(args);
    EXPECT_EQ(set.exitCode, 0) << set.err;
    EXPECT_NE(set.out.find("\nInputs Input.0=0 Input.1=0 Input.2=0 Input.3=1 Input.4=1 Input.5=1 "
                           "Input.6=1 Input.7=1\n"),
              kNone)
        << set.out;
    EXPECT_NE(set.out.find("\nAnalog.2 7\nAnalog.3 8\nAnalog.4 9\n"), kNone) << set.out;
}
