// The instruction picker's logic: which templates the list shows for a
// category, and the walk through a statement's values after a template is
// chosen (the values offered, the checks, the text to insert). No widgets:
// the main window shows the list, inserts the text and asks the questions.
#pragma once

#include "compiler/instruction_table.h"
#include "compiler/number_rules.h"

#include <array>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace kt::compiler {

class InstructionPicker {
public:
    static constexpr std::uint8_t kInstructionMode = 0;
    static constexpr std::uint8_t kFirstValue = 1;
    static constexpr std::uint8_t kSecondValue = 2;
    // The help context of entry n in instruction mode is 100 + n.
    static constexpr int kHelpContextBase = 100;

    // What a double-click asks of the window.
    struct Step {
        std::string insert{}; // text to put at the caret, replacing the selection
        bool finish = false;  // end the line, then FinishInsertion()
        bool invalid = false; // say "Invalid Data."; nothing else changes
    };

    // Asks for a value with the prompt text and default "0"; empty when cancelled.
    using AskValue = std::function<std::string(const std::string& prompt)>;

    InstructionPicker() { FillInstructionList(); }

    std::uint8_t DataMode() const { return m_dataMode; }
    void SetDataMode(std::uint8_t mode) { m_dataMode = mode; }
    PickerCategory InstructionCategory() const { return m_category; }
    void SetInstructionCategory(PickerCategory category) { m_category = category; }

    // The list's entries and, in instruction mode, the row behind each.
    const std::vector<std::string>& List1() const { return m_list1; }
    const std::vector<int>& List2() const { return m_list2; }
    // The entry to select after the list changed (-1: none).
    int Selected() const { return m_selected; }

    // The templates of the current category, in table order.
    void FillInstructionList();

    // A double-click on entry `selected` (-1 when none is selected).
    Step DoubleClick(int selected, const AskValue& ask);
    // After the window has ended the line of a finished statement.
    void FinishInsertion();

    int HelpContext(int selected) const;

private:
    Step ChooseTemplate(int selected);
    Step ChooseValue(int selected, const AskValue& ask);
    void FillChoices(Single limit);

    std::uint8_t m_dataMode = kInstructionMode;
    PickerCategory m_category = PickerCategory::All;
    std::vector<std::string> m_list1;
    std::vector<int> m_list2;
    int m_selected = -1;
    // The statement being inserted, kept from the first double-click on.
    std::string m_tail;
    std::array<Single, 2> m_limits{};
};

} // namespace kt::compiler
