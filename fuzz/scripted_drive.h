// A drive behind scripted lines, for the fuzz targets. Every line it hands
// out checks each request as the link writes it (the start byte alone with
// mark parity, the rest with space parity, the length its count implies, the
// checksum) and records it, with whether the link sent it for the background
// (as told by MarkNext); the drive answers each whole request as the plan
// for that request says: a good reply, a corrupt, short or long one, in
// pieces, a line error, silence, or a reply held back until the next request.
// Ports other than the drive's may be missing, refuse to open, stay silent or
// hold a device that is not a drive. Not a model of the drive's inner working
// beyond a memory that reads give back and writes change.
#pragma once

#include "fuzz_check.h"
#include "link/frm_motor_com.h"
#include "link/transport.h"

#include <QCoreApplication>
#include <QPointer>
#include <QTimer>

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

namespace kt::fuzz {

// What the drive does with one request.
struct Plan {
    enum Action : std::uint8_t { Good, Pieces, Corrupt, Short, Long, Silent, LineError, Held };
    Action action = Good;
    int amount = 0;    // pieces, bytes cut or added, which line error
    bool flag = false; // line error: the port is lost; else: a command meanwhile
    bool echo = false; // one more arrival notification, without bytes

    // Bits 0-2 the action, 3-5 the amount, 6 the flag, 7 the echo.
    static Plan FromByte(std::uint8_t byte) {
        return {static_cast<Action>(byte & 7), (byte >> 3) & 7, (byte & 0x40) != 0,
                (byte & 0x80) != 0};
    }
    // Whether the reply is whole on the line in the end (or the line fails).
    bool Completes() const {
        return action == Good || action == Pieces || action == Corrupt || action == LineError;
    }
};

inline constexpr std::array<int, 6> kLineErrors = {
    link::kLineBreak,  link::kLineFraming,  link::kLineOverrun,
    link::kLineParity, link::kLinePortLost, link::kLineOther,
};

// A request as the drive saw it, and what it did about it.
struct Request {
    int port = 0;
    QByteArray frame; // start byte first
    bool write = false;
    std::uint8_t fn = 0;
    int address = 0;
    int count = 0;
    QByteArray data; // of a write
    Plan plan;
    bool replied = false; // a read reply with a good checksum went out
    QByteArray replyData;
    // Bytes of earlier replies were waiting, arriving or held back when the
    // request began: a reply to this request cannot be told from them.
    bool stray = false;
    // The reply arrives alone and whole on a quiet line while the link waits
    // long: the link must end the exchange on it.
    bool decisive = false;
    bool background = false; // a background request's
};

enum class PortKind { Missing, Refusing, Silent, Stranger, Drive };

class ScriptedDrive {
public:
    // Long enough never to run out before a reply that is already queued.
    static constexpr int kPatient = 1000;
    static constexpr std::uint8_t kIdentification = 7;
    static constexpr int kIdentificationAddress = 282;

    using Planner = std::function<Plan()>;

    explicit ScriptedDrive(std::uint8_t seed) : m_seed(seed) {}
    ScriptedDrive(const ScriptedDrive&) = delete;
    ScriptedDrive& operator=(const ScriptedDrive&) = delete;

    // A whole request frame, computed here rather than by the link.
    static QByteArray Frame(bool write, std::uint8_t fn, int address, int count,
                            const QByteArray& data = {}) {
        QByteArray frame;
        frame.append(static_cast<char>(write ? 0x80 : 0x00));
        frame.append(static_cast<char>(fn));
        frame.append(static_cast<char>(address & 0xFF));
        frame.append(static_cast<char>((address >> 8) & 0xFF));
        frame.append(static_cast<char>(count));
        if (write)
            frame.append(data);
        std::uint32_t sum = 0;
        for (const char byte : frame)
            sum += static_cast<std::uint8_t>(byte);
        const std::uint32_t checksum = (0x10000 - (sum & 0xFFFF)) & 0xFFFF;
        frame.append(static_cast<char>(checksum & 0xFF));
        frame.append(static_cast<char>(checksum >> 8));
        return frame;
    }
    static QByteArray ReadReply(const QByteArray& data) {
        QByteArray reply = data;
        std::uint32_t sum = 0;
        for (const char byte : data)
            sum += static_cast<std::uint8_t>(byte);
        const std::uint32_t checksum = (0x10000 - (sum & 0xFFFF)) & 0xFFFF;
        reply.append(static_cast<char>(checksum & 0xFF));
        reply.append(static_cast<char>(checksum >> 8));
        return reply;
    }

    void SetPort(int port, PortKind kind) { m_kinds[port] = kind; }
    // Plans for the drive's requests, asked for one by one; none: all good.
    void SetPlanner(Planner planner) { m_planner = std::move(planner); }
    // Runs in the event loop before the reply of a plan with the flag.
    void SetMeanwhile(std::function<void()> meanwhile) { m_meanwhile = std::move(meanwhile); }

    // The link's transport factory.
    std::unique_ptr<link::Transport> Connect(int port) {
        ++m_connections;
        const auto kind = m_kinds.find(port);
        if (kind == m_kinds.end() || kind->second == PortKind::Missing)
            return nullptr;
        auto line = std::make_unique<Line>(*this, port, kind->second);
        m_lines.emplace_back(line.get());
        return line;
    }

    // The link's reply allowance: long only when the next reply will come
    // whole onto a quiet line, so that a time-out never overtakes it.
    int ReplyAllowance() {
        Line* line = m_active.data();
        if (!line)
            return 0;
        line->m_patient = false;
        if (line->m_kind == PortKind::Silent || !line->Quiet())
            return 0;
        if (line->m_kind == PortKind::Drive && !PeekPlan().Completes())
            return 0;
        line->m_patient = true;
        return kPatient;
    }

    std::uint8_t Memory(int address) const {
        address &= 0xFFFF;
        if (const auto written = m_memory.find(address); written != m_memory.end())
            return written->second;
        if (address == kIdentificationAddress)
            return kIdentification;
        return m_seed == 0 ? 0 : static_cast<std::uint8_t>(address * 29 + m_seed * 71);
    }

    const std::vector<Request>& Requests() const { return m_requests; }
    // Bytes of the user's requests, and of the background's.
    std::size_t BytesWritten() const { return m_bytesWritten; }
    std::size_t BackgroundBytesWritten() const { return m_backgroundBytes; }
    // Whether the request whose start byte comes next is the background's.
    void MarkNext(bool background) { m_nextBackground = background; }
    int Connections() const { return m_connections; }

    // Drops what waits on the lines, and replies held back.
    void Hush() {
        for (const QPointer<Line>& line : m_lines)
            if (line)
                line->Hush();
    }

    // Lets everything queued on the lines happen.
    void Settle() {
        for (int round = 0; round < 100 && m_pending > 0; ++round)
            QCoreApplication::processEvents();
        QCoreApplication::processEvents();
    }

private:
    class Line : public link::Transport {
    public:
        Line(ScriptedDrive& drive, int port, PortKind kind)
            : m_drive(drive), m_port(port), m_kind(kind) {}
        ~Line() override { m_drive.m_pending -= m_pending; }

        bool Open() override {
            if (m_kind == PortKind::Refusing)
                return false;
            m_drive.m_active = this;
            return m_open = true;
        }
        void Close() override { m_open = false; }
        bool IsOpen() const override { return m_open; }
        void SetParity(Parity parity) override { m_parity = parity; }

        void Write(const QByteArray& bytes) override {
            KT_FUZZ_CHECK(m_open);
            if (m_parity == Parity::Mark)
                m_background = m_drive.m_nextBackground;
            (m_background ? m_drive.m_backgroundBytes : m_drive.m_bytesWritten) +=
                static_cast<std::size_t>(bytes.size());
            m_drive.m_active = this;
            if (m_parity == Parity::Mark) {
                // A start byte goes alone; the request before it was whole,
                // or given up right after its start byte.
                KT_FUZZ_CHECK(bytes.size() == 1);
                KT_FUZZ_CHECK(bytes[0] == '\x00' || bytes[0] == '\x80');
                KT_FUZZ_CHECK(m_request.size() <= 1);
                m_request = bytes;
                m_stray = !m_input.isEmpty() || m_inFlight > 0 || !m_held.isEmpty();
                if (!m_held.isEmpty())
                    Deliver(std::exchange(m_held, {}));
            } else {
                KT_FUZZ_CHECK(m_request.size() >= 1);
                m_request += bytes;
                if (m_request.size() >= 5)
                    KT_FUZZ_CHECK(m_request.size() <= Length(m_request));
                if (m_request.size() >= 5 && m_request.size() == Length(m_request))
                    Serve(std::exchange(m_request, {}));
            }
            Post([this] { emit Sent(); });
        }
        qint64 BytesAvailable() const override { return m_input.size(); }
        QByteArray ReadAll() override { return std::exchange(m_input, {}); }

        void Hush() {
            m_input.clear();
            m_held.clear();
        }
        bool Quiet() const { return m_input.isEmpty() && m_pending == 0; }

        ScriptedDrive& m_drive;
        const int m_port;
        const PortKind m_kind;
        bool m_patient = false; // the link waits long for this request

    private:
        static qsizetype Length(const QByteArray& request) {
            const bool write = request[0] == '\x80';
            return 7 + (write ? static_cast<std::uint8_t>(request[4]) : 0);
        }
        std::uint8_t At(const QByteArray& bytes, qsizetype i) const {
            return static_cast<std::uint8_t>(bytes[i]);
        }

        void Serve(const QByteArray& frame) {
            Request request;
            request.port = m_port;
            request.frame = frame;
            request.stray = m_stray;
            request.background = m_background;
            request.write = frame[0] == '\x80';
            request.fn = At(frame, 1);
            request.address = At(frame, 2) | (At(frame, 3) << 8);
            request.count = At(frame, 4);
            request.data = request.write ? frame.mid(5, request.count) : QByteArray();
            std::uint32_t sum = 0;
            for (qsizetype i = 0; i < frame.size() - 2; ++i)
                sum += At(frame, i);
            const std::uint32_t checksum =
                At(frame, frame.size() - 2) | (At(frame, frame.size() - 1) << 8);
            KT_FUZZ_CHECK(((sum + checksum) & 0xFFFF) == 0);

            const bool quiet = Quiet();
            const bool patient = std::exchange(m_patient, false);
            if (m_kind == PortKind::Silent) {
                m_drive.m_requests.push_back(request);
                return;
            }
            if (m_kind == PortKind::Stranger) {
                // Not a drive: answers, but not with the identification.
                QByteArray data(request.count, '\0');
                for (int i = 0; i < request.count; ++i)
                    if (request.address + i == kIdentificationAddress + 1)
                        data[i] = kIdentification;
                request.replied = !request.write;
                request.replyData = data;
                request.decisive = patient && quiet;
                Deliver(request.write ? QByteArray(1, '\x06') : ReadReply(data));
                m_drive.m_requests.push_back(request);
                return;
            }

            const Plan plan = m_drive.TakePlan();
            request.plan = plan;
            request.decisive = patient && quiet && plan.Completes();
            m_drive.Apply(request);
            QByteArray reply;
            if (request.write) {
                reply = QByteArray(
                    1, plan.action == Plan::Corrupt ? (plan.amount & 1 ? '\xFF' : '\x00') : '\x06');
            } else {
                QByteArray data(request.count, '\0');
                for (int i = 0; i < request.count; ++i)
                    data[i] = static_cast<char>(m_drive.Memory(request.address + i));
                reply = ReadReply(data);
                if (plan.action == Plan::Good || plan.action == Plan::Pieces ||
                    plan.action == Plan::Held) {
                    request.replied = true;
                    request.replyData = data;
                }
            }
            if (plan.flag && plan.action != Plan::LineError && request.decisive &&
                m_drive.m_meanwhile)
                Post([meanwhile = m_drive.m_meanwhile] { meanwhile(); });

            const int amount = plan.amount;
            switch (plan.action) {
            case Plan::Good:
                Deliver(reply);
                break;
            case Plan::Pieces: {
                const qsizetype pieces = std::min<qsizetype>(2 + amount % 3, reply.size());
                qsizetype at = 0;
                for (qsizetype k = 1; k <= pieces; ++k) {
                    const qsizetype end = reply.size() * k / pieces;
                    Deliver(reply.mid(at, end - at));
                    at = end;
                }
                break;
            }
            case Plan::Corrupt:
                if (!request.write) {
                    if (amount % 2 == 0 && request.count > 0)
                        reply[amount / 2 % request.count] ^= 0x10;
                    else
                        reply[reply.size() - 2] ^= static_cast<char>(1 << amount);
                }
                Deliver(reply);
                break;
            case Plan::Short:
                Deliver(reply.left(std::max<qsizetype>(0, reply.size() - 1 - amount % 4)));
                break;
            case Plan::Long:
                Deliver(reply + QByteArray(1 + amount % 4, '\x5A'));
                break;
            case Plan::Silent:
                break;
            case Plan::LineError: {
                if (amount & 4)
                    Deliver(reply.left(reply.size() / 2));
                const int code = kLineErrors[static_cast<std::size_t>(amount) % kLineErrors.size()];
                const bool lost = plan.flag;
                Post([this, code, lost] { emit LineError(code, lost); });
                break;
            }
            case Plan::Held:
                m_held = reply;
                break;
            }
            if (plan.echo)
                Post([this] { emit Received(); });
            m_drive.m_requests.push_back(request);
        }

        // Bytes arriving from the line, as a notification after this call.
        void Deliver(const QByteArray& bytes) {
            if (bytes.isEmpty())
                return;
            ++m_inFlight;
            Post([this, bytes] {
                --m_inFlight;
                m_input += bytes;
                emit Received();
            });
        }
        template <typename Action> void Post(Action action) {
            ++m_pending;
            ++m_drive.m_pending;
            QTimer::singleShot(0, this, [this, action] {
                --m_pending;
                --m_drive.m_pending;
                action();
            });
        }

        Parity m_parity = Parity::Space;
        bool m_open = false;
        QByteArray m_request;
        QByteArray m_input;
        QByteArray m_held;
        int m_pending = 0;
        int m_inFlight = 0;        // deliveries of bytes queued
        bool m_stray = false;      // bytes were about when the request began
        bool m_background = false; // the request being written is the background's
    };

    Plan PeekPlan() {
        if (!m_next)
            m_next = m_planner ? m_planner() : Plan{};
        return *m_next;
    }
    Plan TakePlan() {
        const Plan plan = PeekPlan();
        m_next.reset();
        return plan;
    }
    void Apply(const Request& request) {
        if (!request.write || request.fn > 2)
            return;
        for (int i = 0; i < request.count; ++i) {
            const int address = (request.address + i) & 0xFFFF;
            if (address == kIdentificationAddress)
                continue; // fixed in the drive
            const auto byte = static_cast<std::uint8_t>(request.data[i]);
            const std::uint8_t now = Memory(address);
            m_memory[address] = request.fn == 0   ? byte
                                : request.fn == 1 ? static_cast<std::uint8_t>(now & byte)
                                                  : static_cast<std::uint8_t>(now | byte);
        }
    }

    const std::uint8_t m_seed;
    std::map<int, PortKind> m_kinds;
    std::map<int, std::uint8_t> m_memory;
    Planner m_planner;
    std::optional<Plan> m_next;
    std::function<void()> m_meanwhile;
    QPointer<Line> m_active;
    std::vector<QPointer<Line>> m_lines;
    std::vector<Request> m_requests;
    std::size_t m_bytesWritten = 0;
    std::size_t m_backgroundBytes = 0;
    bool m_nextBackground = false;
    int m_connections = 0;
    int m_pending = 0;
};

// The link over this drive, as both targets run it: its reply allowance
// comes from the plans, so no real time passes.
inline std::unique_ptr<link::FrmMotorCom> LinkTo(ScriptedDrive& drive,
                                                 platform::PromptService& prompts) {
    auto com = std::make_unique<link::FrmMotorCom>(
        prompts, [&drive](int port) { return drive.Connect(port); });
    com->SetReplyTimeout([&drive](int) { return drive.ReplyAllowance(); });
    return com;
}

// Ports the link let go of are deleted later; they refer to the drive, so
// they must go before it.
inline void DeleteReleasedPorts() {
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

} // namespace kt::fuzz
