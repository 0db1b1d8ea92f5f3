#include "help/language_reference.h"

#include "compiler/compile_messages.h"
#include "compiler/instruction_table.h"
#include "compiler/line_compiler.h"
#include "compiler/number_rules.h"
#include "compiler/program_compiler.h"
#include "drivemap/drive_catalogue.h"
#include "editor/get_word.h"
#include "help/help_keyword.h"
#include "sim/simulation_assumptions.h"

#include <QHash>

#include <algorithm>
#include <array>
#include <cmath>
#include <string>
#include <vector>

namespace kt::help {

namespace {

using compiler::Single;
using compiler::TemplateFields;

using compiler::kTenthsLimit;

enum Family : int {
    kCounters,
    kWordCounters,
    kFlags,
    kInputsOutputs,
    kTimers,
    kConditionals,
    kLoops,
    kRatesSpeeds,
    kCurrentVoltage,
    kMiscellaneous,
    kFamilyCount,
};

constexpr const char* kOverview = "overview";
constexpr const char* kOperators = "operators";
constexpr const char* kProgram = "program";

struct FamilyText {
    const char* id;
    const char* title;
    const char* intro;    // our explanation, HTML
    const char* keywords; // further index entries, "|" between them
};

// clang-format off
const std::array<FamilyText, kFamilyCount> kFamilies{{
    {"counters", "Counters",
     R"(<p>Eight counters, Counter0 to Counter7, each hold a whole number from 0 to 255.
Counter0 is the working counter: it is the one that And, Or and Xor combine with a constant or
with another counter (bit by bit, the result staying in Counter0), that <b>If</b> and
<b>Do Until</b> compare, and that the other counters are copied to and from.</p>
<ul>
<li>Every counter can be set to a constant; the counter's digit is part of the statement:
<code>Counter3 = 20</code>.</li>
<li>A counter number written after a dot names any counter: <code>Counter0 = Counter.5</code>
copies counter 5 into Counter0, <code>Counter.5 = Counter0</code> copies it back.</li>
<li><code>Counter.2 = InputByte</code> stores the eight inputs, taken together as one byte, in
counter 2.</li>
</ul>
<p><code>Counter0 = 7</code>, <code>Counter0 = Counter.7</code> and <code>Counter7 = 9</code>
are three different statements. A constant is rounded to a whole number, halves to the even
one.</p>)",
     "Counters"},
    {"word-counters", "Word counters",
     R"(<p>Four word counters, WordCounter0 to WordCounter3, hold values too large for a byte:
rates, speeds and analog readings. WordCounter0 is the working word counter: it takes a value
in tenths from 0 to 102.1 and is compared in <b>If</b> and <b>Do Until</b>. Each word counter
can be raised or lowered by a constant from 0 to 255, and any of them can take a copy of the
acceleration or deceleration rate, the reference speed, the current speed, an analog input or
WordCounter0.</p>
<p>In the operand a word counter n is written as 2n; with <code>Analog.m</code> the analog
input adds 32m. The rates and the reference speed are set back from a word counter on the page
<a href="topic:rates-speeds">Rates and speeds</a>.</p>
<p>Mind the spelling <b>RefrenceSpeed</b> in <code>WordCounter.1 = RefrenceSpeed</code>: the
statement is written that way.</p>)",
     "Word counters"},
    {"flags", "Flags",
     R"(<p>Eight flags, Flag0 to Flag7, each hold True or False. Flag0 is the working flag:
it takes a copy of any bit, combines with a bit by And, Or and Xor, and can be written to the
other flags, the outputs and the motor commands. A bit is a flag, an input, an output, a timer
flag or a motor bit (see <a href="topic:inputs-outputs">Inputs, outputs and motor bits</a>);
<b>Not</b> before it takes its opposite.</p>
<p>MotorEnable is read only through Flag0: <code>Flag0 = Not MotorEnable</code> is a
statement, <code>If Not MotorEnable</code> is not. Copy it to Flag0 and test
<code>If Flag.0</code> instead.</p>
<p>True and False are written as words: <code>Flag.3 = True</code>.</p>)",
     "Flags"},
    {"inputs-outputs", "Inputs, outputs and motor bits",
     R"(<p>The drive has eight inputs, Input.0 to Input.7, which a program reads, and two
outputs, Output.0 and Output.1, which it sets and reads. Its motor bits are CommandForward,
CommandReverse and AutoTorque, which a program sets to True, False or the value of Flag0, and
MotorForward and MotorEnable, which it reads. CommandForward and CommandReverse can be read
as well.</p>
<p>Bits are read by <a href="topic:conditionals">If</a>, <a href="topic:loops">Do Until</a>
and the <a href="topic:flags">Flag0</a> statements. In the operand byte each bit has a number
of its own, and Not adds 128:</p>)",
     "Inputs|Outputs|Bits|Motor bits"},
    {"timers", "Timers",
     R"(<p>Four timers, 0 to 3, are started by TriggerTimer0 to TriggerTimer3 with a count from
0 to 255, written after a blank with no = sign: <code>TriggerTimer2 150</code>. With
<b>By</b> the count comes from a counter: <code>TriggerTimer2 By Counter.4</code>.</p>
<p>Each timer has a flag, TimerFlag.0 to TimerFlag.3, which <b>If</b>, <b>Do Until</b> and
the Flag0 statements read like any other bit.</p>)",
     "Timers|Timer"},
    {"conditionals", "If, Else and End If",
     R"(<p>An <b>If</b> statement opens a block that the drive runs only when its condition
holds. <b>Else</b> may follow once, starting the part that runs otherwise, and <b>End If</b>
closes the block; it is two words with one blank, although the compiler's messages call it
EndIf. Blocks may be nested, but each must be closed inside the block around it.</p>
<p>The conditions:</p>
<ul>
<li>Counter0 compared with a constant or with a counter: <code>If Counter0 &gt;= 10</code>,
<code>If Counter0 &lt;&gt; Counter.3</code>.</li>
<li>WordCounter0 compared with a word counter: <code>If WordCounter0 &lt; WordCounter.1</code>.</li>
<li>A bit, or with <b>Not</b> its opposite: <code>If Input.3</code>,
<code>If Not TimerFlag.1</code>.</li>
<li>An input that has just changed: <code>If ClickedToTrue Input.2</code>,
<code>If ClickedToFalse Input.2</code>.</li>
</ul>
<p>There is no &gt; and no &lt;=: write <code>If Counter0 &gt;= 6</code> for "above 5".</p>)",
     "Conditionals|End If|EndIf"},
    {"loops", "Do and Loop",
     R"(<p><b>Do</b> opens a block that <b>Loop</b> closes; the drive repeats it.
<b>Do Until</b> with a condition repeats it until the condition holds. The conditions are
those of <a href="topic:conditionals">If</a>, except the ClickedTo forms.</p>
<p>A program must end with the Loop that closes its outermost block, so a program is usually
one <b>Do</b> ... <b>Loop</b> around everything else. Do blocks and If blocks may be nested in
each other, each closed inside the block around it.</p>)",
     "Loops|Do Until"},
    {"rates-speeds", "Rates and speeds",
     R"(<p>AccelerateRate, DecelerateRate and the reference speed take a value from 0 to 102.1
with one decimal, or the value of a word counter.</p>
<p>A value in tenths does not fit one byte. It is rounded to tenths, W = value &times; 10
(halves to the even neighbour); W / 256 is added to the opcode and W modulo 256 is the
operand. So each of these statements owns four opcodes.</p>
<p>The statements are matched letter by letter, and two spellings are in use:
<b>RefrenceSpeed</b> (without the second e) when setting it from a value and when copying it
to a word counter, <b>ReferenceSpeed</b> when setting it from a word counter.</p>)",
     "Rates|Speeds|Tenths"},
    {"current-voltage", "Current and voltage",
     R"(<p>CurrentLimit takes a value from 0 to 25.5, stored as value &times; 1000 / 255, so the
operand runs from 0 to 100. Volt% takes a percentage from 0 to 100, stored as
value &times; 255 / 100, so the operand runs from 0 to 255. Both are rounded to a whole
operand, halves to the even neighbour.</p>)",
     "Current|Voltage|Volt"},
    {"miscellaneous", "Miscellaneous",
     R"(<p>Statements that belong to no other family. <b>Reset Program</b> takes no value and
has the drive reset the program.</p>)",
     "Miscellaneous|Reset Program"},
}};
// clang-format on

// A statement's family is decided by how its text begins.
struct Lead {
    std::string_view prefix;
    Family family;
};
constexpr std::array<Lead, 19> kLeads{{
    {"If ", kConditionals},
    {"Else", kConditionals},
    {"End If", kConditionals},
    {"Do", kLoops},
    {"Loop", kLoops},
    {"WordCounter", kWordCounters},
    {"Counter", kCounters},
    {"Flag", kFlags},
    {"Output.", kInputsOutputs},
    {"AutoTorque", kInputsOutputs},
    {"CommandForward", kInputsOutputs},
    {"CommandReverse", kInputsOutputs},
    {"TriggerTimer", kTimers},
    {"AccelerateRate", kRatesSpeeds},
    {"DecelerateRate", kRatesSpeeds},
    {"RefrenceSpeed", kRatesSpeeds},
    {"ReferenceSpeed", kRatesSpeeds},
    {"CurrentLimit", kCurrentVoltage},
    {"Volt%", kCurrentVoltage},
}};

// Words that several families use go where the reader looks for them; any
// other word goes to the family that uses it most.
struct Home {
    const char* keyword;
    const char* topic;
};
constexpr std::array<Home, 20> kHomes{{
    {"=", kOperators},
    {">=", kOperators},
    {"<", kOperators},
    {"<>", kOperators},
    {"+", kOperators},
    {"-", kOperators},
    {"And", kOperators},
    {"Or", kOperators},
    {"Xor", kOperators},
    {"Not", kOperators},
    {"True", "flags"},
    {"False", "flags"},
    {"Input", "inputs-outputs"},
    {"Output", "inputs-outputs"},
    {"CommandForward", "inputs-outputs"},
    {"CommandReverse", "inputs-outputs"},
    {"AutoTorque", "inputs-outputs"},
    {"MotorForward", "inputs-outputs"},
    {"MotorEnable", "inputs-outputs"},
    {"TimerFlag", "timers"},
}};

struct Operator {
    const char* keyword;
    const char* meaning;
};
constexpr std::array<Operator, 10> kOperatorMeanings{{
    {"=", "sets the left side to the right one; in If and Do Until, tests equality"},
    {">=", "at least: Counter0 or WordCounter0 is greater than or equal to the right side"},
    {"<", "less than"},
    {"<>", "not equal"},
    {"+", "adds a constant from 0 to 255 to a word counter"},
    {"-", "subtracts a constant from 0 to 255 from a word counter"},
    {"And", "bit by bit for Counter0, true when both are true for Flag0"},
    {"Or", "bit by bit for Counter0, true when either is true for Flag0"},
    {"Xor", "bit by bit for Counter0, true when exactly one is true for Flag0"},
    {"Not", "the opposite of the bit after it; adds 128 to the operand"},
}};

QString Text(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

QString Esc(const QString& text) {
    return text.toHtmlEscaped();
}

QString Code(const QString& text) {
    return QStringLiteral("<code>%1</code>").arg(Esc(text));
}

QString Link(const QString& id, const QString& title) {
    return QStringLiteral("<a href=\"topic:%1\">%2</a>").arg(id, Esc(title));
}

QString Number(Single value) {
    return QString::fromStdString(compiler::FormatSingle(value));
}

Family FamilyOf(int index) {
    const std::string_view text = compiler::TemplateTextOf(index);
    for (const Lead& lead : kLeads) {
        if (text.starts_with(lead.prefix))
            return lead.family;
    }
    return kMiscellaneous;
}

QString TopicOfFamily(int family) {
    return QString::fromLatin1(kFamilies[static_cast<std::size_t>(family)].id);
}

QString TitleOfTopic(const QString& id) {
    if (id == QLatin1String(kOverview))
        return QStringLiteral("Overview");
    if (id == QLatin1String(kOperators))
        return QStringLiteral("Operators and comparisons");
    if (id == QLatin1String(kProgram))
        return QStringLiteral("The program and its limits");
    for (const FamilyText& family : kFamilies) {
        if (id == QLatin1String(family.id))
            return QString::fromLatin1(family.title);
    }
    return id;
}

bool TakesNoValue(const TemplateFields& row) {
    return row.TemplateLimit[0] == 0 && row.TemplateTail.empty();
}

bool TakesIndex(const TemplateFields& row) {
    return row.TemplateHead.ends_with('.');
}

// The operand a rule gives a statement without value.
int FixedOperand(const TemplateFields& row) {
    Single value = 0;
    if (!compiler::ApplyRule(row.TemplateRule[0], value))
        return 0;
    return static_cast<int>(compiler::RoundHalfEven(value));
}

// A rule as arithmetic on the value's name: "+16+128" on n gives "144 + n",
// "*1000/255" on value gives "value x 1000 / 255".
QString RuleText(std::string_view rule, const QString& name) {
    if (rule.empty())
        return name;
    bool additive = true;
    Single offset = 0;
    QString product = name;
    while (!rule.empty()) {
        const char op = rule.front();
        rule.remove_prefix(1);
        const std::size_t end = rule.find_first_of("+*/");
        const std::string_view number = rule.substr(0, end);
        rule.remove_prefix(end == std::string_view::npos ? rule.size() : end);
        const QString step = Text(number);
        if (op == '+') {
            offset += compiler::ParseSingle(number).value_or(0);
            product += QStringLiteral(" + ") + step;
        } else {
            additive = false;
            product += (op == '*' ? QStringLiteral(" &times; ") : QStringLiteral(" / ")) + step;
        }
    }
    if (!additive)
        return product;
    return offset == 0 ? name : QStringLiteral("%1 + %2").arg(Number(offset), name);
}

QString OpcodeText(const TemplateFields& row) {
    const int opcode = row.StatementCode[0];
    if (row.TemplateLimit[0] != kTenthsLimit)
        return QString::number(opcode);
    const auto tenths = static_cast<int>(compiler::RoundHalfEven(double{kTenthsLimit} * 10.0));
    return QStringLiteral("%1 to %2").arg(opcode).arg(opcode + tenths / 256);
}

QString RangeText(Single limit) {
    return QStringLiteral("0 to %1").arg(Number(limit));
}

QString ValueText(const TemplateFields& row) {
    if (TakesNoValue(row))
        return QStringLiteral("none");
    if (TakesIndex(row)) {
        QString text = QStringLiteral("n: ") + RangeText(row.TemplateLimit[0]);
        if (row.TemplateLimit[1] != 0)
            text += QStringLiteral("; m: ") + RangeText(row.TemplateLimit[1]);
        return text;
    }
    if (row.TemplateLimit[0] == kTenthsLimit)
        return RangeText(row.TemplateLimit[0]) + QStringLiteral(", in tenths");
    return RangeText(row.TemplateLimit[0]);
}

QString OperandText(const TemplateFields& row) {
    if (TakesNoValue(row))
        return QStringLiteral("always %1").arg(FixedOperand(row));
    if (row.TemplateLimit[0] == kTenthsLimit)
        return QStringLiteral("tenths over opcode and operand");
    const QString name = TakesIndex(row) ? QStringLiteral("n") : QStringLiteral("value");
    QString text = RuleText(row.TemplateRule[0], name);
    if (row.TemplateLimit[1] != 0)
        text += QStringLiteral(" + ") + RuleText(row.TemplateRule[1], QStringLiteral("m"));
    return text;
}

QString IndexExample(Single limit) {
    return QString::number(static_cast<int>(std::ceil(limit / 2)));
}

// Values that show what the encoding does: a carry into the opcode, a half
// rounded to even.
QString ConstantExample(Single limit) {
    struct Sample {
        Single limit;
        const char* value;
    };
    constexpr std::array<Sample, 4> samples{{
        {255, "100"},
        {kTenthsLimit, "50.5"},
        {100, "50"},
        {25.5f, "12.5"},
    }};
    for (const Sample& sample : samples) {
        if (sample.limit == limit)
            return QString::fromLatin1(sample.value);
    }
    return Number(limit);
}

// The two bytes of a source line, kept on one line of the page: "45, 100".
// Empty when the line does not compile.
QString BytesOf(const QString& line) {
    compiler::StatementBytes bytes{};
    if (compiler::CompileStatement(line.toStdString(), bytes) != compiler::kCompiled)
        return {};
    return QStringLiteral("%1,&nbsp;%2").arg(bytes[0]).arg(bytes[1]);
}

QStringList KeywordsOfTemplate(int index) {
    const QString text = Text(compiler::TemplateTextOf(index));
    QStringList keywords;
    for (qsizetype column = 0; column <= text.size(); ++column) {
        const QString keyword = HelpKeyword(editor::GetWord(text, column));
        if (!keyword.isEmpty() && !keywords.contains(keyword))
            keywords.append(keyword);
    }
    return keywords;
}

// Topic id -> the keywords that lead there from the statements.
QHash<QString, QStringList> StatementKeywords() {
    struct Use {
        std::array<int, kFamilyCount> count{};
        std::vector<int> families; // in the order of their first row
    };
    QHash<QString, Use> uses;
    QStringList order;
    for (int index = 0; index < compiler::kInstructionCount; ++index) {
        const Family family = FamilyOf(index);
        for (const QString& keyword : KeywordsOfTemplate(index)) {
            if (!uses.contains(keyword))
                order.append(keyword);
            Use& use = uses[keyword];
            if (use.count[family]++ == 0)
                use.families.push_back(family);
        }
    }
    QHash<QString, QStringList> byTopic;
    for (const QString& keyword : order) {
        QString topic;
        for (const Home& home : kHomes) {
            if (keyword == QLatin1String(home.keyword))
                topic = QString::fromLatin1(home.topic);
        }
        if (topic.isEmpty()) {
            const Use& use = uses[keyword];
            int best = use.families.front();
            for (const int family : use.families) {
                if (use.count[family] > use.count[best])
                    best = family;
            }
            topic = TopicOfFamily(best);
        }
        byTopic[topic].append(keyword);
    }
    return byTopic;
}

QStringList SplitKeywords(const char* keywords) {
    return QString::fromLatin1(keywords).split(u'|', Qt::SkipEmptyParts);
}

QString Page(const QString& title, const QString& body) {
    return QStringLiteral("<html><body><h1>%1</h1>%2</body></html>").arg(Esc(title), body);
}

QString Table(const QStringList& headers, const std::vector<QStringList>& rows) {
    QString html = QStringLiteral(
        "<table border=\"1\" cellspacing=\"0\" cellpadding=\"4\" width=\"100%\"><tr>");
    for (const QString& header : headers)
        html += QStringLiteral("<th>%1</th>").arg(header);
    html += QStringLiteral("</tr>");
    for (const QStringList& row : rows) {
        html += QStringLiteral("<tr>");
        for (const QString& cell : row)
            html += QStringLiteral("<td>%1</td>").arg(cell);
        html += QStringLiteral("</tr>");
    }
    return html + QStringLiteral("</table>");
}

QString StatementTable(Family family) {
    std::vector<QStringList> rows;
    for (int index = 0; index < compiler::kInstructionCount; ++index) {
        if (FamilyOf(index) != family)
            continue;
        const TemplateFields row = compiler::SplitTemplate(index);
        const QString example = ExampleLineOf(index);
        rows.push_back({Code(Text(row.TemplateText)), OpcodeText(row), ValueText(row),
                        OperandText(row), Code(example), BytesOf(example)});
    }
    return Table({QStringLiteral("Statement"), QStringLiteral("Opcode"), QStringLiteral("Value"),
                  QStringLiteral("Operand"), QStringLiteral("Example"), QStringLiteral("Bytes")},
                 rows);
}

// The operand byte of each bit, as the compiler gives it.
QString BitTable() {
    struct Bit {
        const char* name;
        const char* line; // a statement reading or writing it with index 0
        bool indexed;
    };
    constexpr std::array<Bit, 9> bits{{
        {"Input.n", "Flag0 = Input.0", true},
        {"Output.n", "Flag0 = Output.0", true},
        {"Flag.n", "Flag0 = Flag.0", true},
        {"CommandForward", "Flag0 = CommandForward", false},
        {"CommandReverse", "Flag0 = CommandReverse", false},
        {"AutoTorque", "AutoTorque = Flag0", false},
        {"MotorForward", "Flag0 = MotorForward", false},
        {"MotorEnable", "Flag0 = MotorEnable", false},
        {"TimerFlag.n", "Flag0 = TimerFlag.0", true},
    }};
    std::vector<QStringList> rows;
    for (const Bit& bit : bits) {
        compiler::StatementBytes bytes{};
        compiler::CompileStatement(bit.line, bytes);
        QString operand = QString::number(bytes[1]);
        if (bit.indexed)
            operand = bytes[1] == 0 ? QStringLiteral("n") : operand + QStringLiteral(" + n");
        rows.push_back({Code(QString::fromLatin1(bit.name)), operand});
    }
    return Table({QStringLiteral("Bit"), QStringLiteral("Operand byte")}, rows);
}

// Facts the pages show worked out by the compiler itself.
QString CompiledExamples(const QStringList& lines) {
    std::vector<QStringList> rows;
    for (const QString& line : lines) {
        const QString bytes = BytesOf(line);
        if (!bytes.isEmpty()) {
            rows.push_back({Code(line), bytes});
            continue;
        }
        compiler::StatementBytes unused{};
        const int code = compiler::CompileStatement(line.toStdString(), unused);
        rows.push_back({Code(line), Esc(Text(compiler::CompileMessage(code)))});
    }
    return Table({QStringLiteral("Line"), QStringLiteral("Bytes or message")}, rows);
}

QStringList ExamplesOf(Family family) {
    switch (family) {
    case kCounters:
        return {QStringLiteral("Counter0 = 254.6"), QStringLiteral("Counter0 = 12.5"),
                QStringLiteral("Counter0 = 256"), QStringLiteral("counter0 = 5")};
    case kRatesSpeeds:
        return {QStringLiteral("AccelerateRate = 0.05"),
                QStringLiteral("AccelerateRate = 50.5"),
                QStringLiteral("AccelerateRate = 102.1"),
                QStringLiteral("RefrenceSpeed = 50"),
                QStringLiteral("ReferenceSpeed = 50"),
                QStringLiteral("ReferenceSpeed = WordCounter.1")};
    case kCurrentVoltage:
        return {QStringLiteral("CurrentLimit = 25.5"), QStringLiteral("Volt% = 50"),
                QStringLiteral("Volt% = 101")};
    case kFlags:
        return {QStringLiteral("Flag0 = Not MotorEnable"), QStringLiteral("If Not MotorEnable")};
    default:
        return {};
    }
}

QString SeeAlso(const QStringList& ids) {
    QStringList links;
    for (const QString& id : ids)
        links.append(Link(id, TitleOfTopic(id)));
    return QStringLiteral("<p>See also: %1.</p>").arg(links.join(QStringLiteral(", ")));
}

platform::HelpTopic FamilyTopic(Family family) {
    const FamilyText& text = kFamilies[static_cast<std::size_t>(family)];
    QString body = QString::fromLatin1(text.intro);
    if (family == kInputsOutputs)
        body += BitTable();
    body += QStringLiteral("<h2>Statements</h2>") + StatementTable(family);
    const QStringList examples = ExamplesOf(family);
    if (!examples.isEmpty())
        body += QStringLiteral("<h2>Examples</h2>") + CompiledExamples(examples);
    body += SeeAlso({QLatin1String(kOperators), QLatin1String(kProgram), QLatin1String(kOverview)});
    return {QString::fromLatin1(text.id), QString::fromLatin1(text.title),
            Page(QString::fromLatin1(text.title), body), SplitKeywords(text.keywords)};
}

platform::HelpTopic OverviewTopic(const std::vector<platform::HelpTopic>& others) {
    std::array<int, kFamilyCount> counts{};
    for (int index = 0; index < compiler::kInstructionCount; ++index)
        ++counts[FamilyOf(index)];

    QString body =
        QStringLiteral(
            R"(<p>A KtMotor program is a list of statements, one to a line, that the drive keeps in
its program memory and runs with its own interpreter. The language has %1 statements. Each is
written exactly as its template: capitals, single blanks and spelling must agree, so
<code>counter0 = 5</code> and <code style="white-space:pre">Counter0  = 5</code> (two
blanks) are not statements.
Blanks and tabs before and after a statement do not matter, so blocks can be indented.</p>
<p>Where a statement takes a number, the template shows it in one of two ways. A dot is followed
directly by the number of a counter, flag, input, output or timer flag: <code>If Flag.3</code>.
A template ending in a blank is followed by a constant: <code>Counter0 = 200</code>. A value is
written in digits, with a decimal point if needed; it must not exceed the statement's limit and
is rounded to a whole operand, halves to the even neighbour.</p>
<p>Every statement becomes two bytes, its opcode and its operand. Each line is checked when it
is ended with Enter; the whole program is checked when it is compiled.</p>
<p>F1 in the editor shows the topic of the word at the caret (Counter for Counter.5 or
Counter0); F1 in the statement list shows the topic of the chosen statement.</p>
<h2>Topics</h2>)")
            .arg(compiler::kInstructionCount);
    std::vector<QStringList> rows;
    for (const platform::HelpTopic& topic : others) {
        QString statements;
        for (int family = 0; family < kFamilyCount; ++family) {
            if (topic.id == TopicOfFamily(family))
                statements = QString::number(counts[static_cast<std::size_t>(family)]);
        }
        rows.push_back({Link(topic.id, topic.title), statements});
    }
    body += Table({QStringLiteral("Topic"), QStringLiteral("Statements")}, rows);
    return {QLatin1String(kOverview), TitleOfTopic(QLatin1String(kOverview)),
            Page(QStringLiteral("The KtMotor language"), body),
            SplitKeywords("Overview|Contents|Language|Statements|Templates|Values|Rounding")};
}

platform::HelpTopic OperatorsTopic(const QHash<QString, QList<int>>& familiesOfKeyword) {
    std::vector<QStringList> rows;
    for (const Operator& op : kOperatorMeanings) {
        QStringList links;
        for (const int family : familiesOfKeyword.value(QString::fromLatin1(op.keyword)))
            links.append(Link(TopicOfFamily(family),
                              QString::fromLatin1(kFamilies[std::size_t(family)].title)));
        rows.push_back({Code(QString::fromLatin1(op.keyword)), Esc(QString::fromLatin1(op.meaning)),
                        links.join(QStringLiteral(", "))});
    }
    const QString body =
        QStringLiteral(
            R"(<p>Operators stand between blanks and belong to the statement's text: a statement
either has an operator at that place or it does not. Comparisons always have Counter0 or
WordCounter0 on the left; And, Or and Xor always combine into Counter0 or Flag0.</p>)") +
        Table({QStringLiteral("Operator"), QStringLiteral("Meaning"), QStringLiteral("Used in")},
              rows) +
        QStringLiteral(
            R"(<p>There is no &gt; and no &lt;=. For whole numbers, <code>If Counter0 &gt;= 6</code>
means "above 5" and <code>If Counter0 &lt; 6</code> means "at most 5".</p>)") +
        SeeAlso(
            {QStringLiteral("conditionals"), QStringLiteral("loops"), QLatin1String(kOverview)});
    return {QLatin1String(kOperators), TitleOfTopic(QLatin1String(kOperators)),
            Page(TitleOfTopic(QLatin1String(kOperators)), body),
            SplitKeywords("Operators|Comparisons|>|<=")};
}

QString MessageTable() {
    struct Cause {
        compiler::CompileCode code;
        const char* when;
    };
    constexpr std::array<Cause, 11> causes{{
        {compiler::kCompiled, "the whole program is fine"},
        {compiler::kStatementNotIdentified,
         "a line is no statement: check capitals, blanks and spelling"},
        {compiler::kDataOutOfLimit, "a value is above its limit, negative, missing or no number"},
        {compiler::kExpectEndIf, "an If block is still open at the end"},
        {compiler::kExpectLoop, "a Do block is still open at the end"},
        {compiler::kConsecutiveElse, "an Else follows an Else with no If or End If between them"},
        {compiler::kElseBeforeIf, "an Else whose innermost open block is no If"},
        {compiler::kLoopBeforeDo, "a Loop whose innermost open block is no Do"},
        {compiler::kEndIfBeforeIf, "an End If whose innermost open block is no If"},
        {compiler::kMemoryExceeded, "the program has more statements than fit"},
        {compiler::kNoFinalLoop, "the last statement is not the Loop closing the outermost block"},
    }};
    std::vector<QStringList> rows;
    for (const Cause& cause : causes) {
        rows.push_back({Esc(Text(compiler::CompileMessage(cause.code))),
                        Esc(QString::fromLatin1(cause.when))});
    }
    return Table({QStringLiteral("Message"), QStringLiteral("When")}, rows);
}

QString WorkedExample() {
    const QStringList lines = {
        QStringLiteral("Do"),
        QStringLiteral("    If Input.0"),
        QStringLiteral("        Output.0 = True ' switch on"),
        QStringLiteral("    Else"),
        QStringLiteral("        Output.0 = False"),
        QStringLiteral("    End If"),
        QStringLiteral("Loop"),
    };
    compiler::ProgramCompiler programCompiler;
    long lineCount = 0;
    const std::string text = lines.join(QStringLiteral("\r\n")).toStdString();
    if (programCompiler.CompileText(text, lineCount) != compiler::kCompiled)
        return {};
    const compiler::ProgramImage& image = programCompiler.ProgramBuffer();
    QStringList used;
    std::size_t end = 0;
    while (end < image.size() && image[end] != compiler::kImageFill) {
        used.append(QString::number(image[end]));
        ++end;
    }
    QString listing;
    for (const QString& line : lines)
        listing += Esc(line) + QStringLiteral("\n");
    return QStringLiteral("<pre>%1</pre><p>compiles to the bytes %2, followed by %3 bytes of "
                          "255.</p>")
        .arg(listing, used.join(QStringLiteral(", ")))
        .arg(image.size() - end);
}

platform::HelpTopic ProgramTopic() {
    const auto statements = static_cast<int>(compiler::kProgramSize / 2);
    QString body = QStringLiteral(
                       R"(<h2>Lines</h2>
<p>A program has one statement to a line. Blank lines are allowed. A comment starts with '
and runs to the end of the line, on a line of its own or after a statement. Put blanks, not a
tab, between a statement and its comment: a tab left before the comment becomes part of the
line, which then is no statement.</p>
<p>Each line is checked when you end it with Enter; an error is shown at once, and the line
stays as typed. Compile checks the whole program and reports the first error, the message
directly followed by "Error at Line " and the line's number, counting the first line as 0 like
the Line Number display.</p>
<h2>Blocks</h2>
<p>If, Else and End If form one kind of block, Do (or Do Until) and Loop the other. Blocks
must nest: each closes inside the block around it, and an If has at most one Else. The program
must end with Loop, the Loop of its outermost block; blank lines and comments after it do not
matter.</p>
<h2>The program image</h2>
<p>The drive's program memory holds %1 bytes. Every statement takes two of them, its opcode and
its operand, in the order of the lines, so a program has at most %2 statements. Blank and
comment lines take none. The bytes after the last statement are filled with 255 (0xFF); no
opcode is 255, so the first 255 in an opcode's place ends the program. There is no header and
no checksum, and blocks are stored as their statements only: the drive pairs them
itself.</p>)")
                       .arg(compiler::kProgramSize)
                       .arg(statements);
    body += QStringLiteral("<p>For example, the program</p>") + WorkedExample();
    body += QStringLiteral("<h2>Messages</h2>") + MessageTable();
    body += SeeAlso(
        {QStringLiteral("conditionals"), QStringLiteral("loops"), QLatin1String(kOverview)});
    return {QLatin1String(kProgram), TitleOfTopic(QLatin1String(kProgram)),
            Page(TitleOfTopic(QLatin1String(kProgram)), body),
            SplitKeywords("Program image|Compile|Comments|'|Blank lines|Blocks|Memory|Limits|"
                          "Errors|Error messages")};
}

} // namespace

namespace {

QString FromView(std::string_view text) {
    return QString::fromUtf8(text.data(), static_cast<qsizetype>(text.size()));
}

// The drive's values as every surface names them, straight from the
// catalogue: the names the command line, the Monitor and the simulator
// print and accept, units, ranges, power-up values.
platform::HelpTopic DriveValuesTopic() {
    using drivemap::DriveValue;
    std::vector<QStringList> rows;
    for (const DriveValue& value : drivemap::Values()) {
        QString name = FromView(value.name);
        if (value.channels > 0) {
            name = QStringLiteral("%1.0 to %1.%2").arg(name).arg(value.channels - 1);
        } else if (!value.bits.empty()) {
            QStringList bits;
            for (const drivemap::Bit& bit : value.bits)
                bits << FromView(bit.name);
            name += QStringLiteral(": ") + bits.join(QStringLiteral(", "));
        }
        const auto text = [&value](double reading) {
            return QString::fromStdString(drivemap::Format(value, reading));
        };
        QString range;
        if (value.kind == drivemap::Kind::Bits)
            range = QStringLiteral("each bit 0 or 1");
        else if (value.kind == drivemap::Kind::Text)
            range = QStringLiteral("codes %1 to %2").arg(value.range.low).arg(value.range.high);
        else
            range = text(value.range.low) + QStringLiteral(" to ") + text(value.range.high);
        QString writable = value.writable ? QStringLiteral("yes") : QStringLiteral("no");
        if (!value.writable) {
            for (const drivemap::Bit& bit : value.bits) {
                if (bit.writable) {
                    writable = QStringLiteral("its bits");
                    if (value.id == drivemap::Id::Status)
                        writable = QStringLiteral("the command bits");
                    break;
                }
            }
        }
        rows.push_back({Esc(name), Esc(FromView(value.unit)), Esc(range), writable,
                        Esc(text(drivemap::Scale(value.scaling, value.powerUp)))});
    }
    QString body = QStringLiteral(
        R"(<p>Every part of KtMotor names the drive's values the same way: the device window's
values, <code>ktmotor-cli read</code>, <code>write</code>, <code>monitor</code> and
<code>simulate</code>, the Monitor window and its CSV, the Communication window and the
simulator window. A name is accepted in any case, with or without blanks or hyphens between its
words, with its number after a dot, a blank or nothing (<code>Counter.3</code>,
<code>counter 3</code>, <code>Counter3</code>), and in the language's own spellings
(<code>AccelerateRate</code>, <code>DecelerateRate</code>, <code>RefrenceSpeed</code>). A single
bit has a name of its own: <code>Input.0</code>, <code>MotorEnable</code>.</p>)");
    body += Table({QStringLiteral("Name"), QStringLiteral("Unit"), QStringLiteral("Range"),
                   QStringLiteral("Written by the user"), QStringLiteral("At power-up")},
                  rows);
    body += QStringLiteral("<p>A value without a unit is a count of its own kind; tenths values "
                           "(speeds and rates) are shown in the drive's own units.</p>");
    return {.id = QStringLiteral("drivevalues"),
            .title = QStringLiteral("The drive's values"),
            .html = Page(QStringLiteral("The drive's values"), body),
            .keywords = SplitKeywords("Drive values|Names|Units|Ranges|Power-up|Read|Write|"
                                      "Monitor|CSV")};
}

// The simulated drive's choices, as the interpreter states them.
platform::HelpTopic SimulatorTopic() {
    const QString text =
        QString::fromUtf8(sim::kSimulationAssumptions.data(),
                          static_cast<qsizetype>(sim::kSimulationAssumptions.size()));
    return {.id = QStringLiteral("simulator"),
            .title = QStringLiteral("How a program runs in the simulator"),
            .html = QStringLiteral("<h2>How a program runs in the simulator</h2><pre>") +
                    text.toHtmlEscaped() + QStringLiteral("</pre>"),
            .keywords = {QStringLiteral("simulator"), QStringLiteral("simulate"),
                         QStringLiteral("simulation")}};
}

// The simulator window's debugging tools, with their captions as the window
// shows them.
platform::HelpTopic DebuggerTopic() {
    const QString title = QStringLiteral("Debugging a program in the simulator");
    QString body = QStringLiteral(
        R"(<p>Simulate, Run (F5) or Step (F10) opens the simulator window, which runs the editor's
program on a simulated drive. Besides Run, Pause, Step, Stop and the marks in the editor's
gutter, the window can hold values, pause when data change, go back in time and show the values
beside the code. The simulator is deterministic: the same program with the same inputs and
forcings runs the same way, bit for bit, so going back is exact.</p>
<h2>Forcing a value</h2>
<p>In the Force group, name the value under <b>Value</b>, type what it is to hold under
<b>To</b> and press <b>Force</b>. Any input, analog input, output, flag, counter, word counter
or timer can be forced, named as everywhere else (<code>Counter3</code> or
<code>Counter.3</code>). A bit takes 0 or 1, True or False; any other value takes a number in
its unit and range. From then on the program's writes to it have no effect and its reads see
the forced value.</p>
<p>The list under the buttons shows what is forced (<code>Counter.3 = 5</code>). Forced lamps
and values show (F), also beside the code, and a forced input's tick box or slider is disabled
and shows the forced value. <b>Release (keep)</b> lets the program take over from the forced
value; <b>Release (restore)</b> puts back the value it had before it was forced. Both release
the value under <b>Value</b>: a click on a row of the list puts it there.</p>
<h2>Data breakpoints</h2>
<p>A line mark pauses the run before its line. A data breakpoint pauses it after the statement
at which it holds:</p>
<ul>
<li>Under <b>If</b>, type a condition as it would follow <code>If </code> on a program line
(<code>Counter0 &gt;= 5</code>, <code>Not Flag.2</code>, <code>Input.3</code>) and press <b>Add
condition</b>. It is compiled as that If line would be: a condition that does not compile is
not added, and the group says why.</li>
<li>Under <b>On change of</b>, name a value and press <b>Break on change</b>: the run pauses
when the value changes.</li>
</ul>
<p>Each breakpoint is a row of the list with a tick box: untick it to disable it, tick it to
enable it again. <b>Remove</b> removes the chosen row, <b>Clear all</b> removes every row. When
a breakpoint holds, its row is highlighted and the window's state line says what held and
where: <code>Paused at line 15: Output.0 changed at line 14</code>. The list stays while the
window is open, and only the window's own runs stop at it.</p>
<h2>Values beside the code</h2>
<p>While the run is paused, the editor shows after each line the values its statements read or
write, as they are now, with their units: <code>Output.0 = 1, Flag.0 = 1</code>. The editor
draws them; they are not part of the text, so they are never saved, copied or compiled. They go
when the run goes on or the window closes. Hovering a name in the editor while paused shows its
value and unit (<code>BusVolt = 47.96733 V</code>).</p>
<h2>Going back</h2>
<p>While the run is paused, <b>Step back</b> goes back one statement, and <b>Run back</b> goes
back to the previous place the run would have stopped: a marked line or a data breakpoint. The
editor's run line, the lamps, the values and the notes beside the code follow. The run is
exact: the simulator replays the recorded inputs and forcings. A change made after going back
(an input ticked, a value forced or released) starts a new run from there, and what was
recorded after that moment is dropped.</p>
<h2>The timeline</h2>
<p>The <b>Timeline</b> group plots chosen values over the last 12 seconds or more of simulated
time; pick a value under <b>Plot</b> to add it. A marker line shows the current time. A click
on the plot moves the run to that time, pausing it first if it is running.</p>
<h2>An example</h2>
<p>Open File, Examples, Blink and press F10: the simulator pauses before the first statement.
Force Input.0 to 1; its tick box shows (F). Under On change of, name Output.0, press Break on
change, then Run. The run pauses: "Paused at line 15: Output.0 changed at line 14", and line 14
shows <code>Output.0 = 1, Flag.0 = 1</code>. Press Step back: the run line is on line 14 again
and Output.0 is 0. Run, and it pauses at the same line at the same time. Untick the breakpoint,
choose Output.0 under Plot and Run: the timeline shows Output.0 on for half a second, off for
half a second. Release (restore) Input.0 and the program sees the input off: Output.0 goes
off and stays off.</p>)");
    body +=
        QStringLiteral("<p>See also: %1, %2, %3.</p>")
            .arg(Link(QStringLiteral("simulator"),
                      QStringLiteral("How a program runs in the simulator")),
                 Link(QStringLiteral("conditionals"), TitleOfTopic(QStringLiteral("conditionals"))),
                 Link(QStringLiteral("drivevalues"), QStringLiteral("The drive's values")));
    return {.id = QStringLiteral("debugger"),
            .title = title,
            .html = Page(title, body),
            .keywords = SplitKeywords("Debugging|Debugger|Force|Forcing|Release|Breakpoint|"
                                      "Data breakpoints|Condition|Break on change|Step back|"
                                      "Run back|Replay|Timeline|Plot|Values beside the code|"
                                      "Hover")};
}

} // namespace

std::vector<platform::HelpTopic> LanguageReference() {
    QHash<QString, QList<int>> familiesOfKeyword;
    for (int index = 0; index < compiler::kInstructionCount; ++index) {
        for (const QString& keyword : KeywordsOfTemplate(index)) {
            QList<int>& families = familiesOfKeyword[keyword];
            if (!families.contains(FamilyOf(index)))
                families.append(FamilyOf(index));
        }
    }

    std::vector<platform::HelpTopic> topics;
    for (int family = 0; family < kFamilyCount; ++family)
        topics.push_back(FamilyTopic(static_cast<Family>(family)));
    for (QList<int>& families : familiesOfKeyword)
        std::sort(families.begin(), families.end());
    topics.push_back(OperatorsTopic(familiesOfKeyword));
    topics.push_back(ProgramTopic());
    topics.push_back(SimulatorTopic());
    topics.push_back(DebuggerTopic());
    topics.push_back(DriveValuesTopic());
    topics.insert(topics.begin(), OverviewTopic(topics));

    const QHash<QString, QStringList> statementKeywords = StatementKeywords();
    for (platform::HelpTopic& topic : topics)
        topic.keywords += statementKeywords.value(topic.id);
    return topics;
}

QString TopicOfRow(int index) {
    if (index < 0 || index >= compiler::kInstructionCount)
        return {};
    return TopicOfFamily(FamilyOf(index));
}

QString ExampleLineOf(int index) {
    if (index < 0 || index >= compiler::kInstructionCount)
        return {};
    const TemplateFields row = compiler::SplitTemplate(index);
    if (TakesNoValue(row))
        return Text(row.TemplateText);
    if (!TakesIndex(row))
        return Text(row.TemplateText) + ConstantExample(row.TemplateLimit[0]);
    QString line =
        Text(row.TemplateHead) + IndexExample(row.TemplateLimit[0]) + Text(row.TemplateTail);
    if (row.TemplateLimit[1] != 0)
        line += IndexExample(row.TemplateLimit[1]);
    return line;
}

} // namespace kt::help
