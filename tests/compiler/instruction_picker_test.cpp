#include "compiler/instruction_picker.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <tuple>
#include <vector>

using kt::compiler::InstructionPicker;
using kt::compiler::PickerCategory;

namespace {

using Entries = std::vector<std::string>;

Entries ZeroTo(int last) {
    Entries entries;
    for (int value = 0; value <= last; ++value)
        entries.push_back(std::to_string(value));
    return entries;
}

// The entry must be offered: choosing what is not listed proves nothing.
int Position(const InstructionPicker& picker, const std::string& entry) {
    const auto it = std::ranges::find(picker.List1(), entry);
    EXPECT_NE(it, picker.List1().end()) << entry << " is not offered";
    return it == picker.List1().end() ? -1 : static_cast<int>(it - picker.List1().begin());
}

// One double-click: the entry to choose, the prompt's answer, what the picker inserts (nothing:
// the choice is refused) and its mode afterwards (0: the statement is complete).
struct Click {
    std::string entry, answer, insert;
    std::uint8_t mode;
};

void Walk(const std::vector<Click>& clicks) {
    InstructionPicker picker;
    for (const Click& c : clicks) {
        SCOPED_TRACE(c.entry + " -> " + c.answer);
        std::string prompted;
        const auto step =
            picker.DoubleClick(Position(picker, c.entry), [&](const std::string& prompt) {
                prompted = prompt;
                return c.answer;
            });
        if (step.finish)
            picker.FinishInsertion();
        EXPECT_EQ(std::tuple(step.insert, step.invalid, step.finish, picker.DataMode(), prompted),
                  std::tuple(c.insert, c.insert.empty(), !c.insert.empty() && c.mode == 0, c.mode,
                             c.entry.starts_with("0 To ") ? c.entry : ""));
    }
}

} // namespace

// What each limit offers: 0 up to the limit rounded half to even, or above
// 100 one entry that opens the prompt.
TEST(InstructionPicker, ChoicesPerLimit) {
    const std::vector<std::pair<std::string, Entries>> cases = {
        {"If Flag.", ZeroTo(7)},
        {"CurrentLimit = ", ZeroTo(26)},
        {"Volt% = ", ZeroTo(100)},
        {"Counter0 = ", {"0 To 255"}},
        {"AccelerateRate = ", {"0 To 102.1"}},
    };
    for (const auto& [entry, choices] : cases) {
        InstructionPicker picker;
        picker.DoubleClick(Position(picker, entry), nullptr);
        EXPECT_EQ(picker.List1(), choices) << entry;
        EXPECT_EQ(picker.Selected(), 0) << entry;
    }
}

// Values at the limit pass, values above it do not, whatever was offered;
// the second value of a two-value row has its own limit, 5.
TEST(InstructionPicker, WalkThroughs) {
    Walk({{"WordCounter. = Analog.", "", "WordCounter.", 1},
          {"2", "", "2 = Analog.", 2},
          {"4", "", "4", 0}});
    Walk({{"Counter0 = ", "", "Counter0 = ", 1},
          {"0 To 255", "255.5", "", 1},
          {"0 To 255", "", "", 1}, // cancelled
          {"0 To 255", "255", "255", 0}});
    // A negative value passes here; the compiler rejects it later.
    Walk({{"Counter0 = ", "", "Counter0 = ", 1}, {"0 To 255", " -3 ", "-3", 0}});
    Walk({{"AccelerateRate = ", "", "AccelerateRate = ", 1},
          {"0 To 102.1", "102.2", "", 1},
          {"0 To 102.1", "102.1", "102.1", 0}});
    Walk({{"CurrentLimit = ", "", "CurrentLimit = ", 1}, {"26", "", "", 1}, {"25", "", "25", 0}});
    Walk({{"Volt% = ", "", "Volt% = ", 1}, {"100", "", "100", 0}});
    Walk({{"Counter. = InputByte", "", "Counter.", 1}, {"3", "", "3 = InputByte", 0}});
}

TEST(InstructionPicker, CategoriesAndHelp) {
    InstructionPicker picker;
    EXPECT_EQ(picker.List1().size(), 186u);
    picker.SetInstructionCategory(PickerCategory::Miscellaneous);
    picker.FillInstructionList();
    EXPECT_EQ(picker.List1(),
              (Entries{"Reset Program", "TriggerTimer0 ", "TriggerTimer1 ", "TriggerTimer2 ",
                       "TriggerTimer3 ", "TriggerTimer0 By Counter.", "TriggerTimer1 By Counter.",
                       "TriggerTimer2 By Counter.", "TriggerTimer3 By Counter."}));
    EXPECT_EQ(picker.List2(), (std::vector<int>{161, 163, 164, 165, 166, 167, 168, 169, 170}));
    EXPECT_EQ(picker.HelpContext(3), 103);

    picker.DoubleClick(Position(picker, "TriggerTimer0 By Counter."), nullptr);
    EXPECT_EQ(picker.HelpContext(3), 0);

    // A per-line check refilled the list meanwhile: a template is no value.
    picker.FillInstructionList();
    EXPECT_TRUE(picker.DoubleClick(0, nullptr).invalid);
    EXPECT_EQ(picker.DataMode(), 1);
    EXPECT_TRUE(picker.DoubleClick(-1, nullptr).invalid);
}
