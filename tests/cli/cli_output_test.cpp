// Standard output that refuses what is written to it, as a shell's "> FILE"
// on a full disk leaves it: every command says so and exits 2 instead of
// leaving an empty file behind with exit 0; a monitor stops at its first
// refused round. /dev/full refuses every write; a small tmpfs filled to the
// brim refuses them as a real disk does. What the same commands print into
// writable output is checked where each command is.
#include "run_cli.h"
#include "special_files.h"

#include <gtest/gtest.h>

#include <vector>

using kt::cli::test::CliRun;
using kt::cli::test::CliTest;
using kt::cli::test::RunCli;

TEST_F(CliTest, OutputRefusedOnDevFullAndOnAFullDisk) {
    const QString program = Write("prog.KtVbM", "Do\r\n  Output.0 = True\r\nLoop\r\n");
    const QStringList drive = {"--virtual-drive", "--port", "none"};
    // Arguments and standard input. The monitor never ends by itself: only
    // stopping at its first refused round ends it in time.
    const std::vector<std::pair<QStringList, QByteArray>> cases = {
        {{"line"}, "Do\nCounter0 = 200\n' note\nLoop\n"},
        {{"compile", program, "--hex"}, {}},
        {{"simulate", program, "--trace"}, {}}, // far more than one buffer
        {{"simulate", program}, {}},
        {drive + QStringList{"monitor", "bus-volt", "status", "--csv", "--count", "1000000000"},
         {}},
        {drive + QStringList{"read", "bus-volt", "status"}, {}},
        {{"--version"}, {}},
        {{"--help"}, {}},
    };
    kt::test::SmallDisk disk(m_dir.filePath("disk"));
    QStringList outputs = {QStringLiteral("/dev/full")};
    if (disk.Mounted()) {
        ASSERT_TRUE(disk.Fill(0));
        outputs << disk.Path("out");
    }
    for (const QString& output : outputs) {
        for (const auto& [args, input] : cases) {
            SCOPED_TRACE(output.toStdString() + ": " + args.join(' ').toStdString());
            const CliRun run = RunCli(args, input, 10000, output);
            EXPECT_EQ(run.exitCode, 2);
            EXPECT_EQ(run.err,
                      "ktmotor-cli: cannot write to standard output: No space left on device\n");
        }
    }
    if (!disk.Mounted())
        GTEST_SKIP() << disk.Why().toStdString();
}
