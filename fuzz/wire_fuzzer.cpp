// Scripts of commands against a drive that misbehaves on cue. The front of
// the input says which ports exist and which commands run, with how the user
// answers the questions each command meets, and which monitoring reads run
// in the background meanwhile; the back says, request by request of either
// kind, what the drive does. The link must end every command with a defined
// code, hand out only data the drive sent, leave a failed read's data alone,
// put only well-formed frames on the wire, send nothing for a refused
// argument, answer "busy" to a command issued while one waits, and work
// again once the drive behaves. Every background read completes once, never
// inside the call that submitted it, in the order they went out, with data
// the drive sent; it never asks a question nor shows a box.
//
// Layout: [ports] [command count] then per command [op] [answers] [arguments],
// and at the far end, read backwards, one byte per request of the drive's
// plan (see Plan::FromByte). fuzz/make_seeds.py writes such scripts.
#include "fuzz_check.h"
#include "link/cls_kt_motor.h"
#include "link/frm_motor_com.h"
#include "platform/scripted_prompts.h"
#include "scripted_drive.h"

#include <QCoreApplication>
#include <QElapsedTimer>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <set>

namespace {

using kt::fuzz::Plan;
using kt::fuzz::PortKind;
using kt::fuzz::Request;
using kt::fuzz::ScriptedDrive;
using kt::link::ClsKtMotor;
using kt::link::Completion;
using kt::link::FrmMotorCom;
using kt::link::LinkEvent;
using kt::link::Priority;
using kt::platform::Answer;
using kt::platform::Buttons;
using kt::platform::MessageRequest;
using Byte = std::uint8_t;

// Bounds on the work of one input.
constexpr int kMaxCommands = 8;
constexpr int kMaxPlans = 64;
constexpr int kMaxRetries = 4;

const QString kRetryQuestion = QStringLiteral("Communication Failed,Retry?");
const QString kDownloadQuestion =
    QStringLiteral("This will put a new ProgramData in your motor, Are you sure?");
const QString kEraseQuestion =
    QStringLiteral("This will erase program in your motor, Are you sure?");

// Commands from the front, the drive's plans from the back; past the middle
// every byte reads as 0.
class Script {
public:
    Script(const std::uint8_t* data, std::size_t size) : m_data(data), m_back(size) {}
    Byte Next() { return m_front < m_back ? m_data[m_front++] : 0; }
    Byte Last() { return m_front < m_back ? m_data[--m_back] : 0; }
    int Word() {
        const int low = Next();
        return low | (Next() << 8);
    }

private:
    const std::uint8_t* m_data;
    std::size_t m_front = 0;
    std::size_t m_back;
};

class Session {
public:
    explicit Session(Script& script)
        : m_script(script), m_header(script.Next()), m_drive(static_cast<Byte>(m_header >> 4)) {
        // The drive on port 1 to 4; the ports below it all of one kind.
        m_drivePort = 1 + (m_header & 3);
        constexpr PortKind kBelow[] = {PortKind::Missing, PortKind::Refusing, PortKind::Silent,
                                       PortKind::Stranger};
        for (int port = 1; port < m_drivePort; ++port)
            m_drive.SetPort(port, kBelow[(m_header >> 2) & 3]);
        m_drive.SetPort(m_drivePort, PortKind::Drive);
        m_drive.SetPlanner([this] {
            if (m_plans >= kMaxPlans)
                return Plan{};
            ++m_plans;
            return Plan::FromByte(m_script.Last());
        });
        m_drive.SetMeanwhile([this] { Nest(); });
        m_prompts.OnMessage([this](const MessageRequest& message) { OnMessage(message); });

        m_link = kt::fuzz::LinkTo(m_drive, m_prompts);
        m_link->AddObserver(&m_observer);
        m_motor = std::make_unique<ClsKtMotor>(*m_link, m_prompts);
    }

    ~Session() {
        m_link->RemoveObserver(&m_observer);
        m_motor.reset();
        m_link.reset();
        kt::fuzz::DeleteReleasedPorts();
    }

    void Run() {
        const int commands = m_script.Next() % (kMaxCommands + 1);
        for (int i = 0; i < commands; ++i)
            RunCommand();
        CheckHealthy();
    }

private:
    // What the user does while a command runs.
    struct Policy {
        int retries = 0;              // Retry answers before Cancel
        Answer confirm = Answer::Yes; // to "Are you sure?"
        bool nestInQuestions = false; // a command while a box is open
        int nested = 0;               // which command that is
    };

    void RunCommand() {
        const Byte op = m_script.Next() % 8;
        const Byte policy = m_script.Next();
        constexpr Answer kConfirm[] = {Answer::Yes, Answer::No, Answer::Cancel, Answer::Yes};
        m_policy = {policy & 3, kConfirm[(policy >> 2) & 3], (policy & 0x10) != 0, policy >> 5};
        switch (op) {
        case 0:
        case 1:
            SendValid(op == 1);
            break;
        case 2:
            SendInvalid();
            break;
        case 3: {
            const Byte port = Call([&] { return m_link->OpenPort(); }, false);
            KT_FUZZ_CHECK(port == 0 || port == m_drivePort);
            break;
        }
        case 4:
            MotorCommand();
            break;
        case 5:
            Download();
            break;
        case 6:
            Erase();
            break;
        default:
            Monitor();
            break;
        }
    }

    // A command at the top level, with the checks every command gets.
    template <typename Command> Byte Call(Command command, bool isResult = true) {
        const std::size_t bytes = m_drive.BytesWritten();
        const int connections = m_drive.Connections();
        m_first = m_drive.Requests().size();
        m_attempts = m_first;
        m_declined = false;
        ++m_calls;
        const Byte result = command();
        --m_calls;
        if (isResult) {
            KT_FUZZ_CHECK(result <= 4);
            if (result == kt::link::kOutOfRange) {
                KT_FUZZ_CHECK(m_drive.BytesWritten() == bytes);
                KT_FUZZ_CHECK(m_drive.Connections() == connections);
            }
        }
        return result;
    }

    // The requests of the last top-level command, without the background's.
    std::vector<Request> Since() const {
        const auto& all = m_drive.Requests();
        std::vector<Request> mine;
        for (std::size_t i = m_first; i < all.size(); ++i)
            if (!all[i].background)
                mine.push_back(all[i]);
        return mine;
    }

    static bool IsProbe(const Request& request) {
        return request.frame == ScriptedDrive::Frame(false, 0, 282, 2);
    }

    // A decisive reply ends its exchange, so nothing but the search before it
    // and no other request after it; the result is the reply's.
    void CheckDecisive(const std::vector<Request>& requests, Byte result,
                       const QByteArray* readData, bool lastOnly) {
        for (std::size_t i = 0; i < requests.size(); ++i) {
            const Request& request = requests[i];
            if (!request.decisive || IsProbe(request) || request.port != m_drivePort)
                continue;
            const bool last = i + 1 == requests.size();
            if (lastOnly)
                KT_FUZZ_CHECK(last);
            if (!last)
                continue;
            const bool failed = request.plan.action == Plan::LineError ||
                                (!request.write && request.plan.action == Plan::Corrupt);
            KT_FUZZ_CHECK(result == (failed ? kt::link::kFailed : kt::link::kSent));
            if (readData && !failed)
                KT_FUZZ_CHECK(*readData == request.replyData);
        }
    }

    // Whether the drive sent these bytes as a good reply to this request (by
    // default the command's last) at some time. When bytes of earlier replies
    // were about as the command ran, nothing tells them from this reply: a
    // drive that answers both a request and its resend leaves an answer for
    // the next command, and leftovers may even join a short reply into one of
    // the right length. Then only the checksum vouches for the data.
    bool DriveSent(const QByteArray& data, QByteArray frame = {}) const {
        const auto& requests = m_drive.Requests();
        for (std::size_t i = m_first; i < requests.size(); ++i)
            if (requests[i].stray)
                return true;
        if (frame.isEmpty() && requests.size() > m_first)
            frame = requests.back().frame;
        for (const Request& request : requests)
            if (request.replied && request.replyData == data && request.frame == frame)
                return true;
        return false;
    }

    void SendValid(bool write) {
        const Byte fn = m_script.Next() % 8;
        const int address = m_script.Word();
        const Byte count = m_script.Next();
        QByteArray data;
        if (write) {
            const Byte fill = m_script.Next();
            const Byte step = m_script.Next();
            for (int i = 0; i < count; ++i)
                data.append(static_cast<char>(fill + i * step));
        }
        const QByteArray before = write ? data : QByteArray("untouched");
        QByteArray comData = before;
        const Byte result =
            Call([&] { return m_link->SendPacket(fn, address, count, comData, write); });
        KT_FUZZ_CHECK(result <= kt::link::kBusy);

        // Only this request, and the search's, went out.
        const QByteArray frame = ScriptedDrive::Frame(write, fn, address, count, data);
        const std::vector<Request> requests = Since();
        for (const Request& request : requests)
            KT_FUZZ_CHECK(request.frame == frame || IsProbe(request));

        if (!write && result == kt::link::kSent) {
            KT_FUZZ_CHECK(comData.size() == count);
            KT_FUZZ_CHECK(DriveSent(comData, frame));
        } else {
            KT_FUZZ_CHECK(comData == before);
        }
        if (frame != ScriptedDrive::Frame(false, 0, 282, 2))
            CheckDecisive(requests, result, write ? nullptr : &comData, true);
    }

    // Arguments the link cannot send: an address beyond 16 bits, or a write
    // whose data does not match its count.
    void SendInvalid() {
        const Byte kind = m_script.Next();
        constexpr int kAddresses[] = {-1, 65536, 0x7FFFFFFF, -0x7FFFFFFF - 1};
        int address = 62;
        QByteArray data(3, '\x01');
        Byte count = 3;
        if (kind & 4)
            count = static_cast<Byte>(kind >> 3); // rarely 3
        else
            address = kAddresses[kind & 3];
        const QByteArray before = data;
        // Refused or sent, a write's data stays the caller's.
        Call([&] { return m_link->SendPacket(0, address, count, data, (kind & 4) != 0); });
        KT_FUZZ_CHECK(data == before);
    }

    void MotorCommand() {
        const Byte which = m_script.Next() % 32;
        const Byte argument = m_script.Next();
        const Byte value = m_script.Next();
        const Byte number = argument % 10;
        const bool on = (value & 1) != 0;
        const float single = static_cast<float>(static_cast<std::int8_t>(value)) * 0.9f;
        ClsKtMotor& motor = *m_motor;
        using Single = ClsKtMotor::Single;
        using Long = ClsKtMotor::Long;

        constexpr Single kSingleSentinel = -7777.0f;
        constexpr Byte kByteSentinel = 0xA5;
        constexpr Long kLongSentinel = -77777;

        if (which <= 6) {
            Byte (ClsKtMotor::*const reads[])(Single&) = {
                &ClsKtMotor::ReadDecelerationRate, &ClsKtMotor::ReadAccelerationRate,
                &ClsKtMotor::ReadReferenceSpeed,   &ClsKtMotor::ReadCurrentSpeed,
                &ClsKtMotor::ReadBusVolt,          &ClsKtMotor::ReadMotorCurrent,
                &ClsKtMotor::ReadCurrentLimit,
            };
            Single out = kSingleSentinel;
            const Byte result = Call([&] { return (motor.*reads[which])(out); });
            ReadDone(result, result != 0 ? out == kSingleSentinel : out >= 0, nullptr);
        } else if (which <= 8) {
            Byte out = kByteSentinel;
            const Byte result = Call([&] {
                return which == 7 ? motor.ReadReferenceVolt(out) : motor.ReadMotorVolt(out);
            });
            ReadDone(result, result != 0 ? out == kByteSentinel : out <= 100, nullptr);
        } else if (which <= 12) {
            bool bits[8] = {true, false, true, false, true, false, true, false};
            const bool sentinel[8] = {true, false, true, false, true, false, true, false};
            const Byte result = Call([&] {
                switch (which) {
                case 9:
                    return motor.ReadStatus(bits[0], bits[1], bits[2], bits[3], bits[4], bits[5],
                                            bits[6]);
                case 10:
                    return motor.ReadInputs(bits);
                case 11:
                    return motor.ReadFlags(bits);
                default:
                    return motor.ReadOutputs(bits[0], bits[1]);
                }
            });
            ReadDone(result, result != 0 ? std::equal(bits, bits + 8, sentinel) : true, nullptr);
        } else if (which <= 15) {
            Byte out = kByteSentinel;
            const Byte result = Call([&] {
                return which == 13   ? motor.ReadTimer(number, out)
                       : which == 14 ? motor.ReadCounter(number, out)
                                     : motor.ReadError(out);
            });
            const QByteArray got(1, static_cast<char>(out));
            ReadDone(result, result != 0 ? out == kByteSentinel : DriveSent(got), &got);
        } else if (which <= 17) {
            Long out = kLongSentinel;
            const Byte result = Call([&] {
                return which == 16 ? motor.ReadWordCounter(number, out)
                                   : motor.ReadAnalog(number, out);
            });
            const QByteArray got = QByteArray(1, static_cast<char>(out & 0xFF)) +
                                   QByteArray(1, static_cast<char>((out >> 8) & 0xFF));
            const bool ok = out >= 0 && out <= 0xFFFF && DriveSent(got);
            ReadDone(result, result != 0 ? out == kLongSentinel : ok, &got);
        } else {
            Single variable = single;
            const Byte result = Call([&]() -> Byte {
                switch (which) {
                case 18:
                    return motor.WriteCommandForward(on);
                case 19:
                    return motor.WriteCommandReverse(on);
                case 20:
                    return motor.WriteAutoTorque(on);
                case 21:
                    return motor.WriteOutput(number, on);
                case 22:
                    return motor.WriteFlag(number, on);
                case 23:
                    return motor.WriteTimer(number, value);
                case 24:
                    return motor.WriteCounter(number, value);
                case 25:
                    return motor.WriteWordCounter(number, static_cast<std::int8_t>(value) * 1031);
                case 26:
                    return motor.WriteReferenceVolt(value % 128);
                case 27:
                    return motor.WriteCurrentLimit(variable);
                case 28:
                    return motor.WriteAccelerationRate(variable);
                case 29:
                    return motor.WriteDecelerationRate(variable);
                case 30:
                    return motor.WriteReferenceSpeed(variable);
                default: {
                    const Byte port = motor.OpenPort();
                    KT_FUZZ_CHECK(port == 0 || port == m_drivePort);
                    return 0;
                }
                }
            });
            CheckDecisive(Since(), result, nullptr, true);
        }
    }

    void ReadDone(Byte result, bool outOk, const QByteArray* got) {
        KT_FUZZ_CHECK(outOk);
        CheckDecisive(Since(), result, got, true);
    }

    void Download() {
        const Byte size = m_script.Next();
        const Byte fill = m_script.Next();
        constexpr int kSizes[] = {254, 253, 255, 0};
        // Statements, then 0xFF to the end, as a compiled image looks.
        QByteArray image;
        const int length = kSizes[size & 3];
        for (int i = 0; i < length; ++i)
            image.append(static_cast<char>(i < (fill % 128) * 2 ? (i * 7 + fill) & 0xFF : 0xFF));
        const std::size_t shown = m_prompts.Shown().size();
        const std::size_t bytes = m_drive.BytesWritten();
        const Byte result = Call([&] { return m_motor->WriteProgram(image); });
        if (length != 254) {
            KT_FUZZ_CHECK(result == kt::link::kOutOfRange);
            KT_FUZZ_CHECK(m_prompts.Shown().size() == shown);
        }
        Confirmed(result, bytes);
        for (const Request& request : Since()) {
            if (request.fn == 3)
                KT_FUZZ_CHECK(request.write && request.address == 0 && request.data == image);
        }
        // The erase ends before the download: only the last may decide.
        CheckDecisive(Since(), result, nullptr, false);
    }

    void Erase() {
        const std::size_t bytes = m_drive.BytesWritten();
        const Byte result = Call([&] { return m_motor->ProgramErase(); });
        Confirmed(result, bytes);
        CheckDecisive(Since(), result, nullptr, true);
    }

    // Declining the question sends nothing and is no failure.
    void Confirmed(Byte result, std::size_t bytesBefore) {
        if (!m_declined)
            return;
        KT_FUZZ_CHECK(result == kt::link::kSent);
        KT_FUZZ_CHECK(m_drive.BytesWritten() == bytesBefore);
    }

    // Monitoring reads at one address, one after another from each one's
    // completion, or all at once; they go out while later commands wait.
    void Monitor() {
        const int reads = 1 + m_script.Next() % 16;
        const int address = m_script.Word();
        const Byte mode = m_script.Next();
        const Byte count = static_cast<Byte>(1 + (mode & 1));
        if (mode & 2) {
            for (int i = 0; i < reads; ++i)
                SubmitRead(address, count, 1);
        } else {
            SubmitRead(address, count, reads);
        }
    }

    void SubmitRead(int address, Byte count, int left) {
        const int sequence = m_submitted++;
        const std::size_t first = m_drive.Requests().size();
        m_submitting = true;
        m_link->SubmitBackground(
            {0, address, count, {}, false}, &m_context,
            [this, sequence, first, address, count, left](const Completion& done) {
                ReadDone(sequence, first, ScriptedDrive::Frame(false, 0, address, count), count,
                         done);
                if (left > 1)
                    SubmitRead(address, count, left - 1);
            });
        m_submitting = false;
    }

    void ReadDone(int sequence, std::size_t first, const QByteArray& frame, Byte count,
                  const Completion& done) {
        KT_FUZZ_CHECK(!m_submitting);
        KT_FUZZ_CHECK(m_completed.insert(sequence).second);
        KT_FUZZ_CHECK(done.msecs <= m_link->Elapsed());
        if (done.result == kt::link::kNoDrivePort) {
            KT_FUZZ_CHECK(done.data.isEmpty());
            return;
        }
        // Those that went out end in the order they went in.
        KT_FUZZ_CHECK(sequence > m_lastOnWire);
        m_lastOnWire = sequence;
        KT_FUZZ_CHECK(done.result == kt::link::kSent || done.result == kt::link::kFailed);
        if (done.result != kt::link::kSent) {
            KT_FUZZ_CHECK(done.data.isEmpty() && !done.failure.isEmpty());
            return;
        }
        KT_FUZZ_CHECK(done.data.size() == count);
        const auto& requests = m_drive.Requests();
        bool sent = false;
        for (std::size_t i = 0; i < requests.size() && !sent; ++i)
            sent = (i >= first && requests[i].stray) ||
                   (requests[i].replied && requests[i].replyData == done.data &&
                    requests[i].frame == frame);
        KT_FUZZ_CHECK(sent);
    }

    // Tells the drive whose request comes next, and remembers whose exchange
    // the last line error met.
    void Observe(const LinkEvent& event) {
        if (event.kind == LinkEvent::Kind::Request || event.kind == LinkEvent::Kind::Resend) {
            m_drive.MarkNext(event.background);
            m_backgroundLineError = false;
        } else if (event.kind == LinkEvent::Kind::LineError) {
            m_backgroundLineError = event.background;
        }
    }

    // Answers every question as the policy says, and checks what is asked.
    void OnMessage(const MessageRequest& message) {
        if (message.buttons == Buttons::RetryCancel) {
            KT_FUZZ_CHECK(message.text == kRetryQuestion);
            // Only about the user's own exchange, still on the wire.
            KT_FUZZ_CHECK(m_link->OnWire() == Priority::Foreground);
            KT_FUZZ_CHECK(m_link->CurrentPhase() == FrmMotorCom::Phase::AskingUser);
            CheckResent();
            if (m_policy.nestInQuestions)
                Nest();
            const bool retry = m_policy.retries > 0 && m_retries < kMaxRetries;
            if (retry) {
                --m_policy.retries;
                ++m_retries;
            }
            if (retry)
                m_attempts = m_drive.Requests().size();
            m_prompts.Push(retry ? Answer::Retry : Answer::Cancel);
        } else if (message.buttons == Buttons::YesNo) {
            KT_FUZZ_CHECK(message.text == kDownloadQuestion || message.text == kEraseQuestion);
            m_declined = m_policy.confirm != Answer::Yes;
            m_prompts.Push(m_policy.confirm);
        } else {
            KT_FUZZ_CHECK(message.buttons == Buttons::Ok);
            // Never for a background exchange: the monitor says why itself.
            KT_FUZZ_CHECK(!m_backgroundLineError);
            KT_FUZZ_CHECK(m_link->OnWire() != Priority::Background);
            // The raised code on the first line, what it means on the second.
            const QStringList lines = message.text.split(u'\n');
            bool known = false;
            for (const int code : kt::fuzz::kLineErrors)
                known = known || lines[0] == QStringLiteral("CommError ") + QString::number(code);
            KT_FUZZ_CHECK(known);
            KT_FUZZ_CHECK(lines.size() == 2 && !lines[1].isEmpty());
            if (m_policy.nestInQuestions)
                Nest();
            m_prompts.Push(Answer::Ok);
        }
    }

    // The question comes after the request went out five times unanswered,
    // and again after five more for each Retry.
    void CheckResent() const {
        const auto& requests = m_drive.Requests();
        KT_FUZZ_CHECK(requests.size() > m_attempts);
        const Request& last = requests.back();
        if (IsProbe(last))
            return; // the search's requests look the same
        std::size_t run = 0;
        for (std::size_t i = requests.size(); i > m_attempts; --i) {
            if (requests[i - 1].frame != last.frame || requests[i - 1].port != last.port)
                break;
            ++run;
        }
        KT_FUZZ_CHECK(run == FrmMotorCom::kMaxResends + 1);
    }

    // A command issued while another waits: "busy", and nothing on the wire.
    void Nest() {
        if (m_nesting || m_calls == 0)
            return;
        m_nesting = true;
        const bool declined = std::exchange(m_declined, false);
        const std::size_t bytes = m_drive.BytesWritten();
        const int connections = m_drive.Connections();
        ClsKtMotor& motor = *m_motor;
        Byte result = kt::link::kBusy;
        switch (m_policy.nested) {
        case 0: {
            QByteArray data("untouched");
            result = m_link->SendPacket(0, 62, 1, data);
            KT_FUZZ_CHECK(data == "untouched");
            break;
        }
        case 1: {
            QByteArray data(1, '\x01');
            result = m_link->SendPacket(2, 62, 1, data, true);
            break;
        }
        case 2:
            m_link->OpenPort();
            break;
        case 3: {
            bool bits[7] = {true, false, true, false, true, false, true};
            result =
                motor.ReadStatus(bits[0], bits[1], bits[2], bits[3], bits[4], bits[5], bits[6]);
            KT_FUZZ_CHECK(bits[0] && !bits[1] && bits[2] && !bits[3] && bits[4] && !bits[5] &&
                          bits[6]);
            break;
        }
        case 4:
            result = motor.ProgramErase();
            break;
        case 5:
            result = motor.WriteProgram(QByteArray(254, '\xFF'));
            break;
        case 6: {
            Byte data = 0xA5;
            result = motor.ReadTimer(4, data);
            KT_FUZZ_CHECK(result == kt::link::kOutOfRange && data == 0xA5);
            result = kt::link::kBusy;
            break;
        }
        default: {
            float speed = 50.0f;
            result = motor.WriteReferenceSpeed(speed);
            break;
        }
        }
        KT_FUZZ_CHECK(result == kt::link::kBusy || (m_declined && result == kt::link::kSent));
        KT_FUZZ_CHECK(m_drive.BytesWritten() == bytes);
        KT_FUZZ_CHECK(m_drive.Connections() == connections);
        m_declined = declined;
        m_nesting = false;
    }

    // Whatever happened, every background read completes, and a drive that
    // behaves is reached again.
    void CheckHealthy() {
        m_drive.SetPlanner({});
        m_policy = {};
        QElapsedTimer clock;
        clock.start();
        while (static_cast<int>(m_completed.size()) < m_submitted && clock.elapsed() < 20000)
            QCoreApplication::processEvents();
        KT_FUZZ_CHECK(static_cast<int>(m_completed.size()) == m_submitted);
        m_drive.Settle();
        // Bytes left on the line are the line's business, not the link's.
        m_drive.Hush();
        QByteArray data("untouched");
        const Byte result = Call([&] { return m_link->SendPacket(0, 62, 1, data); });
        KT_FUZZ_CHECK(result == kt::link::kSent);
        KT_FUZZ_CHECK(data == QByteArray(1, static_cast<char>(m_drive.Memory(62))));
    }

    Script& m_script;
    const Byte m_header;
    int m_drivePort = 1;
    kt::platform::ScriptedPrompts m_prompts;
    ScriptedDrive m_drive;
    std::unique_ptr<FrmMotorCom> m_link;
    std::unique_ptr<ClsKtMotor> m_motor;

    Policy m_policy;
    int m_plans = 0;
    int m_retries = 0;
    int m_calls = 0;
    bool m_nesting = false;
    bool m_declined = false;
    std::size_t m_first = 0;    // the requests of the command running
    std::size_t m_attempts = 0; // and of its attempts since the last Retry

    // The background reads: how many were submitted, which have completed,
    // the last that went out, and what their completions must not outlive.
    int m_submitted = 0;
    std::set<int> m_completed;
    int m_lastOnWire = -1;
    bool m_submitting = false;
    bool m_backgroundLineError = false;
    QObject m_context;
    struct Observer : kt::link::LinkObserver {
        explicit Observer(Session& session) : m_session(session) {}
        void Observe(const LinkEvent& event) override { m_session.Observe(event); }
        Session& m_session;
    } m_observer{*this};
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    EnsureApplication();
    Script script(data, size);
    Session(script).Run();
    return 0;
}
