// Frames of the drive tests, written out byte for byte with their checksums
// so that a checksum fault shared by the link and the drive shows.
#pragma once

#include <QByteArray>

namespace kt::drive::test {

inline QByteArray Hex(const char* text) {
    return QByteArray::fromHex(text);
}

// Reads the status byte at 62.
inline const QByteArray kReadStatus = Hex("00 00 3E 00 01 C1 FF");

} // namespace kt::drive::test
