#include "compiler/instruction_picker.h"

#include "compiler/line_compiler.h"
#include "compiler/white_space.h"

namespace kt::compiler {

namespace {

constexpr std::string_view kRangePrefix = "0 To ";
// Larger ranges are asked for, not listed.
constexpr Single kMaxListed = 100;

} // namespace

void InstructionPicker::FillInstructionList() {
    m_list1.clear();
    m_list2.clear();
    for (int index = 0; index < kInstructionCount; ++index) {
        if (InCategory(index, m_category)) {
            m_list1.emplace_back(TemplateTextOf(index));
            m_list2.push_back(index);
        }
    }
    m_selected = -1;
}

void InstructionPicker::FillChoices(Single limit) {
    m_list1.clear();
    if (limit > kMaxListed) {
        m_list1.push_back(std::string(kRangePrefix) + FormatSingle(limit));
    } else {
        const double last = RoundHalfEven(limit);
        for (int value = 0; value <= last; ++value)
            m_list1.push_back(std::to_string(value));
    }
    m_selected = 0;
}

InstructionPicker::Step InstructionPicker::DoubleClick(int selected, const AskValue& ask) {
    if (selected < 0 || selected >= static_cast<int>(m_list1.size()))
        return {.invalid = true};
    if (m_dataMode == kInstructionMode)
        return ChooseTemplate(selected);
    return ChooseValue(selected, ask);
}

InstructionPicker::Step InstructionPicker::ChooseTemplate(int selected) {
    // After a per-line check refilled the list in value mode, an entry is a
    // template, not a row: only List2 names rows.
    if (selected >= static_cast<int>(m_list2.size()))
        return {.invalid = true};
    const TemplateFields fields = SplitTemplate(m_list2[static_cast<std::size_t>(selected)]);
    m_tail = fields.TemplateTail;
    m_limits = fields.TemplateLimit;
    Step step{.insert = fields.TemplateHead};
    if (m_limits[0] == 0) {
        step.finish = true;
        return step;
    }
    m_dataMode = kFirstValue;
    FillChoices(m_limits[0]);
    return step;
}

InstructionPicker::Step InstructionPicker::ChooseValue(int selected, const AskValue& ask) {
    const bool first = m_dataMode == kFirstValue;
    const Single limit = first ? m_limits[0] : m_limits[1];
    const std::string& entry = m_list1[static_cast<std::size_t>(selected)];
    std::string text = entry;
    if (entry.starts_with(kRangePrefix))
        text = ask ? ask(std::string(kRangePrefix) + FormatSingle(limit)) : std::string();
    const std::optional<Single> value = ParseSingle(TrimWhiteSpace(text).text);
    if (!value || *value > limit)
        return {.invalid = true};

    Step step{.insert = FormatSingle(*value)};
    if (!first || m_limits[1] == 0) {
        if (first)
            step.insert += m_tail;
        step.finish = true;
        return step;
    }
    step.insert += m_tail;
    m_dataMode = kSecondValue;
    FillChoices(m_limits[1]);
    return step;
}

void InstructionPicker::FinishInsertion() {
    FillInstructionList();
    m_dataMode = kInstructionMode;
}

int InstructionPicker::HelpContext(int selected) const {
    if (m_dataMode != kInstructionMode || selected < 0)
        return 0;
    return kHelpContextBase + selected;
}

} // namespace kt::compiler
