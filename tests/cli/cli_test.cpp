// The command-line program run as a process: its output formats and exit
// codes are what other tools rely on.
#include "drivemap/drive_catalogue.h"
#include "run_cli.h"

#include <QDir>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <regex>
#include <set>
#include <string>
#include <tuple>
#include <vector>

using kt::cli::test::CliRun;
using kt::cli::test::CliTest;
using kt::cli::test::RunCli;

// How to fix a rejected line goes to standard error, never into the output.
TEST_F(CliTest, Line) {
    struct Row {
        QStringList args;
        QByteArray input;
        std::string out, err;
    };
    const std::vector<Row> rows = {
        {{"line", "Counter0 = 200"}, {}, "0 45 200\n", ""},
        {{"line", "Counter0 = 256"},
         {},
         "2 Error: Data out of limit.\n",
         "ktmotor-cli line: Counter0 takes 0 to 255\n"},
        {{"line", "ReferenceSpeed = 50"},
         {},
         "1 Error: Statement not identified.\n",
         "ktmotor-cli line: ReferenceSpeed: did you mean RefrenceSpeed?\n"},
        {{"line", "Jump"}, {}, "1 Error: Statement not identified.\n", ""},
        {{"line", ""}, {}, "255\n", ""},
        // A trailing CR is dropped; tabs and blanks are kept (the tab before
        // the comment makes "Do" unknown).
        {{"line"},
         "Do\r\n\tLoop  \nDo\t' x\n\nWordCounter.2 = Analog.4",
         "0 15 0\n0 67 0\n1 Error: Statement not identified.\n255\n0 91 132\n",
         "ktmotor-cli line: line 3: write it as Do: one blank between words, no tabs\n"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.args.join(' ').toStdString());
        const CliRun run = RunCli(row.args, row.input);
        EXPECT_EQ(run.exitCode, 0);
        EXPECT_EQ(run.out, row.out);
        EXPECT_EQ(run.err, row.err);
    }
}

TEST_F(CliTest, CompileSuccessWithHexAndImage) {
    const QString program = Write("prog.KtVbM", "Do\r\n  Output.0 = True\r\nLoop\r\n");
    const QString image = m_dir.filePath("prog.bin");
    const CliRun run = RunCli({"compile", program, "--hex", "--image", image});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(run.err.empty());

    std::string expected = "Compiled Successfully.\n0F 00 25 08 43 00";
    for (int i = 6; i < 254; ++i)
        expected += (i % 16 == 0 ? "\n" : " ") + std::string("FF");
    EXPECT_EQ(run.out, expected + "\n");

    QFile file(image);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("\x0F\x00\x25\x08\x43\x00", 6) + QByteArray(248, '\xFF'));
}

TEST_F(CliTest, CompileErrors) {
    struct Case {
        QByteArray content;
        int exitCode;
        std::string suffix;    // after "FILE"
        std::string hint = {}; // after "FILE" on a line of its own
    };
    const std::vector<Case> cases = {
        {"Do\n' note\nCounter0 = 300\nLoop\n", 1, ":3: Error: Data out of limit.\n",
         ":3: hint: Counter0 takes 0 to 255\n"},
        {"Do\r\nCounter0 = 1\r\n", 1, ":3: Error: Expect Loop.\n",
         ":3: hint: the Do on line 1 has no Loop\n"},
        {"", 1, ": nothing to compile\n"},
        {"\x80\xff\x00", 1, ":1: Error: Statement not identified.\n"},
        {"Do\r\nOutput.0 = Tr\xfc\r\nLoop", 1, ":2: Error: Statement not identified.\n",
         ":2: hint: Tr\xc3\xbc: did you mean True?\n"}, // in UTF-8, not the file's code page
    };
    for (const Case& c : cases) {
        const QString program = Write("prog.KtVbM", c.content);
        const QString image = m_dir.filePath("never.bin");
        const CliRun run = RunCli({"compile", program, "--image", image});
        EXPECT_EQ(run.exitCode, c.exitCode) << c.suffix;
        EXPECT_EQ(run.err, program.toStdString() + c.suffix +
                               (c.hint.empty() ? "" : program.toStdString() + c.hint));
        EXPECT_TRUE(run.out.empty());
        EXPECT_FALSE(QFile::exists(image));
    }
}

// Every example runs the same way every time: its trace is kept beside the
// tests (12 statement slots, input 0 switched on at 4 ms).
TEST_F(CliTest, SimulateGoldenTraces) {
    const QDir examples(QStringLiteral(KT_EXAMPLES));
    const QStringList programs = examples.entryList({"*.KtVbM"}, QDir::Files);
    ASSERT_FALSE(programs.isEmpty());
    for (const QString& name : programs) {
        QFile golden(QStringLiteral(KT_GOLDEN "/") + QFileInfo(name).baseName() + ".trace");
        ASSERT_TRUE(golden.open(QIODevice::ReadOnly)) << golden.fileName().toStdString();
        const CliRun run = RunCli({"simulate", examples.filePath(name), "--steps", "12", "--set",
                                   "input.0=1@0.004", "--trace"});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out, golden.readAll().toStdString()) << name.toStdString();
    }
}

// (Special files and images that cannot be written: cli_files_test.)
TEST_F(CliTest, Refusals) {
    EXPECT_EQ(RunCli({"--help"}).exitCode, 0);
    const QString good = Write("good.KtVbM", "Do\r\nLoop\r\n");
    const QString bad = Write("bad.KtVbM", "Do\r\nCounter0 = 300\r\nLoop\r\n");
    const QString missing = m_dir.filePath("missing.KtVbM");
    // Arguments, exit code, what standard error starts with.
    const std::vector<std::tuple<QStringList, int, std::string>> cases = {
        {{"compile", missing}, 2, missing.toStdString() + ": cannot read: "},
        {{}, 64, "usage: ktmotor-cli COMMAND"},
        {{"frobnicate"}, 64, "ktmotor-cli: unknown command 'frobnicate'"},
        {{"help", "frob"}, 64, "ktmotor-cli: unknown command 'frob'"},
        {{"compile"}, 64, "usage: ktmotor-cli compile FILE"},
        {{"line", "Do", "Loop"}, 64, "ktmotor-cli line: give the line as one argument"},
        {{"simulate", bad}, 1, bad.toStdString() + ":2: Error: Data out of limit."},
        {{"simulate", good, "--set", "input.8=1"}, 64, "ktmotor-cli simulate: --set input.8=1"},
        {{"simulate", good, "--set", "analog.0=1024@1"}, 64, "ktmotor-cli simulate: --set"},
        {{"simulate", good, "--for", "1", "--steps", "3"}, 64, "ktmotor-cli simulate: --for and"},
        {{"simulate", good, "--for", "x"}, 64, "ktmotor-cli: --for takes seconds"},
        {{"simulate", good, "--trace", "--port", "/dev/null"}, 64, "ktmotor-cli: option --port"},
    };
    for (const auto& [args, exitCode, told] : cases) {
        SCOPED_TRACE(args.join(' ').toStdString());
        const CliRun run = RunCli(args);
        EXPECT_EQ(run.exitCode, exitCode);
        EXPECT_TRUE(run.err.starts_with(told)) << run.err;
        EXPECT_TRUE(run.out.empty()) << run.out;
    }
}

// The names a trace gives the bytes a statement changed are the catalogue's
// own, and simulate's --set takes every spelling of an input or analog channel.
TEST_F(CliTest, TraceAndSetNamesAreTheCatalogues) {
    const QString program = Write("busy.KtVbM", "Output.0 = True\r\nTriggerTimer0 50\r\n"
                                                "Counter3 = 7\r\nRefrenceSpeed = 50.5\r\n"
                                                "CommandForward = True\r\nFlag0 = Input.1\r\n"
                                                "Do\r\nLoop\r\n");
    const CliRun trace = RunCli({"simulate", program, "--steps", "8", "--trace", "--set", "In1=1",
                                 "--set", "Analog.2=100@0.003"});
    ASSERT_EQ(trace.exitCode, 0) << trace.err;
    static const std::regex change(R"(  (\S+) \S+->\S+)");
    std::set<std::string> named;
    for (auto it = std::sregex_iterator(trace.out.begin(), trace.out.end(), change);
         it != std::sregex_iterator(); ++it) {
        const auto ref = kt::drivemap::Find((*it)[1].str());
        EXPECT_TRUE(ref && kt::drivemap::Name(*ref) == (*it)[1]) << (*it)[1] << " not canonical";
        named.insert((*it)[1]);
    }
    for (const char* name :
         {"Output.0", "Timer.0", "Counter.3", "ReferenceSpeed", "CommandForward", "Flag.0"})
        EXPECT_TRUE(named.contains(name)) << name << " in\n" << trace.out;

    // Every spelling, each on a channel of its own.
    QStringList args = {"simulate", Write("idle.KtVbM", "Do\r\nLoop\r\n"), "--steps", "1"};
    for (const char* set : {"input.3=1", "In4=1", "Input.5=1", "INPUT.6=1", "inputs.In7=1",
                            "analog.2=7", "Analog.3=8", "analog 4=9"})
        args << "--set" << set;
    const CliRun set = RunCli(args);
    EXPECT_EQ(set.exitCode, 0) << set.err;
    EXPECT_NE(set.out.find("\nInputs Input.0=0 Input.1=0 Input.2=0 Input.3=1 Input.4=1 Input.5=1 "
                           "Input.6=1 Input.7=1\n"),
              std::string::npos)
        << set.out;
    EXPECT_NE(set.out.find("\nAnalog.2 7\nAnalog.3 8\nAnalog.4 9\n"), std::string::npos) << set.out;
}
