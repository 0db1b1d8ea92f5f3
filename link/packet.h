// The bytes of one exchange with the drive: the request frame (start byte,
// function code, address, count, data, checksum) and the check of a read
// reply. Pure byte work; sending and waiting belong to the link.
#pragma once

#include <QByteArray>

#include <cstdint>
#include <initializer_list>

namespace kt::link {

struct Packet {
    static constexpr std::uint8_t kWriteStart = 0x80;
    static constexpr std::uint8_t kReadStart = 0x00;

    // Bytes by value. (QByteArray{a, b} would read as "a copies of b".)
    static QByteArray Bytes(std::initializer_list<int> values);

    // The word that brings the sum of the bytes to 0 mod 65536.
    static std::uint16_t Checksum(const QByteArray& bytes, std::uint32_t sum = 0);

    // The request's first byte, sent with mark parity...
    static std::uint8_t StartByte(bool writeToMotor) {
        return writeToMotor ? kWriteStart : kReadStart;
    }
    // ...and the rest, sent with space parity: Fn, address, count, the data
    // of a write, and the checksum over all of it and the start byte.
    static QByteArray Body(std::uint8_t fn, std::uint16_t address, std::uint8_t dataCount,
                           const QByteArray& data, bool writeToMotor);

    // A read reply: dataCount bytes and their checksum, low byte first.
    static QByteArray ReadReply(const QByteArray& data);
    // Whether the last two bytes of a read reply are the checksum of the rest.
    static bool ReadReplyValid(const QByteArray& reply);
};

} // namespace kt::link
