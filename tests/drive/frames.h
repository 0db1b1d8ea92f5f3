// Helpers shared by the drive tests: frames as hex text or built with their
// checksum.
#pragma once

#include "drive/virtual_drive.h"

#include <QByteArray>

#include <cstdint>

namespace kt::drive::test {

inline QByteArray Hex(const char* text) {
    return QByteArray::fromHex(text);
}

// Reads the status byte at 62.
inline const QByteArray kReadStatus = Hex("00 00 3E 00 01 C1 FF");

inline QByteArray WriteRequest(std::uint8_t fn, std::uint16_t address, const QByteArray& data) {
    QByteArray frame =
        Hex("80") + char(fn) + char(address & 0xFF) + char(address >> 8) + char(data.size()) + data;
    const std::uint16_t checksum = VirtualDrive::Checksum(frame);
    return frame + char(checksum & 0xFF) + char(checksum >> 8);
}

} // namespace kt::drive::test
