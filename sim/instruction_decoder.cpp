#include "sim/instruction_decoder.h"

#include "compiler/instruction_table.h"
#include "compiler/line_compiler.h"
#include "compiler/number_rules.h"
#include "drivemap/drive_catalogue.h"

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>

namespace kt::sim {

namespace {

using Words = std::vector<std::string_view>;

Words SplitWords(std::string_view text) {
    Words words;
    std::size_t start = 0;
    while (start < text.size()) {
        const std::size_t blank = text.find(' ', start);
        const std::size_t end = blank == std::string_view::npos ? text.size() : blank;
        if (end > start)
            words.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return words;
}

// The kind follows from the row's limit and rule alone, so the operand is
// read the way the compiler built it.
OperandKind KindOf(const compiler::TemplateFields& fields) {
    if (fields.TemplateLimit[0] == compiler::kTenthsLimit)
        return OperandKind::Tenths;
    if (fields.TemplateLimit[1] != 0 || !fields.TemplateRule[1].empty())
        return OperandKind::WordAnalog;
    const std::string& rule = fields.TemplateRule[0];
    if (!rule.empty() && rule.front() == '+')
        return OperandKind::Bit;
    if (rule == "*2")
        return OperandKind::WordOffset;
    if (!rule.empty())
        return OperandKind::Constant; // a scaled value
    if (fields.TemplateLimit[0] == 0 && fields.TemplateTail.empty())
        return OperandKind::None;
    if (fields.TemplateLimit[0] == 255)
        return OperandKind::Constant;
    return OperandKind::Index;
}

struct NamedValue {
    std::uint16_t address;
    bool isByte; // a byte with a 0 above it: percent, current steps
};

// A word the templates name ("AccelerateRate", "Volt%", "WordCounter0").
std::optional<NamedValue> FindNamed(std::string_view name) {
    const std::optional<drivemap::ValueRef> ref = drivemap::Find(name);
    if (!ref || ref->bit != drivemap::ValueRef::kWhole || ref->Family() || ref->value->size != 2)
        return std::nullopt;
    const drivemap::Scaling scaling = ref->value->scaling;
    return NamedValue{ref->Address(), scaling == drivemap::Scaling::Percent ||
                                          scaling == drivemap::Scaling::CurrentStep};
}

// "Counter5" with prefix "Counter" and at most 7 gives 5.
std::optional<std::uint8_t> Numbered(std::string_view word, std::string_view prefix, int most) {
    if (word.size() != prefix.size() + 1 || !word.starts_with(prefix))
        return std::nullopt;
    const int digit = word.back() - '0';
    if (digit < 0 || digit > most)
        return std::nullopt;
    return static_cast<std::uint8_t>(digit);
}

std::optional<Compare> CompareOf(std::string_view word) {
    if (word == "=")
        return Compare::Equal;
    if (word == ">=")
        return Compare::AtLeast;
    if (word == "<")
        return Compare::Less;
    if (word == "<>")
        return Compare::NotEqual;
    return std::nullopt;
}

std::optional<Logic> LogicOf(std::string_view word) {
    if (word == "And")
        return Logic::And;
    if (word == "=")
        return Logic::Set;
    if (word == "Or")
        return Logic::Or;
    if (word == "Xor")
        return Logic::Xor;
    return std::nullopt;
}

// The condition after "If" or "Do Until".
bool ClassifyCondition(const Words& c, Instruction& in) {
    const OperandKind kind = in.operand;
    if (c.size() == 2 && c[1] == "Input." && kind == OperandKind::Index) {
        if (c[0] == "ClickedToFalse")
            in.condition = Condition::ClickedToFalse;
        else if (c[0] == "ClickedToTrue")
            in.condition = Condition::ClickedToTrue;
        return in.condition != Condition::None;
    }
    if (!c.empty() && (c[0] == "Counter0" || c[0] == "WordCounter0") && c.size() >= 2) {
        const auto compare = CompareOf(c[1]);
        if (!compare)
            return false;
        in.compare = *compare;
        if (c[0] == "Counter0" && c.size() == 2 && kind == OperandKind::Constant)
            in.condition = Condition::CounterConstant;
        else if (c[0] == "Counter0" && c.size() == 3 && c[2] == "Counter." &&
                 kind == OperandKind::Index)
            in.condition = Condition::CounterCounter;
        else if (c[0] == "WordCounter0" && c.size() == 3 && c[2] == "WordCounter." &&
                 kind == OperandKind::WordOffset)
            in.condition = Condition::WordWord;
        return in.condition != Condition::None;
    }
    // Any other condition names a bit; the rule has already placed it.
    if (kind == OperandKind::Bit && !c.empty()) {
        in.condition = Condition::Bit;
        return true;
    }
    return false;
}

std::optional<Instruction> Classify(const compiler::TemplateFields& fields) {
    Instruction in;
    in.operand = KindOf(fields);
    const Words w = SplitWords(fields.TemplateText);
    if (w.empty())
        return std::nullopt;
    // Input bits sit at class offset 0, so their rows need no rule; an input
    // is a plain index only where a click is watched.
    if (in.operand == OperandKind::Index && w.back() == "Input." &&
        !(w.size() >= 2 && w[w.size() - 2].starts_with("ClickedTo")))
        in.operand = OperandKind::Bit;
    const OperandKind kind = in.operand;
    const auto is = [&](std::initializer_list<std::string_view> words) {
        return std::equal(w.begin(), w.end(), words.begin(), words.end());
    };
    const auto done = [&](Action action) -> std::optional<Instruction> {
        in.action = action;
        return in;
    };

    if (kind == OperandKind::None) {
        if (is({"Do"}))
            return done(Action::Do);
        if (is({"Else"}))
            return done(Action::Else);
        if (is({"End", "If"}))
            return done(Action::EndIf);
        if (is({"Loop"}))
            return done(Action::Loop);
        if (is({"Reset", "Program"}))
            return done(Action::ResetProgram);
        return std::nullopt;
    }
    if (w[0] == "If")
        return ClassifyCondition(Words(w.begin() + 1, w.end()), in) ? done(Action::If)
                                                                    : std::nullopt;
    if (w.size() >= 2 && w[0] == "Do" && w[1] == "Until")
        return ClassifyCondition(Words(w.begin() + 2, w.end()), in) ? done(Action::DoUntil)
                                                                    : std::nullopt;

    if (kind == OperandKind::Bit) {
        if (w.size() == 3 && w[1] == "=" && w[0] != "Flag0") {
            if (w[2] == "False")
                in.bitValue = BitValue::False;
            else if (w[2] == "Flag0")
                in.bitValue = BitValue::Flag0;
            else if (w[2] == "True")
                in.bitValue = BitValue::True;
            else
                return std::nullopt;
            return done(Action::AssignBit);
        }
        if (w.size() >= 3 && w[0] == "Flag0") {
            const auto logic = LogicOf(w[1]);
            if (!logic)
                return std::nullopt;
            in.logic = *logic;
            return done(Action::FlagLogic);
        }
        return std::nullopt;
    }

    if (w[0] == "Counter0" && w.size() >= 2) {
        if (const auto logic = LogicOf(w[1]); logic && *logic != Logic::Set) {
            in.logic = *logic;
            in.fromCounter = w.size() == 3 && w[2] == "Counter.";
            const bool fits = in.fromCounter ? kind == OperandKind::Index
                                             : w.size() == 2 && kind == OperandKind::Constant;
            return fits ? done(Action::CounterLogic) : std::nullopt;
        }
        if (is({"Counter0", "=", "Counter."}) && kind == OperandKind::Index)
            return done(Action::CounterToCounter0);
    }
    if (const auto k = Numbered(w[0], "Counter", drivemap::Channels(drivemap::Id::Counter) - 1);
        k && w.size() == 2 && w[1] == "=" && kind == OperandKind::Constant) {
        in.number = *k;
        return done(Action::SetCounter);
    }
    if (kind == OperandKind::Index && is({"Counter.", "=", "Counter0"}))
        return done(Action::Counter0ToCounter);
    if (kind == OperandKind::Index && is({"Counter.", "=", "InputByte"}))
        return done(Action::InputByteToCounter);

    if (const auto n =
            Numbered(w[0], "TriggerTimer", drivemap::Channels(drivemap::Id::Timer) - 1)) {
        in.number = *n;
        in.fromCounter = w.size() == 3 && w[1] == "By" && w[2] == "Counter.";
        const bool fits = in.fromCounter ? kind == OperandKind::Index
                                         : w.size() == 1 && kind == OperandKind::Constant;
        return fits ? done(Action::TriggerTimer) : std::nullopt;
    }
    if (const auto n =
            Numbered(w[0], "WordCounter", drivemap::Channels(drivemap::Id::WordCounter) - 1);
        n && w.size() == 4 && w[1] == "=" && w[2] == w[0] && kind == OperandKind::Constant &&
        (w[3] == "+" || w[3] == "-")) {
        in.number = *n;
        in.subtract = w[3] == "-";
        return done(Action::AddToWordCounter);
    }
    if (w.size() == 3 && w[0] == "WordCounter." && w[1] == "=") {
        if (w[2] == "Analog." && kind == OperandKind::WordAnalog)
            return done(Action::AnalogToWordCounter);
        const std::optional<NamedValue> source = FindNamed(w[2]);
        if (!source || source->isByte || kind != OperandKind::WordOffset)
            return std::nullopt;
        in.address = source->address;
        return done(Action::WordToWordCounter);
    }

    const std::optional<NamedValue> target = FindNamed(w[0]);
    if (!target || w.size() < 2 || w[1] != "=")
        return std::nullopt;
    in.address = target->address;
    if (w.size() == 2 && kind == OperandKind::Tenths && !target->isByte)
        return done(Action::SetTenths);
    if (w.size() == 2 && kind == OperandKind::Constant && target->isByte)
        return done(Action::SetByte);
    if (is({w[0], "=", "WordCounter."}) && kind == OperandKind::WordOffset && !target->isByte)
        return done(Action::WordCounterToWord);
    return std::nullopt;
}

bool StatusBitWritable(int index) {
    const auto& bits = drivemap::At(drivemap::Id::Status).bits;
    return std::any_of(bits.begin(), bits.end(), [&](const drivemap::Bit& bit) {
        return bit.index == index && bit.writable;
    });
}

bool SameMeaning(const Instruction& a, const Instruction& b) {
    return a.action == b.action && a.operand == b.operand && a.condition == b.condition &&
           a.compare == b.compare && a.logic == b.logic && a.bitValue == b.bitValue &&
           a.fromCounter == b.fromCounter && a.subtract == b.subtract && a.number == b.number &&
           a.address == b.address;
}

} // namespace

const InstructionDecoder& InstructionDecoder::Instance() {
    static const InstructionDecoder decoder;
    return decoder;
}

InstructionDecoder::InstructionDecoder() {
    for (int row = 0; row < compiler::kInstructionCount; ++row) {
        const compiler::TemplateFields fields = compiler::SplitTemplate(row);
        std::optional<Instruction> meaning = Classify(fields);
        if (!meaning) {
            m_unclassified.push_back(row);
            continue;
        }
        meaning->row = row;
        // A tenths row's value raises its opcode by the high part, 0 to 3.
        const int spread = meaning->operand == OperandKind::Tenths ? 4 : 1;
        for (int high = 0; high < spread; ++high) {
            const int opcode = fields.StatementCode[0] + high;
            if (opcode > 255) {
                m_conflicting.push_back(row);
                break;
            }
            Instruction instruction = *meaning;
            instruction.number = spread > 1 ? static_cast<std::uint8_t>(high) : meaning->number;
            Instruction& slot = m_instructions[static_cast<std::size_t>(opcode)];
            if (slot.action == Action::Unknown)
                slot = instruction;
            else if (!SameMeaning(slot, instruction))
                m_conflicting.push_back(row);
        }
    }
}

bool InstructionDecoder::DecodeBit(std::uint8_t operand, BitOperand& bit) {
    bit = BitOperand{};
    bit.inverted = (operand & 0x80) != 0;
    const int index = operand & 0x07;
    bit.mask = static_cast<std::uint8_t>(1u << index);
    switch ((operand & 0x7F) >> 3) {
    case 0:
        bit.address = drivemap::Address(drivemap::Id::Inputs);
        return true;
    case 1:
        bit.address = drivemap::Address(drivemap::Id::Outputs);
        bit.writable = !bit.inverted;
        return true;
    case 2:
        bit.address = drivemap::Address(drivemap::Id::Flags);
        bit.writable = !bit.inverted;
        return true;
    case 3:
        // Only the command bits belong to the program; the rest report.
        bit.address = drivemap::Address(drivemap::Id::Status);
        bit.writable = !bit.inverted && StatusBitWritable(index);
        return true;
    case 4:
        bit.timerFlag = true;
        return index < drivemap::Channels(drivemap::Id::Timer);
    default:
        return false;
    }
}

bool InstructionDecoder::OperandValid(const Instruction& instruction, std::uint8_t operand) const {
    switch (instruction.operand) {
    case OperandKind::None:
    case OperandKind::Constant:
    case OperandKind::Tenths:
        return true;
    case OperandKind::Index:
        return operand <= 7;
    case OperandKind::WordOffset:
        return operand <= 2 * (drivemap::Channels(drivemap::Id::WordCounter) - 1);
    case OperandKind::WordAnalog:
        return (operand & 0x1F) <= 2 * (drivemap::Channels(drivemap::Id::WordCounter) - 1) &&
               (operand >> 5) < drivemap::Channels(drivemap::Id::Analog);
    case OperandKind::Bit: {
        BitOperand bit;
        if (!DecodeBit(operand, bit))
            return false;
        return instruction.action != Action::AssignBit || bit.writable;
    }
    }
    return false;
}

} // namespace kt::sim
