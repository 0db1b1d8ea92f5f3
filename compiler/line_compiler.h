// The line compiler: one line of source to the two bytes of one statement,
// or the reason it cannot be. It matches the line against the instruction
// table's rows in order and encodes the values by the row's limits and rules.
// Not the program compiler: block structure and memory are checked there.
#pragma once

#include "compiler/number_rules.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace kt::compiler {

// Byte 0 the opcode, byte 1 the operand.
using StatementBytes = std::array<std::uint8_t, 2>;

// One row of the instruction table split into its fields.
struct TemplateFields {
    StatementBytes StatementCode{}; // the row's opcode and 0
    std::string TemplateText;       // the statement as it stands in a source line
    std::string TemplateHead;       // up to and including the first ".", or the whole text
    std::string TemplateTail;       // after the first "."; empty without one
    std::array<Single, 2> TemplateLimit{};
    std::array<std::string, 2> TemplateRule;
};

// Cuts a line into its parts: text, index values after each ".", the tails
// between them, and a trailing number. Nothing when the line is empty, blank,
// or holds only a comment. The parts are views into line.
std::optional<std::vector<std::string_view>> SplitLine(std::string_view line,
                                                       std::string_view commentMark);

// Row index (0..185) of the instruction table split into its fields; an index
// outside the table gives empty fields.
TemplateFields SplitTemplate(int index);

// Applies an encoding rule ("+16+128", "*1000/255") to value, left to right,
// each step's result a Single. False on a step that is no number or an
// arithmetic fault (division by zero, overflow); value is then undefined.
bool ApplyRule(std::string_view rule, Single& value);

// The value of part `index` of a split line, checked against `limit` and
// encoded by `rule`; nothing when it is missing, no number, or refused.
std::optional<std::uint8_t> EncodeValue(const std::vector<std::string_view>& parts,
                                        std::size_t index, Single limit, std::string_view rule);

// Compiles one source line. Returns 0 with statementCode holding the
// statement, 1 when no row matches, 2 when a value is out of its limit or not
// usable, 255 when the line has nothing to compile. statementCode is
// undefined on any other result.
std::uint8_t CompileStatement(std::string_view line, StatementBytes& statementCode);

} // namespace kt::compiler
