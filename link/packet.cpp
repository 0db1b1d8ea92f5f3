#include "link/packet.h"

namespace kt::link {

QByteArray Packet::Bytes(std::initializer_list<int> values) {
    QByteArray bytes;
    bytes.reserve(static_cast<qsizetype>(values.size()));
    for (const int value : values)
        bytes.append(static_cast<char>(value & 0xFF));
    return bytes;
}

std::uint16_t Packet::Checksum(const QByteArray& bytes, std::uint32_t sum) {
    for (const char byte : bytes)
        sum += static_cast<std::uint8_t>(byte);
    return static_cast<std::uint16_t>(0x10000 - (sum & 0xFFFF));
}

QByteArray Packet::Body(std::uint8_t fn, std::uint16_t address, std::uint8_t dataCount,
                        const QByteArray& data, bool writeToMotor) {
    QByteArray body;
    body.reserve(6 + data.size());
    body.append(static_cast<char>(fn));
    body.append(static_cast<char>(address & 0xFF));
    body.append(static_cast<char>(address >> 8));
    body.append(static_cast<char>(dataCount));
    if (writeToMotor)
        body.append(data);
    const std::uint16_t checksum = Checksum(body, StartByte(writeToMotor));
    body.append(static_cast<char>(checksum & 0xFF));
    body.append(static_cast<char>(checksum >> 8));
    return body;
}

QByteArray Packet::ReadReply(const QByteArray& data) {
    const std::uint16_t checksum = Checksum(data);
    return data + Bytes({checksum & 0xFF, checksum >> 8});
}

bool Packet::ReadReplyValid(const QByteArray& reply) {
    if (reply.size() < 2)
        return false;
    const QByteArray data = reply.left(reply.size() - 2);
    return ReadReply(data) == reply;
}

} // namespace kt::link
