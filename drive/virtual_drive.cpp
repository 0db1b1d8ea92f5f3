#include "drive/virtual_drive.h"

#include "drivemap/drive_catalogue.h"
#include "link/packet.h"
#include "link/transport.h"

#include <algorithm>

namespace kt::drive {

namespace {

constexpr std::uint8_t kWriteStart = link::Packet::kWriteStart;
constexpr std::uint8_t kReadStart = link::Packet::kReadStart;
constexpr int kHeaderSize = 5; // start, Fn, address low, address high, count
constexpr int kChecksumSize = 2;

using drivemap::Address;
using drivemap::Id;
using drivemap::Mask;
using drivemap::StatusBit;

std::uint8_t At(const QByteArray& bytes, qsizetype index) {
    return static_cast<std::uint8_t>(bytes.at(index));
}

// The length a request starting at bytes[0] will have; 0 while the header is
// incomplete.
qsizetype FrameLength(const QByteArray& bytes) {
    if (bytes.size() < kHeaderSize)
        return 0;
    const qsizetype data = At(bytes, 0) == kWriteStart ? At(bytes, 4) : 0;
    return kHeaderSize + data + kChecksumSize;
}

bool IsStartByte(std::uint8_t byte) {
    return byte == kWriteStart || byte == kReadStart;
}

bool ChecksumMatches(const QByteArray& frame) {
    const qsizetype body = frame.size() - kChecksumSize;
    const std::uint16_t sent = At(frame, body) | (At(frame, body + 1) << 8);
    return VirtualDrive::Checksum(frame.left(body)) == sent;
}

void AppendChecksum(QByteArray& bytes, std::uint16_t checksum) {
    bytes.append(static_cast<char>(checksum & 0xFF));
    bytes.append(static_cast<char>(checksum >> 8));
}

} // namespace

VirtualDrive::VirtualDrive(QObject* parent) : QObject(parent) {
    m_staleTimer.setSingleShot(true);
    m_staleTimer.setInterval(kDefaultStaleGapMs);
    connect(&m_staleTimer, &QTimer::timeout, this, &VirtualDrive::OnStale);
    m_realTime.setInterval(10);
    m_realTime.setTimerType(Qt::PreciseTimer);
    connect(&m_realTime, &QTimer::timeout, this, &VirtualDrive::OnRealTime);
    Reset();
}

void VirtualDrive::RunFor(int milliseconds) {
    if (milliseconds > 0)
        m_interpreter.RunFor(static_cast<std::uint64_t>(milliseconds));
}

void VirtualDrive::SetRealTime(bool on) {
    if (!on) {
        m_realTime.stop();
        return;
    }
    m_realClock.start();
    m_realDoneMs = 0;
    m_realTime.start();
}

// Whatever the timer's lateness, simulated time catches up with the clock.
void VirtualDrive::OnRealTime() {
    const qint64 now = m_realClock.elapsed();
    RunFor(static_cast<int>(std::min<qint64>(now - m_realDoneMs, 1000)));
    m_realDoneMs = now;
}

void VirtualDrive::Reset() {
    // The interpreter's power-up is the drive's: the catalogue's values.
    m_interpreter.PowerUp();
    m_program.fill(compiler::kImageFill);
    m_framed.clear();
    m_unframed.clear();
    m_staleTimer.stop();
}

std::uint16_t VirtualDrive::DataWord(std::uint16_t address) const {
    return static_cast<std::uint16_t>(m_data[address] |
                                      m_data[static_cast<std::uint16_t>(address + 1)] << 8);
}

void VirtualDrive::SetDataWord(std::uint16_t address, std::uint16_t value) {
    m_data[address] = static_cast<std::uint8_t>(value & 0xFF);
    m_data[static_cast<std::uint16_t>(address + 1)] = static_cast<std::uint8_t>(value >> 8);
}

void VirtualDrive::SetFault(Fault fault, int requests) {
    m_fault = fault;
    m_faultLeft = fault == Fault::None ? kEveryRequest : requests;
}

void VirtualDrive::ClearLog() {
    m_requests.clear();
    m_requestCount = 0;
    m_ignored = 0;
}

std::uint16_t VirtualDrive::Checksum(const QByteArray& bytes) {
    return link::Packet::Checksum(bytes);
}

void VirtualDrive::Receive(const QByteArray& bytes, bool mark) {
    for (const char byte : bytes) {
        if (mark) {
            m_framed.clear();
            // Anything else under mark parity is line noise, not a request.
            if (!IsStartByte(static_cast<std::uint8_t>(byte)))
                continue;
        } else if (m_framed.isEmpty()) {
            continue; // space bytes with no request begun
        }
        m_framed.append(byte);
        if (m_framed.size() != FrameLength(m_framed))
            continue;
        if (ChecksumMatches(m_framed))
            Handle(m_framed);
        else
            ++m_ignored;
        m_framed.clear();
    }
}

void VirtualDrive::ReceiveUnframed(const QByteArray& bytes) {
    m_unframed.append(bytes);
    ParseUnframed(false);
    if (m_unframed.isEmpty())
        m_staleTimer.stop();
    else
        m_staleTimer.start();
}

// Without the parity bit a request can only be told by a start byte, a
// plausible length and a matching checksum; anything else is skipped one
// byte at a time. flush: no more bytes are coming, so an incomplete request
// is skipped too (garbage claiming a long request must not wedge the drive).
void VirtualDrive::ParseUnframed(bool flush) {
    while (!m_unframed.isEmpty()) {
        if (!IsStartByte(At(m_unframed, 0))) {
            m_unframed.remove(0, 1);
            continue;
        }
        const qsizetype length = FrameLength(m_unframed);
        if (length == 0 || m_unframed.size() < length) {
            if (!flush)
                return;
            m_unframed.remove(0, 1);
            continue;
        }
        const QByteArray frame = m_unframed.left(length);
        if (!ChecksumMatches(frame)) {
            m_unframed.remove(0, 1);
            continue;
        }
        m_unframed.remove(0, length);
        Handle(frame);
    }
}

void VirtualDrive::Handle(const QByteArray& frame) {
    DriveRequest request;
    request.write = At(frame, 0) == kWriteStart;
    request.fn = At(frame, 1);
    request.address = static_cast<std::uint16_t>(At(frame, 2) | At(frame, 3) << 8);
    request.dataCount = At(frame, 4);
    if (request.write)
        request.data = frame.mid(kHeaderSize, request.dataCount);

    // A request takes effect at its own time, not at the next tick's: what
    // it reads is up to date, and what it writes acts from now on.
    if (RealTime())
        OnRealTime();
    QByteArray reply;
    if (!Execute(request, reply)) {
        ++m_ignored;
        return;
    }
    if (m_requests.size() == kRequestLogLimit)
        m_requests.pop_front();
    m_requests.push_back(request);
    ++m_requestCount;
    Answer(reply, !request.write);
}

// Carries out an understood request and builds its reply; false for a
// request the drive does not understand, which it leaves unanswered.
bool VirtualDrive::Execute(const DriveRequest& request, QByteArray& reply) {
    const auto dataAt = [&](qsizetype i) { return At(request.data, i); };
    const auto memoryAt = [&](qsizetype i) -> std::uint8_t& {
        return m_data[static_cast<std::uint16_t>(request.address + i)];
    };

    if (!request.write) {
        if (request.fn != drivemap::kAccess)
            return false;
        for (qsizetype i = 0; i < request.dataCount; ++i)
            reply.append(static_cast<char>(memoryAt(i)));
        AppendChecksum(reply, Checksum(reply));
        return true;
    }

    switch (request.fn) {
    case drivemap::kAccess:
        for (qsizetype i = 0; i < request.data.size(); ++i)
            memoryAt(i) = dataAt(i);
        break;
    case drivemap::kClearBits:
        for (qsizetype i = 0; i < request.data.size(); ++i)
            memoryAt(i) &= dataAt(i);
        break;
    case drivemap::kSetBits:
        for (qsizetype i = 0; i < request.data.size(); ++i)
            memoryAt(i) |= dataAt(i);
        break;
    case drivemap::kProgram:
        if (request.address + request.data.size() > qsizetype(m_program.size()))
            return false;
        std::copy(request.data.begin(), request.data.end(), m_program.begin() + request.address);
        // The image complete: it runs from its first statement, or its
        // fault shows in the error byte.
        if (request.address + request.data.size() == qsizetype(m_program.size()))
            m_interpreter.Load(m_program);
        else
            m_data[Address(Id::Status)] |= Mask(StatusBit::ProgramRunMode);
        break;
    case drivemap::kErase:
        if (request.address != drivemap::kEraseLocation ||
            request.data != QByteArray(1, char(drivemap::kEraseByte)))
            return false;
        m_program.fill(compiler::kImageFill);
        m_interpreter.Erase();
        m_data[Address(Id::Status)] &= static_cast<std::uint8_t>(~Mask(StatusBit::ProgramRunMode));
        break;
    default:
        return false;
    }
    reply.append(static_cast<char>(kAcknowledge));
    return true;
}

void VirtualDrive::Answer(QByteArray reply, bool read) {
    const Fault fault = m_fault;
    if (m_faultLeft > 0 && --m_faultLeft == 0)
        SetFault(Fault::None);

    switch (fault) {
    case Fault::None:
        break;
    case Fault::NoReply:
        return;
    case Fault::ShortReply:
        reply.chop(1);
        if (reply.isEmpty())
            return;
        break;
    case Fault::LongReply:
        reply.append(static_cast<char>(kExtraByte));
        break;
    case Fault::WrongChecksum:
        if (read)
            reply[reply.size() - kChecksumSize] ^= 0x01;
        break;
    case Fault::LineError:
        emit LineError(link::kLineFraming);
        return;
    case Fault::Delay:
        QTimer::singleShot(m_replyDelayMs, this, [this, reply] { emit Reply(reply); });
        return;
    }
    emit Reply(reply);
}

} // namespace kt::drive
