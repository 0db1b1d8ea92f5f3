#include "cli/drive_session.h"

#include "cli/compile_commands.h"
#include "drive/virtual_drive_transport.h"
#include "link/serial_transport.h"

#include <ostream>

namespace kt::cli {

namespace {

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

} // namespace

DriveSession::DriveSession(const DriveOptions& options, std::ostream& err)
    : prompts(options.assumeYes), directory(options.ports),
      com(prompts, [this](int n) { return MakePort(n); }), motor(com, prompts),
      log([&err](const std::string& line) { err << line << '\n'
                                                << std::flush; }), m_err(err),
      m_explicitPorts(!options.ports.isEmpty()) {
    if (options.virtualDrive) {
        directory.AddPort(QString::fromLatin1(kVirtualPortName), [this] {
            return std::make_unique<drive::VirtualDriveTransport>(virtualDrive);
        });
    }
    if (options.log)
        com.AddObserver(&log);
}

DriveSession::~DriveSession() {
    com.RemoveObserver(&log);
}

std::unique_ptr<link::Transport> DriveSession::MakePort(int portNumber) {
    std::unique_ptr<link::Transport> port = directory.Create(portNumber);
    // The search drops a port that does not open: its reason is kept now.
    if (auto* serial = qobject_cast<link::SerialTransport*>(port.get()))
        QObject::connect(serial, &link::SerialTransport::OpenFailed, serial, [this, serial] {
            if (serial->LastOpenFailure() != link::OpenFailure::PermissionDenied)
                m_closedPorts.push_back(
                    {serial->DeviceName(), serial->OpenErrorText(), serial->OpenFailedInUse()});
        });
    return port;
}

bool DriveSession::ExplainClosedPorts() const {
    int explained = 0;
    for (const ClosedPort& port : m_closedPorts) {
        // A port of the system's list that is simply missing is no one's
        // fault; one the user named, or one held by another program, is.
        if (!port.inUse && !m_explicitPorts)
            continue;
        m_err << "ktmotor-cli: cannot open " << port.device.toStdString() << ": "
              << (port.inUse ? std::string("it is in use by another program")
                             : port.reason.toStdString())
              << '\n';
        ++explained;
    }
    const QStringList& denied = com.DeniedPorts();
    if (!denied.isEmpty())
        m_err << link::FrmMotorCom::PermissionHint(denied).toStdString() << '\n';
    return explained + denied.size() >= directory.Count();
}

int DriveSession::Finish(link::ClsKtMotor::Byte result, const std::string& command) const {
    if (result == link::kNoDrivePort && ExplainClosedPorts())
        return result;
    return cli::Finish(result, m_err, command);
}

int Usage(std::ostream& err, const std::string& message) {
    err << "ktmotor-cli: " << message << "; see ktmotor-cli --help\n";
    return kExitUsage;
}

int Finish(link::ClsKtMotor::Byte result, std::ostream& err, const std::string& command) {
    if (result != link::kSent)
        err << "ktmotor-cli " << command << ": " << Explanation(result) << '\n';
    return result;
}

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

} // namespace kt::cli
