// Every shipped example does what its header comment promises, run through
// the real command-line simulator: the values at the end of a run, or the
// times at which a value changes in the trace.
#include "tests/cli/run_cli.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cctype>
#include <cmath>
#include <map>
#include <regex>
#include <set>
#include <sstream>
#include <string>
#include <string_view>
#include <vector>

using kt::cli::test::CliRun;
using kt::cli::test::RunCli;

namespace {

const QString kExamples = QStringLiteral(KT_EXAMPLES);

QString Example(const char* file) {
    return kExamples + u'/' + QLatin1String(file);
}

QStringList Shipped() {
    return QDir(kExamples).entryList({"*.KtVbM"}, QDir::Files, QDir::Name);
}

// --set arguments for input n pressed `count` times, every `every` seconds
// from `first` on, each press held half the period.
QStringList Pulses(int n, int count, double first, double every) {
    QStringList sets;
    for (int k = 0; k < count; ++k) {
        const double on = first + k * every;
        sets << "--set" << QStringLiteral("input.%1=1@%2").arg(n).arg(on) << "--set"
             << QStringLiteral("input.%1=0@%2").arg(n).arg(on + every / 2);
    }
    return sets;
}

QStringList Sets(std::initializer_list<const char*> changes) {
    QStringList sets;
    for (const char* change : changes)
        sets << "--set" << change;
    return sets;
}

// A name as the catalogue accepts it: any case, with or without the dot or
// the blanks and hyphens between its words ("Output.0", "WordCounter.0").
std::string Key(std::string_view name) {
    std::string key;
    for (const char c : name) {
        if (std::isalnum(static_cast<unsigned char>(c)))
            key += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    }
    return key;
}

// The end values by key: each NAME=VALUE of a group's line, and the value
// after the name on every other line ("CurrentSpeed 15", "Error 0: ...").
std::map<std::string, std::string> EndValues(const std::string& out) {
    std::map<std::string, std::string> values;
    std::istringstream lines(out);
    std::string line;
    while (std::getline(lines, line)) {
        std::istringstream words(line);
        std::vector<std::string> w;
        for (std::string word; words >> word;)
            w.push_back(word);
        if (w.size() < 2)
            continue;
        if (w[1].find('=') != std::string::npos) {
            for (std::size_t i = 1; i < w.size(); ++i) {
                const std::size_t eq = w[i].find('=');
                values[Key(w[i].substr(0, eq))] = w[i].substr(eq + 1);
            }
        } else {
            std::string value = w[1];
            if (value.ends_with(':'))
                value.pop_back();
            values[Key(w[0])] = value;
        }
    }
    return values;
}

struct Expect {
    std::string name;
    double low;
    double high;
};
// An exact value, or one within a tolerance.
Expect Is(std::string name, double value) {
    return {std::move(name), value, value};
}
Expect Near(std::string name, double value, double tolerance) {
    return {std::move(name), value - tolerance, value + tolerance};
}

struct EndCase {
    const char* file;
    const char* promise;
    QStringList sets;
    double seconds;
    std::vector<Expect> expects;
};

// A value's changes as the trace shows them: when, and the value after.
struct Change {
    int ms;
    double after;
};

struct TraceCase {
    const char* file;
    const char* promise;
    QStringList sets;
    double seconds;
    std::string watched;
    std::vector<Change> changes;
};

// A statement runs within a pass of the program's loop of its due time.
constexpr int kToleranceMs = 10;

// Every "  NAME BEFORE->AFTER" of the trace's statement lines for the name.
std::vector<Change> ChangesOf(const std::string& trace, const std::string& name) {
    static const std::regex change(R"(  (\S+) (\S+)->(\S+))");
    std::vector<Change> changes;
    std::istringstream lines(trace);
    std::string line;
    while (std::getline(lines, line)) {
        if (line.find(" ms  line ") == std::string::npos)
            continue;
        for (auto it = std::sregex_iterator(line.begin(), line.end(), change);
             it != std::sregex_iterator(); ++it) {
            if (Key((*it)[1].str()) == Key(name))
                changes.push_back({std::stoi(line), std::stod((*it)[3].str())});
        }
    }
    return changes;
}

std::string Shown(const std::vector<Change>& changes) {
    std::ostringstream text;
    for (const Change& c : changes)
        text << c.ms << " ms: " << c.after << "; ";
    return text.str();
}

std::vector<EndCase> EndCases() {
    return {
        // Start and stop: ramps up at 10 a second to 30, down at 15 a second.
        {"StartStop.KtVbM",
         "nothing runs before the start press",
         Sets({"input.0=1@0.5", "input.0=0@0.7"}),
         0.4,
         {Is("CommandForward", 0), Is("MotorEnable", 0), Is("CurrentSpeed", 0)}},
        {"StartStop.KtVbM",
         "a start press commands forward; 1.5 s of ramp make 15",
         Sets({"input.0=1@0.5", "input.0=0@0.7"}),
         2.0,
         {Is("CommandForward", 1), Near("CurrentSpeed", 15, 0.5), Is("ReferenceSpeed", 30)}},
        {"StartStop.KtVbM",
         "the command holds after the press: full speed",
         Sets({"input.0=1@0.5", "input.0=0@0.7"}),
         4.0,
         {Is("CommandForward", 1), Is("MotorEnable", 1), Is("CurrentSpeed", 30)}},
        {"StartStop.KtVbM",
         "a stop press: down at 15 a second",
         Sets({"input.0=1@0.5", "input.0=0@0.7", "input.1=1@5", "input.1=0@5.2"}),
         6.0,
         {Is("CommandForward", 0), Is("MotorEnable", 1), Near("CurrentSpeed", 15, 0.5)}},
        {"StartStop.KtVbM",
         "at rest 2 s after the stop",
         Sets({"input.0=1@0.5", "input.0=0@0.7", "input.1=1@5", "input.1=0@5.2"}),
         8.0,
         {Is("CommandForward", 0), Is("MotorEnable", 0), Is("CurrentSpeed", 0)}},
        {"StartStop.KtVbM",
         "a held stop wins over a start press",
         Sets({"input.1=1@0.2", "input.0=1@0.5", "input.0=0@0.7"}),
         2.0,
         {Is("CommandForward", 0), Is("CurrentSpeed", 0)}},
        {"StartStop.KtVbM",
         "releasing stop while start is held does not start",
         Sets({"input.1=1@0.2", "input.0=1@0.5", "input.1=0@1"}),
         2.0,
         {Is("CommandForward", 0), Is("CurrentSpeed", 0)}},

        // Count pulses: one count per press, output 0 from the fifth on.
        {"CountPulses.KtVbM",
         "four pulses: not yet a batch",
         Pulses(0, 4, 0.1, 0.1),
         1.0,
         {Is("WordCounter.0", 4), Is("Output.0", 0)}},
        {"CountPulses.KtVbM",
         "five pulses: a batch",
         Pulses(0, 5, 0.1, 0.1),
         1.0,
         {Is("WordCounter.0", 5), Is("Output.0", 1)}},
        {"CountPulses.KtVbM",
         "seven pulses: still a batch",
         Pulses(0, 7, 0.1, 0.1),
         1.0,
         {Is("WordCounter.0", 7), Is("Output.0", 1)}},
        {"CountPulses.KtVbM",
         "a held input counts once",
         Sets({"input.0=1@0.1"}),
         1.0,
         {Is("WordCounter.0", 1), Is("Output.0", 0)}},
        {"CountPulses.KtVbM",
         "input 1 clears the count",
         Pulses(0, 7, 0.1, 0.1) + Sets({"input.1=1@1", "input.1=0@1.1"}),
         1.5,
         {Is("WordCounter.0", 0), Is("Output.0", 0)}},
        {"CountPulses.KtVbM",
         "counting starts again after a clear",
         Pulses(0, 7, 0.1, 0.1) + Sets({"input.1=1@1", "input.1=0@1.1"}) + Pulses(0, 2, 1.2, 0.1),
         1.5,
         {Is("WordCounter.0", 2), Is("Output.0", 0)}},

        // Analog threshold: on at 600 and above, off below 400.
        {"AnalogThreshold.KtVbM",
         "700 switches it on",
         Sets({"analog.0=700@0.2"}),
         0.3,
         {Is("Output.0", 1)}},
        {"AnalogThreshold.KtVbM",
         "500 after 700 keeps it on",
         Sets({"analog.0=700@0.2", "analog.0=500@0.4"}),
         0.5,
         {Is("Output.0", 1)}},
        {"AnalogThreshold.KtVbM",
         "300 switches it off",
         Sets({"analog.0=700@0.2", "analog.0=500@0.4", "analog.0=300@0.6"}),
         0.7,
         {Is("Output.0", 0)}},
        {"AnalogThreshold.KtVbM",
         "500 after 300 keeps it off",
         Sets({"analog.0=700@0.2", "analog.0=500@0.4", "analog.0=300@0.6", "analog.0=500@0.8"}),
         0.9,
         {Is("Output.0", 0)}},
        {"AnalogThreshold.KtVbM",
         "599 is not enough",
         Sets({"analog.0=599@0.2"}),
         0.3,
         {Is("Output.0", 0)}},
        {"AnalogThreshold.KtVbM", "600 is", Sets({"analog.0=600@0.2"}), 0.3, {Is("Output.0", 1)}},
        {"AnalogThreshold.KtVbM",
         "400 is not below 400",
         Sets({"analog.0=600@0.2", "analog.0=400@0.4"}),
         0.5,
         {Is("Output.0", 1)}},
        {"AnalogThreshold.KtVbM",
         "399 is",
         Sets({"analog.0=600@0.2", "analog.0=399@0.4"}),
         0.5,
         {Is("Output.0", 0)}},

        // Speed steps: 10, 20, 30, 40, 50, a second each, then a stop.
        {"SpeedSteps.KtVbM",
         "no press, no motor",
         {},
         2.0,
         {Is("CommandForward", 0), Is("CurrentSpeed", 0)}},
        {"SpeedSteps.KtVbM",
         "first step",
         Sets({"input.0=1@0.5", "input.0=0@0.6"}),
         1.2,
         {Is("CommandForward", 1), Is("ReferenceSpeed", 10), Near("CurrentSpeed", 10, 0.5)}},
        {"SpeedSteps.KtVbM",
         "second step",
         Sets({"input.0=1@0.5", "input.0=0@0.6"}),
         2.2,
         {Is("ReferenceSpeed", 20), Near("CurrentSpeed", 20, 0.5)}},
        {"SpeedSteps.KtVbM",
         "third step",
         Sets({"input.0=1@0.5", "input.0=0@0.6"}),
         3.2,
         {Is("ReferenceSpeed", 30), Near("CurrentSpeed", 30, 0.5)}},
        {"SpeedSteps.KtVbM",
         "fourth step",
         Sets({"input.0=1@0.5", "input.0=0@0.6"}),
         4.2,
         {Is("ReferenceSpeed", 40), Near("CurrentSpeed", 40, 0.5)}},
        {"SpeedSteps.KtVbM",
         "last step",
         Sets({"input.0=1@0.5", "input.0=0@0.6"}),
         5.2,
         {Is("CommandForward", 1), Is("ReferenceSpeed", 50), Near("CurrentSpeed", 50, 0.5),
          Is("WordCounter.0", 500)}},
        {"SpeedSteps.KtVbM",
         "then the stop: down at 2.5 in 0.2 s",
         Sets({"input.0=1@0.5", "input.0=0@0.6"}),
         5.7,
         {Is("CommandForward", 0), Near("CurrentSpeed", 45, 1)}},
        {"SpeedSteps.KtVbM",
         "at rest",
         Sets({"input.0=1@0.5", "input.0=0@0.6"}),
         8.5,
         {Is("MotorEnable", 0), Is("CurrentSpeed", 0)}},
        {"SpeedSteps.KtVbM",
         "a second press starts from the first step again",
         Sets({"input.0=1@0.5", "input.0=0@0.6", "input.0=1@9", "input.0=0@9.1"}),
         9.7,
         {Is("CommandForward", 1), Is("ReferenceSpeed", 10), Near("CurrentSpeed", 10, 0.5)}},

        // Speed from analog input 0, in tenths, while input 0 is on.
        {"SpeedFromAnalog.KtVbM",
         "input 0 off: no motor",
         Sets({"analog.0=300@0"}),
         1.0,
         {Is("CommandForward", 0), Is("CurrentSpeed", 0)}},
        {"SpeedFromAnalog.KtVbM",
         "300 is a speed of 30",
         Sets({"analog.0=300@0", "input.0=1@0.5"}),
         2.5,
         {Is("CommandForward", 1), Is("ReferenceSpeed", 30), Is("CurrentSpeed", 30)}},
        {"SpeedFromAnalog.KtVbM",
         "the speed follows the slider down",
         Sets({"analog.0=300@0", "input.0=1@0.5", "analog.0=150@2.5"}),
         3.5,
         {Is("ReferenceSpeed", 15), Is("CurrentSpeed", 15)}},
        {"SpeedFromAnalog.KtVbM",
         "input 0 off: to rest",
         Sets({"analog.0=300@0", "input.0=1@0.5", "input.0=0@2.5"}),
         5.0,
         {Is("CommandForward", 0), Is("MotorEnable", 0), Is("CurrentSpeed", 0)}},
    };
}

std::vector<TraceCase> TraceCases() {
    const QStringList onePress = Sets({"input.0=1@0.5", "input.0=0@0.6"});
    const QStringList pressDuringIt = onePress + Sets({"input.0=1@1", "input.0=0@1.1"});
    const QStringList pressAfterIt = onePress + Sets({"input.0=1@4", "input.0=0@4.1"});
    return {
        // Blink: 0.5 s on, 0.5 s off while input 0 is on.
        {"Blink.KtVbM",
         "blinks with a period of 1 s while input 0 is on, off at once after",
         Sets({"input.0=1@0.5", "input.0=0@2.7"}),
         4.0,
         "Output.0",
         {{500, 1}, {1000, 0}, {1500, 1}, {2000, 0}, {2500, 1}, {2700, 0}}},
        {"Blink.KtVbM", "stays off while input 0 is off", {}, 3.0, "Output.0", {}},
        {"Blink.KtVbM",
         "blinks from the first moment when input 0 is on at power-up",
         Sets({"input.0=1@0"}),
         1.8,
         "Output.0",
         {{0, 1}, {500, 0}, {1000, 1}, {1500, 0}}},

        // Timed sequence: output 0 for 2 s, then output 1 for 1 s.
        {"TimedSequence.KtVbM",
         "step 1 for 2 s; a press during it is not taken",
         pressDuringIt,
         6.0,
         "Output.0",
         {{500, 1}, {2500, 0}}},
        {"TimedSequence.KtVbM",
         "then step 2 for 1 s; a press during it is not taken",
         pressDuringIt,
         6.0,
         "Output.1",
         {{2500, 1}, {3500, 0}}},
        {"TimedSequence.KtVbM",
         "a press after the end runs step 1 again",
         pressAfterIt,
         8.0,
         "Output.0",
         {{500, 1}, {2500, 0}, {4000, 1}, {6000, 0}}},
        {"TimedSequence.KtVbM",
         "and step 2",
         pressAfterIt,
         8.0,
         "Output.1",
         {{2500, 1}, {3500, 0}, {6000, 1}, {7000, 0}}},
        {"TimedSequence.KtVbM", "nothing without a press", {}, 3.0, "Output.0", {}},
    };
}

QStringList SimulateArgs(const char* file, const QStringList& sets, double seconds) {
    return QStringList{"simulate", Example(file), "--for", QString::number(seconds)} + sets;
}

} // namespace

TEST(Examples, EveryExampleCompilesAndSaysWhatToTry) {
    const QStringList files = Shipped();
    EXPECT_GE(files.size(), 6);
    for (const QString& name : files) {
        SCOPED_TRACE(name.toStdString());
        const CliRun run = RunCli({"compile", kExamples + u'/' + name});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out, "Compiled Successfully.\n");
        QFile file(kExamples + u'/' + name);
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        EXPECT_TRUE(text.startsWith("' ")) << "no header comment";
        EXPECT_TRUE(text.contains("Try it in the simulator")) << "nothing to try";
    }
}

// A new example cannot ship without its promise checked here.
TEST(Examples, EveryExampleHasItsPromiseChecked) {
    std::set<QString> checked;
    for (const EndCase& c : EndCases())
        checked.insert(QLatin1String(c.file));
    for (const TraceCase& c : TraceCases())
        checked.insert(QLatin1String(c.file));
    for (const QString& name : Shipped())
        EXPECT_TRUE(checked.contains(name)) << name.toStdString();
    for (const QString& name : checked)
        EXPECT_TRUE(QFileInfo::exists(kExamples + u'/' + name)) << name.toStdString();
}

TEST(Examples, EndValuesKeepThePromise) {
    for (const EndCase& c : EndCases()) {
        SCOPED_TRACE(std::string(c.file) + ": " + c.promise);
        const CliRun run = RunCli(SimulateArgs(c.file, c.sets, c.seconds));
        ASSERT_EQ(run.exitCode, 0) << run.err;
        const std::map<std::string, std::string> values = EndValues(run.out);
        EXPECT_EQ(values.count("error") ? values.at("error") : "", "0") << run.out;
        for (const Expect& expect : c.expects) {
            const auto found = values.find(Key(expect.name));
            ASSERT_NE(found, values.end()) << expect.name << " not in\n" << run.out;
            const double value = std::stod(found->second);
            EXPECT_TRUE(value >= expect.low && value <= expect.high)
                << expect.name << " is " << value << ", wanted " << expect.low << " to "
                << expect.high;
        }
    }
}

TEST(Examples, TracesKeepThePromise) {
    for (const TraceCase& c : TraceCases()) {
        SCOPED_TRACE(std::string(c.file) + ": " + c.promise);
        const CliRun run = RunCli(SimulateArgs(c.file, c.sets, c.seconds) + QStringList{"--trace"});
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out.find("stopped with error"), std::string::npos) << run.out;
        const std::vector<Change> seen = ChangesOf(run.out, c.watched);
        bool same = seen.size() == c.changes.size();
        for (std::size_t i = 0; same && i < seen.size(); ++i)
            same = seen[i].after == c.changes[i].after &&
                   std::abs(seen[i].ms - c.changes[i].ms) <= kToleranceMs;
        EXPECT_TRUE(same) << "wanted " << Shown(c.changes) << "\nseen   " << Shown(seen);
    }
}

// The desktop program finds them beside itself in the build tree.
TEST(Examples, CopiedBesideTheDesktopProgram) {
    for (const QString& name : Shipped()) {
        QFile shipped(kExamples + u'/' + name);
        QFile copy(QStringLiteral(KT_APP_EXAMPLES "/") + name);
        ASSERT_TRUE(shipped.open(QIODevice::ReadOnly));
        ASSERT_TRUE(copy.open(QIODevice::ReadOnly)) << copy.fileName().toStdString();
        EXPECT_EQ(copy.readAll(), shipped.readAll()) << name.toStdString();
    }
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
