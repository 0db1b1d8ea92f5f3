#include "cli/drive_commands.h"

#include "cli/compile_commands.h"
#include "cli/drive_session.h"
#include "cli/interruption.h"
#include "cli/monitor_command.h"
#include "compiler/number_rules.h"
#include "compiler/program_compiler.h"
#include "drive/pty_drive_server.h"

#include <QCoreApplication>

#include <climits>
#include <cmath>
#include <functional>
#include <map>
#include <optional>
#include <ostream>

namespace kt::cli {

namespace {

using link::ClsKtMotor;
using Byte = ClsKtMotor::Byte;

std::optional<float> ToSingle(const std::string& text) {
    return compiler::TypedSingle(text);
}

std::optional<Byte> ToByte(const std::string& text) {
    return compiler::TypedByte(text);
}

std::optional<bool> ToSwitch(const std::string& text) {
    if (text == "on")
        return true;
    if (text == "off")
        return false;
    return std::nullopt;
}

// A write: converts the value text (nothing when it does not convert) and
// calls the command set. A value the command set had to limit is put into
// limitedTo as written.
using Writer = std::function<std::optional<Byte>(ClsKtMotor&, Byte channel, const std::string&,
                                                 std::string& limitedTo)>;

struct WriteCommand {
    bool numbered;
    Writer write;
};

Writer SingleWriter(Byte (ClsKtMotor::*write)(float&)) {
    return [write](ClsKtMotor& m, Byte, const std::string& text,
                   std::string& limitedTo) -> std::optional<Byte> {
        std::optional<float> value = ToSingle(text);
        if (!value)
            return std::nullopt;
        const float asked = *value;
        const Byte result = (m.*write)(*value);
        if (*value != asked)
            limitedTo = compiler::FormatSingle(*value);
        return result;
    };
}

Writer SwitchWriter(Byte (ClsKtMotor::*write)(bool)) {
    return
        [write](ClsKtMotor& m, Byte, const std::string& text, std::string&) -> std::optional<Byte> {
            const std::optional<bool> on = ToSwitch(text);
            if (!on)
                return std::nullopt;
            return (m.*write)(*on);
        };
}

Writer ChannelSwitchWriter(Byte (ClsKtMotor::*write)(Byte, bool)) {
    return [write](ClsKtMotor& m, Byte channel, const std::string& text,
                   std::string&) -> std::optional<Byte> {
        const std::optional<bool> on = ToSwitch(text);
        if (!on)
            return std::nullopt;
        return (m.*write)(channel, *on);
    };
}

Writer ChannelByteWriter(Byte (ClsKtMotor::*write)(Byte, Byte)) {
    return [write](ClsKtMotor& m, Byte channel, const std::string& text,
                   std::string&) -> std::optional<Byte> {
        const std::optional<Byte> value = ToByte(text);
        if (!value)
            return std::nullopt;
        return (m.*write)(channel, *value);
    };
}

const std::map<std::string, WriteCommand>& WriteCommands() {
    static const std::map<std::string, WriteCommand> commands = {
        {"acceleration-rate", {false, SingleWriter(&ClsKtMotor::WriteAccelerationRate)}},
        {"deceleration-rate", {false, SingleWriter(&ClsKtMotor::WriteDecelerationRate)}},
        {"reference-speed", {false, SingleWriter(&ClsKtMotor::WriteReferenceSpeed)}},
        {"current-limit", {false, SingleWriter(&ClsKtMotor::WriteCurrentLimit)}},
        {"reference-volt",
         {false,
          [](ClsKtMotor& m, Byte, const std::string& text, std::string&) -> std::optional<Byte> {
              const std::optional<Byte> value = ToByte(text);
              if (!value)
                  return std::nullopt;
              return m.WriteReferenceVolt(*value);
          }}},
        {"counter", {true, ChannelByteWriter(&ClsKtMotor::WriteCounter)}},
        {"timer", {true, ChannelByteWriter(&ClsKtMotor::WriteTimer)}},
        {"word-counter",
         {true,
          [](ClsKtMotor& m, Byte channel, const std::string& text,
             std::string&) -> std::optional<Byte> {
              const auto value = compiler::TypedWhole(text, INT32_MIN, INT32_MAX);
              if (!value)
                  return std::nullopt;
              return m.WriteWordCounter(channel, static_cast<std::int32_t>(*value));
          }}},
        {"flag", {true, ChannelSwitchWriter(&ClsKtMotor::WriteFlag)}},
        {"output", {true, ChannelSwitchWriter(&ClsKtMotor::WriteOutput)}},
        {"auto-torque", {false, SwitchWriter(&ClsKtMotor::WriteAutoTorque)}},
        {"command-forward", {false, SwitchWriter(&ClsKtMotor::WriteCommandForward)}},
        {"command-reverse", {false, SwitchWriter(&ClsKtMotor::WriteCommandReverse)}},
    };
    return commands;
}

int RunPorts(const DriveOptions& options, std::ostream& out, std::ostream& err) {
    DriveSession session(options, err);
    for (int n = 1; n <= session.directory.Count(); ++n)
        out << n << ' ' << session.directory.DeviceName(n).toStdString() << '\n';
    return 0;
}

int RunFind(const DriveOptions& options, std::ostream& out, std::ostream& err) {
    DriveSession session(options, err);
    const Byte port = session.motor.OpenPort();
    if (port == 0) {
        out << "KtMotor Not Found\n";
        if (!session.com.DeniedPorts().isEmpty())
            err << link::FrmMotorCom::PermissionHint(session.com.DeniedPorts()).toStdString()
                << '\n';
        return link::kNoDrivePort;
    }
    out << "KtMotor Found on port " << int(port) << " ("
        << session.directory.DeviceName(port).toStdString() << ")\n";
    return 0;
}

int RunRead(const std::vector<std::string>& args, const DriveOptions& options, std::ostream& out,
            std::ostream& err) {
    int failed = 0;
    const std::optional<ValueReads> reads = ParseReads(args, "read", err, failed);
    if (!reads)
        return failed;
    DriveSession session(options, err);
    std::vector<ValueLine> lines;
    const Byte result = reads->Run(session.motor, lines);
    for (const ValueLine& line : lines) {
        if (!reads->Single())
            out << line.label << ' ';
        out << line.Text() << '\n';
    }
    return Finish(result, err, "read");
}

int RunWrite(const std::vector<std::string>& args, const DriveOptions& options, std::ostream& err) {
    const auto& commands = WriteCommands();
    if (args.empty() || !commands.contains(args[0]))
        return Usage(err, "write: name a value to write");
    const WriteCommand& command = commands.at(args[0]);
    if (args.size() != (command.numbered ? 3u : 2u))
        return Usage(err,
                     "write " + args[0] +
                         (command.numbered ? " takes a number and a value" : " takes a value"));
    Byte channel = 0;
    if (command.numbered) {
        const std::optional<Byte> number = ToByte(args[1]);
        if (!number)
            return Finish(link::kOutOfRange, err, "write");
        channel = *number;
    }
    DriveSession session(options, err);
    std::string limitedTo;
    const std::optional<Byte> result =
        command.write(session.motor, channel, args.back(), limitedTo);
    if (!result) {
        err << "ktmotor-cli write: '" << args.back() << "' is not a value for " << args[0] << '\n';
        return link::kOutOfRange;
    }
    if (*result == link::kSent && !limitedTo.empty())
        err << "ktmotor-cli write: " << args[0] << ": " << limitedTo << " written instead of "
            << args.back() << ", the largest value the drive takes\n";
    return Finish(*result, err, "write");
}

int NotConfirmed(std::ostream& err, const std::string& command) {
    err << "ktmotor-cli " << command << ": not confirmed, nothing sent (use --yes)\n";
    return link::kOutOfRange;
}

int RunErase(const DriveOptions& options, std::ostream& err) {
    DriveSession session(options, err);
    const Byte result = session.motor.ProgramErase();
    if (result == link::kSent && session.prompts.Declined())
        return NotConfirmed(err, "erase");
    return Finish(result, err, "erase");
}

int RunDownload(const std::vector<std::string>& args, const DriveOptions& options,
                std::ostream& err) {
    if (args.size() != 1)
        return Usage(err, "download takes one program file");
    compiler::ProgramImage image{};
    if (const int failed = CompileProgramFile(args[0], err, image))
        return failed;
    DriveSession session(options, err);
    const Byte result = session.motor.WriteProgram(QByteArray(
        reinterpret_cast<const char*>(image.data()), static_cast<qsizetype>(image.size())));
    if (result == link::kSent && session.prompts.Declined())
        return NotConfirmed(err, "download");
    return Finish(result, err, "download");
}

} // namespace

int RunVirtualDrive(const std::vector<std::string>& args,
                    const std::optional<std::string>& linkPath, std::ostream& out,
                    std::ostream& err) {
    if (!args.empty())
        return Usage(err, "virtual-drive takes only --link PATH");
#ifdef Q_OS_UNIX
    drive::VirtualDrive virtualDrive;
    virtualDrive.SetRealTime(true); // a downloaded program runs
    drive::PtyDriveServer server(virtualDrive,
                                 linkPath ? QString::fromLocal8Bit(linkPath->c_str()) : QString());
    QString error;
    if (!server.Start(&error)) {
        err << "ktmotor-cli virtual-drive: " << error.toStdString() << '\n';
        return 1;
    }
    out << server.DevicePath().toStdString() << std::endl;
    if (!server.LinkPath().isEmpty())
        out << server.LinkPath().toStdString() << std::endl;
    if (!out)
        return kExitIoError; // nobody learns where the drive is

    // Interrupted: leave the event loop, so the server removes its link.
    Interruption interruption;
    QObject::connect(&interruption, &Interruption::interrupted, QCoreApplication::instance(),
                     &QCoreApplication::quit);
    QCoreApplication::exec();
    return 0;
#else
    (void)out;
    (void)linkPath;
    err << "ktmotor-cli virtual-drive: pseudo-terminals are not available on this system\n";
    return 1;
#endif
}

bool IsDriveCommand(const std::string& command) {
    return command == "ports" || command == "find" || command == "read" || command == "write" ||
           command == "erase" || command == "download" || command == "monitor";
}

int RunDriveCommand(const std::string& command, const std::vector<std::string>& args,
                    const DriveOptions& options, std::ostream& out, std::ostream& err) {
    if (command == "ports" || command == "find" || command == "erase") {
        if (!args.empty())
            return Usage(err, command + " takes no arguments");
        if (command == "ports")
            return RunPorts(options, out, err);
        if (command == "find")
            return RunFind(options, out, err);
        return RunErase(options, err);
    }
    if (command == "read")
        return RunRead(args, options, out, err);
    if (command == "write")
        return RunWrite(args, options, err);
    if (command == "monitor")
        return RunMonitor(args, options, out, err);
    return RunDownload(args, options, err);
}

} // namespace kt::cli
