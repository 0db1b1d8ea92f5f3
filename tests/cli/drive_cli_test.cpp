// The drive commands of the command-line program, run as a process against
// a virtual drive that this test serves on a real pseudo-terminal, so that
// the bytes the drive receives and holds can be checked (never a port of the
// machine: the port list is always explicit). Conversions and names are the
// catalogue's and the command set's tests' business; these are the program's.
#include "drive/pty_drive_server.h"
#include "drive/virtual_drive.h"
#include "drive/virtual_drive_transport.h"
#include "drivemap/drive_catalogue.h"
#include "link/frm_motor_com.h"
#include "link/link_log.h"
#include "link/serial_transport.h"
#include "platform/scripted_prompts.h"
#include "run_cli.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <csignal>

#ifdef Q_OS_UNIX
#include <fcntl.h>
#include <stdlib.h>
#include <unistd.h>
#endif

using kt::cli::test::Await;
using kt::cli::test::CliRun;
using kt::cli::test::CliTest;
using kt::cli::test::RunCli;
using kt::drive::VirtualDrive;
using namespace kt::drivemap;
constexpr auto kNone = std::string::npos;

namespace {

std::size_t Lines(const std::string& text) {
    return static_cast<std::size_t>(std::count(text.begin(), text.end(), '\n'));
}

class DriveCli : public CliTest {
protected:
    void SetUp() override {
#ifndef Q_OS_UNIX
        GTEST_SKIP() << "pseudo-terminals are POSIX only";
#endif
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
    CliRun Run(const QStringList& args) {
        return RunCli(QStringList{"--port", m_port} + args);
    }
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
// does not open is named with the reason, or as held by another program.
TEST_F(DriveCli, FindAndPorts) {
    kt::link::SerialTransport holder(m_port); // another program's hold
    ASSERT_TRUE(holder.Open());
    const QStringList ports = {"--port", "/nonexistent/b", "--port", m_port};
    CliRun run = RunCli(ports + QStringList{"--virtual-drive", "ports"});
    EXPECT_EQ(run.out, "1 /nonexistent/b\n2 " + m_port.toStdString() + "\n3 virtual-drive\n");
    run = RunCli(ports + QStringList{"--virtual-drive", "find"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "KtMotor Found on port 3 (virtual-drive)\n");
    const std::string told = "ktmotor-cli: cannot open /nonexistent/b: No such file or directory\n"
                             "ktmotor-cli: cannot open " +
                             m_port.toStdString() + ": it is in use by another program\n";
    run = RunCli(ports + QStringList{"find"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "KtMotor Not Found\n");
    EXPECT_EQ(run.err, told);
    run = RunCli(ports + QStringList{"read", "bus-volt"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.err, told); // not as "no drive"
}

// Each command's own help: its usage line with the options that apply, its
// entry, an example; "help COMMAND" says the same.
TEST_F(CliTest, EachCommandExplainsItself) {
    // The command, a text its help must hold.
    const std::vector<std::pair<QString, std::string>> commands = {
        {"compile", "[--image OUT]"},    {"ports", "[--port DEVICE]... ["},
        {"find", "  --virtual-drive  "}, {"read", "Values ("},
        {"erase", "  --yes  "},          {"simulate", "--trace"},
        {"virtual-drive", "--link PATH"}};
    for (const auto& [command, holds] : commands) {
        const std::string name = command.toStdString();
        const CliRun run = RunCli({command, "--help"});
        EXPECT_EQ(run.exitCode, 0) << name;
        EXPECT_TRUE(run.out.starts_with("usage: ktmotor-cli " + name)) << run.out;
        for (const std::string& part :
             {holds, "Example:\n  ktmotor-cli " + name, std::string("Exit status")})
            EXPECT_NE(run.out.find(part), kNone) << part << " in\n" << run.out;
        EXPECT_EQ(run.out.find("Compiler commands:"), kNone) << name; // its own only
        EXPECT_EQ(RunCli({"help", command}).out, run.out) << name;
    }
}

// A port the user may not open is named with the way to get access, never
// as missing. Root opens anything: it runs without that right via setpriv.
TEST_F(CliTest, FindNamesADeniedPort) {
    const QString denied = Write("ttyDenied", {});
    ASSERT_TRUE(QFile::setPermissions(denied, {}));
    QStringList args = {"--port", "/nonexistent/a", "--port", denied, "find"};
    QString program = QStringLiteral(KTMOTOR_CLI);
    if (QFileInfo(denied).isReadable()) {
        program = QStandardPaths::findExecutable("setpriv");
        args = QStringList{"--bounding-set=-dac_override,-dac_read_search",
                           "--inh-caps=-dac_override,-dac_read_search", KTMOTOR_CLI} +
               args;
    }
    if (program.isEmpty())
        GTEST_SKIP() << "root, and no setpriv to drop its rights";
    const CliRun run = kt::cli::test::RunProgram(program, args);
    if (run.exitCode != 2)
        GTEST_SKIP() << "root, and setpriv cannot drop its rights";
    EXPECT_EQ(run.out, "KtMotor Not Found\n");
    EXPECT_EQ(run.err, "ktmotor-cli: cannot open /nonexistent/a: No such file or directory\n" +
                           kt::link::FrmMotorCom::PermissionHint({denied}).toStdString() + '\n');
}

// Every value, channel and bit of the catalogue under its canonical name on
// every surface: read (and its log) and monitor's CSV and tab-separated
// output show what the drive holds, simulate what a drive holds at power-up.
// The test walks the catalogue, so a value a surface misses fails here.
TEST_F(DriveCli, EveryValueOnEverySurface) {
    std::vector<std::uint8_t> memory(kUsedSize);
    for (std::size_t a = 0; a < memory.size(); ++a) {
        if (a != Address(Id::Identification) && a != Address(Id::Identification) + 1u)
            m_drive.SetDataByte(std::uint16_t(a), std::uint8_t(a * 37 + 11));
        memory[a] = m_drive.DataByte(std::uint16_t(a));
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
        if (ref.bit != ValueRef::kWhole) {
            column(ref);
            return;
        }
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
    EXPECT_EQ(csv.exitCode, 0) << csv.err;
    EXPECT_EQ(csv.out, titles + "\r\n" + cells + "\r\n");
    const CliRun tabs = Run(QStringList{"monitor", "--count", "1"} + args);
    EXPECT_EQ(tabs.exitCode, 0) << tabs.err;
    EXPECT_EQ(tabs.out, names + '\n' + texts + '\n');

    // A channel or bit number as a word of its own; each exchange logged
    // under the name asked for.
    args << "counter"
         << "3"
         << "flag"
         << "2";
    read += "Counter.3 " + Text({&At(Id::Counter), 3}, memory) + "\nFlag.2 " +
            Text({&At(Id::Flags), ValueRef::kWhole, 2}, memory) + '\n';
    const CliRun run = Run(QStringList{"read", "--log"} + args);
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, read);
    for (const std::string& line : logged)
        EXPECT_NE(run.err.find(line), kNone) << line;
    // One value prints its text only.
    EXPECT_EQ(Run({"read", "Counter.3"}).out, Text({&At(Id::Counter), 3}, memory) + '\n');

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
    EXPECT_EQ(simulate.exitCode, 0) << simulate.err;
    EXPECT_EQ(simulate.out, shown);
}

// Each kind of writable value, at its last channel or bit, lands where the
// catalogue keeps it; a value the drive takes no more of is written as the
// most it takes, and said so; bits are set and cleared as told.
TEST_F(DriveCli, WritesReachTheDrive) {
    // The write, the drive's last request (Fn, address, data), what it wrote
    // instead.
    const std::vector<std::tuple<QString, std::string, std::string>> told = {
        {"deceleration-rate 150", "0 272 fd03", "DecelerationRate: 102.1"},
        {"current-limit 70", "0 280 fe00", "CurrentLimit: 65"},
        {"deceleration-rate 0.25", "0 272 0200", ""},
        {"AccelerationRate 12.3", "0 274 7b00", ""},
        {"reference-speed 50.5", "0 276 f901", ""},
        {"reference-volt 50", "0 278 7f00", ""},
        {"current-limit 12.75", "0 280 3200", ""},
        {"timer 3 200", "0 10 c8", ""},
        {"Counter.7 9", "0 295 09", ""},
        {"word-counter 3 258", "0 294 0201", ""},
        {"output 1 off", "1 5 fd", ""},
        {"Status.CommandReverse 1", "2 62 02", ""},
        {"flag 3 on", "2 74 08", ""},
        {"Flag.7 1", "2 74 80", ""}};
    for (const auto& [write, request, instead] : told) {
        SCOPED_TRACE(write.toStdString());
        const CliRun run = Run(("write " + write).split(' '));
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, instead.empty()
                               ? ""
                               : "ktmotor-cli write: " + instead + " written instead of " +
                                     write.section(' ', -1).toStdString() +
                                     ", the largest value the drive takes\n");
        EXPECT_EQ(LastRequest(), request);
    }
}

TEST_F(DriveCli, RefusalsSendNothing) {
    const QString good = Write("good.KtVbM", "Do\r\nLoop\r\n");
    const QString bad = Write("bad.KtVbM", "Do\r\nCounter0 = 300\r\nLoop\r\n");
    // Arguments (GOOD and BAD the program files), exit code.
    const std::vector<std::pair<QString, int>> cases = {
        {"write counter 3 255.5", 4}, {"write reference-volt 101", 4},
        {"write flag 8 on", 4},       {"write output 1 maybe", 4},
        {"write speed 1", 64},        {"write BusVolt 5", 64},
        {"write Counter.3", 64},      {"write counter 7", 64},
        {"read timer 4", 4},          {"read analog x", 64},
        {"read counter", 64},         {"erase", 4},
        {"download GOOD", 4},         {"--yes download BAD", 1}};
    for (auto [args, exitCode] : cases) {
        m_drive.ClearLog();
        const CliRun run = Run(args.replace("GOOD", good).replace("BAD", bad).split(' '));
        EXPECT_EQ(run.exitCode, exitCode) << args.toStdString();
        EXPECT_TRUE(run.out.empty());
        EXPECT_FALSE(run.err.empty());
        // At most the search's identification read.
        EXPECT_LE(m_drive.RequestCount(), 1) << args.toStdString();
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
    const std::vector<std::tuple<QString, int, std::string, std::size_t>> rows = {
        {"read status bus-volt", 2, "Status CommandForward=0 ", 1},
        {"write deceleration-rate 150", 1, "", 0},
        {"monitor bus-volt --count 3", 2, "# ms\tBusVolt", 2}};
    for (const auto& [args, replies, start, lines] : rows) {
        const std::string command = args.section(' ', 0, 0).toStdString();
        Serve();
        m_repliesLeft = replies;
        const CliRun run = Run(args.split(' '));
        EXPECT_EQ(run.exitCode, 1) << command;
        EXPECT_TRUE(run.out.starts_with(start)) << run.out;
        EXPECT_EQ(Lines(run.out), lines) << run.out;
        EXPECT_TRUE(
            run.err.ends_with("ktmotor-cli " + command + ": communication with the drive failed\n"))
            << run.err;
        EXPECT_EQ(run.err.find("instead"), kNone) << run.err;
    }
}

TEST_F(DriveCli, EraseAndDownload) {
    const auto program = [this] {
        return QByteArray(reinterpret_cast<const char*>(m_drive.ProgramMemory().data()), 8)
            .toHex(' ');
    };
    // The program, what download says, the program memory's first bytes.
    const std::vector<std::tuple<QByteArray, std::string, QByteArray>> downloads = {
        {"Do\r\n  Output.0 = True\r\nLoop\r\n", "6", "0f 00 25 08 43 00 ff ff"},
        // An operand of 0xFF is no end of the program.
        {"Counter0 = 255\r\nDo\r\nLoop\r\n", "6", "2d ff 0f 00 43 00 ff ff"}};
    for (const auto& [text, written, memory] : downloads) {
        const CliRun run = Run({"--yes", "download", Write("prog.KtVbM", text)});
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out, "Program written: " + written + " of 254 bytes\n");
        EXPECT_EQ(program(), memory);
    }
    EXPECT_EQ(Run({"--yes", "erase"}).exitCode, 0);
    EXPECT_EQ(program(), "ff ff ff ff ff ff ff ff");
    EXPECT_EQ(LastRequest(), "4 254 ff");
}

#ifdef Q_OS_UNIX

// With standard input a terminal, erase asks there: an answer starting with
// y or Y is yes, any other or none is no.
TEST_F(DriveCli, EraseAsksOnTheTerminal) {
    const std::string question = "This will erase program in your motor, Are you sure? [y/N] ";
    const std::string declined = "ktmotor-cli erase: not confirmed, nothing sent (use --yes)\n";
    // The answer typed, whether the drive erased.
    const std::vector<std::pair<QByteArray, bool>> answers = {
        {"Y\n", true}, {"yes\n", true}, {"n\n", false}, {"\n", false}};
    for (const auto& [answer, erased] : answers) {
        const int terminal = ::posix_openpt(O_RDWR | O_NOCTTY);
        ASSERT_TRUE(terminal >= 0 && ::grantpt(terminal) == 0 && ::unlockpt(terminal) == 0);
        ASSERT_EQ(::write(terminal, answer.constData(), size_t(answer.size())), answer.size());
        m_drive.ClearLog();
        QProcess erase;
        erase.setStandardInputFile(QString::fromLocal8Bit(::ptsname(terminal)));
        erase.start(QStringLiteral(KTMOTOR_CLI), {"erase", "--port", m_port});
        Await(erase);
        ::close(terminal);
        EXPECT_EQ(erase.exitCode(), erased ? 0 : 4) << answer.toStdString();
        EXPECT_EQ(erase.readAllStandardError().toStdString(), question + (erased ? "" : declined));
        EXPECT_EQ(LastRequest() == "4 254 ff", erased) << answer.toStdString();
    }
}

#endif

TEST_F(DriveCli, OptionsStandAnywhere) {
    // Arguments (PORT the drive's), exit code, a text standard error holds.
    const std::vector<std::tuple<QString, int, std::string>> cases = {
        {"read --port PORT bus-volt --log", 0, "read BusVolt"},
        // A negative value is the write's value, not an option.
        {"write word-counter 0 -5 --port PORT", 4, "out of range"},
        {"read bus-volt --frob --port PORT", 64, "'frob'"},
        {"read bus-volt --hex --port PORT", 64, "--hex does not apply to read"},
        {"read bus-volt --port", 64, "--port"}};
    for (auto [args, exitCode, told] : cases) {
        const CliRun run = RunCli(args.replace("PORT", m_port).split(' '));
        EXPECT_EQ(run.exitCode, exitCode) << args.toStdString() << '\n' << run.err;
        EXPECT_NE(run.err.find(told), kNone) << run.err;
    }
    EXPECT_EQ(RunCli({"read", "--version"}).out, "ktmotor-cli " KT_VERSION "\n");
    // The desktop program answers both without a display.
    const QString desktop = QStringLiteral(KTMOTOR_APP);
    EXPECT_EQ(kt::cli::test::RunProgram(desktop, {"--version"}).out, "KtMotor " KT_VERSION "\n");
    const std::string help = kt::cli::test::RunProgram(desktop, {"--help"}).out;
    EXPECT_NE(help.find("A program file (.KtVbM) to open at start."), kNone) << help;
}

// The device window's two Read All sequences: one search, then the reads in
// the window's order; the right one shows the counters a word counter holds.
TEST_F(DriveCli, ReadAll) {
    m_drive.SetDataWord(290, 258); // word counter 1
    const auto addresses = [this] {
        std::vector<int> read;
        for (const auto& request : m_drive.Requests())
            read.push_back(request.address);
        m_drive.ClearLog();
        return read;
    };
    m_drive.ClearLog();
    CliRun run = Run({"read", "all"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(addresses(),
              (std::vector<int>{282, 274, 272, 276, 12, 268, 280, 270, 278, 284, 62, 75}));
    EXPECT_EQ(Lines(run.out), 11u);
    run = Run({"read", "all-right"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(addresses(), (std::vector<int>{282, 288, 290, 292, 294, 7, 8, 9, 10, 256, 258, 260,
                                             262, 264, 266, 74, 5, 6}));
    // Counters 2 and 3 are word counter 1's low and high byte.
    EXPECT_NE(run.out.find("WordCounter.1 258\nCounter.2 2\nCounter.3 1\n"), kNone) << run.out;
}

// A monitor's rounds keep their interval; Ctrl+C ends it between rounds:
// every line printed is whole, the exit is clean, and the port is free for
// the next command.
TEST_F(DriveCli, MonitorEndsCleanlyOnInterrupt) {
    QProcess monitor;
    monitor.start(QStringLiteral(KTMOTOR_CLI),
                  {"monitor", "bus-volt", "--csv", "--interval", "40", "--port", m_port});
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
    EXPECT_EQ(monitor.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(monitor.exitCode(), 0) << monitor.readAllStandardError().toStdString();
    EXPECT_TRUE((out + monitor.readAllStandardOutput()).endsWith('\n'));
    EXPECT_EQ(Run({"read", "bus-volt"}).exitCode, 0);
}

// "virtual-drive" serves a drive of its own that other programs reach at its
// link, and leaves cleanly when terminated, taking the link along.
TEST_F(CliTest, VirtualDriveServesUntilTerminated) {
#ifndef Q_OS_UNIX
    GTEST_SKIP() << "pseudo-terminals are POSIX only";
#endif
    const QString link = m_dir.filePath("drive");
    QProcess server;
    server.start(QStringLiteral(KTMOTOR_CLI), {"virtual-drive", "--link", link});
    ASSERT_TRUE(server.waitForReadyRead(10000));
    EXPECT_EQ(RunCli({"--port", link, "write", "deceleration-rate", "150"}).exitCode, 0);
    EXPECT_EQ(RunCli({"--port", link, "read", "deceleration-rate"}).out, "102.1\n");
    server.terminate();
    ASSERT_TRUE(server.waitForFinished(10000));
    EXPECT_EQ(server.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(server.exitCode(), 0);
    EXPECT_FALSE(QFileInfo(link).isSymLink());
}

// Resends, time-outs and the failure are marked in the log (the reply
// time-out shortened: the drive never answers).
TEST(LinkLog, MarksResendsAndTheFailure) {
    VirtualDrive drive;
    kt::platform::ScriptedPrompts prompts;
    kt::link::FrmMotorCom com(prompts, [&drive](int n) {
        return n == 1 ? std::make_unique<kt::drive::VirtualDriveTransport>(drive) : nullptr;
    });
    com.SetReplyTimeout([](int) { return 5; });
    std::string all;
    kt::link::LinkLog log(
        [&all](const std::string& line) { all += line.substr(line.find(" ms ")) + '\n'; });
    ASSERT_EQ(com.OpenPort(), 1);
    com.AddObserver(&log);
    drive.SetFault(VirtualDrive::Fault::NoReply);
    prompts.Push(kt::platform::Answer::Cancel);
    QByteArray data;
    EXPECT_EQ(com.SendPacket(0, 268, 2, data), kt::link::kFailed);
    com.RemoveObserver(&log);
    std::string expected;
    for (const std::string resend : {"", "RESEND 1: ", "RESEND 2: ", "RESEND 3: ", "RESEND 4: "})
        expected += " ms port 1  > 00 00 0C 01 02 F1 FF  " + resend +
                    "read BusVolt (268), 2 bytes\n ms port 1  ! TIMEOUT, nothing received\n";
    EXPECT_EQ(all, expected + " ms port 1  ! FAILED: read BusVolt (268), 2 bytes\n");
}

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
