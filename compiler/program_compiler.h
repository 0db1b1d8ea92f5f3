// The program compiler: a whole program text to the drive's 254-byte program
// image, two bytes per statement, with the block structure (If / Else /
// End If, Do / Loop) and the memory limit checked and the first error
// reported by line. Not the line compiler, which it calls for every line.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>
#include <vector>

namespace kt::compiler {

inline constexpr std::size_t kProgramSize = 254;
inline constexpr std::uint8_t kImageFill = 0xFF;

// Opcodes as the block checks see them.
bool OpensIf(std::uint8_t op);
bool OpensDo(std::uint8_t op);
inline constexpr std::uint8_t kElse = 61;
inline constexpr std::uint8_t kEndIf = 62;
inline constexpr std::uint8_t kLoop = 67;

using ProgramImage = std::array<std::uint8_t, kProgramSize>;

class ProgramCompiler {
public:
    ProgramCompiler();

    // Compiles text (CR LF lines). LineCount is advanced by one for every line
    // read; on an error it is the failing line (1-based) for a statement
    // error, the number of lines for an open block or a missing final Loop.
    // Returns 0 with the image in ProgramBuffer(), a compiler code, or 255
    // for an empty text (the buffer then keeps its contents).
    std::uint8_t CompileText(std::string_view text, long& LineCount);

    const ProgramImage& ProgramBuffer() const { return m_programBuffer; }
    // The image bytes the last compilation filled; 0 unless it succeeded.
    std::size_t ProgramLength() const { return m_programLength; }
    // The 1-based line of the text each statement the last compilation wrote
    // came from, in image order (statement k at bytes 2k, 2k+1). Counted in
    // the text itself, whatever LineCount started at; after a failure it
    // covers the statements compiled before it.
    const std::vector<int>& StatementLines() const { return m_statementLines; }

private:
    ProgramImage m_programBuffer;
    std::size_t m_programLength = 0;
    std::vector<int> m_statementLines;
};

} // namespace kt::compiler
