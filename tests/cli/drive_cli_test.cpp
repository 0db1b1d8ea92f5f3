// The drive commands of the command-line program, against an in-process
// virtual drive (never a port of the machine: the port list is explicit).
#include "run_cli.h"

#include <gtest/gtest.h>

#include <vector>

using kt::cli::test::CliRun;
using kt::cli::test::CliTest;
using kt::cli::test::RunCli;

namespace {

// A port that never opens, then the virtual drive as port 2.
QStringList Drive(const QStringList& command) {
    return QStringList{"--port", "/nonexistent/ktmotor-port", "--virtual-drive"} + command;
}

struct Case {
    QStringList args;
    int exitCode;
    std::string out; // exact standard output
};

void Expect(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        const CliRun run = RunCli(Drive(c.args));
        EXPECT_EQ(run.exitCode, c.exitCode) << c.args.join(' ').toStdString() << ": " << run.err;
        EXPECT_EQ(run.out, c.out) << c.args.join(' ').toStdString();
        EXPECT_EQ(run.err.empty(), c.exitCode == 0) << c.args.join(' ').toStdString();
    }
}

} // namespace

TEST_F(CliTest, FindAndPorts) {
    Expect({{{"find"}, 0, "KtMotor Found on port 2 (virtual-drive)\n"},
            {{"ports"}, 0, "1 /nonexistent/ktmotor-port\n2 virtual-drive\n"}});
    const CliRun run = RunCli({"--port", "/nonexistent/ktmotor-port", "find"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "KtMotor Not Found\n");
}

TEST_F(CliTest, ReadFormats) {
    Expect({
        {{"read", "status"},
         0,
         "Fault=0 MotorEnable=0 MotorForward=0 ProgramRunMode=0 AutoTorque=0 CommandReverse=0 "
         "CommandForward=0\n"},
        {{"read", "outputs"}, 0, "Op0=0 Op1=0\n"},
        {{"read", "error"}, 0, "0: No Error.\n"},
        {{"read", "counter", "7"}, 0, "0\n"},
        {{"read", "timer", "4"}, 4, ""},
        {{"read", "analog", "x"}, 4, ""},
        {{"read", "bogus"}, 64, ""},
        {{"read", "counter"}, 64, ""},
    });
    // Numbers in the general number format.
    for (const char* name : {"acceleration-rate", "bus-volt", "current-limit", "motor-current"}) {
        const CliRun run = RunCli(Drive({"read", name}));
        EXPECT_EQ(run.exitCode, 0) << name;
        EXPECT_TRUE(QString::fromStdString(run.out).contains(
            QRegularExpression("^-?[0-9]+(\\.[0-9]{1,6})?\\n$")))
            << name << ": " << run.out;
    }
}

TEST_F(CliTest, WriteConversions) {
    Expect({
        {{"write", "acceleration-rate", "150"}, 0, ""},
        {{"write", "reference-volt", " 2.5 "}, 0, ""},
        {{"write", "counter", "3", "255.4"}, 0, ""},
        {{"write", "counter", "3", "255.5"}, 4, ""},
        {{"write", "word-counter", "0", "65536"}, 4, ""},
        {{"write", "reference-volt", "101"}, 4, ""},
        {{"write", "flag", "8", "on"}, 4, ""},
        {{"write", "output", "1", "maybe"}, 4, ""},
        {{"write", "auto-torque", "on"}, 0, ""},
        {{"write", "current-limit", "abc"}, 4, ""},
        {{"write", "speed", "1"}, 64, ""},
    });
}

TEST_F(CliTest, EraseAndDownloadNeedConfirmation) {
    const QString good = Write("good.KtVbM", "Do\r\nLoop\r\n");
    const QString bad = Write("bad.KtVbM", "Do\r\nCounter0 = 300\r\nLoop\r\n");
    Expect({{{"erase"}, 4, ""},
            {{"--yes", "erase"}, 0, ""},
            {{"download", good}, 4, ""},
            {{"--yes", "download", good}, 0, ""}});
    const CliRun run = RunCli(Drive({"--yes", "download", bad}));
    EXPECT_EQ(run.exitCode, 1);
    EXPECT_EQ(run.err, bad.toStdString() + ":2: Error: Data out of limit.\n");
}
