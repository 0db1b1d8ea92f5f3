#include "cli/drive_commands.h"

#include "cli/compile_commands.h"
#include "cli/drive_session.h"
#include "cli/interruption.h"
#include "cli/monitor_command.h"
#include "compiler/number_rules.h"
#include "compiler/program_compiler.h"
#include "drive/pty_drive_server.h"
#include "drivemap/drive_catalogue.h"

#include <QCoreApplication>

#include <climits>
#include <cmath>
#include <optional>
#include <ostream>

namespace kt::cli {

namespace {

using drivemap::Id;
using drivemap::StatusBit;
using drivemap::ValueRef;
using link::ClsKtMotor;
using Byte = ClsKtMotor::Byte;

std::optional<float> ToSingle(const std::string& text) {
    return compiler::TypedSingle(text);
}

std::optional<Byte> ToByte(const std::string& text) {
    return compiler::TypedByte(text);
}

// A bit's value: on or off, 1 or 0 (as a bit reads).
std::optional<bool> ToSwitch(const std::string& text) {
    if (text == "on" || text == "1")
        return true;
    if (text == "off" || text == "0")
        return false;
    return std::nullopt;
}

// The catalogue's word on what the command set writes.
bool Writable(const ValueRef& ref) {
    if (ref.bit == ValueRef::kWhole)
        return ref.value->writable && !ref.Family();
    for (const drivemap::Bit& bit : ref.value->bits)
        if (bit.index == ref.bit)
            return bit.writable;
    return false;
}

std::optional<Byte> WriteSingle(ClsKtMotor& m, Byte (ClsKtMotor::*write)(float&),
                                const ValueRef& ref, const std::string& text,
                                std::string& limitedTo) {
    std::optional<float> value = ToSingle(text);
    if (!value)
        return std::nullopt;
    const float asked = *value;
    const Byte result = (m.*write)(*value);
    if (*value != asked)
        limitedTo = drivemap::Format(ref, *value);
    return result;
}

std::optional<Byte> WriteChannelByte(ClsKtMotor& m, Byte (ClsKtMotor::*write)(Byte, Byte),
                                     Byte channel, const std::string& text) {
    const std::optional<Byte> value = ToByte(text);
    if (!value)
        return std::nullopt;
    return (m.*write)(channel, *value);
}

std::optional<Byte> WriteBit(ClsKtMotor& m, const ValueRef& ref, const std::string& text) {
    const std::optional<bool> on = ToSwitch(text);
    if (!on)
        return std::nullopt;
    const auto place = static_cast<Byte>(ref.bit);
    switch (ref.value->id) {
    case Id::Outputs:
        return m.WriteOutput(place, *on);
    case Id::Flags:
        return m.WriteFlag(place, *on);
    case Id::Status:
        if (place == drivemap::Place(StatusBit::CommandForward))
            return m.WriteCommandForward(*on);
        if (place == drivemap::Place(StatusBit::CommandReverse))
            return m.WriteCommandReverse(*on);
        if (place == drivemap::Place(StatusBit::AutoTorque))
            return m.WriteAutoTorque(*on);
        break;
    default:
        break;
    }
    return link::kOutOfRange; // no function writes it
}

// A write through the command set's function for the value: its text
// converted as the function takes it, nothing when it does not convert. A
// value the command set had to bring down is put into limitedTo as written.
std::optional<Byte> WriteValue(ClsKtMotor& m, const ValueRef& ref, const std::string& text,
                               std::string& limitedTo) {
    if (ref.bit != ValueRef::kWhole)
        return WriteBit(m, ref, text);
    const auto channel = static_cast<Byte>(std::max(ref.channel, 0));
    switch (ref.value->id) {
    case Id::AccelerationRate:
        return WriteSingle(m, &ClsKtMotor::WriteAccelerationRate, ref, text, limitedTo);
    case Id::DecelerationRate:
        return WriteSingle(m, &ClsKtMotor::WriteDecelerationRate, ref, text, limitedTo);
    case Id::ReferenceSpeed:
        return WriteSingle(m, &ClsKtMotor::WriteReferenceSpeed, ref, text, limitedTo);
    case Id::CurrentLimit:
        return WriteSingle(m, &ClsKtMotor::WriteCurrentLimit, ref, text, limitedTo);
    case Id::ReferenceVolt: {
        const std::optional<Byte> value = ToByte(text);
        if (!value)
            return std::nullopt;
        return m.WriteReferenceVolt(*value);
    }
    case Id::Timer:
        return WriteChannelByte(m, &ClsKtMotor::WriteTimer, channel, text);
    case Id::Counter:
        return WriteChannelByte(m, &ClsKtMotor::WriteCounter, channel, text);
    case Id::WordCounter: {
        const auto value = compiler::TypedWhole(text, INT32_MIN, INT32_MAX);
        if (!value)
            return std::nullopt;
        return m.WriteWordCounter(channel, static_cast<std::int32_t>(*value));
    }
    case Id::Outputs:
    case Id::Inputs:
    case Id::CurrentSpeed:
    case Id::Status:
    case Id::Flags:
    case Id::Error:
    case Id::Analog:
    case Id::BusVolt:
    case Id::MotorCurrent:
    case Id::Identification:
    case Id::MotorVolt:
        break;
    }
    return link::kOutOfRange; // no function writes it
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
        session.ExplainClosedPorts();
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
    const Byte result = reads->Run(session.motor, session.com, lines);
    for (const ValueLine& line : lines) {
        if (!reads->Single())
            out << line.Label() << ' ';
        out << line.Text() << '\n';
    }
    return session.Finish(result, "read");
}

// "write NAME VALUE", "write NAME N VALUE": NAME any name the catalogue
// finds, N a channel or bit of it as a word of its own.
int RunWrite(const std::vector<std::string>& args, const DriveOptions& options, std::ostream& err) {
    if (args.empty())
        return Usage(err, "write: name a value to write");
    std::optional<ValueRef> ref = drivemap::Find(args[0]);
    if (!ref)
        return Usage(err, "write: '" + args[0] + "' is not a value to write");
    const bool numbered =
        ref->Family() || (ref->value->kind == drivemap::Kind::Bits && ref->bit == ValueRef::kWhole);
    if (args.size() == 3 && numbered) {
        const drivemap::DriveValue& value = *ref->value;
        ref = drivemap::Find(args[0] + ' ' + args[1]);
        if (!ref) {
            int failed = 0;
            const std::string why = IndexRefusal(value, args[1], failed);
            if (failed == kExitUsage)
                return Usage(err, "write: " + why);
            err << "ktmotor-cli write: " << why << '\n';
            return failed;
        }
    } else if (args.size() != 2 || ref->Family()) {
        return Usage(err, "write " + args[0] +
                              (numbered ? " takes a number and a value" : " takes a value"));
    }
    if (!Writable(*ref))
        return Usage(err, "write: " + drivemap::Name(*ref) + " is not a value to write");
    const std::string name = drivemap::Name(*ref);
    DriveSession session(options, err);
    std::string limitedTo;
    const std::optional<Byte> result = WriteValue(session.motor, *ref, args.back(), limitedTo);
    if (!result) {
        err << "ktmotor-cli write: '" << args.back() << "' is not a value for " << name << '\n';
        return link::kOutOfRange;
    }
    if (*result == link::kSent && !limitedTo.empty())
        err << "ktmotor-cli write: " << name << ": " << limitedTo << " written instead of "
            << args.back() << ", the largest value the drive takes\n";
    return session.Finish(*result, "write");
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
    return session.Finish(result, "erase");
}

// The image bytes the compile filled: the statements before the first
// fill byte in an opcode's place (no opcode is the fill byte).
std::size_t FilledBytes(const compiler::ProgramImage& image) {
    std::size_t filled = 0;
    while (filled < image.size() && image[filled] != compiler::kImageFill)
        filled += 2;
    return filled;
}

int RunDownload(const std::vector<std::string>& args, const DriveOptions& options,
                std::ostream& out, std::ostream& err) {
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
    if (result == link::kSent)
        out << "Program written: " << FilledBytes(image) << " of " << compiler::kProgramSize
            << " bytes\n";
    return session.Finish(result, "download");
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
    return RunDownload(args, options, out, err);
}

} // namespace kt::cli
