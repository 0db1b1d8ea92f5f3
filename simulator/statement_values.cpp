#include "simulator/statement_values.h"

#include "sim/instruction_decoder.h"

#include <algorithm>
#include <bit>
#include <optional>

namespace kt::simulator {

namespace {

using drivemap::Id;
using drivemap::ValueRef;
using sim::Action;
using sim::Condition;

std::optional<StatementValue> Channel(Id id, int n) {
    if (n < 0 || n >= drivemap::Channels(id))
        return std::nullopt;
    return StatementValue{{&drivemap::At(id), n}};
}

std::optional<StatementValue> OfBit(std::uint8_t operand) {
    sim::BitOperand bit;
    if (!sim::InstructionDecoder::DecodeBit(operand, bit))
        return std::nullopt;
    const int place = std::countr_zero(bit.mask);
    if (bit.timerFlag)
        return StatementValue{{}, place};
    const std::optional<ValueRef> group = drivemap::Holding(bit.address);
    if (!group)
        return std::nullopt;
    return StatementValue{{group->value, ValueRef::kWhole, place}};
}

// The word an instruction names by address (ReferenceSpeed, CurrentLimit).
std::optional<StatementValue> OfWord(std::uint16_t address) {
    const std::optional<ValueRef> ref = drivemap::AtAddress(address, 2);
    if (!ref)
        return std::nullopt;
    return StatementValue{*ref};
}

} // namespace

std::vector<StatementValue> StatementValues(std::uint8_t opcode, std::uint8_t operand) {
    const sim::Instruction& in = sim::InstructionDecoder::Instance().At(opcode);
    std::vector<StatementValue> values;
    const auto add = [&values](const std::optional<StatementValue>& value) {
        if (value && std::ranges::find(values, *value) == values.end())
            values.push_back(*value);
    };
    const auto counter = [](int n) { return Channel(Id::Counter, n); };
    // Word counter operands are byte offsets from the counters: 2n.
    const auto wordCounter = [](int offset) { return Channel(Id::WordCounter, offset / 2); };

    switch (in.action) {
    case Action::If:
    case Action::DoUntil:
        switch (in.condition) {
        case Condition::ClickedToFalse:
        case Condition::ClickedToTrue:
            add(StatementValue{{&drivemap::At(Id::Inputs), ValueRef::kWhole, operand}});
            break;
        case Condition::CounterConstant:
            add(counter(0));
            break;
        case Condition::CounterCounter:
            add(counter(0));
            add(counter(operand));
            break;
        case Condition::WordWord:
            add(wordCounter(0));
            add(wordCounter(operand));
            break;
        case Condition::Bit:
            add(OfBit(operand));
            break;
        case Condition::None:
            break;
        }
        break;
    case Action::AssignBit:
        add(OfBit(operand));
        if (in.bitValue == sim::BitValue::Flag0)
            add(OfBit(16)); // Flag.0
        break;
    case Action::FlagLogic:
        add(OfBit(16));
        add(OfBit(operand));
        break;
    case Action::SetCounter:
    case Action::AddToWordCounter:
        add(in.action == Action::SetCounter ? counter(in.number) : wordCounter(2 * in.number));
        break;
    case Action::CounterLogic:
        add(counter(0));
        if (in.fromCounter)
            add(counter(operand));
        break;
    case Action::CounterToCounter0:
        add(counter(0));
        add(counter(operand));
        break;
    case Action::Counter0ToCounter:
        add(counter(operand));
        add(counter(0));
        break;
    case Action::InputByteToCounter:
        add(counter(operand));
        add(StatementValue{{&drivemap::At(Id::Inputs)}});
        break;
    case Action::SetTenths:
    case Action::SetByte:
        add(OfWord(in.address));
        break;
    case Action::WordCounterToWord:
        add(OfWord(in.address));
        add(wordCounter(operand));
        break;
    case Action::TriggerTimer:
        add(Channel(Id::Timer, in.number));
        if (in.fromCounter)
            add(counter(operand));
        break;
    case Action::WordToWordCounter:
        add(wordCounter(operand));
        add(OfWord(in.address));
        break;
    case Action::AnalogToWordCounter:
        add(wordCounter(operand & 0x1F));
        add(Channel(Id::Analog, operand >> 5));
        break;
    case Action::Do:
    case Action::Else:
    case Action::EndIf:
    case Action::Loop:
    case Action::ResetProgram:
    case Action::Unknown:
        break;
    }
    return values;
}

} // namespace kt::simulator
