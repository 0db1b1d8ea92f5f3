#include "compiler/compile_hint.h"

#include "compiler/compile_messages.h"
#include "compiler/instruction_table.h"
#include "compiler/line_compiler.h"
#include "compiler/number_rules.h"
#include "compiler/program_compiler.h"
#include "compiler/program_text.h"
#include "compiler/white_space.h"

#include <algorithm>
#include <optional>
#include <vector>

namespace kt::compiler {

namespace {

constexpr std::string_view kCommentMark = "'";
// Longer statements are far from every template: no suggestion is worth
// the distance computation.
constexpr std::size_t kLongestSuggested = 256;

const std::vector<TemplateFields>& Rows() {
    static const std::vector<TemplateFields> rows = [] {
        std::vector<TemplateFields> split;
        for (int i = 0; i < kInstructionCount; ++i)
            split.push_back(SplitTemplate(i));
        return split;
    }();
    return rows;
}

// --- Out of limit -----------------------------------------------------------

struct FailingValue {
    const TemplateFields* row;
    int which; // 0: the first value, 1: the second
};

// The row and value the line compiler rejects, found by walking the rows of
// the line's head as it does.
std::optional<FailingValue> FindFailingValue(const std::vector<std::string_view>& parts) {
    for (const TemplateFields& row : Rows()) {
        if (row.TemplateHead != parts[0])
            continue;
        const std::string_view tail = row.TemplateTail;
        if (row.TemplateLimit[0] == 0 && tail.empty())
            return std::nullopt;
        if (row.TemplateLimit[0] == kTenthsLimit) {
            const std::optional<Single> value =
                parts.size() > 1 ? ParseSingle(parts[1]) : std::nullopt;
            if (!value || *value > row.TemplateLimit[0] ||
                !(RoundHalfEven(static_cast<double>(*value) * 10.0) >= 0))
                return FailingValue{&row, 0};
            return std::nullopt;
        }
        const std::optional<std::uint8_t> first =
            EncodeValue(parts, 1, row.TemplateLimit[0], row.TemplateRule[0]);
        if (!first)
            return FailingValue{&row, 0};
        if (row.TemplateLimit[1] == 0 && tail.empty()) {
            if (parts.size() == 2)
                return std::nullopt;
            continue;
        }
        if (parts.size() < 3 || parts[2] != tail)
            continue;
        if (row.TemplateLimit[1] == 0) {
            if (parts.size() == 3)
                return std::nullopt;
            continue;
        }
        const std::optional<std::uint8_t> second =
            EncodeValue(parts, 3, row.TemplateLimit[1], row.TemplateRule[1]);
        if (!second || *first + *second > 255)
            return FailingValue{&row, 1};
        if (parts.size() > 4)
            continue;
        return std::nullopt;
    }
    return std::nullopt;
}

// "Do Until Not Flag." -> "Flag": the name an index belongs to.
std::string_view IndexedName(std::string_view textWithDot) {
    textWithDot.remove_suffix(1);
    const std::size_t blank = textWithDot.rfind(' ');
    return blank == std::string_view::npos ? textWithDot : textWithDot.substr(blank + 1);
}

std::string OutOfLimitHint(std::string_view line) {
    const auto parts = SplitLine(line, kCommentMark);
    if (!parts)
        return {};
    const std::optional<FailingValue> failing = FindFailingValue(*parts);
    if (!failing)
        return {};
    const TemplateFields& row = *failing->row;
    const std::string range = "0 to " + FormatSingle(row.TemplateLimit[failing->which]);
    if (failing->which == 1)
        return std::string(IndexedName(row.TemplateTail)) + " takes index " + range;
    if (row.TemplateHead.back() == '.')
        return std::string(IndexedName(row.TemplateHead)) + " takes index " + range;
    // A number at the end: "RefrenceSpeed = ", "TriggerTimer0 ", "If Counter0 >= ".
    std::string_view text = row.TemplateText;
    text = text.substr(0, text.find_last_not_of(' ') + 1);
    if (text.ends_with(" ="))
        text.remove_suffix(2);
    if (text.find(' ') == std::string_view::npos)
        return std::string(text) + " takes " + range;
    return "the number after " + std::string(row.TemplateText) + "is " + range;
}

// --- Unknown statement ------------------------------------------------------

// A statement word with its numbers taken out: "Counter.3" is "Counter.#"
// holding "3", "200" is "#" holding "200".
struct Word {
    std::string shape;
    std::string_view text;
    std::string_view value;
};

std::vector<Word> LineWords(std::string_view statement) {
    std::vector<Word> words;
    std::size_t at = 0;
    while (at < statement.size()) {
        const std::size_t begin = statement.find_first_not_of(" \t", at);
        if (begin == std::string_view::npos)
            break;
        const std::size_t end = std::min(statement.find_first_of(" \t", begin), statement.size());
        const std::string_view text = statement.substr(begin, end - begin);
        const std::size_t dot = text.find('.');
        if (IsNumberText(text))
            words.push_back({"#", text, text});
        else if (dot != std::string_view::npos && dot > 0 && IsNumberText(text.substr(dot + 1)))
            words.push_back(
                {std::string(text.substr(0, dot + 1)) + "#", text, text.substr(dot + 1)});
        else
            words.push_back({std::string(text), text, {}});
        at = end;
    }
    return words;
}

// A template's words in the same shape: an index after each ".", a number
// after a template that ends in a blank.
std::vector<std::string> TemplateWords(std::string_view text) {
    std::vector<std::string> words;
    for (const Word& word : LineWords(text))
        words.push_back(word.shape.ends_with('.') ? word.shape + "#" : word.shape);
    if (text.ends_with(' '))
        words.push_back("#");
    return words;
}

// Compared without regard to case, so "loop" finds "Loop".
std::string CaseFolded(const std::vector<std::string>& words) {
    std::string key;
    for (const std::string& word : words) {
        if (!key.empty())
            key += ' ';
        for (const char c : word)
            key += (c >= 'A' && c <= 'Z') ? char(c - 'A' + 'a') : c;
    }
    return key;
}

std::size_t EditDistance(std::string_view a, std::string_view b) {
    std::vector<std::size_t> row(b.size() + 1);
    for (std::size_t j = 0; j <= b.size(); ++j)
        row[j] = j;
    for (std::size_t i = 1; i <= a.size(); ++i) {
        std::size_t diagonal = row[0];
        row[0] = i;
        for (std::size_t j = 1; j <= b.size(); ++j) {
            const std::size_t replaced = diagonal + (a[i - 1] == b[j - 1] ? 0 : 1);
            diagonal = row[j];
            row[j] = std::min({replaced, row[j] + 1, row[j - 1] + 1});
        }
    }
    return row[b.size()];
}

// A template word as the user would write it: the line's own number where
// there is one to hand, "n" where not.
std::string Written(const std::string& shape, std::string_view value) {
    if (!shape.ends_with('#'))
        return shape;
    return shape.substr(0, shape.size() - 1) + (value.empty() ? "n" : std::string(value));
}

std::string Joined(const std::vector<std::string>& words) {
    std::string text;
    for (const std::string& word : words)
        text += (text.empty() ? "" : " ") + word;
    return text;
}

std::string NearestStatementHint(std::string_view line) {
    std::string_view statement = TrimWhiteSpace(line).text;
    statement = TrimWhiteSpace(statement.substr(0, statement.find(kCommentMark))).text;
    if (statement.empty() || statement.size() > kLongestSuggested)
        return {};
    const std::vector<Word> said = LineWords(statement);
    std::vector<std::string> saidShapes;
    for (const Word& word : said)
        saidShapes.push_back(word.shape);
    const std::string saidKey = CaseFolded(saidShapes);

    std::vector<std::string> best;
    std::size_t bestDistance = std::string::npos;
    for (const TemplateFields& row : Rows()) {
        std::vector<std::string> words = TemplateWords(row.TemplateText);
        const std::string key = CaseFolded(words);
        // Reasonably close: at most a third of the letters wrong.
        const std::size_t allowed =
            std::max<std::size_t>(1, std::max(key.size(), saidKey.size()) / 3);
        const std::size_t lengths =
            key.size() > saidKey.size() ? key.size() - saidKey.size() : saidKey.size() - key.size();
        if (lengths > allowed || lengths >= bestDistance)
            continue;
        const std::size_t distance = EditDistance(saidKey, key);
        if (distance <= allowed && distance < bestDistance) {
            bestDistance = distance;
            best = std::move(words);
        }
    }
    if (best.empty())
        return {};

    // The words that differ, the same ones at both ends set aside.
    std::size_t front = 0;
    while (front < said.size() && front < best.size() && said[front].shape == best[front])
        ++front;
    std::size_t back = 0;
    while (back < said.size() - front && back < best.size() - front &&
           said[said.size() - 1 - back].shape == best[best.size() - 1 - back])
        ++back;
    const std::size_t saidEnd = said.size() - back;
    const std::size_t bestEnd = best.size() - back;
    const bool aligned = saidEnd - front == bestEnd - front;

    std::vector<std::string> whole;
    std::vector<std::string> wrong;
    std::vector<std::string> right;
    for (std::size_t i = 0; i < best.size(); ++i) {
        const bool inMiddle = i >= front && i < bestEnd;
        std::string_view value;
        if (!inMiddle)
            value = said[i < front ? i : i - bestEnd + saidEnd].value;
        else if (aligned)
            value = said[i].value;
        whole.push_back(Written(best[i], value));
        if (inMiddle)
            right.push_back(whole.back());
    }
    for (std::size_t i = front; i < saidEnd; ++i)
        wrong.emplace_back(said[i].text);

    if (wrong.empty() && right.empty())
        return "write it as " + Joined(whole) + ": one blank between words, no tabs";
    // Words missing, extra or split: the whole statement says it best.
    if (!aligned)
        return "did you mean " + Joined(whole) + "?";
    return Joined(wrong) + ": did you mean " + Joined(right) + "?";
}

// --- Blocks -----------------------------------------------------------------

std::string OnLine(const char* what, int line) {
    return std::string(what) + " on line " + std::to_string(line);
}

struct OpenBlock {
    bool isIf;
    int line;
};

// The program compiler's walk once more, keeping the lines it does not
// need; the hint for `code` when the walk ends with it.
std::string WalkProgram(std::string_view text, int code) {
    std::vector<OpenBlock> blocks;
    bool elseSeen = false;
    int elseLine = 0;
    bool endsWithLoop = false;
    int lastStatement = 0;
    std::size_t statements = 0;
    int textLine = 0;
    const auto hint = [code](int found, std::string text) {
        return found == code ? text : std::string();
    };
    for (const std::string_view line : ProgramTextLines(text)) {
        ++textLine;
        StatementBytes bytes{};
        const std::uint8_t result = CompileStatement(line, bytes);
        if (result == kNothingToCompile)
            continue;
        if (result != kCompiled)
            return result == code ? LineHint(line, code) : std::string();
        const std::uint8_t op = bytes[0];
        endsWithLoop = false;
        const OpenBlock* top = blocks.empty() ? nullptr : &blocks.back();
        if (OpensIf(op)) {
            blocks.push_back({true, textLine});
            elseSeen = false;
        } else if (OpensDo(op)) {
            blocks.push_back({false, textLine});
        } else if (op == kEndIf) {
            if (!top)
                return hint(kEndIfBeforeIf, "the " + OnLine("End If", textLine) + " has no If");
            if (!top->isIf)
                return hint(kEndIfBeforeIf, "the " + OnLine("Do", top->line) +
                                                " needs its Loop before the " +
                                                OnLine("End If", textLine));
            blocks.pop_back();
            elseSeen = false;
        } else if (op == kLoop) {
            if (!top)
                return hint(kLoopBeforeDo, "the " + OnLine("Loop", textLine) + " has no Do");
            if (top->isIf)
                return hint(kLoopBeforeDo, "the " + OnLine("If", top->line) +
                                               " needs its End If before the " +
                                               OnLine("Loop", textLine));
            blocks.pop_back();
            endsWithLoop = true;
        } else if (op == kElse) {
            if (!top)
                return hint(kElseBeforeIf, "the " + OnLine("Else", textLine) + " has no If");
            if (!top->isIf)
                return hint(kElseBeforeIf, "the " + OnLine("Else", textLine) + " stands in the " +
                                               OnLine("Do", top->line) + ", not in an If");
            if (elseSeen)
                return hint(kConsecutiveElse, "the " + OnLine("If", top->line) +
                                                  " already has its " + OnLine("Else", elseLine));
            elseSeen = true;
            elseLine = textLine;
        }
        if (statements * 2 >= kProgramSize)
            return hint(kMemoryExceeded, "line " + std::to_string(textLine) + " is statement " +
                                             std::to_string(statements + 1) + "; the drive holds " +
                                             std::to_string(kProgramSize / 2));
        ++statements;
        lastStatement = textLine;
    }
    if (!blocks.empty()) {
        const OpenBlock& open = blocks.back();
        return open.isIf ? hint(kExpectEndIf, "the " + OnLine("If", open.line) + " has no End If")
                         : hint(kExpectLoop, "the " + OnLine("Do", open.line) + " has no Loop");
    }
    if (!endsWithLoop && lastStatement > 0)
        return hint(kNoFinalLoop, "the program ends on line " + std::to_string(lastStatement) +
                                      " without a Loop");
    return {};
}

} // namespace

std::string LineHint(std::string_view line, int code) {
    if (code == kStatementNotIdentified)
        return NearestStatementHint(line);
    if (code == kDataOutOfLimit)
        return OutOfLimitHint(line);
    return {};
}

std::string ProgramHint(std::string_view text, int code, long /*lineCount*/) {
    if (code == kCompiled || code == kNothingToCompile || code == kVariableOutOfLimit)
        return {};
    // The text itself tells where: LineCount depends on where the caller
    // started counting.
    return WalkProgram(text, code);
}

} // namespace kt::compiler
