// Any typed text into a drive value, the way the device window and the
// command line take it: the number rules turn the text into a Single, a byte
// or a whole number, and the command set writes it to a drive that always
// answers. Each write is refused with 4 and nothing sent, or sends one
// well-formed request whose bytes are in the value's range at the value's
// address.
//
// Layout: [which value] [channel] then the text.
#include "compiler/number_rules.h"
#include "fuzz_check.h"
#include "link/cls_kt_motor.h"
#include "link/frm_motor_com.h"
#include "platform/scripted_prompts.h"
#include "scripted_drive.h"

#include <QCoreApplication>

#include <cmath>
#include <cstdint>
#include <optional>
#include <string>

namespace {

using kt::fuzz::PortKind;
using kt::fuzz::Request;
using kt::fuzz::ScriptedDrive;
using kt::link::ClsKtMotor;
using kt::link::FrmMotorCom;
using Byte = std::uint8_t;

std::string Trimmed(const std::string& text) {
    const std::size_t begin = text.find_first_not_of(" \t");
    if (begin == std::string::npos)
        return {};
    return text.substr(begin, text.find_last_not_of(" \t") - begin + 1);
}

// As the callers turn text into whole numbers: rounded half to even, then
// checked against the range the box allows.
std::optional<long long> ToWhole(const std::string& text, double low, double high) {
    const std::optional<double> value = kt::compiler::ParseNumber(Trimmed(text));
    if (!value)
        return std::nullopt;
    const double rounded = kt::compiler::RoundHalfEven(*value);
    if (rounded < low || rounded > high)
        return std::nullopt;
    return static_cast<long long>(rounded);
}

class Session {
public:
    Session() : m_drive(0) {
        m_drive.SetPort(1, PortKind::Drive);
        // A healthy drive never makes the link ask anything.
        m_prompts.OnMessage([](const kt::platform::MessageRequest&) { KT_FUZZ_CHECK(false); });
        m_link = kt::fuzz::LinkTo(m_drive, m_prompts);
        m_motor = std::make_unique<ClsKtMotor>(*m_link, m_prompts);
    }
    ~Session() {
        m_motor.reset();
        m_link.reset();
        kt::fuzz::DeleteReleasedPorts();
    }

    void Run(Byte which, Byte channel, const std::string& text) {
        switch (which % 13) {
        case 0:
            Tenths(&ClsKtMotor::WriteAccelerationRate, 274, text);
            break;
        case 1:
            Tenths(&ClsKtMotor::WriteDecelerationRate, 272, text);
            break;
        case 2:
            Tenths(&ClsKtMotor::WriteReferenceSpeed, 276, text);
            break;
        case 3:
            Current(text);
            break;
        case 4:
            if (const auto volt = ToWhole(text, 0, 255)) {
                const auto byte = static_cast<Byte>(*volt);
                Expect(m_motor->WriteReferenceVolt(byte), byte <= 100, 0, 278,
                       {byte * 255 / 100, 0});
            }
            break;
        case 5:
            if (const auto value = ToWhole(text, 0, 255))
                Expect(m_motor->WriteCounter(channel, static_cast<Byte>(*value)), channel <= 7, 0,
                       288 + channel, {static_cast<int>(*value)});
            break;
        case 6:
            if (const auto value = ToWhole(text, 0, 255))
                Expect(m_motor->WriteTimer(channel, static_cast<Byte>(*value)), channel <= 3, 0,
                       7 + channel, {static_cast<int>(*value)});
            break;
        case 7:
            if (const auto value = ToWhole(text, -2147483648.0, 2147483647.0)) {
                const auto count = static_cast<std::int32_t>(*value);
                Expect(m_motor->WriteWordCounter(channel, count),
                       channel <= 3 && count >= 0 && count <= 65535, 0, 288 + 2 * channel,
                       {count % 256, count / 256});
            }
            break;
        case 8:
        case 9: {
            if (text != "on" && text != "off")
                break;
            const bool on = text == "on";
            const bool flag = which % 13 == 8;
            const Byte result =
                flag ? m_motor->WriteFlag(channel, on) : m_motor->WriteOutput(channel, on);
            const int mask = 1 << (channel & 7);
            Expect(result, channel <= (flag ? 7 : 1), on ? 2 : 1, flag ? 74 : 5,
                   {on ? mask : 255 - mask});
            break;
        }
        default: {
            // The three command bits of the status byte.
            if (text != "on" && text != "off")
                break;
            const bool on = text == "on";
            Byte (ClsKtMotor::*const writes[])(bool) = {&ClsKtMotor::WriteCommandForward,
                                                        &ClsKtMotor::WriteCommandReverse,
                                                        &ClsKtMotor::WriteAutoTorque};
            const int bit = which % 13 - 10;
            const int mask = 1 << bit;
            Expect((m_motor.get()->*writes[bit])(on), true, on ? 2 : 1, 62,
                   {on ? mask : 255 - mask});
            break;
        }
        }
    }

private:
    void Tenths(Byte (ClsKtMotor::*write)(float&), int address, const std::string& text) {
        const std::optional<float> value = kt::compiler::ParseSingle(Trimmed(text));
        if (!value)
            return;
        float variable = *value;
        const Byte result = (m_motor.get()->*write)(variable);
        const QByteArray data = Sent(result, address);
        if (result == kt::link::kOutOfRange) {
            KT_FUZZ_CHECK(*value < 0);
            return;
        }
        // Up to 102.1, in tenths rounded; above it, 102.1 in the caller's variable too.
        const float capped = *value > 102.1f ? 102.1f : *value;
        KT_FUZZ_CHECK(variable == capped);
        KT_FUZZ_CHECK(data.size() == 2);
        const int tenths = Word(data);
        KT_FUZZ_CHECK(tenths <= 1021);
        KT_FUZZ_CHECK(std::fabs(tenths - static_cast<double>(capped) * 10.0) <= 0.5 + 1e-9);
    }

    void Current(const std::string& text) {
        const std::optional<float> value = kt::compiler::ParseSingle(Trimmed(text));
        if (!value)
            return;
        float variable = *value;
        const Byte result = m_motor->WriteCurrentLimit(variable);
        const QByteArray data = Sent(result, 280);
        if (result == kt::link::kOutOfRange) {
            KT_FUZZ_CHECK(*value < 0);
            return;
        }
        // Steps of 0.255, counted down from the value in thousandths; 65 at most.
        const float capped = *value > 65.0f ? 65.0f : *value;
        KT_FUZZ_CHECK(variable == capped);
        KT_FUZZ_CHECK(data.size() == 2 && data[1] == '\0');
        const int step = static_cast<std::uint8_t>(data[0]);
        const double thousandths = static_cast<double>(capped) * 1000.0;
        KT_FUZZ_CHECK(step <= 254);
        KT_FUZZ_CHECK(step * 255 <= thousandths + 0.5 && thousandths - 0.5 < (step + 1) * 255);
    }

    // Refused with nothing sent, or sent as exactly this request.
    void Expect(Byte result, bool inRange, std::uint8_t fn, int address,
                std::initializer_list<int> bytes) {
        if (!inRange) {
            KT_FUZZ_CHECK(result == kt::link::kOutOfRange);
            Sent(result, address);
            return;
        }
        const QByteArray data = Sent(result, address, fn);
        QByteArray expected;
        for (const int byte : bytes) {
            KT_FUZZ_CHECK(byte >= 0 && byte <= 255);
            expected.append(static_cast<char>(byte));
        }
        KT_FUZZ_CHECK(data == expected);
    }

    // The data of the one write that went out, after the search's probe.
    QByteArray Sent(Byte result, int address, std::uint8_t fn = 0) {
        const std::vector<Request>& requests = m_drive.Requests();
        if (result == kt::link::kOutOfRange) {
            KT_FUZZ_CHECK(m_drive.BytesWritten() == 0 && m_drive.Connections() == 0);
            return {};
        }
        KT_FUZZ_CHECK(result == kt::link::kSent);
        KT_FUZZ_CHECK(requests.size() == 2);
        KT_FUZZ_CHECK(requests[0].frame == ScriptedDrive::Frame(false, 0, 282, 2));
        const Request& write = requests[1];
        KT_FUZZ_CHECK(write.write && write.fn == fn && write.address == address);
        KT_FUZZ_CHECK(write.frame ==
                      ScriptedDrive::Frame(true, fn, address, write.count, write.data));
        return write.data;
    }

    static int Word(const QByteArray& data) {
        return static_cast<std::uint8_t>(data[0]) | (static_cast<std::uint8_t>(data[1]) << 8);
    }

    kt::platform::ScriptedPrompts m_prompts;
    ScriptedDrive m_drive;
    std::unique_ptr<FrmMotorCom> m_link;
    std::unique_ptr<ClsKtMotor> m_motor;
};

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2 || size > 64)
        return 0;
    EnsureApplication();
    const std::string text(reinterpret_cast<const char*>(data + 2), size - 2);
    Session().Run(data[0], data[1], text);
    return 0;
}
