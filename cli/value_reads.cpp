#include "cli/value_reads.h"

#include "compiler/number_rules.h"
#include "link/frm_motor_com.h"

#include <algorithm>
#include <cctype>

namespace kt::cli {

namespace {

using drivemap::Id;
using drivemap::StatusBit;
using drivemap::ValueRef;
using link::ClsKtMotor;
using Byte = ClsKtMotor::Byte;

template <typename Value>
Byte Plain(Byte (ClsKtMotor::*read)(Value&), ClsKtMotor& m, double& reading) {
    Value value{};
    const Byte result = (m.*read)(value);
    reading = static_cast<double>(value);
    return result;
}

template <typename Value>
Byte Numbered(Byte (ClsKtMotor::*read)(Byte, Value&), ClsKtMotor& m, Byte channel,
              double& reading) {
    Value value{};
    const Byte result = (m.*read)(channel, value);
    reading = static_cast<double>(value);
    return result;
}

// A group's bits, bit k at place k, as its byte.
template <std::size_t N> double ByteOf(const bool (&bits)[N]) {
    unsigned byte = 0;
    for (std::size_t k = 0; k < N; ++k)
        byte |= bits[k] ? 1u << k : 0u;
    return byte;
}

Byte ReadStatus(ClsKtMotor& m, double& reading) {
    bool b[7] = {};
    const Byte result = m.ReadStatus(b[0], b[1], b[2], b[3], b[4], b[5], b[6]);
    // In the order of the command set's arguments.
    const StatusBit order[7] = {StatusBit::Fault,         StatusBit::MotorEnable,
                                StatusBit::MotorForward,  StatusBit::ProgramRunMode,
                                StatusBit::AutoTorque,    StatusBit::CommandReverse,
                                StatusBit::CommandForward};
    unsigned byte = 0;
    for (int k = 0; k < 7; ++k)
        byte |= b[k] ? drivemap::Mask(order[k]) : 0u;
    reading = byte;
    return result;
}

// A value with no function of its own, read as the command set reads: the
// catalogue's address and size, a reply of that size only.
Byte ReadOverLink(link::FrmMotorCom* link, const ValueRef& ref, double& reading) {
    if (!link)
        return link::kOutOfRange;
    QByteArray data;
    const Byte result = link->SendPacket(drivemap::kAccess, ref.Address(), ref.value->size, data);
    if (result != link::kSent)
        return result;
    if (data.size() != ref.value->size)
        return link::kFailed;
    reading = drivemap::Decode(
        *ref.value, {reinterpret_cast<const std::uint8_t*>(data.constData()), ref.value->size});
    return result;
}

// A whole value or channel through the command set's function for it.
Byte ReadWhole(ClsKtMotor& m, link::FrmMotorCom* link, const ValueRef& ref, double& reading) {
    const auto channel = static_cast<Byte>(std::max(ref.channel, 0));
    switch (ref.value->id) {
    case Id::Outputs: {
        bool op[2] = {};
        const Byte result = m.ReadOutputs(op[0], op[1]);
        reading = ByteOf(op);
        return result;
    }
    case Id::Inputs: {
        bool in[8] = {};
        const Byte result = m.ReadInputs(in);
        reading = ByteOf(in);
        return result;
    }
    case Id::Flags: {
        bool flag[8] = {};
        const Byte result = m.ReadFlags(flag);
        reading = ByteOf(flag);
        return result;
    }
    case Id::Status:
        return ReadStatus(m, reading);
    case Id::Timer:
        return Numbered<Byte>(&ClsKtMotor::ReadTimer, m, channel, reading);
    case Id::Counter:
        return Numbered<Byte>(&ClsKtMotor::ReadCounter, m, channel, reading);
    case Id::WordCounter:
        return Numbered<ClsKtMotor::Long>(&ClsKtMotor::ReadWordCounter, m, channel, reading);
    case Id::Analog:
        return Numbered<ClsKtMotor::Long>(&ClsKtMotor::ReadAnalog, m, channel, reading);
    case Id::CurrentSpeed:
        return Plain<float>(&ClsKtMotor::ReadCurrentSpeed, m, reading);
    case Id::AccelerationRate:
        return Plain<float>(&ClsKtMotor::ReadAccelerationRate, m, reading);
    case Id::DecelerationRate:
        return Plain<float>(&ClsKtMotor::ReadDecelerationRate, m, reading);
    case Id::ReferenceSpeed:
        return Plain<float>(&ClsKtMotor::ReadReferenceSpeed, m, reading);
    case Id::BusVolt:
        return Plain<float>(&ClsKtMotor::ReadBusVolt, m, reading);
    case Id::MotorCurrent:
        return Plain<float>(&ClsKtMotor::ReadMotorCurrent, m, reading);
    case Id::CurrentLimit:
        return Plain<float>(&ClsKtMotor::ReadCurrentLimit, m, reading);
    case Id::ReferenceVolt:
        return Plain<Byte>(&ClsKtMotor::ReadReferenceVolt, m, reading);
    case Id::MotorVolt:
        return Plain<Byte>(&ClsKtMotor::ReadMotorVolt, m, reading);
    case Id::Error:
        return Plain<Byte>(&ClsKtMotor::ReadError, m, reading);
    case Id::Identification:
        break;
    }
    return ReadOverLink(link, ref, reading);
}

Byte Read(ClsKtMotor& m, link::FrmMotorCom* link, const ValueRef& ref, double& reading) {
    if (ref.bit == ValueRef::kWhole)
        return ReadWhole(m, link, ref, reading);
    double byte = 0;
    const Byte result = ReadWhole(m, link, {ref.value}, byte);
    reading = static_cast<unsigned>(byte) >> ref.bit & 1;
    return result;
}

ValueRef Of(Id id, int channel = ValueRef::kWhole) {
    return {&drivemap::At(id), channel};
}

bool Digits(const std::string& word) {
    return !word.empty() && std::all_of(word.begin(), word.end(), [](char c) {
        return std::isdigit(static_cast<unsigned char>(c)) != 0;
    });
}

} // namespace

std::string IndexRefusal(const drivemap::DriveValue& value, const std::string& index, int& result) {
    std::string range = std::string(value.name);
    if (value.channels > 0 || value.bits.front().name.find('.') != std::string_view::npos) {
        range += value.channels > 0 ? " takes an index" : " takes a bit";
        range += " of 0 to " + std::to_string(drivemap::Channels(value.id) - 1);
    } else {
        // Bits with names of their own ("Fault") have no numbers.
        range += " takes the name of a bit:";
        for (const drivemap::Bit& bit : value.bits)
            range.append(" ").append(bit.name);
    }
    const bool negative = index.size() > 1 && index[0] == '-';
    if (Digits(negative ? index.substr(1) : index)) {
        result = link::kOutOfRange;
        return range + ", not " + index;
    }
    result = 64;
    return "'" + index + "' is not " +
           (compiler::TypedSingle(index) ? "a whole number" : "a number") + "; " + range;
}

void ValueReads::Add(const ValueRef& ref) {
    m_steps.push_back({ref});
    m_values.push_back(ref);
}

std::optional<ValueReads> ValueReads::Parse(const std::vector<std::string>& words,
                                            std::string& error, int& result) {
    ValueReads reads;
    if (words.empty()) {
        error = "name a value to read";
        result = 64;
        return std::nullopt;
    }
    int names = 0;
    bool readAll = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word == "all") {
            // The device window's left Read All, in its order.
            for (const Id id : {Id::AccelerationRate, Id::DecelerationRate, Id::ReferenceSpeed,
                                Id::CurrentSpeed, Id::BusVolt, Id::CurrentLimit, Id::MotorCurrent,
                                Id::ReferenceVolt, Id::MotorVolt, Id::Status, Id::Error})
                reads.Add(Of(id));
            readAll = true;
            continue;
        }
        if (word == "all-right") {
            // The right Read All: each word counter, with the two counters
            // that share its bytes shown from it, then timers, analog
            // inputs, flags, outputs and inputs.
            for (int k = 0; k < drivemap::Channels(Id::WordCounter); ++k) {
                reads.m_steps.push_back({Of(Id::WordCounter, k), true});
                reads.m_values.insert(
                    reads.m_values.end(),
                    {Of(Id::WordCounter, k), Of(Id::Counter, 2 * k), Of(Id::Counter, 2 * k + 1)});
            }
            for (int k = 0; k < drivemap::Channels(Id::Timer); ++k)
                reads.Add(Of(Id::Timer, k));
            for (int k = 0; k < drivemap::Channels(Id::Analog); ++k)
                reads.Add(Of(Id::Analog, k));
            for (const Id id : {Id::Flags, Id::Outputs, Id::Inputs})
                reads.Add(Of(id));
            readAll = true;
            continue;
        }
        std::optional<ValueRef> ref = drivemap::Find(word);
        if (!ref) {
            error = "'" + word + "' is not a value to read";
            result = 64;
            return std::nullopt;
        }
        // "counter 3", "flag 2": a channel or bit as the next word.
        const bool group = ref->value->kind == drivemap::Kind::Bits &&
                           ref->bit == ValueRef::kWhole && i + 1 < words.size() &&
                           Digits(words[i + 1]);
        if (ref->Family() || group) {
            if (i + 1 == words.size()) {
                error = word + " takes a number";
                result = 64;
                return std::nullopt;
            }
            const drivemap::DriveValue& value = *ref->value;
            ref = drivemap::Find(word + ' ' + words[++i]);
            if (!ref) {
                error = IndexRefusal(value, words[i], result);
                return std::nullopt;
            }
        }
        reads.Add(*ref);
        ++names;
    }
    reads.m_single = names == 1 && !readAll;
    return reads;
}

ValueReads::Byte ValueReads::Run(ClsKtMotor& motor, link::FrmMotorCom& link,
                                 std::vector<ValueLine>& lines) const {
    return Run(motor, &link, lines);
}

ValueReads::Byte ValueReads::Run(ClsKtMotor& motor, std::vector<ValueLine>& lines) const {
    return Run(motor, nullptr, lines);
}

ValueReads::Byte ValueReads::Run(ClsKtMotor& motor, link::FrmMotorCom* link,
                                 std::vector<ValueLine>& lines) const {
    for (const Step& step : m_steps) {
        double reading = 0;
        const Byte result = Read(motor, link, step.ref, reading);
        if (result != link::kSent)
            return result;
        lines.push_back({step.ref, reading});
        if (step.withCounters) {
            // Remainder with the sign of the word, quotient toward zero.
            const auto word = static_cast<long>(reading);
            lines.push_back({Of(Id::Counter, 2 * step.ref.channel), double(word % 256)});
            lines.push_back({Of(Id::Counter, 2 * step.ref.channel + 1), double(word / 256)});
        }
    }
    return link::kSent;
}

} // namespace kt::cli
