// What every drive command of the command line stands on: the port list
// (with an in-process virtual drive when asked), the link, the command set
// and the exchange log, made for one command and gone with it; and the
// command line's common words for a result. Not a command itself.
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

    TerminalPrompts prompts;
    drive::VirtualDrive virtualDrive;
    link::PortDirectory directory;
    link::FrmMotorCom com;
    link::ClsKtMotor motor;
    link::LinkLog log;
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
