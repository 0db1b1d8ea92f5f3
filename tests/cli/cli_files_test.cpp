// The command-line program's files under real conditions: a full disk (a
// small tmpfs filled to the brim, refusing writes as a real disk does, and
// /dev/full), a named pipe, standard output as the image, input with very
// long lines. The file layer's variants (links, device nodes, folders, names
// that are not text) are tests/files' and tests/mainwindow's. Each run is
// time-limited: a hang fails, never blocks.
#include "run_cli.h"
#include "special_files.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using kt::cli::test::CliRun;
using kt::cli::test::CliTest;
using kt::cli::test::RunCli;

namespace {
constexpr int kQuick = 5000; // ms; every run here ends at once or not at all
const QByteArray kProgram = "Do\r\n  Output.0 = True\r\nLoop\r\n";
} // namespace

TEST_F(CliTest, ImageOnAFullDiskKeepsTheOldImage) {
    kt::test::SmallDisk disk(m_dir.filePath("disk"));
    if (!disk.Mounted())
        GTEST_SKIP() << disk.Why().toStdString();
    const QString image = disk.Path("img.bin");
    Write("disk/img.bin", "the old image");
    ASSERT_TRUE(disk.Fill(0));
    const CliRun run = RunCli({"compile", Write("prog.KtVbM", kProgram), "--image", image});
    EXPECT_EQ(std::tie(run.exitCode, run.out, run.err),
              std::tuple(2, "", image.toStdString() + ": cannot write: No space left on device\n"));
    QFile old(image);
    ASSERT_TRUE(old.open(QIODevice::ReadOnly));
    EXPECT_EQ(old.readAll(), "the old image");
    EXPECT_EQ(QDir(disk.Path({})).entryList(QDir::Files | QDir::Hidden),
              (QStringList{"fill", "img.bin"})); // no half-written leftovers
}

// Standard output that refuses what is written to it, as a shell's "> FILE"
// on a full disk leaves it: every command says so and exits 2 instead of
// leaving an empty file behind with exit 0; a monitor (which never ends by
// itself) stops at its first refused round.
TEST_F(CliTest, OutputRefusedOnDevFullAndOnAFullDisk) {
    const QString program = Write("prog.KtVbM", kProgram);
    const std::vector<std::pair<QStringList, QByteArray>> cases = {
        // arguments, input
        {{"line"}, "Do\nCounter0 = 200\n' note\nLoop\n"},
        {{"compile", program, "--hex"}, {}},
        {{"simulate", program, "--trace"}, {}}, // far more than one buffer
        {{"--virtual-drive", "--port", "none", "monitor", "bus-volt", "--csv", "--count",
          "1000000000"},
         {}},
        {{"--version"}, {}}};
    kt::test::SmallDisk disk(m_dir.filePath("disk"));
    QStringList outputs = {"/dev/full"};
    if (disk.Mounted()) {
        ASSERT_TRUE(disk.Fill(0));
        outputs << disk.Path("out");
    }
    for (const QString& output : outputs)
        for (const auto& [args, input] : cases) {
            const CliRun run = RunCli(args, input, 10000, output);
            EXPECT_EQ(std::tie(run.exitCode, run.err),
                      std::tuple(2, "ktmotor-cli: cannot write to standard output: No space "
                                    "left on device\n"))
                << output.toStdString() << ": " << args.join(' ').toStdString();
        }
    if (!disk.Mounted())
        GTEST_SKIP() << disk.Why().toStdString();
}

// A named pipe is refused without being opened: it would wait for a writer
// for ever. A device (standard output, a pipe this test reads) is written
// as it is: the image, then the message.
TEST_F(CliTest, PipesAreNotReadAndStandardOutputTakesTheImage) {
    const QString pipe = m_dir.filePath("pipe.KtVbM");
    ASSERT_TRUE(kt::test::MakeFifo(pipe));
    CliRun run = RunCli({"compile", pipe}, {}, kQuick);
    EXPECT_EQ(
        std::tie(run.exitCode, run.err),
        std::tuple(2, pipe.toStdString() + ": cannot read: Not a regular file but a named pipe\n"));
    EXPECT_TRUE(kt::test::IsFifo(pipe));

    run = RunCli({"compile", Write("prog.KtVbM", kProgram), "--image", "/dev/stdout"}, {}, kQuick);
    EXPECT_EQ(
        std::tie(run.exitCode, run.out),
        std::tuple(
            0, (QByteArray("\x0F\x00\x25\x08\x43\x00", 6) + QByteArray(248, '\xFF')).toStdString() +
                   "Compiled Successfully.\n"));
}

// A line over the limit is answered and skipped; the lines around it are not
// disturbed, and a line just at the limit is compiled.
TEST_F(CliTest, LinesLongerThanTheLimit) {
    const QByteArray statement = "Counter0 = 200";
    QByteArray atLimit = statement + QByteArray(1024 * 1024 - statement.size(), ' ');
    const QByteArray input = statement + QByteArray(3 * 1024 * 1024, ' ') + "\nDo\r\n" + atLimit +
                             "\r\n" + atLimit + " \r\nLoop";
    const CliRun run = RunCli({"line"}, input, kQuick * 2);
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "1 Error: Statement not identified.\n0 15 0\n0 45 200\n"
                       "1 Error: Statement not identified.\n0 67 0\n");
    EXPECT_EQ(run.err, "ktmotor-cli line: line 1 is longer than 1048576 bytes; not compiled\n"
                       "ktmotor-cli line: line 4 is longer than 1048576 bytes; not compiled\n");
}
