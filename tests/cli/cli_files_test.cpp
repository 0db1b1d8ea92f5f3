// The command-line program's files under real conditions: a full disk, named
// pipes, device nodes, links, names that are not valid text, and input that
// never ends a line. Each run is time-limited: a hang fails, never blocks.
#include "run_cli.h"
#include "special_files.h"

#include <gtest/gtest.h>

#include <QDeadlineTimer>
#include <QFileInfo>

#include <string>
#include <vector>

using kt::cli::test::CliRun;
using kt::cli::test::CliTest;
using kt::cli::test::RunCli;
using kt::cli::test::RunProgram;

namespace {

constexpr int kQuick = 5000; // ms; every run here ends at once or not at all

class CliFiles : public CliTest {
protected:
    CliRun Compile(const QStringList& more) {
        return RunCli(
            QStringList{"compile", Write("prog.KtVbM", "Do\r\n  Output.0 = True\r\nLoop\r\n")} +
                more,
            {}, kQuick);
    }
    static QByteArray Bytes(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<unreadable>");
    }
    static QByteArray Image() {
        return QByteArray("\x0F\x00\x25\x08\x43\x00", 6) + QByteArray(248, '\xFF');
    }
};

} // namespace

TEST_F(CliFiles, ImageOnAFullDiskKeepsTheOldImage) {
    kt::test::SmallDisk disk(m_dir.filePath("disk"));
    if (!disk.Mounted())
        GTEST_SKIP() << disk.Why().toStdString();
    const QString image = disk.Path("img.bin");
    Write("disk/img.bin", "the old image");
    ASSERT_TRUE(disk.Fill(0));
    const CliRun run = Compile({"--image", image});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, image.toStdString() + ": cannot write: No space left on device\n");
    EXPECT_EQ(run.out, "");
    EXPECT_EQ(Bytes(image), "the old image");
    EXPECT_EQ(QDir(disk.Path({})).entryList(QDir::Files | QDir::Hidden),
              (QStringList{"fill", "img.bin"})); // no half-written leftovers
}

// Named pipes, folders and devices are refused without being opened: a pipe
// would wait for a writer for ever.
TEST_F(CliFiles, CompileAndDownloadReadOnlyRegularFiles) {
    ASSERT_TRUE(kt::test::MakeFifo(m_dir.filePath("pipe.KtVbM")));
    ASSERT_TRUE(QDir().mkpath(m_dir.filePath("folder.KtVbM")));
    std::vector<std::pair<QString, std::string>> cases = {{"pipe.KtVbM", "a named pipe"},
                                                          {"folder.KtVbM", "a folder"}};
    QString why;
    const bool device = kt::test::MakeNullDevice(m_dir.filePath("null.KtVbM"), &why);
    if (device)
        cases.push_back({"null.KtVbM", "a device"});
    for (const auto& [name, kind] : cases) {
        const QString path = m_dir.filePath(name);
        for (const QStringList& args :
             {QStringList{"compile", path},
              QStringList{"--virtual-drive", "--yes", "download", path}}) {
            const CliRun run = RunCli(args, {}, kQuick);
            EXPECT_EQ(run.exitCode, 2) << args.join(' ').toStdString();
            EXPECT_EQ(run.err,
                      path.toStdString() + ": cannot read: Not a regular file but " + kind + "\n");
        }
    }
    EXPECT_TRUE(kt::test::IsFifo(m_dir.filePath("pipe.KtVbM")));
    if (!device)
        GTEST_SKIP() << "no device node could be made: " << why.toStdString();
}

// --image never replaces what is not a regular file: a link's target is
// replaced, a character device or pipe is written as it is, a pipe without
// a reader is refused at once.
TEST_F(CliFiles, ImageIntoLinksPipesAndDevices) {
    Write("real.bin", "old");
    ASSERT_TRUE(QFile::link("real.bin", m_dir.filePath("link.bin")));
    ASSERT_TRUE(QFile::link("sub/new.bin", m_dir.filePath("dangling.bin")));
    ASSERT_TRUE(QDir().mkpath(m_dir.filePath("sub")));
    for (const char* link : {"link.bin", "dangling.bin"}) {
        const CliRun run = Compile({"--image", m_dir.filePath(link)});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_TRUE(QFileInfo(m_dir.filePath(link)).isSymLink()) << link;
    }
    EXPECT_EQ(Bytes(m_dir.filePath("real.bin")), Image());
    EXPECT_EQ(Bytes(m_dir.filePath("sub/new.bin")), Image());

    const QString pipe = m_dir.filePath("pipe.bin"); // nobody reads it
    ASSERT_TRUE(kt::test::MakeFifo(pipe));
    CliRun run = Compile({"--image", pipe});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, pipe.toStdString() + ": cannot write: Nothing reads from the named pipe\n");
    EXPECT_EQ(run.out, "");
    EXPECT_TRUE(kt::test::IsFifo(pipe));

    // Standard output, a pipe that this test reads: the image, then the message.
    run = Compile({"--image", "/dev/stdout"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, Image().toStdString() + "Compiled Successfully.\n");

    const QString node = m_dir.filePath("null.bin");
    QString why;
    if (!kt::test::MakeNullDevice(node, &why))
        GTEST_SKIP() << "no device node could be made: " << why.toStdString();
    run = Compile({"--image", node});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_TRUE(kt::test::IsCharDevice(node));
}

// Names are used byte for byte, whether or not they are valid text.
TEST_F(CliFiles, NamesThatAreNotText) {
    const QString script = QStringLiteral(R"sh(cd "$1" || exit 9
name=$(printf 'a b\377.KtVbM')
image=$(printf 'img \377.bin')
printf 'Do\r\nLoop\r\n' > "$name"
"$2" compile "$name" --image "$image"; echo "exit $?"
wc -c < "$image"
"$2" compile "$(printf 'gone\377.KtVbM')" 2>&1; echo "exit $?"
LC_ALL=C ls
rm -f "$name" "$image" # names the temporary folder's clean-up cannot spell
)sh");
    const CliRun run =
        RunProgram(QStringLiteral("/bin/sh"),
                   {"-c", script, "sh", m_dir.path(), QStringLiteral(KTMOTOR_CLI)}, {}, kQuick);
    EXPECT_EQ(run.out, "Compiled Successfully.\nexit 0\n254\n"
                       "gone\xFF.KtVbM: cannot read: No such file or directory\nexit 2\n"
                       "a b\xFF.KtVbM\nimg \xFF.bin\n");
    EXPECT_EQ(run.err, "");
}

// A line over the limit is answered and skipped; the lines around it are not
// disturbed, and a line just at the limit is compiled.
TEST_F(CliFiles, LinesLongerThanTheLimit) {
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

// A stream without line breaks (/dev/zero) must not make the program grow.
TEST_F(CliFiles, LineMemoryStaysFlatWithoutLineBreaks) {
    QProcess process;
    process.start(QStringLiteral(KTMOTOR_CLI), {"line"});
    ASSERT_TRUE(process.waitForStarted());
    const QString status = QStringLiteral("/proc/%1/status").arg(process.processId());
    const auto peakKiB = [&status] {
        const QByteArray text = Bytes(status);
        const qsizetype at = text.indexOf("VmHWM:");
        return at < 0 ? -1
                      : text.mid(at + 6, text.indexOf("kB", at) - at - 6).trimmed().toLongLong();
    };
    // Whole MiB of zeros; false when the program stopped reading.
    const auto feed = [&process](int mib) {
        for (int i = 0; i < mib; ++i)
            process.write(QByteArray(1024 * 1024, '\0'));
        const QDeadlineTimer deadline(30000);
        while (process.bytesToWrite() > 0 && !deadline.hasExpired())
            process.waitForBytesWritten(1000);
        return process.bytesToWrite() == 0;
    };
    // Once the first MiB is taken, the program has started up and is reading.
    ASSERT_TRUE(feed(1));
    const qint64 started = peakKiB();
    if (started < 0) // (the process is killed as it goes out of scope)
        GTEST_SKIP() << "no peak memory figure in " << status.toStdString();
    ASSERT_TRUE(feed(63));
    const qint64 fed = peakKiB(); // it waits for more input: still running
    process.write("\nCounter0 = 200\n");
    process.closeWriteChannel();
    ASSERT_TRUE(process.waitForFinished(kQuick));
    EXPECT_LT(fed - started, 16 * 1024) << "peak grew from " << started << " to " << fed << " KiB";
    EXPECT_EQ(process.readAllStandardOutput(), "1 Error: Statement not identified.\n0 45 200\n");
}
