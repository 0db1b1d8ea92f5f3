#include "cli/drive_session.h"

#include "cli/compile_commands.h"
#include "drive/virtual_drive_transport.h"

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

DriveSession::~DriveSession() {
    com.RemoveObserver(&log);
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
