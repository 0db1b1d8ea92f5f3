// Every shipped example does what its header comment promises, run through
// the real command-line simulator with --trace.
#include "tests/cli/run_cli.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QRegularExpression>

#include <tuple>

namespace {

const QString kExamples = QStringLiteral(KT_EXAMPLES);

// An example's --set changes, its length, and its promises as the trace shows
// them: "NAME: MS=AFTER ..." every change of the value in the run (a pass of
// the loop after its cause); "@MS NAME=VALUE ..." the values at that time.
using Row = std::tuple<QString, QString, double, QString>;
const QList<Row> kRows = {
    {"StartStop", "input.0=1@0.5 input.0=0@0.7 input.1=1@5 input.1=0@5.2", 9,
     "CommandForward: 507=1 5001=0; @400 MotorEnable=0 CurrentSpeed=0; "
     "@2000 CurrentSpeed=15 ReferenceSpeed=30; @4000 MotorEnable=1 CurrentSpeed=30; "
     "@6000 MotorEnable=1 CurrentSpeed=15; @8000 MotorEnable=0 CurrentSpeed=0"},
    // A held stop wins over a start press, its release under a held start starts nothing.
    {"StartStop", "input.1=1@0.2 input.0=1@0.5 input.0=0@0.7 input.0=1@0.8 input.1=0@1", 2,
     "CommandForward:"},
    {"CountPulses",
     "input.0=1@0.1 input.0=0@0.15 input.0=1@0.2 input.0=0@0.25 input.0=1@0.3 input.0=0@0.35 "
     "input.0=1@0.4 input.0=0@0.45 input.0=1@0.5 input.0=0@0.55 input.0=1@0.6 input.0=0@0.65 "
     "input.0=1@0.7 input.0=0@0.75 input.1=1@1 input.1=0@1.1 input.0=1@1.2 input.0=0@1.25",
     1.5,
     "Counter.0: 103=1 203=2 303=3 403=4 503=5 603=6 703=7 1007=0 1203=1; "
     "Output.0: 507=1 1010=0"},
    {"AnalogThreshold",
     "analog.0=599@0.2 analog.0=600@0.4 analog.0=400@0.6 analog.0=399@0.8 analog.0=500@1", 1.2,
     "Output.0: 403=1 807=0"},
    {"SpeedSteps", "input.0=1@0.5 input.0=0@0.6 input.0=1@9 input.0=0@9.1", 9.7,
     "ReferenceSpeed: 504=10 1505=20 2504=30 3505=40 4504=50 9004=10; "
     "CommandForward: 505=1 5504=0 9005=1; @1200 CurrentSpeed=10; @3200 CurrentSpeed=30; "
     "@5200 CurrentSpeed=50; @5700 CurrentSpeed=45; @8500 MotorEnable=0 CurrentSpeed=0; "
     "@9700 CurrentSpeed=10"},
    {"SpeedFromAnalog", "analog.0=300@0 input.0=1@0.5 analog.0=150@2.5 input.0=0@4", 6,
     "CommandForward: 504=1 4002=0; ReferenceSpeed: 4=30 2506=15; @400 CurrentSpeed=0; "
     "@2500 CurrentSpeed=30; @3900 CurrentSpeed=15; @6000 MotorEnable=0 CurrentSpeed=0"},
    {"Blink", "input.0=1@0.5 input.0=0@2.7", 4,
     "Output.0: 503=1 1002=0 1506=1 2005=0 2504=1 2701=0"},
    {"TimedSequence", // presses while a sequence runs are not taken
     "input.0=1@0.5 input.0=0@0.6 input.0=1@1 input.0=0@1.1 input.0=1@3 input.0=0@3.1 "
     "input.0=1@4 input.0=0@4.1",
     8, "Output.0: 503=1 2503=0 4002=1 6002=0; Output.1: 2502=1 3502=0 6001=1 7001=0"},
};

// The trace shown as promises are written: every "  NAME BEFORE->AFTER" of
// its statement lines, by name.
QString Shown(const QString& out, const QString& promises) {
    QMap<QString, QList<std::pair<int, double>>> trace; // first the value before, at -1 ms
    static const QRegularExpression change(R"(  (\S+) (\S+)->(\S+))");
    for (const QString& line : out.split(u'\n'))
        for (auto it = change.globalMatch(line); line.contains(" ms  line ") && it.hasNext();) {
            const auto match = it.next();
            auto& changes = trace[match.captured(1)];
            if (changes.isEmpty())
                changes.append({-1, match.captured(2).toDouble()});
            changes.append({line.section(u' ', 0, 0, QString::SectionSkipEmpty).toInt(),
                            match.captured(3).toDouble()});
        }
    QStringList shown;
    for (const QString& promise : promises.split(u';')) {
        QStringList words = promise.split(u' ', Qt::SkipEmptyParts);
        const QString head = words.takeFirst();
        if (head.startsWith(u'@')) {
            for (QString& word : words) {
                const QString name = word.section(u'=', 0, 0);
                word = name + "=unchanged";
                for (const auto& [ms, value] : trace.value(name))
                    if (ms <= head.mid(1).toInt())
                        word = name + '=' + QString::number(value);
            }
        } else {
            words.clear();
            for (const auto& [ms, value] : trace.value(head.chopped(1)).mid(1))
                words << QStringLiteral("%1=%2").arg(ms).arg(value);
        }
        shown << (QStringList{head} + words).join(u' ');
    }
    return shown.join(u"; ");
}

} // namespace

// A new example cannot ship without its promises checked here; the desktop
// program finds it beside itself.
TEST(Examples, EachShippedOneKeepsItsPromises) {
    QStringList checked;
    for (const auto& [example, changes, seconds, promises] : kRows) {
        SCOPED_TRACE((example + " with " + changes).toStdString());
        QStringList args = {"simulate", kExamples + u'/' + example + ".KtVbM", "--trace", "--for",
                            QString::number(seconds)};
        for (const QString& change : changes.split(u' '))
            args << "--set" << change;
        const kt::cli::test::CliRun run = kt::cli::test::RunCli(args);
        ASSERT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(Shown(QString::fromStdString(run.out), promises).toStdString(),
                  promises.toStdString());
        checked << example + ".KtVbM";
    }
    checked.removeDuplicates();
    checked.sort();
    const QStringList shipped = QDir(kExamples).entryList({"*.KtVbM"}, QDir::Files);
    EXPECT_EQ(shipped.join(u' ').toStdString(), checked.join(u' ').toStdString());
    for (const QString& name : shipped) {
        QFile copy(QStringLiteral(KT_APP_EXAMPLES "/") + name), original(kExamples + u'/' + name);
        EXPECT_TRUE(copy.open(QIODevice::ReadOnly) && original.open(QIODevice::ReadOnly) &&
                    copy.readAll() == original.readAll())
            << name.toStdString();
    }
}
