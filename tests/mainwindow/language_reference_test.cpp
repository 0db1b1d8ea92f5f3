// The language reference checked against the instruction table, the compiler
// and the keyword help: every statement on one page, every keyword on a topic.
#include "mainwindow/language_reference.h"

#include "compiler/instruction_table.h"
#include "compiler/line_compiler.h"
#include "editor/get_word.h"
#include "mainwindow/help_keyword.h"
#include "platform/help_viewer.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QTextDocumentFragment>

#include <map>
#include <vector>

using kt::mainwindow::ExampleLineOf;
using kt::mainwindow::HelpKeyword;
using kt::mainwindow::LanguageReference;
using kt::mainwindow::TopicOfRow;
using kt::platform::HelpTopic;

namespace {

constexpr int kRows = kt::compiler::kInstructionCount;

QString TemplateOf(int index) {
    const std::string_view text = kt::compiler::TemplateTextOf(index);
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// How a statement stands on its page.
QString CodeOf(const QString& text) {
    return "<code>" + text.toHtmlEscaped() + "</code>";
}

std::map<QString, QString> HtmlById() {
    std::map<QString, QString> pages;
    for (const HelpTopic& topic : LanguageReference())
        pages[topic.id] = topic.html;
    return pages;
}

// Every keyword F1 can ask for with the caret anywhere in the line, but the
// numbers of a sample line.
QStringList KeywordsOfLine(const QString& line) {
    QStringList keywords;
    for (qsizetype column = 0; column <= line.size(); ++column) {
        const QString keyword = HelpKeyword(kt::editor::GetWord(line, column));
        bool number = false;
        keyword.toDouble(&number);
        if (!keyword.isEmpty() && !number && !keywords.contains(keyword))
            keywords.append(keyword);
    }
    return keywords;
}

// The text of the table row that lists a statement, tags and entities gone.
QString RowText(const QString& html, const QString& statement) {
    const qsizetype at = html.indexOf(CodeOf(statement));
    const qsizetype begin = html.lastIndexOf("<tr>", at);
    const qsizetype end = html.indexOf("</tr>", at);
    if (at < 0 || begin < 0 || end < 0)
        return {};
    return QTextDocumentFragment::fromHtml(html.mid(begin, end - begin)).toPlainText();
}

} // namespace

// Distinct ids, the overview first and linking to every other topic, links
// that lead somewhere, and no keyword in two topics (ignoring case).
TEST(LanguageReference, TopicsAreDistinctAndLinked) {
    const std::vector<HelpTopic> topics = LanguageReference();
    const std::map<QString, QString> pages = HtmlById();
    ASSERT_FALSE(topics.empty());
    EXPECT_EQ(topics.front().id, "overview");
    EXPECT_EQ(pages.size(), topics.size());
    const QRegularExpression link(R"(href="topic:([^"#]*))");
    std::map<QString, std::string> owner; // case-folded keyword -> topic
    for (const HelpTopic& topic : topics) {
        const std::string id = topic.id.toStdString();
        EXPECT_FALSE(topic.title.isEmpty()) << id;
        EXPECT_TRUE(topic.html.contains("<h1>")) << id;
        EXPECT_TRUE(&topic == &topics.front() || topics.front().html.contains("topic:" + topic.id))
            << id;
        for (const QRegularExpressionMatch& match : link.globalMatch(topic.html))
            EXPECT_TRUE(pages.contains(match.captured(1)))
                << id << " -> " << match.captured(1).toStdString();
        for (const QString& keyword : topic.keywords) {
            const auto [at, added] = owner.emplace(keyword.toCaseFolded(), id);
            EXPECT_TRUE(added) << keyword.toStdString() << " in " << at->second << " and " << id;
        }
    }
}

// Each statement stands on its family's page and no other, with a sample line
// that compiles to the row's opcodes (four of them for values in tenths); F1
// anywhere in either finds a topic.
TEST(LanguageReference, EveryStatementOnExactlyItsFamilyPage) {
    const std::map<QString, QString> pages = HtmlById();
    kt::platform::HelpViewer viewer;
    viewer.SetTopics(LanguageReference());
    for (int index = 0; index < kRows; ++index) {
        const QString example = ExampleLineOf(index);
        SCOPED_TRACE(std::to_string(index) + ": " + example.toStdString());
        QStringList showing;
        for (const auto& [id, html] : pages)
            if (html.contains(CodeOf(TemplateOf(index))))
                showing.append(id);
        EXPECT_EQ(showing, QStringList{TopicOfRow(index)});
        EXPECT_TRUE(pages.at(TopicOfRow(index)).contains(CodeOf(example)));
        kt::compiler::StatementBytes bytes{};
        ASSERT_EQ(kt::compiler::CompileStatement(example.toStdString(), bytes), 0);
        const int opcode = kt::compiler::SplitTemplate(index).StatementCode[0];
        EXPECT_TRUE(bytes[0] >= opcode && bytes[0] <= opcode + 3) << int(bytes[0]);
        for (const QString& keyword : KeywordsOfLine(TemplateOf(index)) + KeywordsOfLine(example))
            EXPECT_FALSE(viewer.TopicForKeyword(keyword).isEmpty()) << keyword.toStdString();
    }
    for (const int outside : {-1, kRows})
        EXPECT_TRUE(TopicOfRow(outside).isEmpty() && ExampleLineOf(outside).isEmpty()) << outside;
}

// Statements go to a family by how they begin; words that several families
// use go where the reader looks for them.
TEST(LanguageReference, RowsAndKeywordsLandWhereTheyBelong) {
    kt::platform::HelpViewer viewer;
    viewer.SetTopics(LanguageReference());
    const std::tuple<const char*, std::vector<int>, QStringList> homes[] = {
        {"counters", {11}, {"Counter", "InputByte"}},
        {"word-counters", {171, 181, 184}, {"WordCounter", "Analog"}},
        {"flags", {65, 76, 126}, {"Flag", "True"}},
        {"inputs-outputs", {3, 4, 156, 158}, {"Input", "MotorEnable"}},
        {"timers", {167}, {"TriggerTimer", "TimerFlag"}},
        {"conditionals", {58, 59}, {"If", "End", "ClickedToTrue"}},
        {"loops", {31, 155}, {"Do", "Until", "Loop"}},
        {"rates-speeds", {0, 29, 159}, {"RefrenceSpeed", "ReferenceSpeed", "AccelerateRate"}},
        {"current-voltage", {28, 162}, {"Volt%", "CurrentLimit"}},
        {"miscellaneous", {161}, {"Reset"}},
        {"operators", {}, {">=", "=", "Not"}},
        {"program", {}, {"'"}}};
    for (const auto& [topic, rows, keywords] : homes) {
        for (const int row : rows)
            EXPECT_EQ(TopicOfRow(row).toStdString(), topic) << row;
        for (const QString& keyword : keywords)
            EXPECT_EQ(viewer.TopicForKeyword(keyword).toStdString(), topic)
                << keyword.toStdString();
    }
}

// What a statement's table row tells: opcode, value range and how the value
// becomes the operand.
TEST(LanguageReference, StatementRowsTellOpcodeValueAndOperand) {
    const std::map<QString, QString> pages = HtmlById();
    const QString times = QString(QChar(0x00D7));
    const std::vector<std::pair<int, QStringList>> cases = {
        {0, {"29 to 32", "0 to 102.1", "tenths over opcode and operand"}},
        {171, {"95 to 98"}},
        {11, {"45", "0 to 255", "value"}},
        {65, {"n: 0 to 7", "144 + n"}},
        {158, {"37", "n: 0 to 1", "8 + n"}},
        {4, {"37", "none", "always 26"}},
        {181, {"n: 0 to 3; m: 0 to 5", "n " + times + " 2 + m " + times + " 32", "91, 100"}},
        {28, {"0 to 25.5", "value " + times + " 1000 / 255"}},
        {162, {"0 to 100", "value " + times + " 255 / 100"}},
    };
    for (const auto& [row, facts] : cases) {
        const QString text = RowText(pages.at(TopicOfRow(row)), TemplateOf(row));
        for (const QString& fact : facts)
            EXPECT_TRUE(text.contains(fact))
                << row << ": " << fact.toStdString() << " in " << text.toStdString();
    }
}

TEST(LanguageReference, ProgramPageListsTheCompilerMessagesAndLimits) {
    const QString html = HtmlById().at("program");
    for (const char* fact :
         {"Error: Statement not identified.", "Error: Data out of limit.", "Error: Expect EndIf.",
          "Error: Expect Loop.", "Error: Consecutive Else.", "Error: Else Before If.",
          "Error: Loop Before Do.", "Error: EndIf Before If.", "Error: Memory Exceeded.",
          "Error: Program always ends with Loop.", "254", "127", "0xFF"})
        EXPECT_TRUE(html.contains(QString::fromLatin1(fact).toHtmlEscaped())) << fact;
}
