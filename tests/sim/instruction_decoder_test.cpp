#include "compiler/instruction_table.h"
#include "compiler/line_compiler.h"
#include "sim/instruction_decoder.h"
#include "sim/memory_map.h"
#include "sim/program_interpreter.h"
#include "sim_test_programs.h"

#include <gtest/gtest.h>

#include <set>
#include <string>

using namespace kt;
using namespace kt::sim;

namespace {

// A source line for a row: its placeholders filled with 1, a trailing value
// given where the template ends in a blank.
std::string LineFor(int row, const std::string& value) {
    std::string line;
    for (const char c : std::string(compiler::TemplateTextOf(row))) {
        line += c;
        if (c == '.')
            line += '1';
    }
    if (!line.empty() && line.back() == ' ')
        line += value;
    return line;
}

// What a statement needs around it to pair.
std::string InBlocks(Action action, const std::string& line) {
    switch (action) {
    case Action::If:
        return "Do|" + line + "|End If|Loop";
    case Action::Do:
    case Action::DoUntil:
        return "Do|" + line + "|Loop|Loop";
    case Action::Else:
    case Action::EndIf:
        return "Do|If Input.0|" + line + (action == Action::Else ? "|End If" : "") + "|Loop";
    case Action::Loop:
        return "Do|" + line;
    default:
        return "Do|" + line + "|Loop";
    }
}

} // namespace

TEST(InstructionDecoder, EveryRowUnderstoodWithOneMeaningPerOpcode) {
    const InstructionDecoder& decoder = InstructionDecoder::Instance();
    EXPECT_EQ(decoder.UnclassifiedRows(), std::vector<int>{});
    EXPECT_EQ(decoder.ConflictingRows(), std::vector<int>{});
}

// Every row, with each value that moves a tenths row to another opcode: the
// compiled statement loads and runs a round of its program.
TEST(InstructionDecoder, EveryRowsStatementLoads) {
    std::set<int> opcodes;
    for (int row = 0; row < compiler::kInstructionCount; ++row) {
        for (const std::string value : {"1", "30", "60", "102.1"}) {
            const std::string line = LineFor(row, value);
            compiler::StatementBytes code{};
            ASSERT_EQ(compiler::CompileStatement(line, code), 0) << line;
            const Instruction& instruction = InstructionDecoder::Instance().At(code[0]);
            ASSERT_NE(instruction.action, Action::Unknown) << line;
            opcodes.insert(code[0]);
            ProgramInterpreter interpreter;
            EXPECT_EQ(interpreter.Load(test::ImageOf(InBlocks(instruction.action, line))), 0)
                << line;
            interpreter.RunFor(10);
            EXPECT_EQ(interpreter.Error(), 0) << line;
            if (instruction.operand != OperandKind::Tenths)
                break;
        }
    }
    // 0 to 99 are all in use, the tenths opcodes included.
    EXPECT_EQ(opcodes.size(), 100u);
    EXPECT_EQ(*opcodes.rbegin(), 99);
}

struct OperandCase {
    std::uint8_t opcode;
    std::uint8_t operand;
    bool valid;
};

class OperandCheck : public ::testing::TestWithParam<OperandCase> {};

TEST_P(OperandCheck, NamesSomethingTheDriveHas) {
    const OperandCase c = GetParam();
    const InstructionDecoder& decoder = InstructionDecoder::Instance();
    EXPECT_EQ(decoder.OperandValid(decoder.At(c.opcode), c.operand), c.valid)
        << int(c.opcode) << ", " << int(c.operand);
}

INSTANTIATE_TEST_SUITE_P(
    Rows, OperandCheck,
    ::testing::Values(OperandCase{10, 7, true},    // Input.7
                      OperandCase{10, 15, true},   // outputs byte, bit 7
                      OperandCase{10, 29, true},   // MotorEnable can be read
                      OperandCase{10, 35, true},   // TimerFlag.3
                                                   // Not TimerFlag.3
                      OperandCase{10, 36, false},  // TimerFlag.4
                      OperandCase{10, 40, false},  // no class 5
                                                   // Not of no class
                      OperandCase{37, 9, true},    // Output.1 = True
                      OperandCase{37, 26, true},   // AutoTorque = True
                      OperandCase{37, 3, false},   // an input
                      OperandCase{35, 28, false},  // MotorForward
                                                   // a timer flag
                      OperandCase{37, 144, false}, // Not Flag.0 as a target
                      OperandCase{44, 7, true}, OperandCase{44, 8, false},
                      OperandCase{0, 8, false},                            // ClickedToFalse Input.8
                      OperandCase{33, 6, true}, OperandCase{33, 7, false}, // word offsets
                      OperandCase{91, 5 * 32 + 6, true}, OperandCase{91, 6 * 32, false},
                      OperandCase{91, 8, false}, OperandCase{32, 255, true}, // tenths: any low byte
                      OperandCase{15, 9, true})); // no value: the operand is ignored
