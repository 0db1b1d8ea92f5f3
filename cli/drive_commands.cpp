#include "cli/drive_commands.h"

#include "cli/compile_commands.h"
#include "cli/terminal_prompts.h"
#include "compiler/number_rules.h"
#include "compiler/program_compiler.h"
#include "drive/pty_drive_server.h"
#include "drive/virtual_drive.h"
#include "drive/virtual_drive_transport.h"
#include "link/cls_kt_motor.h"
#include "link/frm_motor_com.h"
#include "link/port_directory.h"

#include <QCoreApplication>
#include <QSocketNotifier>

#include <climits>
#include <cmath>
#include <csignal>
#include <functional>
#include <map>
#include <optional>
#include <ostream>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#include <unistd.h>
#endif

namespace kt::cli {

namespace {

using link::ClsKtMotor;
using Byte = ClsKtMotor::Byte;

constexpr const char* kVirtualPortName = "virtual-drive";

const char* Explanation(int result) {
    switch (result) {
    case link::kFailed:
        return "communication with the drive failed";
    case link::kNoDrivePort:
        return "no drive found on any port";
    case link::kBusy:
        return "the link is busy with another exchange";
    case link::kOutOfRange:
        return "argument out of range";
    default:
        return "failed";
    }
}

// The drive, its port list and the command set, as one command needs them.
struct Session {
    explicit Session(const DriveOptions& options)
        : prompts(options.assumeYes), directory(options.ports),
          com(prompts, [this](int n) { return directory.Create(n); }), motor(com, prompts) {
        if (options.virtualDrive) {
            directory.AddPort(QString::fromLatin1(kVirtualPortName), [this] {
                return std::make_unique<drive::VirtualDriveTransport>(virtualDrive);
            });
        }
    }

    TerminalPrompts prompts;
    drive::VirtualDrive virtualDrive;
    link::PortDirectory directory;
    link::FrmMotorCom com;
    ClsKtMotor motor;
};

std::string Trimmed(const std::string& text) {
    const std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos)
        return {};
    return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

std::optional<float> ToSingle(const std::string& text) {
    return compiler::ParseSingle(Trimmed(text));
}

// Rounded half to even, then checked against [low, high].
std::optional<long long> ToWhole(const std::string& text, long long low, long long high) {
    const std::optional<double> value = compiler::ParseNumber(Trimmed(text));
    if (!value)
        return std::nullopt;
    const double rounded = compiler::RoundHalfEven(*value);
    if (rounded < static_cast<double>(low) || rounded > static_cast<double>(high))
        return std::nullopt;
    return static_cast<long long>(rounded);
}

std::optional<Byte> ToByte(const std::string& text) {
    const auto value = ToWhole(text, 0, 255);
    return value ? std::optional<Byte>(static_cast<Byte>(*value)) : std::nullopt;
}

std::optional<bool> ToSwitch(const std::string& text) {
    if (text == "on")
        return true;
    if (text == "off")
        return false;
    return std::nullopt;
}

// "Name=0 Other=1": the device window's check boxes as text.
std::string Bits(std::initializer_list<std::pair<std::string, bool>> bits) {
    std::string text;
    for (const auto& [name, on] : bits) {
        if (!text.empty())
            text += ' ';
        text.append(name).append(on ? "=1" : "=0");
    }
    return text;
}

std::string Numbered(const char* name, const bool* values, int count) {
    std::string text;
    for (int k = 0; k < count; ++k) {
        if (k > 0)
            text += ' ';
        text.append(name).append(std::to_string(k)).append(values[k] ? "=1" : "=0");
    }
    return text;
}

int Usage(std::ostream& err, const std::string& message) {
    err << "ktmotor-cli: " << message << "; see ktmotor-cli --help\n";
    return kExitUsage;
}

int Finish(Byte result, std::ostream& err, const std::string& command) {
    if (result != link::kSent)
        err << "ktmotor-cli " << command << ": " << Explanation(result) << '\n';
    return result;
}

using Reader = std::function<Byte(ClsKtMotor&, Byte channel, std::string& text)>;

Reader SingleReader(Byte (ClsKtMotor::*read)(float&)) {
    return [read](ClsKtMotor& m, Byte, std::string& text) {
        float value = 0;
        const Byte result = (m.*read)(value);
        text = compiler::FormatSingle(value);
        return result;
    };
}

Reader ByteReader(Byte (ClsKtMotor::*read)(Byte&)) {
    return [read](ClsKtMotor& m, Byte, std::string& text) {
        Byte value = 0;
        const Byte result = (m.*read)(value);
        text = std::to_string(value);
        return result;
    };
}

template <typename Value> Reader ChannelReader(Byte (ClsKtMotor::*read)(Byte, Value&)) {
    return [read](ClsKtMotor& m, Byte channel, std::string& text) {
        Value value = 0;
        const Byte result = (m.*read)(channel, value);
        text = std::to_string(value);
        return result;
    };
}

struct ReadCommand {
    bool numbered;
    Reader read;
};

const std::map<std::string, ReadCommand>& ReadCommands() {
    static const std::map<std::string, ReadCommand> commands = {
        {"acceleration-rate", {false, SingleReader(&ClsKtMotor::ReadAccelerationRate)}},
        {"deceleration-rate", {false, SingleReader(&ClsKtMotor::ReadDecelerationRate)}},
        {"reference-speed", {false, SingleReader(&ClsKtMotor::ReadReferenceSpeed)}},
        {"current-speed", {false, SingleReader(&ClsKtMotor::ReadCurrentSpeed)}},
        {"bus-volt", {false, SingleReader(&ClsKtMotor::ReadBusVolt)}},
        {"current-limit", {false, SingleReader(&ClsKtMotor::ReadCurrentLimit)}},
        {"motor-current", {false, SingleReader(&ClsKtMotor::ReadMotorCurrent)}},
        {"reference-volt", {false, ByteReader(&ClsKtMotor::ReadReferenceVolt)}},
        {"motor-volt", {false, ByteReader(&ClsKtMotor::ReadMotorVolt)}},
        {"timer", {true, ChannelReader<Byte>(&ClsKtMotor::ReadTimer)}},
        {"counter", {true, ChannelReader<Byte>(&ClsKtMotor::ReadCounter)}},
        {"word-counter", {true, ChannelReader<std::int32_t>(&ClsKtMotor::ReadWordCounter)}},
        {"analog", {true, ChannelReader<std::int32_t>(&ClsKtMotor::ReadAnalog)}},
        {"status",
         {false,
          [](ClsKtMotor& m, Byte, std::string& text) {
              bool b[7] = {};
              const Byte result = m.ReadStatus(b[0], b[1], b[2], b[3], b[4], b[5], b[6]);
              text = Bits({{"Fault", b[0]},
                           {"MotorEnable", b[1]},
                           {"MotorForward", b[2]},
                           {"ProgramRunMode", b[3]},
                           {"AutoTorque", b[4]},
                           {"CommandReverse", b[5]},
                           {"CommandForward", b[6]}});
              return result;
          }}},
        {"inputs",
         {false,
          [](ClsKtMotor& m, Byte, std::string& text) {
              bool in[8] = {};
              const Byte result = m.ReadInputs(in);
              text = Numbered("In", in, 8);
              return result;
          }}},
        {"flags",
         {false,
          [](ClsKtMotor& m, Byte, std::string& text) {
              bool flag[8] = {};
              const Byte result = m.ReadFlags(flag);
              text = Numbered("Flag", flag, 8);
              return result;
          }}},
        {"outputs",
         {false,
          [](ClsKtMotor& m, Byte, std::string& text) {
              bool op[2] = {};
              const Byte result = m.ReadOutputs(op[0], op[1]);
              text = Numbered("Op", op, 2);
              return result;
          }}},
        {"error",
         {false,
          [](ClsKtMotor& m, Byte, std::string& text) {
              Byte code = 0;
              const Byte result = m.ReadError(code);
              text = std::to_string(code) + ": " +
                     ClsKtMotor::ErrorDescription(static_cast<double>(code)).toStdString();
              return result;
          }}},
    };
    return commands;
}

// A write: converts the value text (nothing when it does not convert) and
// calls the command set.
using Writer = std::function<std::optional<Byte>(ClsKtMotor&, Byte channel, const std::string&)>;

struct WriteCommand {
    bool numbered;
    Writer write;
};

Writer SingleWriter(Byte (ClsKtMotor::*write)(float&)) {
    return [write](ClsKtMotor& m, Byte, const std::string& text) -> std::optional<Byte> {
        std::optional<float> value = ToSingle(text);
        if (!value)
            return std::nullopt;
        return (m.*write)(*value);
    };
}

Writer SwitchWriter(Byte (ClsKtMotor::*write)(bool)) {
    return [write](ClsKtMotor& m, Byte, const std::string& text) -> std::optional<Byte> {
        const std::optional<bool> on = ToSwitch(text);
        if (!on)
            return std::nullopt;
        return (m.*write)(*on);
    };
}

Writer ChannelSwitchWriter(Byte (ClsKtMotor::*write)(Byte, bool)) {
    return [write](ClsKtMotor& m, Byte channel, const std::string& text) -> std::optional<Byte> {
        const std::optional<bool> on = ToSwitch(text);
        if (!on)
            return std::nullopt;
        return (m.*write)(channel, *on);
    };
}

Writer ChannelByteWriter(Byte (ClsKtMotor::*write)(Byte, Byte)) {
    return [write](ClsKtMotor& m, Byte channel, const std::string& text) -> std::optional<Byte> {
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
          [](ClsKtMotor& m, Byte, const std::string& text) -> std::optional<Byte> {
              const std::optional<Byte> value = ToByte(text);
              if (!value)
                  return std::nullopt;
              return m.WriteReferenceVolt(*value);
          }}},
        {"counter", {true, ChannelByteWriter(&ClsKtMotor::WriteCounter)}},
        {"timer", {true, ChannelByteWriter(&ClsKtMotor::WriteTimer)}},
        {"word-counter",
         {true,
          [](ClsKtMotor& m, Byte channel, const std::string& text) -> std::optional<Byte> {
              const auto value = ToWhole(text, INT32_MIN, INT32_MAX);
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

int RunPorts(const DriveOptions& options, std::ostream& out) {
    Session session(options);
    for (int n = 1; n <= session.directory.Count(); ++n)
        out << n << ' ' << session.directory.DeviceName(n).toStdString() << '\n';
    return 0;
}

int RunFind(const DriveOptions& options, std::ostream& out, std::ostream& err) {
    Session session(options);
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
    const auto& commands = ReadCommands();
    if (args.empty() || !commands.contains(args[0]))
        return Usage(err, "read: name a value to read");
    const ReadCommand& command = commands.at(args[0]);
    if (args.size() != (command.numbered ? 2u : 1u))
        return Usage(err, "read " + args[0] +
                              (command.numbered ? " takes a number" : " takes no number"));
    Byte channel = 0;
    if (command.numbered) {
        const std::optional<Byte> number = ToByte(args[1]);
        if (!number)
            return Finish(link::kOutOfRange, err, "read");
        channel = *number;
    }
    Session session(options);
    std::string text;
    const Byte result = command.read(session.motor, channel, text);
    if (result == link::kSent)
        out << text << '\n';
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
    Session session(options);
    const std::optional<Byte> result = command.write(session.motor, channel, args.back());
    if (!result) {
        err << "ktmotor-cli write: '" << args.back() << "' is not a value for " << args[0] << '\n';
        return link::kOutOfRange;
    }
    return Finish(*result, err, "write");
}

int NotConfirmed(std::ostream& err, const std::string& command) {
    err << "ktmotor-cli " << command << ": not confirmed, nothing sent (use --yes)\n";
    return link::kOutOfRange;
}

int RunErase(const DriveOptions& options, std::ostream& err) {
    Session session(options);
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
    Session session(options);
    const Byte result = session.motor.WriteProgram(QByteArray(
        reinterpret_cast<const char*>(image.data()), static_cast<qsizetype>(image.size())));
    if (result == link::kSent && session.prompts.Declined())
        return NotConfirmed(err, "download");
    return Finish(result, err, "download");
}

#ifdef Q_OS_UNIX
int g_signalPipe[2] = {-1, -1};

void OnSignal(int) {
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(g_signalPipe[1], &byte, 1);
}
#endif

int RunVirtualDrive(const std::vector<std::string>& args, std::ostream& out, std::ostream& err) {
    QString linkPath;
    for (std::size_t i = 0; i < args.size(); ++i) {
        if (args[i] == "--link" && i + 1 < args.size())
            linkPath = QString::fromStdString(args[++i]);
        else
            return Usage(err, "virtual-drive takes only --link PATH");
    }
#ifdef Q_OS_UNIX
    drive::VirtualDrive virtualDrive;
    drive::PtyDriveServer server(virtualDrive, linkPath);
    QString error;
    if (!server.Start(&error)) {
        err << "ktmotor-cli virtual-drive: " << error.toStdString() << '\n';
        return 1;
    }
    out << server.DevicePath().toStdString() << std::endl;
    if (!server.LinkPath().isEmpty())
        out << server.LinkPath().toStdString() << std::endl;

    // Interrupted: leave the event loop, so the server removes its link.
    if (::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) == 0) {
        std::signal(SIGINT, OnSignal);
        std::signal(SIGTERM, OnSignal);
        std::signal(SIGHUP, OnSignal);
    }
    QSocketNotifier interrupted(g_signalPipe[0], QSocketNotifier::Read);
    QObject::connect(&interrupted, &QSocketNotifier::activated, QCoreApplication::instance(),
                     &QCoreApplication::quit);
    QCoreApplication::exec();
    return 0;
#else
    (void)out;
    err << "ktmotor-cli virtual-drive: pseudo-terminals are not available on this system\n";
    return 1;
#endif
}

} // namespace

bool IsDriveCommand(const std::string& command) {
    return command == "ports" || command == "find" || command == "read" || command == "write" ||
           command == "erase" || command == "download" || command == "virtual-drive";
}

int RunDriveCommand(const std::string& command, const std::vector<std::string>& args,
                    const DriveOptions& options, std::ostream& out, std::ostream& err) {
    if (command == "ports" || command == "find" || command == "erase") {
        if (!args.empty())
            return Usage(err, command + " takes no arguments");
        if (command == "ports")
            return RunPorts(options, out);
        if (command == "find")
            return RunFind(options, out, err);
        return RunErase(options, err);
    }
    if (command == "read")
        return RunRead(args, options, out, err);
    if (command == "write")
        return RunWrite(args, options, err);
    if (command == "download")
        return RunDownload(args, options, err);
    return RunVirtualDrive(args, out, err);
}

} // namespace kt::cli
