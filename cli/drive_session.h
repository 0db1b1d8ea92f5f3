// What every drive command of the command line stands on: the port list
// (with an in-process virtual drive when asked), the link, the command set
// and the exchange log, made for one command and gone with it; and the
// command line's common words for a result, with why a port the search
// could not open stayed shut. Not a command itself.
#pragma once

#include "cli/drive_commands.h"
#include "cli/terminal_prompts.h"
#include "cli/value_reads.h"
#include "drive/virtual_drive.h"
#include "link/cls_kt_motor.h"
#include "link/frm_motor_com.h"
#include "link/link_log.h"
#include "link/port_directory.h"

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace kt::cli {

struct DriveSession {
    DriveSession(const DriveOptions& options, std::ostream& err);
    ~DriveSession();
    DriveSession(const DriveSession&) = delete;
    DriveSession& operator=(const DriveSession&) = delete;

    // Names on standard error each port the search could not open and why:
    // every port given with --port, and any port another program holds;
    // then how to get access to ports the user may not open. True when that
    // accounts for every port, so "no drive found" would add nothing.
    bool ExplainClosedPorts() const;
    // The command's result as Finish() tells it, with the closed ports named
    // first when no drive was found.
    int Finish(link::ClsKtMotor::Byte result, const std::string& command) const;

    TerminalPrompts prompts;
    drive::VirtualDrive virtualDrive;
    link::PortDirectory directory;
    link::FrmMotorCom com;
    link::ClsKtMotor motor;
    link::LinkLog log;

private:
    struct ClosedPort {
        QString device;
        QString reason; // the system's words
        bool inUse = false;
    };
    std::unique_ptr<link::Transport> MakePort(int portNumber);

    std::ostream& m_err;
    bool m_explicitPorts = false;
    std::vector<ClosedPort> m_closedPorts;
};

// Names the mistake on standard error; the usage exit code.
int Usage(std::ostream& err, const std::string& message);
// A command's result as its exit code, explained on standard error when it
// is not success.
int Finish(link::ClsKtMotor::Byte result, std::ostream& err, const std::string& command);
// The names of read and monitor; nothing, with the exit code in failed and
// the reason told, when they do not parse.
std::optional<ValueReads> ParseReads(const std::vector<std::string>& args,
                                     const std::string& command, std::ostream& err, int& failed);

} // namespace kt::cli
