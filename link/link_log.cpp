#include "link/link_log.h"

#include "link/drive_map.h"
#include "link/frm_motor_com.h"

#include <cstdio>

namespace kt::link {

namespace {

std::string Numbered(const char* name, int n) {
    return std::string(name) + ' ' + std::to_string(n);
}

std::string Action(const LinkEvent& event) {
    switch (event.function) {
    case DriveMap::kAccess:
        return event.write ? "write" : "read";
    case DriveMap::kClearBit:
        return "clear bits";
    case DriveMap::kSetBit:
        return "set bits";
    case DriveMap::kProgram:
        return "program";
    case DriveMap::kErase:
        return "erase";
    default:
        return "function " + std::to_string(event.function);
    }
}

} // namespace

std::string LinkLog::Hex(const QByteArray& bytes) {
    std::string text;
    char cell[4];
    for (const char byte : bytes) {
        std::snprintf(cell, sizeof cell, "%02X", static_cast<unsigned char>(byte));
        if (!text.empty())
            text += ' ';
        text += cell;
    }
    return text;
}

std::string LinkLog::AddressName(std::uint8_t function, int address, int dataCount) {
    using M = DriveMap;
    if (function == M::kProgram)
        return address == 0 ? "program image" : "program memory";
    if (function == M::kErase)
        return "erase location";
    switch (address) {
    case M::kOutputs:
        return "Outputs";
    case M::kInputs:
        return "Inputs";
    case M::kCurrentSpeed:
        return "CurrentSpeed";
    case M::kStatus:
        return "Status";
    case M::kFlags:
        return "Flags";
    case M::kError:
        return "Error";
    case M::kBusVolt:
        return "BusVolt";
    case M::kMotorCurrent:
        return "MotorCurrent";
    case M::kDecelerationRate:
        return "DecelerationRate";
    case M::kAccelerationRate:
        return "AccelerationRate";
    case M::kReferenceSpeed:
        return "ReferenceSpeed";
    case M::kReferenceVolt:
        return "ReferenceVolt";
    case M::kCurrentLimit:
        return "CurrentLimit";
    case M::kIdentification:
        return "Identification";
    case M::kMotorVolt:
        return "MotorVolt";
    default:
        break;
    }
    if (address >= M::kTimers && address < M::kTimers + 4)
        return Numbered("Timer", address - M::kTimers);
    if (address >= M::kAnalogs && address < M::kAnalogs + 12 && address % 2 == 0)
        return Numbered("Analog", (address - M::kAnalogs) / 2);
    if (address >= M::kCounters && address < M::kCounters + 8) {
        const int offset = address - M::kCounters;
        // Counters and word counters share their bytes: two bytes at an
        // even offset are a word counter.
        if (dataCount == 2 && offset % 2 == 0)
            return Numbered("WordCounter", offset / 2);
        return Numbered("Counter", offset);
    }
    return "address " + std::to_string(address);
}

std::string LinkLog::Line(const LinkEvent& event) {
    char stamp[48];
    if (event.portNumber > 0)
        std::snprintf(stamp, sizeof stamp, "%8lld ms port %-2d ",
                      static_cast<long long>(event.msecs), event.portNumber);
    else
        std::snprintf(stamp, sizeof stamp, "%8lld ms search  ",
                      static_cast<long long>(event.msecs));
    std::string line = stamp;
    const std::string what =
        Action(event) + ' ' + AddressName(event.function, event.address, event.dataCount) + " (" +
        std::to_string(event.address) + "), " + std::to_string(event.dataCount) + " bytes";
    switch (event.kind) {
    case LinkEvent::Kind::Request:
        line += "> " + Hex(event.bytes) + "  " + what;
        break;
    case LinkEvent::Kind::Resend:
        line += "> " + Hex(event.bytes) + "  RESEND " + std::to_string(event.attempt) + ": " + what;
        break;
    case LinkEvent::Kind::Reply:
        line += "< " + Hex(event.bytes);
        break;
    case LinkEvent::Kind::Timeout:
        line += "! TIMEOUT, " + (event.bytes.isEmpty() ? std::string("nothing received")
                                                       : "received only " + Hex(event.bytes));
        break;
    case LinkEvent::Kind::LineError:
        line += "! LINE ERROR " + std::to_string(event.code);
        break;
    case LinkEvent::Kind::Ended:
        line += event.code == kSent ? "= done" : "! FAILED: " + what;
        break;
    }
    return line;
}

} // namespace kt::link
