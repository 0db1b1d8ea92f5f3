// A software KtMotor drive: its data memory, its program memory and the
// request/reply protocol it speaks on the serial line, with faults that tests
// can switch on. It takes bytes and emits replies; it knows nothing of ports.
// A downloaded program runs on the simulated interpreter over the same data
// memory, on simulated time that moves only when told (RunFor) or, once
// SetRealTime is on, with the clock; the interpreter's motor model answers
// commands written over the line as it answers a program's. It powers up as
// the interpreter does, with the catalogue's values.
#pragma once

#include "compiler/program_compiler.h"
#include "sim/program_interpreter.h"

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <array>
#include <cstddef>
#include <cstdint>
#include <deque>

namespace kt::drive {

// One request the drive understood and carried out.
struct DriveRequest {
    bool write = false;
    std::uint8_t fn = 0;
    std::uint16_t address = 0;
    std::uint8_t dataCount = 0;
    QByteArray data; // writes only
};

class VirtualDrive : public QObject {
    Q_OBJECT

public:
    // What goes wrong with the reply; the request itself is always carried out.
    enum class Fault {
        None,
        NoReply,
        ShortReply,    // last byte missing
        LongReply,     // one byte too many
        WrongChecksum, // read replies only; acknowledges are untouched
        LineError,     // LineError(kLineFraming) instead of the reply
        Delay,         // the reply, but ReplyDelay() ms later
    };
    static constexpr int kEveryRequest = -1;
    static constexpr std::uint8_t kAcknowledge = 0x06;
    static constexpr std::uint8_t kExtraByte = 0x55;
    static constexpr int kDefaultStaleGapMs = 100;
    static constexpr int kDefaultReplyDelayMs = 1000;
    // Requests kept for a look back; a drive served for days must not grow.
    static constexpr std::size_t kRequestLogLimit = 128;

    explicit VirtualDrive(QObject* parent = nullptr);

    // Back to the catalogue's power-up values, program erased, clock at 0.
    void Reset();

    // Bytes off a line that carries the parity bit: a mark byte always starts
    // a new request, discarding any partial one.
    void Receive(const QByteArray& bytes, bool mark);
    // Bytes off a line without the parity bit (a pseudo-terminal): requests
    // are found by their structure and checksum.
    void ReceiveUnframed(const QByteArray& bytes);

    // The fault hits the next `requests` understood requests, then clears
    // itself; kEveryRequest keeps it until changed.
    void SetFault(Fault fault, int requests = kEveryRequest);
    Fault ActiveFault() const { return m_fault; }
    int FaultRequestsLeft() const { return m_faultLeft; }
    void SetReplyDelay(int milliseconds) { m_replyDelayMs = milliseconds; }
    int ReplyDelay() const { return m_replyDelayMs; }
    // Silence after which unframed bytes still waiting for the rest of a
    // request are given up on: complete requests among them are answered,
    // the rest thrown away.
    void SetStaleGap(int milliseconds) { m_staleTimer.setInterval(milliseconds); }

    // Whether the motor model moves with simulated time (the default); off,
    // motor status, speed, voltage and current keep what is written to them.
    void SetMotorModel(bool on) { m_interpreter.HoldMotor(!on); }

    std::uint8_t DataByte(std::uint16_t address) const { return m_data[address]; }
    void SetDataByte(std::uint16_t address, std::uint8_t value) { m_data[address] = value; }
    std::uint16_t DataWord(std::uint16_t address) const; // low byte first
    void SetDataWord(std::uint16_t address, std::uint16_t value);
    const compiler::ProgramImage& ProgramMemory() const { return m_program; }

    // The last kRequestLogLimit understood requests, oldest first.
    const std::deque<DriveRequest>& Requests() const { return m_requests; }
    // Understood requests since the log was last cleared, all of them.
    qint64 RequestCount() const { return m_requestCount; }
    // Requests dropped for a wrong checksum (parity-framed input only) or
    // because the drive does not understand them.
    int IgnoredCount() const { return m_ignored; }
    void ClearLog();

    // The downloaded program's interpreter, over this drive's data memory.
    sim::ProgramInterpreter& Interpreter() { return m_interpreter; }
    const sim::ProgramInterpreter& Interpreter() const { return m_interpreter; }
    // Moves simulated time on: the program runs, timers and the motor move.
    void RunFor(int milliseconds);
    // Simulated time follows the clock (the application's drive); off, the
    // default, it moves only through RunFor (tests).
    void SetRealTime(bool on);
    bool RealTime() const { return m_realTime.isActive(); }

    // The word that brings the sum of the bytes to 0 mod 65536.
    static std::uint16_t Checksum(const QByteArray& bytes);

signals:
    void Reply(const QByteArray& bytes);
    void LineError(int code);

private:
    void ParseUnframed(bool flush);
    void OnStale() { ParseUnframed(true); }
    void Handle(const QByteArray& frame);
    bool Execute(const DriveRequest& request, QByteArray& reply);
    void Answer(QByteArray reply, bool read);
    void OnRealTime();

    std::array<std::uint8_t, 65536> m_data{};
    compiler::ProgramImage m_program{};
    sim::ProgramInterpreter m_interpreter{std::span<std::uint8_t>(m_data)};
    QTimer m_realTime;
    QElapsedTimer m_realClock;
    qint64 m_realDoneMs = 0;
    QByteArray m_framed;
    QByteArray m_unframed;
    QTimer m_staleTimer;

    Fault m_fault = Fault::None;
    int m_faultLeft = kEveryRequest;
    int m_replyDelayMs = kDefaultReplyDelayMs;

    std::deque<DriveRequest> m_requests;
    qint64 m_requestCount = 0;
    int m_ignored = 0;
};

} // namespace kt::drive
