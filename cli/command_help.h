// The command line's help: the whole text (--help) and each command's own
// (COMMAND --help, help COMMAND) with its arguments, options, an example and
// its exit statuses, both cut from the same pieces so they never disagree;
// and the table of options with the commands each applies to, which the
// parser reads too. Not the parser, and no command runs here.
#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

namespace kt::cli {

struct OptionSpec {
    const char* name;
    const char* valueName; // nullptr: a switch
    std::set<std::string> commands;
    bool repeats = false;
    // Its lines under "Options of the drive commands"; nullptr for an
    // option its commands' own entries describe.
    const char* help = nullptr;
};

const std::vector<OptionSpec>& OptionSpecs();

std::string Help();
// Nothing for a word that is no command.
std::optional<std::string> CommandHelp(const std::string& command);

} // namespace kt::cli
