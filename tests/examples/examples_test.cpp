// Every shipped example does what its header comment promises, run through
// the real command-line simulator with --trace: when a value changes, and
// what it is at a given time.
#include "tests/cli/run_cli.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cmath>
#include <map>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

using kt::cli::test::CliRun;
using kt::cli::test::RunCli;

namespace {

const QString kExamples = QStringLiteral(KT_EXAMPLES);
constexpr int kToleranceMs = 10; // a statement runs within a pass of the loop

// Input n pressed `count` times every `every` seconds from `first` on, each
// press held half the period.
QString Pulses(int n, int count, double first, double every) {
    QString changes;
    for (int k = 0; k < count; ++k)
        changes += QStringLiteral(" input.%1=1@%2 input.%1=0@%3")
                       .arg(n)
                       .arg(first + k * every)
                       .arg(first + (k + 0.5) * every);
    return changes;
}

// One run of an example: its --set changes, its length, and its promises,
// ';' between them: "NAME: MS=AFTER ..." every change of the value in the
// run, or "@MS NAME=VALUE NAME=VALUE~TOLERANCE ..." the values at that time.
struct Row {
    const char* example;
    QString changes;
    double seconds;
    std::string promises;
};

const std::vector<Row>& Rows() {
    static const std::vector<Row> rows = {
        // Up to 30 at 10 a second, down to rest at 15 a second.
        {"StartStop", "input.0=1@0.5 input.0=0@0.7 input.1=1@5 input.1=0@5.2", 9,
         "CommandForward: 500=1 5000=0; @400 MotorEnable=0 CurrentSpeed=0; "
         "@2000 CurrentSpeed=15~0.5 ReferenceSpeed=30; @4000 MotorEnable=1 CurrentSpeed=30; "
         "@6000 MotorEnable=1 CurrentSpeed=15~0.5; @8000 MotorEnable=0 CurrentSpeed=0"},
        // A held stop wins over a start press, and its release under a held
        // start starts nothing.
        {"StartStop", "input.1=1@0.2 input.0=1@0.5 input.0=0@0.7 input.0=1@0.8 input.1=0@1", 2,
         "CommandForward:"},
        // A count per press, a batch from the fifth on; input 1 clears.
        {"CountPulses",
         Pulses(0, 7, 0.1, 0.1) + " input.1=1@1 input.1=0@1.1" + Pulses(0, 2, 1.2, 0.1), 1.5,
         "Counter.0: 100=1 200=2 300=3 400=4 500=5 600=6 700=7 1000=0 1200=1 1300=2; "
         "Output.0: 500=1 1000=0"},
        {"CountPulses", "input.0=1@0.1", 1, "Counter.0: 100=1; Output.0:"},
        // On at 600 and above, off below 400, unchanged between.
        {"AnalogThreshold",
         "analog.0=599@0.2 analog.0=600@0.4 analog.0=400@0.6 analog.0=399@0.8 analog.0=500@1", 1.2,
         "Output.0: 400=1 800=0"},
        // 10, 20, 30, 40, 50 a second each, then a stop; a new press starts over.
        {"SpeedSteps", "input.0=1@0.5 input.0=0@0.6 input.0=1@9 input.0=0@9.1", 9.7,
         "ReferenceSpeed: 500=10 1500=20 2500=30 3500=40 4500=50 9000=10; "
         "CommandForward: 500=1 5500=0 9000=1; @1200 CurrentSpeed=10~0.5; "
         "@3200 CurrentSpeed=30~0.5; @5200 CurrentSpeed=50~0.5; @5700 CurrentSpeed=45~1; "
         "@8500 MotorEnable=0 CurrentSpeed=0; @9700 CurrentSpeed=10~0.5"},
        // The speed in tenths of analog input 0 while input 0 is on.
        {"SpeedFromAnalog", "analog.0=300@0 input.0=1@0.5 analog.0=150@2.5 input.0=0@4", 6,
         "CommandForward: 500=1 4000=0; ReferenceSpeed: 0=30 2500=15; @400 CurrentSpeed=0; "
         "@2500 CurrentSpeed=30; @3900 CurrentSpeed=15; @6000 MotorEnable=0 CurrentSpeed=0"},
        // 0.5 s on, 0.5 s off while input 0 is on, off at once after.
        {"Blink", "input.0=1@0.5 input.0=0@2.7", 4,
         "Output.0: 500=1 1000=0 1500=1 2000=0 2500=1 2700=0"},
        {"Blink", "input.0=1@0", 1.8, "Output.0: 0=1 500=0 1000=1 1500=0"},
        // Output 0 for 2 s, then output 1 for 1 s; presses meanwhile are not taken.
        {"TimedSequence",
         "input.0=1@0.5 input.0=0@0.6 input.0=1@1 input.0=0@1.1 input.0=1@3 input.0=0@3.1 "
         "input.0=1@4 input.0=0@4.1",
         8, "Output.0: 500=1 2500=0 4000=1 6000=0; Output.1: 2500=1 3500=0 6000=1 7000=0"},
    };
    return rows;
}

struct Change {
    int ms;
    double before, after;
};
using Trace = std::map<std::string, std::vector<Change>>;

// Every "  NAME BEFORE->AFTER" of the trace's statement lines, by name.
Trace Changes(const std::string& out) {
    static const std::regex change(R"(  (\S+) (\S+)->(\S+))");
    Trace trace;
    std::istringstream lines(out);
    for (std::string line; std::getline(lines, line);)
        for (auto it = std::sregex_iterator(line.begin(), line.end(), change);
             line.find(" ms  line ") != std::string::npos && it != std::sregex_iterator(); ++it)
            trace[(*it)[1]].push_back({std::stoi(line), std::stod((*it)[2]), std::stod((*it)[3])});
    return trace;
}

// The value at ms: after the last change by then, or before the first one
// after; NaN when it never changes.
double At(const std::vector<Change>& changes, int ms) {
    const auto next =
        std::find_if(changes.begin(), changes.end(), [ms](const Change& c) { return c.ms > ms; });
    return changes.empty() ? NAN : next == changes.begin() ? next->before : std::prev(next)->after;
}

// What the trace shows against one promise; empty when it is kept.
std::string Broken(Trace trace, const std::string& promise) {
    std::istringstream words(promise);
    std::string head, word, seen;
    words >> head;
    if (head.starts_with('@')) {
        while (words >> word) {
            const std::string name = word.substr(0, word.find('='));
            const std::size_t tilde = word.find('~');
            const double tolerance =
                tilde == std::string::npos ? 0 : std::stod(word.substr(tilde + 1));
            const double at = At(trace[name], std::stoi(head.substr(1)));
            if (!(std::abs(at - std::stod(word.substr(name.size() + 1))) <= tolerance))
                seen += name + " is " + std::to_string(at) + "; ";
        }
        return seen;
    }
    const std::vector<Change>& changes = trace[head.substr(0, head.size() - 1)];
    bool kept = true;
    std::size_t i = 0;
    for (; words >> word; ++i)
        kept = kept && i < changes.size() &&
               std::abs(changes[i].ms - std::stoi(word)) <= kToleranceMs &&
               changes[i].after == std::stod(word.substr(word.find('=') + 1));
    for (const Change& c : changes)
        seen += ' ' + std::to_string(c.ms) + '=' + std::to_string(c.after);
    return kept && i == changes.size() ? "" : "seen" + seen;
}

QByteArray Bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
}

} // namespace

TEST(Examples, EachKeepsItsPromises) {
    for (const Row& row : Rows()) {
        SCOPED_TRACE(std::string(row.example) + " with" + row.changes.toStdString());
        QStringList args = {"simulate", kExamples + u'/' + row.example + ".KtVbM", "--trace",
                            "--for", QString::number(row.seconds)};
        for (const QString& change : row.changes.split(u' ', Qt::SkipEmptyParts))
            args << "--set" << change;
        const CliRun run = RunCli(args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out.find("stopped with error"), std::string::npos)
            << run.out.substr(run.out.size() - std::min<std::size_t>(run.out.size(), 400));
        const Trace trace = Changes(run.out);
        for (const QString& promise : QString::fromStdString(row.promises).split(u';'))
            EXPECT_EQ(Broken(trace, promise.trimmed().toStdString()), "")
                << "promised " << promise.toStdString();
    }
}

// A new example cannot ship without its promises checked here, nor without
// saying what to try; the desktop program finds it beside itself.
TEST(Examples, EveryShippedOneIsCheckedAndCopied) {
    const QStringList shipped = QDir(kExamples).entryList({"*.KtVbM"}, QDir::Files);
    EXPECT_GE(shipped.size(), 7);
    for (const QString& name : shipped) {
        SCOPED_TRACE(name.toStdString());
        EXPECT_TRUE(std::any_of(Rows().begin(), Rows().end(), [&](const Row& row) {
            return name == QLatin1String(row.example) + ".KtVbM";
        })) << "no promise checked";
        const QByteArray text = Bytes(kExamples + u'/' + name);
        EXPECT_TRUE(text.startsWith("' ")) << "no header comment";
        EXPECT_TRUE(text.contains("Try it in the simulator")) << "nothing to try";
        EXPECT_EQ(Bytes(QStringLiteral(KT_APP_EXAMPLES "/") + name), text);
    }
}
