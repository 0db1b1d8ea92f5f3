// The drive commands of the command-line companion: list the candidate
// ports, find the drive, read, watch and write its values, erase and
// download its program, and serve a virtual drive on a pseudo-terminal.
// Values are named, shown and converted as the drive catalogue names, shows
// and converts them, and read and written through the command set.
// Command-line parsing is the caller's.
#pragma once

#include <QStringList>

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace kt::cli {

struct DriveOptions {
    QStringList ports;         // --port DEVICE, in order; replaces the platform list
    bool assumeYes = false;    // --yes
    bool virtualDrive = false; // --virtual-drive: an in-process drive as the last port
    bool log = false;          // --log: every exchange on standard error
    // monitor only
    std::optional<long long> intervalMs; // --interval: none means as fast as the line allows
    std::optional<long long> count;      // --count: none means until interrupted
    bool csv = false;                    // --csv
};

bool IsDriveCommand(const std::string& command);

// Runs a drive command; args are the words after the command's name.
int RunDriveCommand(const std::string& command, const std::vector<std::string>& args,
                    const DriveOptions& options, std::ostream& out, std::ostream& err);

// Serves a virtual drive on a new pseudo-terminal until interrupted,
// with a link to it at linkPath when given.
int RunVirtualDrive(const std::vector<std::string>& args,
                    const std::optional<std::string>& linkPath, std::ostream& out,
                    std::ostream& err);

} // namespace kt::cli
