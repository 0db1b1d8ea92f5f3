// Standard output that refuses what is written to it, as a shell's "> FILE"
// on a full disk leaves it: every command says so and exits 2 instead of
// leaving an empty file behind with exit 0; a monitor stops at its first
// refused round. /dev/full refuses every write; a small tmpfs filled to the
// brim refuses them as a real disk does.
#include "run_cli.h"
#include "special_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using kt::cli::test::CliRun;
using kt::cli::test::CliTest;
using kt::cli::test::RunCli;

namespace {

// ms; a refused command ends at once, an unstoppable monitor is killed.
constexpr int kQuick = 10000;

const QStringList kVirtualDrive = {"--virtual-drive", "--port", "none"};

struct Case {
    const char* name;
    QStringList args;
    std::string starts; // what a run into writable output prints first
    QByteArray input = {};
    // A monitor's rounds into refusing output (never ending by itself, so
    // only stopping at the first refused round ends it in time), and into
    // writable output.
    QStringList rounds = {};
    QStringList fewRounds = {};
};

class OutputRefused : public CliTest {
protected:
    std::vector<Case> Cases() {
        const QString program = Write("prog.KtVbM", "Do\r\n  Output.0 = True\r\nLoop\r\n");
        const QStringList monitor = {"monitor", "bus-volt", "status", "--csv"};
        return {
            {"line",
             {"line"},
             "0 15 0\n0 45 200\n255\n0 67 0\n",
             "Do\nCounter0 = 200\n' note\nLoop\n"},
            {"compile --hex",
             {"compile", program, "--hex"},
             "Compiled Successfully.\n0F 00 25 08 43 00 FF"},
            // A second of a statement a millisecond: far more than one buffer.
            {"simulate --trace",
             {"simulate", program, "--trace"},
             "       0 ms  line   1  Do\n       1 ms  line   2  Output.0 = True  Output.0 0->1\n"},
            {"simulate",
             {"simulate", program},
             "time 1000 ms\ntimer-flags TimerFlag.0=0 TimerFlag.1=0 TimerFlag.2=0 TimerFlag.3=0\n"
             "Outputs Output.0=1"},
            {"monitor --csv",
             kVirtualDrive + monitor,
             "time [s],BusVolt [V],CommandForward,CommandReverse",
             {},
             {"--count", "1000000000"},
             {"--count", "2"}},
            {"read", kVirtualDrive + QStringList{"read", "bus-volt", "status"},
             "BusVolt 47.96733\nStatus CommandForward=0 CommandReverse=0 "},
            {"--version", {"--version"}, "ktmotor-cli " KT_VERSION "\n"},
            {"--help", {"--help"}, "usage: ktmotor-cli COMMAND"},
        };
    }
};

} // namespace

// Into /dev/full, and into a small disk filled to the brim where one can be
// mounted.
TEST_F(OutputRefused, OnDevFullAndOnAFullDisk) {
    kt::test::SmallDisk disk(m_dir.filePath("disk"));
    QStringList outputs = {QStringLiteral("/dev/full")};
    if (disk.Mounted()) {
        ASSERT_TRUE(disk.Fill(0));
        outputs << disk.Path("out");
    }
    for (const QString& output : outputs) {
        for (const Case& c : Cases()) {
            SCOPED_TRACE(output.toStdString() + ": " + c.name);
            const CliRun run = RunCli(c.args + c.rounds, c.input, kQuick, output);
            EXPECT_EQ(run.exitCode, 2);
            EXPECT_EQ(run.err,
                      "ktmotor-cli: cannot write to standard output: No space left on device\n");
        }
    }
    if (!disk.Mounted())
        GTEST_SKIP() << disk.Why().toStdString();
}

// The same commands into writable output: all they print, exit 0.
TEST_F(OutputRefused, WritableOutputIsUnchanged) {
    for (const Case& c : Cases()) {
        SCOPED_TRACE(c.name);
        const CliRun run = RunCli(c.args + c.fewRounds, c.input, kQuick);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.err, "");
        EXPECT_EQ(run.out.substr(0, c.starts.size()), c.starts) << run.out.substr(0, 400);
        EXPECT_TRUE(run.out.ends_with('\n'));
    }
}
