#include "compiler/program_compiler.h"

#include "compiler/compile_messages.h"
#include "compiler/line_compiler.h"
#include "compiler/program_text.h"

#include <vector>

namespace kt::compiler {

namespace {

enum Block : std::uint8_t { kIfBlock = 1, kDoBlock = 2 };

} // namespace

// The tenths rows raise 29, 55, 68 and 95 by up to three, and none of those
// results is a block opcode.
bool OpensIf(std::uint8_t op) {
    return op <= 14;
}
bool OpensDo(std::uint8_t op) {
    return op >= 15 && op <= 28;
}

ProgramCompiler::ProgramCompiler() {
    m_programBuffer.fill(kImageFill);
}

std::uint8_t ProgramCompiler::CompileText(std::string_view text, long& LineCount) {
    m_programLength = 0;
    m_statementLines.clear();
    if (text.empty())
        return kNothingToCompile;
    m_programBuffer.fill(kImageFill);

    // The memory check ends the compilation at the 128th statement, so the
    // stack never holds more than 128 blocks.
    std::vector<std::uint8_t> blockStack;
    bool elseSeen = false;
    bool endsWithLoop = false;
    std::size_t programCounter = 0;
    int textLine = 0;

    for (const std::string_view line : ProgramTextLines(text)) {
        ++LineCount;
        ++textLine;
        StatementBytes code{};
        const std::uint8_t result = CompileStatement(line, code);
        if (result == kNothingToCompile)
            continue;
        if (result != kCompiled)
            return result;

        const std::uint8_t op = code[0];
        endsWithLoop = false;
        if (OpensIf(op)) {
            blockStack.push_back(kIfBlock);
            elseSeen = false;
        } else if (OpensDo(op)) {
            blockStack.push_back(kDoBlock);
        } else if (op == kEndIf) {
            if (blockStack.empty() || blockStack.back() != kIfBlock)
                return kEndIfBeforeIf;
            blockStack.pop_back();
            elseSeen = false;
        } else if (op == kLoop) {
            if (blockStack.empty() || blockStack.back() != kDoBlock)
                return kLoopBeforeDo;
            blockStack.pop_back();
            endsWithLoop = true;
        } else if (op == kElse) {
            if (blockStack.empty() || blockStack.back() != kIfBlock)
                return kElseBeforeIf;
            // One flag for the whole text, cleared by every If and End If.
            if (elseSeen)
                return kConsecutiveElse;
            elseSeen = true;
        }

        if (programCounter >= kProgramSize)
            return kMemoryExceeded;
        m_programBuffer[programCounter] = code[0];
        m_programBuffer[programCounter + 1] = code[1];
        programCounter += 2;
        m_statementLines.push_back(textLine);
    }

    if (!blockStack.empty())
        return blockStack.back() == kIfBlock ? kExpectEndIf : kExpectLoop;
    if (!endsWithLoop)
        return kNoFinalLoop;
    m_programLength = programCounter;
    return kCompiled;
}

} // namespace kt::compiler
