#include "compiler/instruction_table.h"
#include "compiler/line_compiler.h"
#include "sim/instruction_decoder.h"

#include <gtest/gtest.h>

#include <set>
#include <string>
#include <tuple>
#include <vector>

using namespace kt;
using namespace kt::sim;

namespace {

// A source line for a row: its placeholders filled with 1, a trailing value
// given where the template ends in a blank.
std::string LineFor(int row, const std::string& value) {
    std::string line;
    for (const char c : compiler::TemplateTextOf(row)) {
        line += c;
        if (c == '.')
            line += '1';
    }
    return !line.empty() && line.back() == ' ' ? line + value : line;
}

} // namespace

// Every row, with each value that moves a tenths row to another opcode: the compiled statement
// has a meaning and its operand names what the drive has; 0 to 99 are all in use, the tenths
// opcodes included.
TEST(InstructionDecoder, EveryRowLoadsWithOneMeaningPerOpcode) {
    const InstructionDecoder& decoder = InstructionDecoder::Instance();
    EXPECT_EQ(decoder.UnclassifiedRows(), std::vector<int>{});
    EXPECT_EQ(decoder.ConflictingRows(), std::vector<int>{});
    std::set<int> opcodes;
    for (int row = 0; row < compiler::kInstructionCount; ++row) {
        for (const std::string value : {"1", "30", "60", "102.1"}) {
            const std::string line = LineFor(row, value);
            compiler::StatementBytes code{};
            ASSERT_EQ(compiler::CompileStatement(line, code), 0) << line;
            const Instruction& instruction = decoder.At(code[0]);
            ASSERT_NE(instruction.action, Action::Unknown) << line;
            EXPECT_TRUE(decoder.OperandValid(instruction, code[1])) << line;
            opcodes.insert(code[0]);
            if (instruction.operand != OperandKind::Tenths)
                break;
        }
    }
    EXPECT_EQ(std::pair(opcodes.size(), *opcodes.rbegin()), std::pair(std::size_t{100}, 99));
}

// Whether an operand names something the drive has, one case per operand kind and bit class; a
// bit that is written must be writable. Valid: If Input.7, If on a status bit, If TimerFlag.3,
// AutoTorque = True, counter 7, word counter 3, the same with analog input 5, any tenths low
// byte, an ignored operand. Not: TimerFlag.4, bit class 5, an input, MotorForward, Not Flag.0 or
// Not Output.0 written, counter 8, word counter 4 (alone and with an analog input), analog 6.
TEST(InstructionDecoder, OperandsNameWhatTheDriveHas) {
    const InstructionDecoder& decoder = InstructionDecoder::Instance();
    using Case = std::tuple<std::uint8_t, std::uint8_t, bool>;
    // clang-format off
    for (const auto& [opcode, operand, valid] : std::vector<Case>{
             {10, 7, true}, {10, 29, true}, {10, 35, true}, {37, 26, true}, {44, 7, true},
             {33, 6, true}, {91, 5 * 32 + 6, true}, {32, 255, true}, {15, 9, true},
             {10, 36, false}, {10, 40, false}, {37, 3, false}, {35, 28, false}, {37, 144, false},
             {37, 136, false}, {44, 8, false}, {33, 8, false}, {91, 8, false}, {91, 6 * 32, false}})
        // clang-format on
        EXPECT_EQ(decoder.OperandValid(decoder.At(opcode), operand), valid)
            << int(opcode) << ", " << int(operand);
}
