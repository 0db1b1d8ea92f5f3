// The drive commands against a virtual drive served on a real pseudo-terminal
// (never a port of the machine: the port list is always explicit), so that
// the bytes the drive receives and holds can be checked. Conversions and
// names are tests/drivemap's business; these are the program's.
#include "drive/pty_drive_server.h"
#include "drive/virtual_drive.h"
#include "drivemap/drive_catalogue.h"
#include "link/frm_motor_com.h"
#include "link/serial_transport.h"
#include "run_cli.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <csignal>

#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>

using kt::cli::test::Await;
using kt::cli::test::CliRun;
using kt::cli::test::CliTest;
using kt::cli::test::RunCli;
using kt::cli::test::RunProgram;
using kt::drive::VirtualDrive;
using namespace kt::drivemap;
constexpr auto kNone = std::string::npos;

namespace {

std::size_t Lines(const std::string& s) {
    return std::size_t(std::count(s.begin(), s.end(), '\n'));
}

class DriveCli : public CliTest {
protected:
    void SetUp() override {
        m_drive.SetMotorModel(false);
        Serve();
        // After its last reply the drive goes away, its pseudo-terminal
        // closed, when the next request comes.
        QObject::connect(&m_drive, &VirtualDrive::Reply, &m_drive, [this] {
            if (m_repliesLeft > 0 && --m_repliesLeft == 0)
                m_drive.SetFault(VirtualDrive::Fault::LineError);
        });
        QObject::connect(&m_drive, &VirtualDrive::LineError, &m_drive, [this] {
            m_drive.SetFault(VirtualDrive::Fault::None);
            QTimer::singleShot(0, &m_drive, [this] { m_server.reset(); });
        });
    }
    void Serve() {
        m_server = std::make_unique<kt::drive::PtyDriveServer>(m_drive);
        QString error;
        ASSERT_TRUE(m_server->Start(&error)) << error.toStdString();
        m_port = m_server->DevicePath();
    }
    // PORT in the arguments stands for the drive's port.
    CliRun Run(const QString& args) {
        return RunCli(QString(args).replace("PORT", m_port).split(' '));
    }
    CliRun Run(const QStringList& args) { return RunCli(QStringList{"--port", m_port} + args); }
    // The last request the drive carried out: Fn, address and data.
    std::string LastRequest() const {
        if (m_drive.Requests().empty())
            return "none";
        const auto& r = m_drive.Requests().back();
        return QString::asprintf("%d %d ", r.fn, r.address).toStdString() +
               r.data.toHex().toStdString();
    }

    VirtualDrive m_drive;
    std::unique_ptr<kt::drive::PtyDriveServer> m_server;
    QString m_port;
    int m_repliesLeft = 0; // replies until the drive goes away; 0: it stays
};

} // namespace

// The given ports in their order, then the in-process drive. A port that
// does not open is named with the reason, as held by another program, or
// (one the user may not open) with the way to get access. Root opens
// anything: it runs without that right via setpriv.
TEST_F(DriveCli, FindAndPorts) {
    kt::link::SerialTransport holder(m_port); // another program's hold
    ASSERT_TRUE(holder.Open());
    const QString denied = Write("ttyDenied", {});
    ASSERT_TRUE(QFile::setPermissions(denied, {}));
    const QString ports = "--port /nonexistent/b --port PORT --port " + denied + ' ';
    EXPECT_EQ(Run(ports + "--virtual-drive ports").out,
              "1 /nonexistent/b\n2 " + m_port.toStdString() + "\n3 " + denied.toStdString() +
                  "\n4 virtual-drive\n");
    CliRun run = Run(ports + "--virtual-drive find");
    EXPECT_EQ(std::tie(run.exitCode, run.out),
              std::tuple(0, "KtMotor Found on port 4 (virtual-drive)\n"));
    QString program = KTMOTOR_CLI;
    QStringList unprivileged;
    if (QFileInfo(denied).isReadable()) {
        program = QStandardPaths::findExecutable("setpriv");
        unprivileged = {"--bounding-set=-dac_override,-dac_read_search",
                        "--inh-caps=-dac_override,-dac_read_search", KTMOTOR_CLI};
    }
    if (program.isEmpty())
        GTEST_SKIP() << "root, and no setpriv to drop its rights";
    const std::string told = "ktmotor-cli: cannot open /nonexistent/b: No such file or directory\n"
                             "ktmotor-cli: cannot open " +
                             m_port.toStdString() + ": it is in use by another program\n" +
                             kt::link::FrmMotorCom::PermissionHint({denied}).toStdString() + '\n';
    // Not found, and not as "no drive".
    for (const QString command : {"find", "read bus-volt"}) {
        run = RunProgram(program, unprivileged +
                                      QString(ports + command).replace("PORT", m_port).split(' '));
        EXPECT_EQ(std::tie(run.exitCode, run.err), std::tuple(2, told)) << command.toStdString();
        EXPECT_EQ(run.out, command == "find" ? "KtMotor Not Found\n" : "");
    }
}

// Each command's own help (and "help COMMAND"): its usage line with the
// options that apply, an example, the exit status, no other command's text.
TEST_F(CliTest, EachCommandExplainsItself) {
    // The command, a text its help holds.
    const std::pair<QString, std::string> commands[] = {
        {"compile", "[--image OUT]"},    {"ports", "[--port DEVICE]... ["},
        {"find", "  --virtual-drive  "}, {"read", "Values ("},
        {"erase", "  --yes  "},          {"simulate", "--trace"},
        {"virtual-drive", "--link PATH"}};
    for (const auto& [command, holds] : commands) {
        const CliRun run = RunCli({command, "--help"});
        const std::string name = command.toStdString();
        EXPECT_TRUE(run.exitCode == 0 && run.out.starts_with("usage: ktmotor-cli " + name))
            << run.out;
        for (const std::string& part :
             {holds, "Example:\n  ktmotor-cli " + name, std::string("Exit status")})
            EXPECT_NE(run.out.find(part), kNone) << part << " in\n" << run.out;
        EXPECT_EQ(run.out.find("Compiler commands:"), kNone) << name;
        EXPECT_EQ(RunCli({"help", command}).out, run.out) << name;
    }
}

// Every value, channel and bit of the catalogue under its canonical name on
// every surface: read (and its log) and monitor's CSV and tab-separated
// output show what the drive holds, simulate what a drive holds at power-up.
// The test walks the catalogue, so a value a surface misses fails here.
TEST_F(DriveCli, EveryValueOnEverySurface) {
    std::vector<std::uint8_t> memory(kUsedSize);
    const std::size_t id = Address(Id::Identification);
    for (std::uint16_t a = 0; a < memory.size(); ++a) {
        if (a != id && a != id + 1)
            m_drive.SetDataByte(a, std::uint8_t(a * 37 + 11));
        memory[a] = m_drive.DataByte(a);
    }
    QStringList args;
    std::vector<std::string> logged;
    std::string read, titles = "time [s]", cells = "0.000", names = "# ms", texts = "0";
    const auto column = [&](const ValueRef& ref) {
        const bool unit = !ref.value->unit.empty() && ref.bit == ValueRef::kWhole;
        titles += ',' + Name(ref) + (unit ? " [" + std::string(ref.value->unit) + "]" : "");
        cells += ',' + Text(ref, memory);
    };
    const auto add = [&](const ValueRef& ref) {
        args << QString::fromStdString(Name(ref));
        read += Name(ref) + ' ' + Text(ref, memory) + '\n';
        names += '\t' + Name(ref);
        texts += '\t' + Text(ref, memory);
        if (ref.bit != ValueRef::kWhole)
            return column(ref);
        logged.push_back("read " + Name(ref) + " (" + std::to_string(ref.Address()) + "), " +
                         std::to_string(ref.value->size) + " bytes\n");
        if (ref.value->kind != Kind::Bits)
            column(ref);
        for (const Bit& bit : ref.value->bits) // a group's column per bit
            column({ref.value, ValueRef::kWhole, bit.index});
    };
    for (const DriveValue& value : Values()) {
        for (int n = 0; n < std::max<int>(value.channels, 1); ++n)
            add({&value, value.channels > 0 ? n : ValueRef::kWhole});
        for (const Bit& bit : value.bits) // a group, then each of its bits
            add({&value, ValueRef::kWhole, bit.index});
    }
    const CliRun csv = Run(QStringList{"monitor", "--csv", "--count", "1"} + args);
    EXPECT_EQ(std::tie(csv.exitCode, csv.out), std::tuple(0, titles + "\r\n" + cells + "\r\n"));
    const CliRun tabs = Run(QStringList{"monitor", "--count", "1"} + args);
    EXPECT_EQ(std::tie(tabs.exitCode, tabs.out), std::tuple(0, names + '\n' + texts + '\n'));

    // A channel or bit number as a word of its own; each exchange logged
    // under the name asked for; one value prints its text only.
    const std::string counter3 = Text({&At(Id::Counter), 3}, memory);
    read += "Counter.3 " + counter3 + "\nFlag.2 " +
            Text({&At(Id::Flags), ValueRef::kWhole, 2}, memory) + '\n';
    const CliRun run =
        Run(QStringList{"read", "--log"} + args + QStringList{"counter", "3", "flag", "2"});
    EXPECT_EQ(std::tie(run.exitCode, run.out), std::tuple(0, read)) << run.err;
    for (const std::string& line : logged)
        EXPECT_NE(run.err.find(line), kNone) << line;
    EXPECT_EQ(Run({"read", "Counter.3"}).out, counter3 + '\n');

    // simulate: its own time and timer flags, then every value at power-up;
    // a loaded program sets ProgramRunMode.
    std::vector<std::uint8_t> powerUp(kUsedSize);
    WritePowerUp(powerUp);
    powerUp[Address(Id::Status)] |= Mask(StatusBit::ProgramRunMode);
    std::string shown = "time 0 ms\ntimer-flags TimerFlag.0=0 TimerFlag.1=0 TimerFlag.2=0 "
                        "TimerFlag.3=0\n";
    for (const DriveValue& value : Values())
        for (int n = 0; n < std::max<int>(value.channels, 1); ++n) {
            const ValueRef ref = {&value, value.channels > 0 ? n : ValueRef::kWhole};
            shown += Name(ref) + ' ' + Text(ref, powerUp) + '\n';
        }
    const CliRun simulate =
        RunCli({"simulate", Write("idle.KtVbM", "Do\r\nLoop\r\n"), "--steps", "0"});
    EXPECT_EQ(std::tie(simulate.exitCode, simulate.out), std::tuple(0, shown)) << simulate.err;
}

// Each kind of writable value lands where the catalogue keeps it; a value
// the drive takes no more of is written as the most it takes, and said so.
TEST_F(DriveCli, WritesReachTheDrive) {
    const std::pair<QString, std::string> writes[] = {
        // The write, the drive's last request (Fn, address, data).
        {"deceleration-rate 150", "0 272 fd03"},
        {"reference-speed 50.5", "0 276 f901"},
        {"reference-volt 50", "0 278 7f00"},
        {"current-limit 12.75", "0 280 3200"},
        {"timer 3 200", "0 10 c8"},
        {"Counter.7 9", "0 295 09"},
        {"word-counter 3 258", "0 294 0201"},
        {"output 1 off", "1 5 fd"},
        {"Status.CommandReverse 1", "2 62 02"},
        {"Flag.7 1", "2 74 80"}};
    const std::string instead = "ktmotor-cli write: DecelerationRate: 102.1 written instead of "
                                "150, the largest value the drive takes\n";
    for (const auto& [write, request] : writes) {
        const CliRun run = Run(("write " + write).split(' '));
        EXPECT_EQ(std::tie(run.exitCode, run.err),
                  std::tuple(0, write.endsWith("150") ? instead : ""))
            << write.toStdString();
        EXPECT_EQ(LastRequest(), request);
    }
}

TEST_F(DriveCli, RefusalsSendNothing) {
    const QString good = Write("good.KtVbM", "Do\r\nLoop\r\n");
    const QString bad = Write("bad.KtVbM", "Do\r\nCounter0 = 300\r\nLoop\r\n");
    // The exit code, the arguments (GOOD and BAD program files). Options may
    // follow the values; a negative value is the write's, no option.
    const std::pair<int, QStringList> refused[] = {
        {4,
         {"write counter 3 255.5", "write flag 8 on", "write output 1 maybe", "read timer 4",
          "erase", "download GOOD", "write word-counter 0 -5"}},
        {64,
         {"write speed 1", "write BusVolt 5", "write Counter.3", "read analog x", "read counter",
          "read bus-volt --frob", "read bus-volt --hex", "read bus-volt --port"}},
        {1, {"--yes download BAD"}}};
    for (const auto& [exitCode, all] : refused)
        for (const QString& args : all) {
            m_drive.ClearLog();
            const CliRun run =
                Run(QString(args).replace("GOOD", good).replace("BAD", bad).split(' '));
            EXPECT_EQ(run.exitCode, exitCode) << args.toStdString();
            EXPECT_TRUE(run.out.empty() && !run.err.empty()) << run.out;
            EXPECT_LE(m_drive.RequestCount(), 1) << args.toStdString(); // the search's at most
        }
    // An index is refused in the catalogue's numbering.
    const std::string timers =
        "Timer takes an index of 0 to " + std::to_string(Channels(Id::Timer) - 1);
    EXPECT_EQ(Run({"read", "timer", "9"}).err, "ktmotor-cli read: " + timers + ", not 9\n");
    EXPECT_EQ(Run({"read", "timer", "x"}).err,
              "ktmotor-cli: read: 'x' is not a number; " + timers + "; see ktmotor-cli --help\n");
}

// The drive goes away in the middle of a command: what came before is
// printed, nothing is claimed that did not happen, and the command fails.
TEST_F(DriveCli, DriveGoneDuringACommand) {
    // The command, the replies before the drive goes (the search's first),
    // the output's start and lines.
    for (const auto& [args, replies, start, lines] :
         std::vector<std::tuple<QString, int, std::string, std::size_t>>{
             {"read status bus-volt", 2, "Status CommandForward=0 ", 1},
             {"write deceleration-rate 150", 1, "", 0},
             {"monitor bus-volt --count 3", 2, "# ms\tBusVolt", 2}}) {
        const std::string command = args.section(' ', 0, 0).toStdString();
        Serve();
        m_repliesLeft = replies;
        const CliRun run = Run(args.split(' '));
        EXPECT_TRUE(run.exitCode == 1 && run.out.starts_with(start) && Lines(run.out) == lines)
            << command << ":\n"
            << run.out;
        EXPECT_TRUE(
            run.err.ends_with("ktmotor-cli " + command + ": communication with the drive failed\n"))
            << run.err;
        EXPECT_EQ(run.err.find("instead"), kNone) << run.err;
    }
}

TEST_F(DriveCli, Download) {
    // The program, the program memory's first bytes. An operand of 0xFF is
    // no end of the program.
    for (const auto& [text, memory] : std::vector<std::pair<QByteArray, QByteArray>>{
             {"Do\r\n  Output.0 = True\r\nLoop\r\n", "0f 00 25 08 43 00 ff ff"},
             {"Counter0 = 255\r\nDo\r\nLoop\r\n", "2d ff 0f 00 43 00 ff ff"}}) {
        const CliRun run = Run({"--yes", "download", Write("prog.KtVbM", text)});
        const QByteArray held(reinterpret_cast<const char*>(m_drive.ProgramMemory().data()), 8);
        EXPECT_EQ(std::tuple(run.exitCode, run.out, held.toHex(' ')),
                  std::tuple(0, "Program written: 6 of 254 bytes\n", memory))
            << run.err;
    }
}

// With standard input a terminal, erase asks there: an answer starting with
// y or Y is yes, any other or none is no.
TEST_F(DriveCli, EraseAsksOnTheTerminal) {
    const std::string question = "This will erase program in your motor, Are you sure? [y/N] ";
    const std::string declined = "ktmotor-cli erase: not confirmed, nothing sent (use --yes)\n";
    // The answer typed, whether the drive erased.
    for (const auto& [answer, erased] : std::vector<std::pair<QByteArray, bool>>{
             {"Y\n", true}, {"yes\n", true}, {"n\n", false}, {"\n", false}}) {
        const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_TRUE(terminal >= 0 && ::grantpt(terminal) == 0 && ::unlockpt(terminal) == 0);
        ASSERT_EQ(::write(terminal, answer.constData(), size_t(answer.size())), answer.size());
        m_drive.ClearLog();
        QProcess erase;
        erase.setStandardInputFile(QString::fromLocal8Bit(::ptsname(terminal)));
        erase.start(KTMOTOR_CLI, {"erase", "--port", m_port});
        Await(erase);
        ::close(terminal);
        EXPECT_EQ(std::tuple(erase.exitCode(), erase.readAllStandardError().toStdString(),
                             LastRequest() == "4 254 ff"),
                  std::tuple(erased ? 0 : 4, question + (erased ? "" : declined), erased))
            << answer.toStdString();
    }
}

TEST_F(DriveCli, OptionsStandAnywhere) {
    const CliRun run = Run("read --port PORT bus-volt --log");
    EXPECT_TRUE(run.exitCode == 0 && run.err.find("read BusVolt") != kNone) << run.err;
    EXPECT_EQ(RunCli({"read", "--version"}).out, "ktmotor-cli " KT_VERSION "\n");
    // The desktop program answers both without a display.
    EXPECT_EQ(RunProgram(KTMOTOR_APP, {"--version"}).out, "KtMotor " KT_VERSION "\n");
    const std::string help = RunProgram(KTMOTOR_APP, {"--help"}).out;
    EXPECT_NE(help.find("A program file (.KtVbM) to open at start."), kNone) << help;
}

// The device window's two Read All sequences: one search, then the reads in
// the window's order; the right one shows the counters a word counter holds.
TEST_F(DriveCli, ReadAll) {
    m_drive.SetDataWord(290, 258); // word counter 1
    const std::pair<QString, std::vector<int>> orders[] = {
        {"all", {282, 274, 272, 276, 12, 268, 280, 270, 278, 284, 62, 75}},
        {"all-right",
         {282, 288, 290, 292, 294, 7, 8, 9, 10, 256, 258, 260, 262, 264, 266, 74, 5, 6}}};
    for (const auto& [what, order] : orders) {
        m_drive.ClearLog();
        const CliRun run = Run({"read", what});
        std::vector<int> read;
        for (const auto& request : m_drive.Requests())
            read.push_back(request.address);
        EXPECT_EQ(std::tie(run.exitCode, read), std::tuple(0, order)) << run.err;
        EXPECT_EQ(Lines(run.out), what == "all" ? 11u : 25u) << run.out;
    }
    // Counters 2 and 3 are word counter 1's low and high byte.
    EXPECT_NE(Run({"read", "all-right"}).out.find("WordCounter.1 258\nCounter.2 2\nCounter.3 1\n"),
              kNone);
}

// "virtual-drive" serves a drive of its own that other programs reach at its
// link. A monitor's rounds keep their interval; Ctrl+C ends it between
// rounds: every line printed is whole, the exit is clean, and the port is
// free for the next command. Terminated, the drive leaves cleanly, taking
// the link along.
TEST_F(CliTest, SignalsEndCleanly) {
    const QString link = m_dir.filePath("drive");
    QProcess server, monitor;
    server.start(KTMOTOR_CLI, {"virtual-drive", "--link", link});
    ASSERT_TRUE(server.waitForReadyRead(10000));
    monitor.start(KTMOTOR_CLI,
                  {"monitor", "bus-volt", "--csv", "--interval", "40", "--port", link});
    QByteArray out;
    QEventLoop rounds;
    QObject::connect(&monitor, &QProcess::readyReadStandardOutput, &rounds, [&] {
        out += monitor.readAllStandardOutput();
        if (out.count('\n') >= 3)
            rounds.quit();
    });
    QTimer::singleShot(20000, &rounds, &QEventLoop::quit);
    rounds.exec();
    const QList<QByteArray> rows = out.split('\n');
    ASSERT_GE(rows.size(), 4) << out.toStdString();
    EXPECT_GE(rows[2].split(',')[0].toDouble(), 0.040); // the second round
    ::kill(static_cast<pid_t>(monitor.processId()), SIGINT);
    Await(monitor);
    EXPECT_EQ(monitor.exitCode(), 0) << monitor.readAllStandardError().toStdString();
    EXPECT_TRUE((out + monitor.readAllStandardOutput()).endsWith('\n'));
    EXPECT_EQ(RunCli({"--port", link, "write", "deceleration-rate", "150"}).exitCode, 0);
    EXPECT_EQ(RunCli({"--port", link, "read", "deceleration-rate"}).out, "102.1\n");
    server.terminate();
    Await(server);
    EXPECT_EQ(server.exitCode(), 0);
    EXPECT_FALSE(QFileInfo(link).isSymLink());
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
