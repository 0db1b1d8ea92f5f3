// What each opcode byte means to the simulated drive, worked out once from
// the instruction table's rows (template text, opcode, limit, rule) so that
// every row the compiler can emit has a meaning. Tenths rows cover their
// opcode and the three above it. Not the interpreter: no memory, no clock.
#pragma once

#include <array>
#include <cstdint>
#include <vector>

namespace kt::sim {

enum class Action : std::uint8_t {
    Unknown, // no row gives this opcode
    If,
    Do,
    DoUntil,
    Else,
    EndIf,
    Loop,
    ResetProgram,
    AssignBit,          // bit = False / Flag0 / True
    FlagLogic,          // Flag0 = / And / Or / Xor [Not] bit
    SetCounter,         // CounterK = constant
    CounterLogic,       // Counter0 And / Or / Xor constant or Counter.n
    CounterToCounter0,  // Counter0 = Counter.n
    Counter0ToCounter,  // Counter.n = Counter0
    InputByteToCounter, // Counter.n = InputByte
    SetTenths,          // word = value in tenths
    WordCounterToWord,  // word = WordCounter.n
    SetByte,            // CurrentLimit, Volt%: scaled byte, high byte 0
    TriggerTimer,       // TriggerTimerN constant or By Counter.n
    AddToWordCounter,   // WordCounterN = WordCounterN + / - constant
    WordToWordCounter,  // WordCounter.n = a word of memory
    AnalogToWordCounter,
};

// How the operand byte is read.
enum class OperandKind : std::uint8_t {
    None,       // no value: the operand is ignored
    Constant,   // any byte
    Index,      // 0..7: counter or input number
    WordOffset, // word counter n as 2n: byte offset 0..6 from the counters
    WordAnalog, // 2n + 32m: word counter offset and analog input m
    Bit,        // class base + bit, + 128 for Not
    Tenths,     // low byte of the tenths; the opcode carries the high part
};

enum class Condition : std::uint8_t {
    None,
    ClickedToFalse,
    ClickedToTrue,
    CounterConstant, // Counter0 cmp constant
    CounterCounter,  // Counter0 cmp Counter.n
    WordWord,        // WordCounter0 cmp WordCounter.n
    Bit,
};

enum class Compare : std::uint8_t { Equal, AtLeast, Less, NotEqual };
enum class Logic : std::uint8_t { And, Set, Or, Xor };
enum class BitValue : std::uint8_t { False, Flag0, True };

struct Instruction {
    Action action = Action::Unknown;
    OperandKind operand = OperandKind::None;
    Condition condition = Condition::None;
    Compare compare = Compare::Equal;
    Logic logic = Logic::And;
    BitValue bitValue = BitValue::False;
    bool fromCounter = false;  // the value is Counter.n, not a constant
    bool subtract = false;     // AddToWordCounter: minus
    std::uint8_t number = 0;   // counter K, timer N, word counter N; tenths high part
    std::uint16_t address = 0; // the word or byte written or read
    int row = -1;              // the first row of the table giving this opcode
};

// Where a bit operand points.
struct BitOperand {
    std::uint16_t address = 0; // 0 for timer flags, which live outside memory
    std::uint8_t mask = 0;
    bool timerFlag = false; // mask then picks the timer
    bool inverted = false;
    bool writable = false; // outputs, flags, the three command bits
};

class InstructionDecoder {
public:
    // The one decoder, built from the instruction table on first use.
    static const InstructionDecoder& Instance();

    const Instruction& At(std::uint8_t opcode) const { return m_instructions[opcode]; }

    // Whether the operand byte names something the drive has, for the
    // opcode's operand kind; a bit must also be writable where it is written.
    bool OperandValid(const Instruction& instruction, std::uint8_t operand) const;

    // Nothing when the operand is no bit of the drive (bit classes: inputs
    // +0, outputs +8, flags +16, status +24, timer flags +32, Not +128).
    static bool DecodeBit(std::uint8_t operand, BitOperand& bit);

    // Rows whose text the decoder did not understand, and rows that give an
    // opcode another row already gave a different meaning; both empty for a
    // table the interpreter fully covers.
    const std::vector<int>& UnclassifiedRows() const { return m_unclassified; }
    const std::vector<int>& ConflictingRows() const { return m_conflicting; }

private:
    InstructionDecoder();

    std::array<Instruction, 256> m_instructions{};
    std::vector<int> m_unclassified;
    std::vector<int> m_conflicting;
};

} // namespace kt::sim
