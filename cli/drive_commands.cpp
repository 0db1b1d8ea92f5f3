#include "cli/drive_commands.h"

#include "cli/compile_commands.h"
#include "cli/interrupt_signal.h"
#include "cli/terminal_prompts.h"
#include "cli/value_reads.h"
#include "compiler/number_rules.h"
#include "compiler/program_compiler.h"
#include "drive/pty_drive_server.h"
#include "drive/virtual_drive.h"
#include "drive/virtual_drive_transport.h"
#include "link/cls_kt_motor.h"
#include "link/frm_motor_com.h"
#include "link/link_log.h"
#include "link/port_directory.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QSocketNotifier>
#include <QTimer>

#include <chrono>
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
    Session(const DriveOptions& options, std::ostream& err)
        : prompts(options.assumeYes), directory(options.ports),
          com(prompts, [this](int n) { return directory.Create(n); }), motor(com, prompts),
          log([&err](const std::string& line) { err << line << '\n'
                                                    << std::flush; }) {
        if (options.virtualDrive) {
            directory.AddPort(QString::fromLatin1(kVirtualPortName), [this] {
                return std::make_unique<drive::VirtualDriveTransport>(virtualDrive);
            });
        }
        if (options.log)
            com.AddObserver(&log);
    }
    ~Session() { com.RemoveObserver(&log); }

    TerminalPrompts prompts;
    drive::VirtualDrive virtualDrive;
    link::PortDirectory directory;
    link::FrmMotorCom com;
    ClsKtMotor motor;
    link::LinkLog log;
};

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

int Usage(std::ostream& err, const std::string& message) {
    err << "ktmotor-cli: " << message << "; see ktmotor-cli --help\n";
    return kExitUsage;
}

int Finish(Byte result, std::ostream& err, const std::string& command) {
    if (result != link::kSent)
        err << "ktmotor-cli " << command << ": " << Explanation(result) << '\n';
    return result;
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
    Session session(options, err);
    for (int n = 1; n <= session.directory.Count(); ++n)
        out << n << ' ' << session.directory.DeviceName(n).toStdString() << '\n';
    return 0;
}

int RunFind(const DriveOptions& options, std::ostream& out, std::ostream& err) {
    Session session(options, err);
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

// The names of read and monitor; nothing, with the exit code in failed and
// the reason told, when they do not parse.
std::optional<ValueReads> ParseReads(const std::vector<std::string>& args,
                                     const std::string& command, std::ostream& err, int& failed) {
    std::string error;
    std::optional<ValueReads> reads = ValueReads::Parse(args, error, failed);
    if (!reads && failed == kExitUsage)
        Usage(err, command + ": " + error);
    else if (!reads)
        err << "ktmotor-cli " << command << ": " << error << '\n';
    return reads;
}

int RunRead(const std::vector<std::string>& args, const DriveOptions& options, std::ostream& out,
            std::ostream& err) {
    int failed = 0;
    const std::optional<ValueReads> reads = ParseReads(args, "read", err, failed);
    if (!reads)
        return failed;
    Session session(options, err);
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
    Session session(options, err);
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
    Session session(options, err);
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
    Session session(options, err);
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

// Interrupt, hang-up and terminate become an event: whatever waits in the
// event loop ends as on any other event, and the program winds down through
// its destructors (the port closed, a link removed).
class Interruption : public QObject {
public:
    Interruption() {
#ifdef Q_OS_UNIX
        if (g_signalPipe[0] < 0 && ::socketpair(AF_UNIX, SOCK_STREAM, 0, g_signalPipe) != 0)
            return;
        m_notifier = std::make_unique<QSocketNotifier>(g_signalPipe[0], QSocketNotifier::Read);
        connect(m_notifier.get(), &QSocketNotifier::activated, this, [this] {
            char byte = 0;
            [[maybe_unused]] const auto read = ::read(g_signalPipe[0], &byte, 1);
            m_interrupted = true;
            emit m_signal.Interrupted();
        });
        std::signal(SIGINT, OnSignal);
        std::signal(SIGTERM, OnSignal);
        std::signal(SIGHUP, OnSignal);
#endif
    }
    bool Interrupted() const {
        return m_interrupted;
    }
    // Waits up to ms, or until interrupted.
    void Wait(long long ms) {
        if (m_interrupted || ms <= 0)
            return;
        QEventLoop loop;
        QTimer::singleShot(std::chrono::milliseconds(ms), Qt::PreciseTimer, &loop,
                           &QEventLoop::quit);
        connect(&m_signal, &InterruptSignal::Interrupted, &loop, &QEventLoop::quit);
        loop.exec();
    }
    const InterruptSignal& Signal() const {
        return m_signal;
    }

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
    InterruptSignal m_signal;
    bool m_interrupted = false;
};

std::string CsvField(const std::string& text) {
    if (text.find_first_of(",\"\n") == std::string::npos)
        return text;
    std::string quoted = "\"";
    for (const char c : text) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + '"';
}

int RunMonitor(const std::vector<std::string>& args, const DriveOptions& options, std::ostream& out,
               std::ostream& err) {
    int failed = 0;
    const std::optional<ValueReads> reads = ParseReads(args, "monitor", err, failed);
    if (!reads)
        return failed;
    Interruption interruption;
    Session session(options, err);
    QElapsedTimer clock;
    std::vector<ValueLine> lines;
    Byte result = link::kSent;
    for (long long round = 0; !options.count || round < *options.count; ++round) {
        if (options.intervalMs && round > 0)
            interruption.Wait(round * *options.intervalMs - clock.elapsed());
        if (interruption.Interrupted())
            break;
        if (round == 0)
            clock.start();
        const qint64 stamp = clock.elapsed();
        lines.clear();
        result = reads->Run(session.motor, lines);
        if (result != link::kSent)
            break;
        if (round == 0) {
            // The header, from the first round's lines: a bit group's columns
            // are its bits.
            if (options.csv) {
                out << "ms";
                for (const ValueLine& line : lines)
                    for (const ValueField& field : line.fields)
                        out << ','
                            << CsvField(field.name.empty() ? line.label
                                                           : line.label + '.' + field.name);
            } else {
                out << "# ms";
                for (const ValueLine& line : lines)
                    out << '\t' << line.label;
            }
            out << '\n';
        }
        out << stamp;
        for (const ValueLine& line : lines) {
            if (options.csv) {
                for (const ValueField& field : line.fields)
                    out << ',' << CsvField(field.value);
            } else {
                out << '\t' << line.Text();
            }
        }
        out << '\n';
        // Each round is seen as it comes; refused output (a full disk) ends
        // the monitor at once, the session closing the port on the way out.
        if (!out.flush())
            return kExitIoError;
    }
    return Finish(result, err, "monitor");
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
    QObject::connect(&interruption.Signal(), &InterruptSignal::Interrupted,
                     QCoreApplication::instance(), &QCoreApplication::quit);
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
