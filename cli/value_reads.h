// The values the command line reads, by any name the drive catalogue finds
// ("BusVolt", "Counter.3", "Input.0", "bus-volt", "counter 3", "In0"), and
// "all" and "all-right" for what the device window's two Read All buttons
// read: parsing them into reads, and running those through the command set,
// each value kept as its catalogue reference and reading. Shared by read and
// monitor; no output format here (the catalogue formats the readings).
#pragma once

#include "drivemap/drive_catalogue.h"
#include "link/cls_kt_motor.h"

#include <optional>
#include <string>
#include <vector>

namespace kt::link {
class FrmMotorCom;
}

namespace kt::cli {

// One value as read.
struct ValueLine {
    drivemap::ValueRef ref;
    double reading = 0; // a bit group's: its byte; a bit's: 0 or 1

    // The canonical name: "BusVolt", "Counter.3", "Input.0".
    std::string Label() const { return drivemap::Name(ref); }
    // As the catalogue formats it: "24.5", "Input.0=1 Input.1=0 ...".
    std::string Text() const { return drivemap::Format(ref, reading); }
};

// Why index names no channel or bit of value, in the catalogue's numbering
// ("Timer takes an index of 0 to 3, not 9"); result 4 for a whole number
// outside it, 64 for a word that is no whole number.
std::string IndexRefusal(const drivemap::DriveValue& value, const std::string& index, int& result);

class ValueReads {
public:
    using Byte = link::ClsKtMotor::Byte;

    // Parses names; on failure tells why in error and returns nothing, with
    // result 4 (a channel or bit the value lacks) or 64 (not understood).
    static std::optional<ValueReads> Parse(const std::vector<std::string>& words,
                                           std::string& error, int& result);

    // Runs the reads in order through the command set, appending a line per
    // value; stops at the first that fails and returns its result (0 when
    // all were read). A value the command set has no function for
    // (Identification) is read over link, and fails with 4 without it.
    Byte Run(link::ClsKtMotor& motor, link::FrmMotorCom& link, std::vector<ValueLine>& lines) const;
    Byte Run(link::ClsKtMotor& motor, std::vector<ValueLine>& lines) const;

    // Exchanges a run takes.
    std::size_t Size() const { return m_steps.size(); }
    // Whether one name was given: printed as the bare value.
    bool Single() const { return m_single; }
    // The values of the lines a run gives, in order.
    const std::vector<drivemap::ValueRef>& Values() const { return m_values; }

private:
    struct Step {
        drivemap::ValueRef ref;
        // A word counter followed by the two counters sharing its bytes,
        // shown from it as the device window shows them.
        bool withCounters = false;
    };
    Byte Run(link::ClsKtMotor& motor, link::FrmMotorCom* link, std::vector<ValueLine>& lines) const;
    void Add(const drivemap::ValueRef& ref);

    std::vector<Step> m_steps;
    std::vector<drivemap::ValueRef> m_values;
    bool m_single = false;
};

} // namespace kt::cli
