// The command-line program run as a process: its output formats and exit
// codes are what other tools rely on.
#include "run_cli.h"

#include "cli/json_object.h"

#include <QDir>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <tuple>
#include <vector>

using kt::cli::test::CliRun;
using kt::cli::test::CliTest;
using kt::cli::test::RunCli;

// How to fix a rejected line goes to standard error, never into the output.
TEST_F(CliTest, Line) {
    // Arguments, standard input, output, error.
    for (const auto& [args, input, out, err] :
         std::vector<std::tuple<QStringList, QByteArray, std::string, std::string>>{
             {{"line", "Counter0 = 200"}, {}, "0 45 200\n", ""},
             {{"line", "ReferenceSpeed = 50"},
              {},
              "1 Error: Statement not identified.\n",
              "ktmotor-cli line: ReferenceSpeed: did you mean RefrenceSpeed?\n"},
             {{"line", ""}, {}, "255\n", ""},
             // A trailing CR is dropped; tabs and blanks are kept (the tab
             // before the comment makes "Do" unknown).
             {{"line"},
              "Do\r\n\tLoop  \nDo\t' x\n\nWordCounter.2 = Analog.4",
              "0 15 0\n0 67 0\n1 Error: Statement not identified.\n255\n0 91 132\n",
              "ktmotor-cli line: line 3: write it as Do: one blank between words, no tabs\n"}}) {
        const CliRun run = RunCli(args, input);
        EXPECT_EQ(std::tie(run.exitCode, run.out, run.err), std::tuple(0, out, err))
            << args.join(' ').toStdString();
    }
}

TEST_F(CliTest, CompileSuccessWithHexAndImage) {
    const QString image = m_dir.filePath("prog.bin");
    const CliRun run =
        RunCli({"compile", Write("prog.KtVbM", "Do\r\n  Output.0 = True\r\nLoop\r\n"), "--hex",
                "--image", image});
    std::string hex = "Compiled Successfully.\n0F 00 25 08 43 00";
    for (int i = 6; i < 254; ++i)
        hex += (i % 16 == 0 ? "\nFF" : " FF");
    EXPECT_EQ(std::tie(run.exitCode, run.out, run.err), std::tuple(0, hex + "\n", ""));
    QFile file(image);
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    EXPECT_EQ(file.readAll(), QByteArray("\x0F\x00\x25\x08\x43\x00", 6) + QByteArray(248, '\xFF'));
}

TEST_F(CliTest, CompileErrors) {
    // The program, standard error after "FILE" (and a hint after "FILE").
    for (const auto& [content, told, hint] :
         std::vector<std::tuple<QByteArray, std::string, std::string>>{
             {"Do\n' note\nCounter0 = 300\nLoop\n", ":3: Error: Data out of limit.\n",
              ":3: hint: Counter0 takes 0 to 255\n"},
             {"Do\r\nCounter0 = 1\r\n", ":3: Error: Expect Loop.\n",
              ":3: hint: the Do on line 1 has no Loop\n"},
             {"", ": nothing to compile\n", ""},
             {"\x80\xff\x00", ":1: Error: Statement not identified.\n", ""},
             // The hint in UTF-8, not the file's code page.
             {"Do\r\nOutput.0 = Tr\xfc\r\nLoop", ":2: Error: Statement not identified.\n",
              ":2: hint: Tr\xc3\xbc: did you mean True?\n"}}) {
        const std::string program = Write("prog.KtVbM", content).toStdString();
        const QString image = m_dir.filePath("never.bin");
        const CliRun run = RunCli({"compile", QString::fromStdString(program), "--image", image});
        EXPECT_EQ(std::tie(run.exitCode, run.out, run.err),
                  std::tuple(1, "", program + told + (hint.empty() ? "" : program + hint)));
        EXPECT_FALSE(QFile::exists(image));
    }
}

// Every example runs the same way every time: its trace is kept beside the
// tests (12 statement slots, input 0 switched on at 4 ms).
TEST_F(CliTest, SimulateGoldenTraces) {
    const QDir examples(KT_EXAMPLES);
    const QStringList programs = examples.entryList({"*.KtVbM"}, QDir::Files);
    ASSERT_FALSE(programs.isEmpty());
    for (const QString& name : programs) {
        QFile golden(KT_GOLDEN "/" + QFileInfo(name).baseName() + ".trace");
        ASSERT_TRUE(golden.open(QIODevice::ReadOnly)) << golden.fileName().toStdString();
        const CliRun run = RunCli({"simulate", examples.filePath(name), "--steps", "12", "--set",
                                   "input.0=1@0.004", "--trace"});
        EXPECT_EQ(std::tie(run.exitCode, run.out), std::tuple(0, golden.readAll().toStdString()))
            << name.toStdString() << run.err;
    }
}

// Analog.0 forced above the threshold turns the example's output on where its golden run leaves
// it off; released, the program goes on from the forced reading (restored, it would read 0 and
// switch the output off again).
TEST_F(CliTest, SimulateForcedValues) {
    const QString program = QString(KT_EXAMPLES) + "/AnalogThreshold.KtVbM";
    QFile golden(KT_GOLDEN "/AnalogThreshold.trace");
    ASSERT_TRUE(golden.open(QIODevice::ReadOnly));
    std::string trace;
    for (int line = 0; line < 5; ++line)
        trace += golden.readLine().toStdString(); // to "at 4 ms: Input.0=1"
    trace += "        at 4 ms: force Analog.0=700\n"
             "       4 ms  line  14  Do\n"
             "       5 ms  line  15  WordCounter.0 = Analog.0  Counter.0 144->188  Counter.1 1->2\n"
             "       6 ms  line  16  If WordCounter0 >= WordCounter.1\n"
             "       7 ms  line  17  Output.0 = True  Output.0 0->1\n"
             "       8 ms  line  18  End If\n"
             "        at 9 ms: release Analog.0\n"
             "       9 ms  line  19  If WordCounter0 < WordCounter.2\n"
             "      10 ms  line  22  Loop\n"
             "      11 ms  line  14  Do\n";
    const CliRun traced = RunCli({"simulate", program, "--steps", "12", "--set", "input.0=1@0.004",
                                  "--force", "Analog.0=700@0.004-0.009", "--trace"});
    EXPECT_EQ(std::tie(traced.exitCode, traced.out), std::tuple(0, trace)) << traced.err;
    const CliRun released =
        RunCli({"simulate", program, "--for", "0.05", "--force", "analog.0=700@0-0.02"});
    for (const char* line : {"\nOutputs Output.0=1 Output.1=0\n", "\nAnalog.0 700\n"})
        EXPECT_NE(released.out.find(line), std::string::npos) << released.out;
}

// Blink switched on at 0.5 s lights Output.0 three statements later; the first condition that
// holds names the stop, after the trace of its statement or before the values.
TEST_F(CliTest, SimulateStopsWhereABreakConditionHolds) {
    const QString blink = QString(KT_EXAMPLES) + "/Blink.KtVbM";
    const QStringList run = {"simulate", blink, "--for", "2", "--set", "Input.0=1@0.5"};
    for (const auto& [more, ending] : std::vector<std::pair<QStringList, std::string>>{
             {{"--break-when", "Output.0"}, "stopped at line 14, 503 ms: Output.0\ntime 504 ms\n"},
             {{"--break-when", "Output.0", "--trace"},
              "Output.0 0->1\nstopped at line 14, 503 ms: Output.0\n"},
             {{"--break-when", "Output.0", "--break-when", "TimerFlag.0"},
              "stopped at line 9, 0 ms: TimerFlag.0\ntime 1 ms\n"},
         }) {
        const CliRun stopped = RunCli(run + more);
        const std::size_t at = more.contains("--trace") ? stopped.out.size() - ending.size() : 0;
        EXPECT_EQ(std::tuple(stopped.exitCode,
                             stopped.out.substr(std::min(at, stopped.out.size()), ending.size())),
                  std::tuple(0, ending))
            << more.join(' ').toStdString() << stopped.err;
    }
}

// A forced, traced run stopped by a condition, as JSON Lines: the same bytes every run, as kept
// beside the tests; each line an object with its record's keys; program text turned into UTF-8.
TEST_F(CliTest, SimulateJsonLines) {
    const QStringList args =
        QStringList{"simulate", QString(KT_EXAMPLES) + "/AnalogThreshold.KtVbM"} +
        QString("--steps 12 --set input.0=1@0.004 --force Analog.0=700@0.004-0.006 "
                "--break-when Output.0 --trace --json")
            .split(' ');
    QFile golden(KT_GOLDEN "/AnalogThreshold.jsonl");
    ASSERT_TRUE(golden.open(QIODevice::ReadOnly));
    const QByteArray expected = golden.readAll();
    for (int run = 0; run < 2; ++run)
        EXPECT_EQ(RunCli(args).out, expected.toStdString());
    const std::map<QString, QStringList> keys = {
        {"statement", {"changes", "line", "statement", "t_ms", "type"}},
        {"set", {"name", "t_ms", "type", "value"}},
        {"force", {"name", "t_ms", "type", "value"}},
        {"release", {"name", "t_ms", "type"}},
        {"stop", {"condition", "line", "reason", "t_ms", "type"}},
        {"values", {"error_text", "t_ms", "timer_flags", "type", "units", "values"}}};
    for (const QByteArray& line : expected.trimmed().split('\n')) {
        const QJsonObject record = QJsonDocument::fromJson(line).object();
        EXPECT_EQ(record.keys(), keys.contains(record["type"].toString())
                                     ? keys.at(record["type"].toString())
                                     : QStringList{"?"})
            << line.toStdString();
    }
    const CliRun latin = RunCli({"simulate", Write("p.KtVbM", "Do ' caf\xe9\r\nLoop\r\n"),
                                 "--steps", "1", "--trace", "--json"});
    EXPECT_EQ(
        QJsonDocument::fromJson(QByteArray::fromStdString(latin.out).split('\n')[0])["statement"],
        QString::fromUtf8("Do ' caf\u00e9"));
}

// Program text with quotes, backslashes and control characters stays one valid JSON string.
TEST(JsonString, Escapes) {
    for (const auto& [text, json] : std::vector<std::pair<std::string, std::string>>{
             {"If Input.0", R"("If Input.0")"},
             {R"(say "on")", R"("say \"on\"")"},
             {R"(C:\x)", R"("C:\\x")"},
             {"\t\r\n\x01\x1f\x7f", "\"\\t\\r\\n\\u0001\\u001f\x7f\""},
             {"caf\xc3\xa9", "\"caf\xc3\xa9\""}}) {
        const std::string escaped = kt::cli::JsonString(text);
        EXPECT_EQ(escaped, json);
        EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString("[" + escaped + "]"))[0],
                  QString::fromStdString(text));
    }
}

// (Special files and images that cannot be written: cli_files_test.)
TEST_F(CliTest, Refusals) {
    const QString good = Write("good.KtVbM", "Do\r\nLoop\r\n");
    const QString bad = Write("bad.KtVbM", "Do\r\nCounter0 = 300\r\nLoop\r\n");
    const QString missing = m_dir.filePath("missing.KtVbM");
    // Arguments, exit code, what standard error starts with.
    for (const auto& [args, exitCode, told] :
         std::vector<std::tuple<QStringList, int, std::string>>{
             {{"compile", missing}, 2, missing.toStdString() + ": cannot read: "},
             {{}, 64, "usage: ktmotor-cli COMMAND"},
             {{"frobnicate"}, 64, "ktmotor-cli: unknown command 'frobnicate'"},
             {{"compile"}, 64, "usage: ktmotor-cli compile FILE"},
             {{"line", "Do", "Loop"}, 64, "ktmotor-cli line: give the line as one argument"},
             {{"simulate", bad}, 1, bad.toStdString() + ":2: Error: Data out of limit."},
             {{"simulate", good, "--set", "input.8=1"},
              64,
              "ktmotor-cli simulate: --set input.8=1"},
             {{"simulate", good, "--for", "1", "--steps", "3"},
              64,
              "ktmotor-cli simulate: --for and"},
             {{"simulate", good, "--for", "x"}, 64, "ktmotor-cli: --for takes seconds"},
             {{"simulate", good, "--force", "Input.0"},
              64,
              "ktmotor-cli simulate: --force Input.0 is not NAME=VALUE[@SECONDS[-SECONDS]]"},
             {{"simulate", good, "--force", "CurrentSpeed=1"},
              64,
              "ktmotor-cli simulate: --force CurrentSpeed=1: CurrentSpeed cannot be forced; these "
              "can: Output.0 to Output.1, Input.0 to Input.7, Timer.0 to Timer.3"},
             {{"simulate", good, "--force", "Counter.3=256@1"},
              64,
              "ktmotor-cli simulate: --force Counter.3=256@1: Counter.3 takes 0 to 255;"},
             {{"simulate", good, "--force", "In0=1@2-2"},
              64,
              "ktmotor-cli simulate: --force In0=1@2-2: the release must come after the force;"},
             {{"simulate", good, "--break-when", "Counter0 >= 300"},
              64,
              "ktmotor-cli simulate: --break-when Counter0 >= 300: Error: Data out of limit."},
             {{"simulate", good, "--trace", "--port", "/dev/null"},
              64,
              "ktmotor-cli: option --port"}}) {
        const CliRun run = RunCli(args);
        EXPECT_EQ(run.exitCode, exitCode) << args.join(' ').toStdString();
        EXPECT_TRUE(run.err.starts_with(told) && run.out.empty()) << run.err << run.out;
    }
}
