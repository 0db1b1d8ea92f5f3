// The drive commands of the command-line program, run as a process against
// a virtual drive that this test serves on a real pseudo-terminal, so that
// the bytes the drive receives and holds can be checked (never a port of the
// machine: the port list is always explicit).
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

#include <QFileInfo>
#include <QStandardPaths>

#include <algorithm>
#include <cmath>
#include <csignal>
#include <iostream>
#include <vector>

using kt::cli::test::CliRun;
using kt::cli::test::CliTest;
using kt::cli::test::RunCli;
using kt::drive::VirtualDrive;

namespace {

class DriveCli : public CliTest {
protected:
    void SetUp() override {
#ifndef Q_OS_UNIX
        GTEST_SKIP() << "pseudo-terminals are POSIX only";
#endif
        m_drive.SetMotorModel(false);
        QString error;
        ASSERT_TRUE(m_server.Start(&error)) << error.toStdString();
    }

    CliRun Run(const QStringList& args) {
        return RunCli(QStringList{"--port", m_server.DevicePath()} + args);
    }
    QByteArray Memory(int address, int count) const {
        QByteArray bytes;
        for (int i = 0; i < count; ++i)
            bytes += char(m_drive.DataByte(static_cast<std::uint16_t>(address + i)));
        return bytes;
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
    kt::drive::PtyDriveServer m_server{m_drive};
};

} // namespace

TEST_F(CliTest, FindAndPorts) {
    // The given ports in their order, then the in-process drive.
    const QStringList ports = {"--port", "/nonexistent/b", "--port", "/nonexistent/a"};
    CliRun run = RunCli(ports + QStringList{"--virtual-drive", "ports"});
    EXPECT_EQ(run.out, "1 /nonexistent/b\n2 /nonexistent/a\n3 virtual-drive\n");
    run = RunCli(ports + QStringList{"--virtual-drive", "find"});
    EXPECT_EQ(run.exitCode, 0);
    EXPECT_EQ(run.out, "KtMotor Found on port 3 (virtual-drive)\n");
    run = RunCli(ports + QStringList{"find"});
    EXPECT_EQ(run.exitCode, 2);
    EXPECT_EQ(run.out, "KtMotor Not Found\n");
    // Ports the user named are told, each with the system's reason.
    EXPECT_EQ(run.err, "ktmotor-cli: cannot open /nonexistent/b: No such file or directory\n"
                       "ktmotor-cli: cannot open /nonexistent/a: No such file or directory\n");
}

// Each command's own help: its usage line with the options that apply, its
// entry, an example; "help COMMAND" says the same.
TEST_F(CliTest, EachCommandExplainsItself) {
    // The command, a text its help must hold.
    const std::vector<std::pair<QString, std::string>> commands = {
        {"line", "line [TEXT]"},
        {"compile", "[--hex] [--image OUT]"},
        {"ports", "[--port DEVICE]... [--virtual-drive] [--log]\n"},
        {"find", "\n  --virtual-drive  "},
        {"read", "\nValues "},
        {"write", "\n  Timer.N "},
        {"monitor", "[--interval MS]"},
        {"erase", "\n  --yes  "},
        {"download", "[--yes]"},
        {"simulate", "--trace"},
        {"virtual-drive", "--link PATH"},
    };
    for (const auto& [command, holds] : commands) {
        const CliRun run = RunCli({command, "--help"});
        const std::string name = command.toStdString();
        EXPECT_EQ(run.exitCode, 0) << name;
        EXPECT_EQ(run.out.rfind("usage: ktmotor-cli " + name, 0), 0u) << run.out;
        EXPECT_NE(run.out.find(holds), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("Example:\n  ktmotor-cli " + name), std::string::npos) << run.out;
        EXPECT_NE(run.out.find("Exit status"), std::string::npos) << run.out;
        EXPECT_EQ(run.out.find("Compiler commands:"), std::string::npos) << name; // its own only
        EXPECT_EQ(RunCli({"help", command}).out, run.out) << name;
    }
    EXPECT_EQ(RunCli({"help", "frob"}).exitCode, 64);
}

// A port the user may not open is named on standard error, with the way to
// get access. Root opens anything: it runs without that right through
// setpriv, or, where that cannot be, only the text itself is checked.
TEST_F(CliTest, FindNamesADeniedPort) {
    const QString denied = Write("ttyDenied", {});
    ASSERT_TRUE(QFile::setPermissions(denied, {}));
    const QStringList args = {"--port", "/nonexistent/a", "--port", denied, "find"};
    const QString setpriv = QStandardPaths::findExecutable("setpriv");
    const bool root = QFileInfo(denied).isReadable();
    CliRun run;
    if (!root)
        run = RunCli(args);
    else if (!setpriv.isEmpty())
        run = kt::cli::test::RunProgram(
            setpriv, QStringList{"--bounding-set=-dac_override,-dac_read_search",
                                 "--inh-caps=-dac_override,-dac_read_search", KTMOTOR_CLI} +
                         args);
    std::string hint = run.err;
    if (root && run.exitCode != 2) {
        std::cout << "[ INFO     ] root, and setpriv cannot drop its rights: the hint is checked "
                     "as text only\n";
        hint = kt::link::FrmMotorCom::PermissionHint({denied}).toStdString() + '\n';
    } else {
        EXPECT_EQ(run.out, "KtMotor Not Found\n");
    }
    hint = hint.substr(std::min(hint.find("You may not open"), hint.size()));
    EXPECT_NE(hint.find(denied.toStdString() + ": permission denied"), std::string::npos) << hint;
    EXPECT_NE(hint.find("sudo usermod -aG dialout $USER"), std::string::npos) << hint;
    EXPECT_EQ(hint.find("/nonexistent/a"), std::string::npos) << hint;
}

TEST_F(DriveCli, ReadsConvertTheDrivesBytes) {
    // Address, bytes put there, the read, what it prints.
    const std::vector<std::tuple<int, const char*, QStringList, std::string>> cases = {
        {268, "8902", {"bus-volt"}, "69.8"},
        {280, "fe00", {"current-limit"}, "64.77"},
        {270, "2800", {"motor-current"}, "10.2"},
        {276, "f401", {"reference-speed"}, "50"},
        {272, "fd03", {"deceleration-rate"}, "102.1"},
        {278, "7f00", {"reference-volt"}, "49"},
        {290, "0209", {"word-counter", "1"}, "2306"},
        {291, "09", {"counter", "3"}, "9"},
        {62,
         "91",
         {"status"},
         "CommandForward=1 CommandReverse=0 AutoTorque=0 ProgramRunMode=0 MotorForward=1 "
         "MotorEnable=0 Fault=1"},
        {5, "02", {"outputs"}, "Output.0=0 Output.1=1"},
        {6,
         "81",
         {"inputs"},
         "Input.0=1 Input.1=0 Input.2=0 Input.3=0 Input.4=0 Input.5=0 Input.6=0 Input.7=1"},
        {284, "ff00", {"motor-volt"}, "100"},
        {266, "ffff", {"analog", "5"}, "65535"},
        {75, "03", {"error"}, "3: Fault in motor power stage."},
        // One bit, one channel, by any name the catalogue finds.
        {6, "81", {"Input.7"}, "1"},
        {6, "81", {"In1"}, "0"},
        {6, "81", {"inputs.In0"}, "1"},
        {62, "91", {"status.Fault"}, "1"},
        {62, "91", {"MOTORENABLE"}, "0"},
        {74, "04", {"flag", "2"}, "1"},
        {291, "09", {"Counter.3"}, "9"},
        {291, "09", {"counter3"}, "9"},
        {9, "2a", {"Timer.2"}, "42"},
        {278, "7f00", {"Volt%"}, "49"},
        {274, "6400", {"AccelerateRate"}, "10"},
    };
    for (const auto& [address, bytes, read, printed] : cases) {
        const QByteArray data = QByteArray::fromHex(bytes);
        for (int i = 0; i < data.size(); ++i)
            m_drive.SetDataByte(static_cast<std::uint16_t>(address + i), std::uint8_t(data[i]));
        const CliRun run = Run(QStringList{"read"} + read);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out, printed + "\n");
    }
}

TEST_F(DriveCli, WritesSendTheSpecifiedBytes) {
    // The write, then the drive's last request (Fn, address, data), the
    // bytes at that address afterwards, and what standard error tells.
    const std::string limited = ", the largest value the drive takes\n";
    const std::vector<std::tuple<QStringList, std::string, const char*, std::string>> cases = {
        {{"reference-speed", "50"}, "0 276 f401", "f401", ""},
        {{"deceleration-rate", "150"},
         "0 272 fd03",
         "fd03",
         "ktmotor-cli write: DecelerationRate: 102.1 written instead of 150" + limited},
        {{"deceleration-rate", "0.25"}, "0 272 0200", "0200", ""},
        {{"reference-volt", " 50 "}, "0 278 7f00", "7f00", ""},
        {{"current-limit", "65"}, "0 280 fe00", "fe00", ""},
        {{"current-limit", "70"},
         "0 280 fe00",
         "fe00",
         "ktmotor-cli write: CurrentLimit: 65 written instead of 70" + limited},
        {{"counter", "3", "255.4"}, "0 291 ff", "ff", ""},
        {{"word-counter", "1", "258"}, "0 290 0201", "0201", ""},
        {{"output", "1", "off"}, "1 5 fd", "fd", ""},
        {{"flag", "3", "on"}, "2 74 08", "08", ""},
        {{"auto-torque", "on"}, "2 62 04", "04", ""},
    };
    for (const auto& [write, request, after, told] : cases) {
        m_drive.SetDataWord(5, 0x00FF); // output bits set, so a clear shows
        const CliRun run = Run(QStringList{"write"} + write);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.err, told);
        EXPECT_EQ(LastRequest(), request) << write.join(' ').toStdString();
        const QByteArray expected = QByteArray::fromHex(after);
        const int address = std::stoi(request.substr(request.find(' ') + 1));
        EXPECT_EQ(Memory(address, int(expected.size())).toHex(), expected.toHex());
    }
}

// Every value the catalogue calls writable is written under its canonical
// name and lands where the catalogue keeps it, converted as it converts it.
TEST_F(DriveCli, EveryWritableValueIsWrittenUnderItsCanonicalName) {
    using namespace kt::drivemap;
    const auto memory = [this] {
        std::vector<std::uint8_t> bytes(kUsedSize);
        for (std::size_t a = 0; a < bytes.size(); ++a)
            bytes[a] = m_drive.DataByte(static_cast<std::uint16_t>(a));
        return bytes;
    };
    // The value, the text written, the text it then reads as.
    std::vector<std::tuple<ValueRef, std::string, std::string>> cases;
    for (const DriveValue& value : Values()) {
        for (const Bit& bit : value.bits)
            if (bit.writable)
                cases.emplace_back(ValueRef{&value, ValueRef::kWhole, bit.index}, "1", "1");
        if (!value.writable)
            continue;
        // Off the power-up value, inside the range; tenths and amperes take a
        // fraction.
        const double scale =
            value.scaling == Scaling::Tenths || value.scaling == Scaling::CurrentStep ? 10 : 1;
        const double middle = std::round((value.range.low + value.range.high) / 2 * scale) / scale;
        float written = static_cast<float>(middle);
        const std::optional<std::uint16_t> count = Encode(value, written);
        ASSERT_TRUE(count) << value.name;
        const std::string reads = Format(value, Scale(value.scaling, *count));
        for (int n = 0; n < std::max<int>(value.channels, 1); ++n)
            cases.emplace_back(ValueRef{&value, value.channels > 0 ? n : ValueRef::kWhole},
                               Format(value, middle), reads);
    }
    for (const auto& [ref, text, reads] : cases) {
        const CliRun run =
            Run({"write", QString::fromStdString(Name(ref)), QString::fromStdString(text)});
        EXPECT_EQ(run.exitCode, 0) << Name(ref) << ": " << run.err;
        EXPECT_EQ(Text(ref, memory()), reads) << Name(ref);
    }
}

TEST_F(DriveCli, RefusalsSendNothing) {
    const QString good = Write("good.KtVbM", "Do\r\nLoop\r\n");
    const QString bad = Write("bad.KtVbM", "Do\r\nCounter0 = 300\r\nLoop\r\n");
    // Arguments, exit code.
    const std::vector<std::pair<QStringList, int>> cases = {
        {{"write", "counter", "3", "255.5"}, 4},
        {{"write", "word-counter", "0", "65536"}, 4},
        {{"write", "reference-volt", "101"}, 4},
        {{"write", "flag", "8", "on"}, 4},
        {{"write", "output", "1", "maybe"}, 4},
        {{"write", "current-limit", "abc"}, 4},
        {{"write", "speed", "1"}, 64},
        {{"read", "timer", "4"}, 4},
        {{"read", "analog", "x"}, 64},
        {{"read", "bogus"}, 64},
        {{"read", "counter"}, 64},
        {{"read", "Timer.4"}, 64},
        {{"read", "flag", "8"}, 4},
        {{"write", "BusVolt", "5"}, 64},
        {{"write", "Input.0", "1"}, 64},
        {{"write", "Flags", "1"}, 64},
        {{"write", "Counter.3"}, 64},
        {{"write", "counter", "7"}, 64},
        {{"write", "Flag.2", "maybe"}, 4},
        {{"write", "Timer.1", "256"}, 4},
        {{"erase"}, 4},
        {{"download", good}, 4},
        {{"--yes", "download", bad}, 1},
    };
    for (const auto& [args, exitCode] : cases) {
        m_drive.ClearLog();
        const CliRun run = Run(args);
        EXPECT_EQ(run.exitCode, exitCode) << args.join(' ').toStdString();
        EXPECT_TRUE(run.out.empty());
        EXPECT_FALSE(run.err.empty());
        // At most the search's identification read.
        EXPECT_LE(m_drive.RequestCount(), 1) << args.join(' ').toStdString();
    }
    EXPECT_EQ(Run({"--yes", "download", bad}).err,
              bad.toStdString() + ":2: Error: Data out of limit.\n");
    // An index is refused in the catalogue's numbering.
    using kt::drivemap::Channels;
    using kt::drivemap::Id;
    const std::string timers =
        "Timer takes an index of 0 to " + std::to_string(Channels(Id::Timer) - 1);
    EXPECT_EQ(Run({"read", "timer", "9"}).err, "ktmotor-cli read: " + timers + ", not 9\n");
    EXPECT_EQ(Run({"read", "timer", "x"}).err,
              "ktmotor-cli: read: 'x' is not a number; " + timers + "; see ktmotor-cli --help\n");
}

// A port that does not open is named with the reason, not as "no drive".
TEST_F(DriveCli, PortsThatDoNotOpenAreNamed) {
    kt::link::SerialTransport holder(m_server.DevicePath()); // another program's hold
    ASSERT_TRUE(holder.Open());
    const std::string held = m_server.DevicePath().toStdString();
    // The port, what standard error says.
    const std::vector<std::pair<std::string, std::string>> cases = {
        {"/dev/nonexistent", "cannot open /dev/nonexistent: No such file or directory"},
        {held, "cannot open " + held + ": it is in use by another program"},
    };
    for (const auto& [port, told] : cases) {
        const CliRun run = RunCli({"read", "bus-volt", "--port", QString::fromStdString(port)});
        EXPECT_EQ(run.exitCode, 2) << port;
        EXPECT_EQ(run.err, "ktmotor-cli: " + told + '\n');
    }
}

TEST_F(DriveCli, EraseAndDownload) {
    const QString good = Write("good.KtVbM", "Do\r\n  Output.0 = True\r\nLoop\r\n");
    const CliRun download = Run({"--yes", "download", good});
    EXPECT_EQ(download.exitCode, 0);
    EXPECT_EQ(download.out, "Program written: 6 of 254 bytes\n");
    const auto program = [this] {
        return QByteArray(reinterpret_cast<const char*>(m_drive.ProgramMemory().data()), 8)
            .toHex(' ');
    };
    EXPECT_EQ(program(), "0f 00 25 08 43 00 ff ff");
    EXPECT_EQ(Run({"--yes", "erase"}).exitCode, 0);
    EXPECT_EQ(program(), "ff ff ff ff ff ff ff ff");
    EXPECT_EQ(LastRequest(), "4 254 ff");
}

TEST_F(DriveCli, OptionsStandAnywhere) {
    const QStringList port = {"--port", m_server.DevicePath()};
    // Arguments, exit code, a text standard error must hold ("" for none).
    const std::vector<std::tuple<QStringList, int, std::string>> cases = {
        {QStringList{"read", "bus-volt"} + port, 0, ""},
        {QStringList{"read"} + port + QStringList{"bus-volt", "--log"}, 0, "read BusVolt"},
        // A negative value is the write's value, not an option.
        {QStringList{"write", "word-counter", "0", "-5"} + port, 4, "out of range"},
        {QStringList{"read", "bus-volt", "--frob"} + port, 64, "'frob'"},
        {QStringList{"read", "bus-volt", "--hex"} + port, 64, "--hex does not apply to read"},
        {QStringList{"read", "bus-volt", "--port"}, 64, "--port"},
    };
    for (const auto& [args, exitCode, told] : cases) {
        const CliRun run = RunCli(args);
        EXPECT_EQ(run.exitCode, exitCode) << args.join(' ').toStdString() << '\n' << run.err;
        EXPECT_NE(run.err.find(told), std::string::npos) << run.err;
    }
    EXPECT_EQ(RunCli({"read", "--version"}).out, "ktmotor-cli " KT_VERSION "\n");
    // The desktop program answers both without a display.
    const QString desktop = QStringLiteral(KTMOTOR_APP);
    EXPECT_EQ(kt::cli::test::RunProgram(desktop, {"--version"}).out, "KtMotor " KT_VERSION "\n");
    const std::string help = kt::cli::test::RunProgram(desktop, {"--help"}).out;
    EXPECT_NE(help.find("[FILE]"), std::string::npos) << help;
    EXPECT_NE(help.find("A program file (.KtVbM) to open at start."), std::string::npos) << help;
}

// Several values in one run, and the device window's two Read All
// sequences: one search, then the reads in the window's order.
TEST_F(DriveCli, ReadSeveralAndReadAll) {
    m_drive.SetDataWord(268, 0x0289); // bus volt 69.8
    m_drive.SetDataWord(290, 258);    // word counter 1
    m_drive.SetDataByte(62, 0x81);    // Fault, CommandForward
    CliRun run = Run({"read", "status", "bus-volt", "word-counter", "1"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(run.out, "Status CommandForward=1 CommandReverse=0 AutoTorque=0 ProgramRunMode=0 "
                       "MotorForward=0 MotorEnable=0 Fault=1\n"
                       "BusVolt 69.8\nWordCounter.1 258\n");

    const auto addresses = [this] {
        std::vector<int> read;
        for (const auto& request : m_drive.Requests())
            read.push_back(request.address);
        return read;
    };
    m_drive.ClearLog();
    run = Run({"read", "all"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(addresses(),
              (std::vector<int>{282, 274, 272, 276, 12, 268, 280, 270, 278, 284, 62, 75}));
    EXPECT_EQ(std::count(run.out.begin(), run.out.end(), '\n'), 11);
    EXPECT_NE(run.out.find("\nBusVolt 69.8\n"), std::string::npos) << run.out;

    m_drive.ClearLog();
    run = Run({"read", "all-right"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    EXPECT_EQ(addresses(), (std::vector<int>{282, 288, 290, 292, 294, 7, 8, 9, 10, 256, 258, 260,
                                             262, 264, 266, 74, 5, 6}));
    // Counters 2 and 3 are word counter 1's low and high byte.
    EXPECT_NE(run.out.find("WordCounter.1 258\nCounter.2 2\nCounter.3 1\n"), std::string::npos)
        << run.out;
}

// The log shows each frame as it went over the wire: the bus-volt read and
// its reply, with checksums worked out by hand (0x10000 minus the sum).
TEST_F(DriveCli, LogShowsTheFrames) {
    m_drive.SetDataWord(268, 0x0289);
    const CliRun run = Run({"read", "bus-volt", "--log"});
    EXPECT_EQ(run.out, "69.8\n");
    EXPECT_NE(run.err.find("search  > 00 00 1A 01 02 E3 FF  read Identification (282), 2 bytes"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("port 1  > 00 00 0C 01 02 F1 FF  read BusVolt (268), 2 bytes\n"),
              std::string::npos)
        << run.err;
    EXPECT_NE(run.err.find("port 1  < 89 02 75 FF\n"), std::string::npos) << run.err;
}

TEST_F(DriveCli, MonitorRoundsAndCsv) {
    m_drive.SetDataWord(268, 0x0289);
    CliRun run = Run({"monitor", "bus-volt", "outputs", "--count", "3"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    const QStringList lines = QString::fromStdString(run.out).split('\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 4) << run.out;
    EXPECT_EQ(lines[0], "# ms\tBusVolt\tOutputs");
    for (const QString& line : lines.mid(1))
        EXPECT_TRUE(line.endsWith("\t69.8\tOutput.0=0 Output.1=0")) << line.toStdString();

    run = Run({"monitor", "bus-volt", "outputs", "--csv", "--count", "2", "--interval", "40"});
    EXPECT_EQ(run.exitCode, 0) << run.err;
    // Records end in CR LF; the time is in seconds.
    const QStringList rows = QString::fromStdString(run.out).split("\r\n", Qt::SkipEmptyParts);
    ASSERT_EQ(rows.size(), 3) << run.out;
    EXPECT_EQ(rows[0], "time [s],BusVolt [V],Output.0,Output.1");
    EXPECT_TRUE(rows[1].startsWith("0.000,")) << rows[1].toStdString();
    EXPECT_TRUE(rows[2].endsWith(",69.8,0,0"));
    EXPECT_GE(rows[2].section(',', 0, 0).toDouble(), 0.040); // the second round waits its interval
}

// Ctrl+C ends a monitor between rounds: every line printed is whole, the
// exit is clean, and the port is free for the next command.
TEST_F(DriveCli, MonitorEndsCleanlyOnInterrupt) {
    QProcess monitor;
    monitor.start(QStringLiteral(KTMOTOR_CLI),
                  {"monitor", "bus-volt", "--port", m_server.DevicePath()});
    ASSERT_TRUE(monitor.waitForStarted());
    QByteArray out;
    QEventLoop wait;
    QObject::connect(&monitor, &QProcess::readyReadStandardOutput, &wait, [&] {
        out += monitor.readAllStandardOutput();
        if (out.count('\n') >= 3)
            wait.quit();
    });
    QTimer::singleShot(20000, &wait, &QEventLoop::quit);
    wait.exec();
    ASSERT_GE(out.count('\n'), 3) << out.toStdString();
    // This process serves the drive: wait with events flowing.
    QEventLoop ended;
    QObject::connect(&monitor, &QProcess::finished, &ended, &QEventLoop::quit);
    QTimer::singleShot(20000, &ended, &QEventLoop::quit);
    ::kill(static_cast<pid_t>(monitor.processId()), SIGINT);
    ended.exec();
    ASSERT_EQ(monitor.state(), QProcess::NotRunning);
    EXPECT_EQ(monitor.exitStatus(), QProcess::NormalExit);
    EXPECT_EQ(monitor.exitCode(), 0) << monitor.readAllStandardError().toStdString();
    out += monitor.readAllStandardOutput();
    EXPECT_TRUE(out.endsWith('\n'));
    EXPECT_EQ(Run({"read", "bus-volt"}).exitCode, 0);
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
    std::vector<std::string> lines;
    kt::link::LinkLog log([&lines](const std::string& line) { lines.push_back(line); });
    ASSERT_EQ(com.OpenPort(), 1);
    com.AddObserver(&log);
    drive.SetFault(VirtualDrive::Fault::NoReply);
    prompts.Push(kt::platform::Answer::Cancel);
    QByteArray data;
    EXPECT_EQ(com.SendPacket(0, 268, 2, data), kt::link::kFailed);
    com.RemoveObserver(&log);
    std::string all;
    for (const std::string& line : lines)
        all += line.substr(line.find(" ms ")) + '\n';
    EXPECT_EQ(all, " ms port 1  > 00 00 0C 01 02 F1 FF  read BusVolt (268), 2 bytes\n"
                   " ms port 1  ! TIMEOUT, nothing received\n"
                   " ms port 1  > 00 00 0C 01 02 F1 FF  RESEND 1: read BusVolt (268), 2 bytes\n"
                   " ms port 1  ! TIMEOUT, nothing received\n"
                   " ms port 1  > 00 00 0C 01 02 F1 FF  RESEND 2: read BusVolt (268), 2 bytes\n"
                   " ms port 1  ! TIMEOUT, nothing received\n"
                   " ms port 1  > 00 00 0C 01 02 F1 FF  RESEND 3: read BusVolt (268), 2 bytes\n"
                   " ms port 1  ! TIMEOUT, nothing received\n"
                   " ms port 1  > 00 00 0C 01 02 F1 FF  RESEND 4: read BusVolt (268), 2 bytes\n"
                   " ms port 1  ! TIMEOUT, nothing received\n"
                   " ms port 1  ! FAILED: read BusVolt (268), 2 bytes\n");
}
