// Helpers shared by the drive tests: frames as hex text or built with their
// checksum, and the bytes a drive has replied so far.
#pragma once

#include "drive/virtual_drive.h"

#include <QByteArray>
#include <QSignalSpy>

#include <cstdint>

namespace kt::drive::test {

inline QByteArray Hex(const char* text) {
    return QByteArray::fromHex(text);
}

inline QByteArray Frame(bool write, std::uint8_t fn, std::uint16_t address, std::uint8_t count,
                        const QByteArray& data = {}) {
    QByteArray frame;
    for (const int byte : {write ? 0x80 : 0x00, int(fn), address & 0xFF, address >> 8, int(count)})
        frame.append(static_cast<char>(byte));
    frame.append(data);
    const std::uint16_t checksum = VirtualDrive::Checksum(frame);
    frame.append(static_cast<char>(checksum & 0xFF));
    return frame.append(static_cast<char>(checksum >> 8));
}

inline QByteArray WriteRequest(std::uint8_t fn, std::uint16_t address, const QByteArray& data) {
    return Frame(true, fn, address, static_cast<std::uint8_t>(data.size()), data);
}

inline QByteArray Replied(const QSignalSpy& spy) {
    QByteArray bytes;
    for (const QList<QVariant>& reply : spy)
        bytes += reply.at(0).toByteArray();
    return bytes;
}

} // namespace kt::drive::test
