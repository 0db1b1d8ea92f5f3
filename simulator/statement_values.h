// The values one statement of a program image reads or writes, worked out
// from its decoded opcode and operand and named by the drive's catalogue:
// what the simulator window shows beside the lines of a paused program.
// Not the interpreter: nothing runs and no memory is read here.
#pragma once

#include "drivemap/drive_catalogue.h"

#include <cstdint>
#include <vector>

namespace kt::simulator {

// A value of the catalogue, or a timer's flag, which lives outside memory.
struct StatementValue {
    drivemap::ValueRef ref;
    int timerFlag = -1;

    bool operator==(const StatementValue&) const = default;
};

// What the statement writes first, then what it reads; each once. Nothing
// for an opcode the drive does not know.
std::vector<StatementValue> StatementValues(std::uint8_t opcode, std::uint8_t operand);

} // namespace kt::simulator
