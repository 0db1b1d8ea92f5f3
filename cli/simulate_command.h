// The command line's "simulate": compiles a program file and runs it on the
// simulated drive, on simulated time, with input changes and forced values
// at given times; prints what each statement did, or the values at the end;
// stops after a statement at which a break condition holds. The same as
// JSON Lines, a record a line, for other programs to read.
// The same command prints the same text every time. Not a drive command: no
// port is opened.
#pragma once

#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

namespace kt::cli {

struct SimulateOptions {
    std::optional<double> forSeconds; // --for: simulated seconds (default 1)
    std::optional<long long> steps;   // --steps: statements' time slots instead
    std::vector<std::string> sets;    // --set input.N=0|1@SECONDS, analog.N=V@SECONDS
    std::vector<std::string> forces;  // --force NAME=VALUE@SECONDS[-SECONDS]
    std::vector<std::string> breaks;  // --break-when CONDITION, an If's condition
    bool trace = false;               // --trace
    bool json = false;                // --json: JSON Lines instead of text
};

int RunSimulateCommand(const std::vector<std::string>& args, const SimulateOptions& options,
                       std::ostream& out, std::ostream& err);

} // namespace kt::cli
