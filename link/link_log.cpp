#include "link/link_log.h"

#include "drivemap/drive_catalogue.h"
#include "link/frm_motor_com.h"

#include <cstdio>

namespace kt::link {

namespace {

std::string Action(const LinkEvent& event) {
    switch (event.function) {
    case drivemap::kAccess:
        return event.write ? "write" : "read";
    case drivemap::kClearBits:
        return "clear bits";
    case drivemap::kSetBits:
        return "set bits";
    case drivemap::kProgram:
        return "program";
    case drivemap::kErase:
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
    if (function == drivemap::kProgram)
        return address == 0 ? "program image" : "program memory";
    if (function == drivemap::kErase)
        return "erase location";
    const std::optional<drivemap::ValueRef> value = drivemap::AtAddress(address, dataCount);
    return value ? drivemap::Name(*value) : "address " + std::to_string(address);
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
