// The drive commands of the command-line program, run as a process against
// a virtual drive that this test serves on a real pseudo-terminal, so that
// the bytes the drive receives and holds can be checked (never a port of the
// machine: the port list is always explicit).
#include "drive/pty_drive_server.h"
#include "drive/virtual_drive.h"
#include "link/frm_motor_com.h"
#include "run_cli.h"

#include <gtest/gtest.h>

#include <QFileInfo>
#include <QStandardPaths>

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
    EXPECT_EQ(run.err, ""); // missing ports are no one's fault
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
         "Fault=1 MotorEnable=0 MotorForward=1 ProgramRunMode=0 AutoTorque=0 CommandReverse=0 "
         "CommandForward=1"},
        {5, "02", {"outputs"}, "Op0=0 Op1=1"},
        {6, "81", {"inputs"}, "In0=1 In1=0 In2=0 In3=0 In4=0 In5=0 In6=0 In7=1"},
        {284, "ff00", {"motor-volt"}, "100"},
        {266, "ffff", {"analog", "5"}, "65535"},
        {75, "03", {"error"}, "3: Fault in motor power stage."},
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
    // The write, then the drive's last request (Fn, address, data) and the
    // bytes at that address afterwards.
    const std::vector<std::tuple<QStringList, std::string, const char*>> cases = {
        {{"reference-speed", "50"}, "0 276 f401", "f401"},
        {{"deceleration-rate", "150"}, "0 272 fd03", "fd03"},
        {{"deceleration-rate", "0.25"}, "0 272 0200", "0200"},
        {{"reference-volt", " 50 "}, "0 278 7f00", "7f00"},
        {{"current-limit", "65"}, "0 280 fe00", "fe00"},
        {{"current-limit", "70"}, "0 280 fe00", "fe00"},
        {{"counter", "3", "255.4"}, "0 291 ff", "ff"},
        {{"word-counter", "1", "258"}, "0 290 0201", "0201"},
        {{"output", "1", "off"}, "1 5 fd", "fd"},
        {{"flag", "3", "on"}, "2 74 08", "08"},
        {{"auto-torque", "on"}, "2 62 04", "04"},
    };
    for (const auto& [write, request, after] : cases) {
        m_drive.SetDataWord(5, 0x00FF); // output bits set, so a clear shows
        const CliRun run = Run(QStringList{"write"} + write);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(LastRequest(), request) << write.join(' ').toStdString();
        const QByteArray expected = QByteArray::fromHex(after);
        const int address = std::stoi(request.substr(request.find(' ') + 1));
        EXPECT_EQ(Memory(address, int(expected.size())).toHex(), expected.toHex());
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
        {{"read", "analog", "x"}, 4},
        {{"read", "bogus"}, 64},
        {{"read", "counter"}, 64},
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
}

TEST_F(DriveCli, EraseAndDownload) {
    const QString good = Write("good.KtVbM", "Do\r\n  Output.0 = True\r\nLoop\r\n");
    EXPECT_EQ(Run({"--yes", "download", good}).exitCode, 0);
    const auto program = [this] {
        return QByteArray(reinterpret_cast<const char*>(m_drive.ProgramMemory().data()), 8)
            .toHex(' ');
    };
    EXPECT_EQ(program(), "0f 00 25 08 43 00 ff ff");
    EXPECT_EQ(Run({"--yes", "erase"}).exitCode, 0);
    EXPECT_EQ(program(), "ff ff ff ff ff ff ff ff");
    EXPECT_EQ(LastRequest(), "4 254 ff");
}
