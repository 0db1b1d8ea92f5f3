// The statement templates of the drive's language: 186 rows of
// "template,opcode,limit[,rule]" in the order the line compiler tries them,
// and the picker category of each. Data only; splitting a row into its fields
// belongs to the line compiler.
#pragma once

#include <array>
#include <string_view>

namespace kt::compiler {

inline constexpr int kInstructionCount = 186;

enum class PickerCategory {
    All = 0, // every row; also the category of the rows that belong to no other
    Assign = 1,
    Conditional = 2,
    Miscellaneous = 3,
    Operational = 4,
};

extern const std::array<std::string_view, kInstructionCount> InstructionTable;

// The one category a row belongs to besides All (All for the rows in no other).
PickerCategory CategoryOf(int index);

// Whether the picker shows the row under the category; All shows every row.
bool InCategory(int index, PickerCategory category);

// The row up to its first comma, as the picker lists it.
std::string_view TemplateTextOf(int index);

} // namespace kt::compiler
