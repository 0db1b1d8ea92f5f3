// Every value of the drive's catalogue on every surface of the command-line
// program: read under its canonical name against the in-process virtual
// drive, shown under that name and with that text by simulate, a column of
// monitor's CSV and tab-separated headers, named so in the log, and every
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
#include <utility>
#include <vector>

using kt::cli::test::CliRun;
using kt::cli::test::CliTest;
using kt::cli::test::RunCli;
using namespace kt::drivemap;

namespace {

const QStringList kVirtualDrive = {"--virtual-drive", "--port", "none"};

// Each value, each channel of a numbered one, and each bit of a group.
std::vector<ValueRef> Walk() {
    std::vector<ValueRef> refs;
    for (const DriveValue& value : Values()) {
        if (value.channels == 0)
            refs.push_back({&value});
        for (int n = 0; n < value.channels; ++n)
            refs.push_back({&value, n});
        for (const Bit& bit : value.bits)
            refs.push_back({&value, ValueRef::kWhole, bit.index});
    }
    return refs;
}

std::vector<std::string> Split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    std::stringstream stream(text);
    for (std::string part; std::getline(stream, part, separator);)
        parts.push_back(part);
    return parts;
}

// "NAME VALUE" lines, in order.
using Lines = std::vector<std::pair<std::string, std::string>>;
Lines NameValueLines(const std::string& out) {
    Lines lines;
    for (const std::string& line : Split(out, '\n')) {
        const std::size_t blank = line.find(' ');
        lines.emplace_back(line.substr(0, blank),
                           blank == std::string::npos ? "" : line.substr(blank + 1));
    }
    return lines;
}

// The bits of a group's text: "Input.0=0 Input.1=1".
std::map<std::string, std::string> Bits(const std::string& text) {
    std::map<std::string, std::string> bits;
    for (const std::string& word : Split(text, ' ')) {
        const std::size_t equals = word.find('=');
        if (equals != std::string::npos)
            bits[word.substr(0, equals)] = word.substr(equals + 1);
    }
    return bits;
}

// One CSV record without line breaks in its fields; quotes as RFC 4180 has them.
std::vector<std::string> CsvFields(std::string line) {
    if (line.ends_with('\r'))
        line.pop_back();
    std::vector<std::string> fields(1);
    bool quoted = false;
    for (std::size_t i = 0; i < line.size(); ++i) {
        const char c = line[i];
        if (quoted && c == '"' && i + 1 < line.size() && line[i + 1] == '"')
            fields.back() += line[++i];
        else if (c == '"')
            quoted = !quoted;
        else if (c == ',' && !quoted)
            fields.emplace_back();
        else
            fields.back() += c;
    }
    return fields;
}

std::string Title(const ValueRef& ref) {
    return ref.value->unit.empty() || ref.bit != ValueRef::kWhole
               ? Name(ref)
               : Name(ref) + " [" + std::string(ref.value->unit) + "]";
}

class CatalogueSurfaces : public CliTest {
protected:
    void SetUp() override {
        for (const ValueRef& ref : m_refs) {
            m_names.push_back(Name(ref));
            m_args << QString::fromStdString(m_names.back());
        }
    }

    // The group a bit belongs to, by name.
    static std::string Group(const ValueRef& ref) { return Name({ref.value}); }

    std::vector<ValueRef> m_refs = Walk();
    std::vector<std::string> m_names;
    QStringList m_args;
    // Every name a surface printed, to be read back.
    std::set<std::string> m_printed;
};

} // namespace

TEST_F(CatalogueSurfaces, EveryValueUnderItsCanonicalNameOnEverySurface) {
    // read: a line per name, in the order asked, each exchange logged under
    // the name asked for.
    const CliRun read = RunCli(kVirtualDrive + QStringList{"read", "--log"} + m_args);
    ASSERT_EQ(read.exitCode, 0) << read.err;
    const Lines readLines = NameValueLines(read.out);
    ASSERT_EQ(readLines.size(), m_refs.size()) << read.out;
    std::map<std::string, std::string> readText;
    for (std::size_t i = 0; i < m_refs.size(); ++i) {
        const ValueRef& ref = m_refs[i];
        EXPECT_EQ(readLines[i].first, m_names[i]);
        readText[m_names[i]] = readLines[i].second;
        m_printed.insert(readLines[i].first);
        if (ref.bit == ValueRef::kWhole) {
            const std::string logged = "read " + Name(ref) + " (" + std::to_string(ref.Address()) +
                                       "), " + std::to_string(ref.value->size) + " bytes";
            EXPECT_NE(read.err.find(logged), std::string::npos) << logged;
        }
    }
    for (const ValueRef& ref : m_refs) {
        // A bit reads as it stands in its group's text.
        if (ref.bit != ValueRef::kWhole) {
            EXPECT_EQ(Bits(readText[Group(ref)])[Name(ref)], readText[Name(ref)]) << Name(ref);
        }
        for (const auto& [bit, text] : Bits(readText[Name(ref)]))
            m_printed.insert(bit);
    }
    for (const std::string& line : Split(read.err, '\n')) {
        std::smatch match;
        static const std::regex request(R"((read|write|set bits|clear bits) (.+) \(\d+\))");
        if (std::regex_search(line, match, request))
            m_printed.insert(match[2]);
    }

    // simulate: its own time and timer flags, then every value as read
    // prints it. A loaded program sets ProgramRunMode; the in-process drive
    // runs none.
    const QString program = Write("idle.KtVbM", "Do\r\nLoop\r\n");
    const CliRun simulate = RunCli({"simulate", program, "--steps", "0"});
    ASSERT_EQ(simulate.exitCode, 0) << simulate.err;
    Lines simulated = NameValueLines(simulate.out);
    ASSERT_GE(simulated.size(), 2u) << simulate.out;
    EXPECT_EQ(simulated[0].first, "time");
    EXPECT_EQ(simulated[1].first, "timer-flags");
    simulated.erase(simulated.begin(), simulated.begin() + 2);
    std::map<std::string, std::string> simulatedText;
    for (const auto& [name, text] : simulated) {
        EXPECT_TRUE(simulatedText.emplace(name, text).second) << name << " twice";
        m_printed.insert(name);
        for (const auto& [bit, value] : Bits(text)) {
            m_printed.insert(bit);
            simulatedText.emplace(bit, value);
        }
    }
    for (const std::string& name : m_names) {
        ASSERT_TRUE(simulatedText.contains(name)) << name << " missing from\n" << simulate.out;
        if (name != "Status" && name != "ProgramRunMode") {
            EXPECT_EQ(simulatedText[name], readText[name]) << name;
        }
    }

    // monitor --csv: the time, then a column per value, a group's per bit,
    // titled with the unit; a round's cells as read prints them.
    const CliRun csv =
        RunCli(kVirtualDrive + QStringList{"monitor", "--csv", "--count", "1"} + m_args);
    ASSERT_EQ(csv.exitCode, 0) << csv.err;
    const std::vector<std::string> rows = Split(csv.out, '\n');
    ASSERT_EQ(rows.size(), 2u) << csv.out;
    std::vector<std::string> titles = {"time [s]"};
    std::vector<std::string> cells = {"0.000"};
    for (const ValueRef& ref : m_refs) {
        if (ref.value->kind == Kind::Bits && ref.bit == ValueRef::kWhole) {
            for (const Bit& bit : ref.value->bits) {
                const ValueRef one{ref.value, ValueRef::kWhole, bit.index};
                titles.push_back(Title(one));
                cells.push_back(readText[Name(one)]);
            }
            continue;
        }
        titles.push_back(Title(ref));
        cells.push_back(readText[Name(ref)]);
    }
    EXPECT_EQ(CsvFields(rows[0]), titles);
    EXPECT_EQ(CsvFields(rows[1]), cells);
    for (const std::string& title : CsvFields(rows[0]))
        if (title != "time [s]")
            m_printed.insert(title.substr(0, title.find(" [")));

    // The tab-separated form: the same names, a value's text as read's.
    const CliRun tabs = RunCli(kVirtualDrive + QStringList{"monitor", "--count", "1"} + m_args);
    ASSERT_EQ(tabs.exitCode, 0) << tabs.err;
    const std::vector<std::string> tabRows = Split(tabs.out, '\n');
    ASSERT_EQ(tabRows.size(), 2u) << tabs.out;
    const std::vector<std::string> header = Split(tabRows[0], '\t');
    const std::vector<std::string> values = Split(tabRows[1], '\t');
    ASSERT_EQ(header.size(), m_names.size() + 1);
    ASSERT_EQ(values.size(), m_names.size() + 1);
    for (std::size_t i = 0; i < m_names.size(); ++i) {
        EXPECT_EQ(header[i + 1], m_names[i]);
        EXPECT_EQ(values[i + 1], readText[m_names[i]]) << m_names[i];
        m_printed.insert(header[i + 1]);
    }

    // Every name printed reads back.
    QStringList printed;
    for (const std::string& name : m_printed)
        printed << QString::fromStdString(name);
    const CliRun back = RunCli(kVirtualDrive + QStringList{"read"} + printed);
    EXPECT_EQ(back.exitCode, 0) << back.err;
    EXPECT_EQ(Split(back.out, '\n').size(), m_printed.size()) << back.out;
}

// The names a trace gives the bytes a statement changed read back, and
// simulate's --set takes every spelling of an input or analog channel.
TEST_F(CatalogueSurfaces, TraceAndSetNamesAreTheCatalogues) {
    const QString program = Write("busy.KtVbM", "Output.0 = True\r\n"
                                                "TriggerTimer0 50\r\n"
                                                "Counter3 = 7\r\n"
                                                "RefrenceSpeed = 50.5\r\n"
                                                "CommandForward = True\r\n"
                                                "Flag0 = Input.1\r\n"
                                                "Do\r\nLoop\r\n");
    const CliRun trace = RunCli({"simulate", program, "--steps", "8", "--trace", "--set", "In1=1",
                                 "--set", "Analog.2=100@0.003"});
    ASSERT_EQ(trace.exitCode, 0) << trace.err;
    // "  NAME BEFORE->AFTER" after the statement.
    static const std::regex change(R"(  ([^ ]+) [^ ]+->[^ ]+)");
    QStringList named;
    for (const std::string& line : Split(trace.out, '\n'))
        for (auto it = std::sregex_iterator(line.begin(), line.end(), change);
             it != std::sregex_iterator(); ++it)
            named << QString::fromStdString((*it)[1]);
    const QStringList expected = {"Output.0",       "Timer.0",        "Counter.3",
                                  "ReferenceSpeed", "CommandForward", "Flag.0"};
    for (const QString& name : expected)
        EXPECT_TRUE(named.contains(name)) << name.toStdString() << " in\n" << trace.out;
    const CliRun back = RunCli(kVirtualDrive + QStringList{"read"} + named);
    EXPECT_EQ(back.exitCode, 0) << back.err;

    // Every spelling of an input or an analog channel, and what it sets.
    const QString idle = Write("idle.KtVbM", "Do\r\nLoop\r\n");
    const std::vector<std::pair<QString, std::string>> sets = {
        {"input.3=1", "Input.3"},   {"In3=1", "Input.3"},        {"Input.3=1", "Input.3"},
        {"INPUT.3=1", "Input.3"},   {"inputs.In3=1", "Input.3"}, {"analog.2=7", "Analog.2"},
        {"Analog.2=7", "Analog.2"}, {"analog 2=7", "Analog.2"},
    };
    for (const auto& [set, name] : sets) {
        const CliRun run = RunCli({"simulate", idle, "--steps", "1", "--set", set});
        EXPECT_EQ(run.exitCode, 0) << set.toStdString() << ": " << run.err;
        std::map<std::string, std::string> shown;
        for (const auto& [label, text] : NameValueLines(run.out)) {
            shown[label] = text;
            for (const auto& [bit, value] : Bits(text))
                shown[bit] = value;
        }
        EXPECT_EQ(shown[name], name == "Input.3" ? "1" : "7") << set.toStdString();
    }
}
