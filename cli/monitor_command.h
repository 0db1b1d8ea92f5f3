// ktmotor-cli monitor: the named values read round after round and printed
// a line a round, tab-separated or as CSV, until a count, an interruption,
// a failed read or a refused output ends it. Not the Monitor window.
#pragma once

#include "cli/drive_commands.h"

#include <iosfwd>
#include <string>
#include <vector>

namespace kt::cli {

int RunMonitor(const std::vector<std::string>& args, const DriveOptions& options, std::ostream& out,
               std::ostream& err);

} // namespace kt::cli
