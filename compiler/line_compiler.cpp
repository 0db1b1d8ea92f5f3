#include "compiler/line_compiler.h"

#include "compiler/compile_messages.h"
#include "compiler/instruction_table.h"
#include "compiler/number_rules.h"
#include "compiler/white_space.h"

#include <cmath>
#include <unordered_map>

namespace kt::compiler {

namespace {

constexpr std::string_view kCommentMark = "'";

std::string_view TrimBlanks(std::string_view text) {
    const std::size_t begin = text.find_first_not_of(' ');
    if (begin == std::string_view::npos)
        return {};
    return text.substr(begin, text.find_last_not_of(' ') - begin + 1);
}

// Splits at the first n separators; the last field takes the rest.
template <std::size_t N>
std::array<std::string_view, N> SplitFields(std::string_view text, char sep) {
    std::array<std::string_view, N> fields{};
    for (std::size_t i = 0; i < N; ++i) {
        const std::size_t cut = (i + 1 < N) ? text.find(sep) : std::string_view::npos;
        fields[i] = text.substr(0, cut);
        if (cut == std::string_view::npos)
            break;
        text.remove_prefix(cut + 1);
    }
    return fields;
}

// The rows split once, and the rows of each head in index order: the line
// compiler only looks at rows whose head equals the line's first part, so
// this lookup gives the same first match as trying all rows in order.
struct SplitTable {
    std::array<TemplateFields, kInstructionCount> rows;
    std::unordered_map<std::string_view, std::vector<int>> rowsByHead;

    SplitTable() {
        for (int i = 0; i < kInstructionCount; ++i) {
            rows[i] = SplitTemplate(i);
            rowsByHead[rows[i].TemplateHead].push_back(i);
        }
    }
};

const SplitTable& Table() {
    static const SplitTable table;
    return table;
}

// The tenths rows: W = value x 10 formed in double, rounded once.
std::uint8_t EncodeTenths(Single value, StatementBytes& code) {
    const double w = RoundHalfEven(static_cast<double>(value) * 10.0);
    if (!(w >= 0))
        return kDataOutOfLimit;
    // value is at most the limit here, so w is at most 1021.
    const int tenths = static_cast<int>(w);
    code[0] = static_cast<std::uint8_t>(code[0] + tenths / 256);
    code[1] = static_cast<std::uint8_t>(tenths % 256);
    return kCompiled;
}

} // namespace

std::optional<std::uint8_t> EncodeValue(const std::vector<std::string_view>& parts,
                                        std::size_t index, Single limit, std::string_view rule) {
    if (index >= parts.size())
        return std::nullopt;
    std::optional<Single> value = ParseSingle(parts[index]);
    if (!value || *value > limit || !ApplyRule(rule, *value))
        return std::nullopt;
    return ToByte(*value);
}

std::optional<std::vector<std::string_view>> SplitLine(std::string_view line,
                                                       std::string_view commentMark) {
    line = TrimWhiteSpace(line).text;
    if (line.empty())
        return std::nullopt;
    if (!commentMark.empty())
        line = line.substr(0, line.find(commentMark));
    if (line.empty())
        return std::nullopt;
    line = TrimBlanks(line); // blanks only: a tab before a comment stays

    std::string_view number;
    const std::size_t lastBlank = line.rfind(' ');
    if (lastBlank != std::string_view::npos && IsNumberText(line.substr(lastBlank + 1))) {
        number = line.substr(lastBlank + 1);
        line = line.substr(0, lastBlank + 1);
    }

    std::vector<std::string_view> parts;
    for (std::size_t dot = line.find('.'); dot != std::string_view::npos && dot != 0;
         dot = line.find('.')) {
        parts.push_back(line.substr(0, dot + 1));
        line.remove_prefix(dot + 1);
        const std::size_t blank = line.find(' ');
        parts.push_back(line.substr(0, blank));
        line = blank == std::string_view::npos ? std::string_view() : line.substr(blank);
    }
    if (!line.empty())
        parts.push_back(line);
    if (!number.empty())
        parts.push_back(number);
    return parts;
}

TemplateFields SplitTemplate(int index) {
    TemplateFields fields;
    if (index < 0 || index >= kInstructionCount)
        return fields;
    const auto [text, opcode, limit, rule] = SplitFields<4>(InstructionTable[index], ',');
    fields.TemplateText = text;
    fields.StatementCode[0] = ToByte(ParseSingle(opcode).value_or(0)).value_or(0);
    const std::size_t dot = text.find('.');
    fields.TemplateHead = text.substr(0, dot == std::string_view::npos ? dot : dot + 1);
    fields.TemplateTail = dot == std::string_view::npos ? std::string_view() : text.substr(dot + 1);
    const auto limits = SplitFields<2>(limit, '|');
    const auto rules = SplitFields<2>(rule, '|');
    for (std::size_t i = 0; i < 2; ++i) {
        fields.TemplateLimit[i] = ParseSingle(limits[i]).value_or(0);
        fields.TemplateRule[i] = rules[i];
    }
    return fields;
}

bool ApplyRule(std::string_view rule, Single& value) {
    while (!rule.empty()) {
        const char op = rule.front();
        rule.remove_prefix(1);
        // The step's number ends at the first "+" after its first character,
        // or failing that the first "*", or failing that the first "/".
        std::size_t end = std::string_view::npos;
        for (const char next : {'+', '*', '/'}) {
            end = rule.find(next, 1);
            if (end != std::string_view::npos)
                break;
        }
        const std::optional<Single> number = ParseSingle(rule.substr(0, end));
        rule = end == std::string_view::npos ? std::string_view() : rule.substr(end);
        if (!number)
            return false;
        switch (op) {
        case '+':
            value = value + *number;
            break;
        case '*':
            value = value * *number;
            break;
        case '/':
            if (*number == 0)
                return false;
            value = value / *number;
            break;
        default:
            break;
        }
        if (!std::isfinite(value))
            return false;
    }
    return true;
}

std::uint8_t CompileStatement(std::string_view line, StatementBytes& statementCode) {
    const std::optional<std::vector<std::string_view>> split = SplitLine(line, kCommentMark);
    if (!split)
        return kNothingToCompile;
    const std::vector<std::string_view>& parts = *split;

    const SplitTable& table = Table();
    const auto candidates = table.rowsByHead.find(parts[0]);
    if (candidates == table.rowsByHead.end())
        return kStatementNotIdentified;

    for (const int index : candidates->second) {
        const TemplateFields& row = table.rows[index];
        const std::string_view tail = row.TemplateTail;
        statementCode = row.StatementCode;

        if (row.TemplateLimit[0] == 0 && tail.empty()) {
            Single value = 0;
            if (!ApplyRule(row.TemplateRule[0], value))
                return kDataOutOfLimit;
            const std::optional<std::uint8_t> operand = ToByte(value);
            if (!operand)
                return kDataOutOfLimit;
            statementCode[1] = *operand;
            return kCompiled;
        }

        if (row.TemplateLimit[0] == kTenthsLimit) {
            const std::optional<Single> value =
                parts.size() > 1 ? ParseSingle(parts[1]) : std::nullopt;
            if (!value || *value > row.TemplateLimit[0])
                return kDataOutOfLimit;
            return EncodeTenths(*value, statementCode);
        }

        const std::optional<std::uint8_t> operand =
            EncodeValue(parts, 1, row.TemplateLimit[0], row.TemplateRule[0]);
        if (!operand)
            return kDataOutOfLimit;
        statementCode[1] = *operand;

        // A row matches only when it accounts for every part of the line:
        // "If Flag.3 = 5" or "Counter0 = Counter.3 + 1" are not "If Flag.3"
        // and "Counter0 = Counter.3".
        if (row.TemplateLimit[1] == 0 && tail.empty()) {
            if (parts.size() == 2)
                return kCompiled;
            continue;
        }
        if (parts.size() < 3 || parts[2] != tail)
            continue;
        if (row.TemplateLimit[1] == 0) {
            if (parts.size() == 3)
                return kCompiled;
            continue;
        }
        // The second value must be a byte of its own, not only keep the sum in
        // range: a negative one would eat into the first value's bits.
        const std::optional<std::uint8_t> second =
            EncodeValue(parts, 3, row.TemplateLimit[1], row.TemplateRule[1]);
        if (!second || statementCode[1] + *second > 255)
            return kDataOutOfLimit;
        if (parts.size() > 4)
            continue;
        statementCode[1] = static_cast<std::uint8_t>(statementCode[1] + *second);
        return kCompiled;
    }
    return kStatementNotIdentified;
}

} // namespace kt::compiler
