// The drive commands of the command-line companion: list the candidate
// ports, find the drive, read and write its values, erase and download its
// program, and serve a virtual drive on a pseudo-terminal. Values are shown
// and converted as the device window shows and converts them.
#pragma once

#include <QStringList>

#include <iosfwd>
#include <string>
#include <vector>

namespace kt::cli {

struct DriveOptions {
    QStringList ports;         // --port DEVICE, in order; replaces the platform list
    bool assumeYes = false;    // --yes
    bool virtualDrive = false; // --virtual-drive: an in-process drive as the last port
};

bool IsDriveCommand(const std::string& command);

// Runs a drive command; args are the words after the command's name.
int RunDriveCommand(const std::string& command, const std::vector<std::string>& args,
                    const DriveOptions& options, std::ostream& out, std::ostream& err);

} // namespace kt::cli
