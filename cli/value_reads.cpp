#include "cli/value_reads.h"

#include "compiler/number_rules.h"
#include "link/frm_motor_com.h"

#include <map>

namespace kt::cli {

namespace {

using link::ClsKtMotor;
using Byte = ClsKtMotor::Byte;
using Fields = std::vector<ValueField>;
// Reads one value of a channel into fields.
using Reader = std::function<Byte(ClsKtMotor&, Byte channel, Fields&)>;

Fields Plain(std::string value) {
    return {{std::string(), std::move(value)}};
}

Fields Bits(std::initializer_list<std::pair<const char*, bool>> bits) {
    Fields fields;
    for (const auto& [name, on] : bits)
        fields.push_back({name, on ? "1" : "0"});
    return fields;
}

Fields Numbered(const char* name, const bool* values, int count) {
    Fields fields;
    for (int k = 0; k < count; ++k)
        fields.push_back({name + std::to_string(k), values[k] ? "1" : "0"});
    return fields;
}

Reader SingleReader(Byte (ClsKtMotor::*read)(float&)) {
    return [read](ClsKtMotor& m, Byte, Fields& fields) {
        float value = 0;
        const Byte result = (m.*read)(value);
        fields = Plain(compiler::FormatSingle(value));
        return result;
    };
}

Reader ByteReader(Byte (ClsKtMotor::*read)(Byte&)) {
    return [read](ClsKtMotor& m, Byte, Fields& fields) {
        Byte value = 0;
        const Byte result = (m.*read)(value);
        fields = Plain(std::to_string(value));
        return result;
    };
}

template <typename Value> Reader ChannelReader(Byte (ClsKtMotor::*read)(Byte, Value&)) {
    return [read](ClsKtMotor& m, Byte channel, Fields& fields) {
        Value value = 0;
        const Byte result = (m.*read)(channel, value);
        fields = Plain(std::to_string(value));
        return result;
    };
}

struct Named {
    bool numbered;
    Reader read;
};

const std::map<std::string, Named>& Table() {
    static const std::map<std::string, Named> table = {
        {"acceleration-rate", {false, SingleReader(&ClsKtMotor::ReadAccelerationRate)}},
        {"deceleration-rate", {false, SingleReader(&ClsKtMotor::ReadDecelerationRate)}},
        {"reference-speed", {false, SingleReader(&ClsKtMotor::ReadReferenceSpeed)}},
        {"current-speed", {false, SingleReader(&ClsKtMotor::ReadCurrentSpeed)}},
        {"bus-volt", {false, SingleReader(&ClsKtMotor::ReadBusVolt)}},
        {"current-limit", {false, SingleReader(&ClsKtMotor::ReadCurrentLimit)}},
        {"motor-current", {false, SingleReader(&ClsKtMotor::ReadMotorCurrent)}},
        {"reference-volt", {false, ByteReader(&ClsKtMotor::ReadReferenceVolt)}},
        {"motor-volt", {false, ByteReader(&ClsKtMotor::ReadMotorVolt)}},
        {"timer", {true, ChannelReader<Byte>(&ClsKtMotor::ReadTimer)}},
        {"counter", {true, ChannelReader<Byte>(&ClsKtMotor::ReadCounter)}},
        {"word-counter", {true, ChannelReader<std::int32_t>(&ClsKtMotor::ReadWordCounter)}},
        {"analog", {true, ChannelReader<std::int32_t>(&ClsKtMotor::ReadAnalog)}},
        {"status",
         {false,
          [](ClsKtMotor& m, Byte, Fields& fields) {
              bool b[7] = {};
              const Byte result = m.ReadStatus(b[0], b[1], b[2], b[3], b[4], b[5], b[6]);
              fields = Bits({{"Fault", b[0]},
                             {"MotorEnable", b[1]},
                             {"MotorForward", b[2]},
                             {"ProgramRunMode", b[3]},
                             {"AutoTorque", b[4]},
                             {"CommandReverse", b[5]},
                             {"CommandForward", b[6]}});
              return result;
          }}},
        {"inputs",
         {false,
          [](ClsKtMotor& m, Byte, Fields& fields) {
              bool in[8] = {};
              const Byte result = m.ReadInputs(in);
              fields = Numbered("In", in, 8);
              return result;
          }}},
        {"flags",
         {false,
          [](ClsKtMotor& m, Byte, Fields& fields) {
              bool flag[8] = {};
              const Byte result = m.ReadFlags(flag);
              fields = Numbered("Flag", flag, 8);
              return result;
          }}},
        {"outputs",
         {false,
          [](ClsKtMotor& m, Byte, Fields& fields) {
              bool op[2] = {};
              const Byte result = m.ReadOutputs(op[0], op[1]);
              fields = Numbered("Op", op, 2);
              return result;
          }}},
        {"error",
         {false,
          [](ClsKtMotor& m, Byte, Fields& fields) {
              Byte code = 0;
              const Byte result = m.ReadError(code);
              fields = Plain(std::to_string(code) + ": " +
                             ClsKtMotor::ErrorDescription(static_cast<double>(code)).toStdString());
              return result;
          }}},
    };
    return table;
}

std::string Label(const std::string& name, bool numbered, Byte channel) {
    return numbered ? name + ' ' + std::to_string(channel) : name;
}

} // namespace

std::string ValueLine::Text() const {
    std::string text;
    for (const ValueField& field : fields) {
        if (!text.empty())
            text += ' ';
        if (!field.name.empty())
            text.append(field.name).append("=");
        text += field.value;
    }
    return text;
}

std::optional<ValueReads> ValueReads::Parse(const std::vector<std::string>& words,
                                            std::string& error, int& result) {
    ValueReads reads;
    const auto add = [&reads](const std::string& name, Byte channel) {
        const Named& named = Table().at(name);
        const std::string label = Label(name, named.numbered, channel);
        reads.m_labels.push_back(label);
        reads.m_steps.push_back(
            [read = named.read, channel, label](ClsKtMotor& m, std::vector<ValueLine>& lines) {
                ValueLine line{label, {}};
                const Byte code = read(m, channel, line.fields);
                if (code == link::kSent)
                    lines.push_back(std::move(line));
                return code;
            });
    };
    if (words.empty()) {
        error = "name a value to read";
        result = 64;
        return std::nullopt;
    }
    for (std::size_t i = 0; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (word == "all") {
            // The device window's left Read All, in its order.
            for (const char* name : {"acceleration-rate", "deceleration-rate", "reference-speed",
                                     "current-speed", "bus-volt", "current-limit", "motor-current",
                                     "reference-volt", "motor-volt", "status", "error"})
                add(name, 0);
            continue;
        }
        if (word == "all-right") {
            // The right Read All: each word counter, with the two counters
            // that share its bytes shown from it, then timers, analog
            // inputs, flags, outputs and inputs.
            for (Byte k = 0; k < 4; ++k) {
                const std::string label = "word-counter " + std::to_string(k);
                const std::string low = "counter " + std::to_string(2 * k);
                const std::string high = "counter " + std::to_string(2 * k + 1);
                reads.m_labels.insert(reads.m_labels.end(), {label, low, high});
                reads.m_steps.push_back(
                    [k, label, low, high](ClsKtMotor& m, std::vector<ValueLine>& lines) {
                        std::int32_t data = 0;
                        const Byte code = m.ReadWordCounter(k, data);
                        if (code != link::kSent)
                            return code;
                        // Remainder with the sign of data, quotient toward zero.
                        lines.push_back({label, Plain(std::to_string(data))});
                        lines.push_back({low, Plain(std::to_string(data % 256))});
                        lines.push_back({high, Plain(std::to_string(data / 256))});
                        return code;
                    });
            }
            for (Byte k = 0; k < 4; ++k)
                add("timer", k);
            for (Byte k = 0; k < 6; ++k)
                add("analog", k);
            for (const char* name : {"flags", "outputs", "inputs"})
                add(name, 0);
            continue;
        }
        const auto found = Table().find(word);
        if (found == Table().end()) {
            error = "'" + word + "' is not a value to read";
            result = 64;
            return std::nullopt;
        }
        Byte channel = 0;
        if (found->second.numbered) {
            if (i + 1 == words.size()) {
                error = word + " takes a number";
                result = 64;
                return std::nullopt;
            }
            const std::optional<std::uint8_t> number = compiler::TypedByte(words[++i]);
            if (!number) {
                error = word + " " + words[i] + ": argument out of range";
                result = link::kOutOfRange;
                return std::nullopt;
            }
            channel = *number;
        }
        add(word, channel);
    }
    reads.m_single = words.size() <= 2 && reads.m_steps.size() == 1 && words[0] != "all" &&
                     words[0] != "all-right";
    return reads;
}

ValueReads::Byte ValueReads::Run(ClsKtMotor& motor, std::vector<ValueLine>& lines) const {
    for (const Step& step : m_steps) {
        const Byte result = step(motor, lines);
        if (result != link::kSent)
            return result;
    }
    return link::kSent;
}

} // namespace kt::cli
