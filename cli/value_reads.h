// The values the command line reads, by the names it gives them: parsing a
// list of names ("status bus-volt timer 2", "all", "all-right") into reads,
// and running them through the command set, each value as text as the
// device window shows it. Shared by read and monitor; no output format here.
#pragma once

#include "link/cls_kt_motor.h"

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace kt::cli {

// One shown value: a number, or a group of named bits.
struct ValueField {
    std::string name; // empty for a plain value; the bit's name in a group
    std::string value;
};
struct ValueLine {
    std::string label; // "bus-volt", "timer 2"
    std::vector<ValueField> fields;
    // "24.5", or "Fault=0 MotorEnable=1 ..." for a group.
    std::string Text() const;
};

class ValueReads {
public:
    using Byte = link::ClsKtMotor::Byte;

    // Parses names; on failure tells why in error and returns nothing, with
    // result 4 (a number out of range) or 64 (not understood).
    static std::optional<ValueReads> Parse(const std::vector<std::string>& words,
                                           std::string& error, int& result);

    // Runs the reads in order, appending a line per value; stops at the first
    // that fails and returns its result (0 when all were read).
    Byte Run(link::ClsKtMotor& motor, std::vector<ValueLine>& lines) const;

    std::size_t Size() const { return m_steps.size(); }
    // Whether one plain name was given: printed as the bare value.
    bool Single() const { return m_single; }
    // The labels of the lines a run gives, in order.
    const std::vector<std::string>& Labels() const { return m_labels; }

    using Step = std::function<Byte(link::ClsKtMotor&, std::vector<ValueLine>&)>;

private:
    std::vector<Step> m_steps;
    std::vector<std::string> m_labels;
    bool m_single = false;
};

} // namespace kt::cli
