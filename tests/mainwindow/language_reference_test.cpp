// The language reference checked against the instruction table, the compiler
// and the keyword help: every statement on one page, every keyword on a topic.
#include "mainwindow/language_reference.h"

#include "compiler/compile_messages.h"
#include "compiler/instruction_table.h"
#include "compiler/line_compiler.h"
#include "editor/get_word.h"
#include "mainwindow/help_keyword.h"
#include "platform/help_viewer.h"

#include <gtest/gtest.h>

#include <QRegularExpression>
#include <QSet>
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

// Every keyword F1 can ask for with the caret anywhere in the line.
QStringList KeywordsOfLine(const QString& line) {
    QStringList keywords;
    for (qsizetype column = 0; column <= line.size(); ++column) {
        const QString keyword = HelpKeyword(kt::editor::GetWord(line, column));
        if (!keyword.isEmpty() && !keywords.contains(keyword))
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

TEST(LanguageReference, TopicsAreDistinctAndOpenWithTheOverview) {
    const std::vector<HelpTopic> topics = LanguageReference();
    ASSERT_FALSE(topics.empty());
    EXPECT_EQ(topics.front().id, "overview");
    QSet<QString> ids;
    for (const HelpTopic& topic : topics) {
        EXPECT_FALSE(topic.title.isEmpty()) << topic.id.toStdString();
        EXPECT_TRUE(topic.html.contains("<h1>")) << topic.id.toStdString();
        EXPECT_FALSE(ids.contains(topic.id)) << topic.id.toStdString();
        ids.insert(topic.id);
    }
    for (const HelpTopic& topic : topics) {
        if (topic.id != "overview") {
            EXPECT_TRUE(topics.front().html.contains("topic:" + topic.id))
                << topic.id.toStdString();
        }
    }
}

TEST(LanguageReference, LinksLeadToTopics) {
    const std::map<QString, QString> pages = HtmlById();
    const QRegularExpression link(R"(href="topic:([^"#]*))");
    for (const auto& [id, html] : pages) {
        for (const QRegularExpressionMatch& match : link.globalMatch(html))
            EXPECT_TRUE(pages.contains(match.captured(1)))
                << id.toStdString() << " -> " << match.captured(1).toStdString();
    }
}

TEST(LanguageReference, EveryStatementOnExactlyItsFamilyPage) {
    const std::map<QString, QString> pages = HtmlById();
    QSet<QString> families;
    for (int index = 0; index < kRows; ++index)
        families.insert(TopicOfRow(index));
    EXPECT_GE(families.size(), 9);

    for (int index = 0; index < kRows; ++index) {
        QStringList showing;
        for (const QString& family : families) {
            ASSERT_TRUE(pages.contains(family)) << family.toStdString();
            if (pages.at(family).contains(CodeOf(TemplateOf(index))))
                showing.append(family);
        }
        EXPECT_EQ(showing, QStringList{TopicOfRow(index)})
            << index << " " << TemplateOf(index).toStdString();
    }
    EXPECT_TRUE(TopicOfRow(-1).isEmpty());
    EXPECT_TRUE(TopicOfRow(kRows).isEmpty());
}

// The sample line of a row is that row's statement, and its page shows it.
TEST(LanguageReference, ExamplesCompileToTheirRow) {
    const std::map<QString, QString> pages = HtmlById();
    for (int index = 0; index < kRows; ++index) {
        const QString example = ExampleLineOf(index);
        kt::compiler::StatementBytes bytes{};
        ASSERT_EQ(kt::compiler::CompileStatement(example.toStdString(), bytes), 0)
            << example.toStdString();
        const int opcode = kt::compiler::SplitTemplate(index).StatementCode[0];
        EXPECT_GE(bytes[0], opcode) << example.toStdString();
        EXPECT_LE(bytes[0], opcode + 3) << example.toStdString();
        EXPECT_TRUE(pages.at(TopicOfRow(index)).contains(CodeOf(example))) << example.toStdString();
    }
    EXPECT_TRUE(ExampleLineOf(kRows).isEmpty());
}

TEST(LanguageReference, StatementRowsTellOpcodeValueAndOperand) {
    const std::map<QString, QString> pages = HtmlById();
    const QString times = QString(QChar(0x00D7));
    struct Case {
        int row;
        QStringList facts;
    };
    const std::vector<Case> cases = {
        {0, {"29 to 32", "0 to 102.1", "tenths over opcode and operand"}},
        {29, {"55 to 58"}},
        {159, {"68 to 71"}},
        {171, {"95 to 98"}},
        {11, {"45", "0 to 255", "value"}},
        {65, {"n: 0 to 7", "144 + n"}},
        {158, {"37", "n: 0 to 1", "8 + n"}},
        {4, {"37", "none", "always 26"}},
        {181, {"n: 0 to 3; m: 0 to 5", "n " + times + " 2 + m " + times + " 32", "91, 100"}},
        {28, {"0 to 25.5", "value " + times + " 1000 / 255"}},
        {162, {"0 to 100", "value " + times + " 255 / 100"}},
    };
    for (const Case& c : cases) {
        const QString row = RowText(pages.at(TopicOfRow(c.row)), TemplateOf(c.row));
        for (const QString& fact : c.facts)
            EXPECT_TRUE(row.contains(fact))
                << c.row << ": " << fact.toStdString() << " in " << row.toStdString();
    }
}

TEST(LanguageReference, ProgramPageListsTheCompilerMessages) {
    const QString html = HtmlById().at("program");
    for (int code = 0; code <= 11; ++code) {
        if (code == kt::compiler::kVariableOutOfLimit) // no check produces it
            continue;
        const QString text = QString::fromLatin1(kt::compiler::CompileMessage(code).data());
        EXPECT_TRUE(html.contains(text.toHtmlEscaped())) << text.toStdString();
    }
    for (const char* fact : {"254", "127", "0xFF"})
        EXPECT_TRUE(html.contains(fact)) << fact;
}

TEST(LanguageReference, NoKeywordLeadsToTwoTopics) {
    std::map<QString, QString> owner;
    for (const HelpTopic& topic : LanguageReference()) {
        for (const QString& keyword : topic.keywords) {
            const auto [at, added] = owner.emplace(keyword.toCaseFolded(), topic.id);
            EXPECT_TRUE(added) << keyword.toStdString() << " in " << at->second.toStdString()
                               << " and " << topic.id.toStdString();
        }
    }
}

// F1 anywhere in a statement, as a template or with its values written in.
TEST(LanguageReference, EveryKeywordOfAStatementFindsATopic) {
    kt::platform::HelpViewer viewer;
    viewer.SetTopics(LanguageReference());
    for (int index = 0; index < kRows; ++index) {
        for (const QString& keyword : KeywordsOfLine(TemplateOf(index)))
            EXPECT_FALSE(viewer.TopicForKeyword(keyword).isEmpty())
                << keyword.toStdString() << " of row " << index;
        for (const QString& keyword : KeywordsOfLine(ExampleLineOf(index))) {
            bool number = false;
            keyword.toDouble(&number);
            if (!number) {
                EXPECT_FALSE(viewer.TopicForKeyword(keyword).isEmpty()) << keyword.toStdString();
            }
        }
    }
}

TEST(LanguageReference, KeywordsLandWhereTheyBelong) {
    kt::platform::HelpViewer viewer;
    viewer.SetTopics(LanguageReference());
    const std::vector<std::pair<QString, QString>> cases = {
        {"Counter", "counters"},
        {"counter", "counters"},
        {"InputByte", "counters"},
        {"WordCounter", "word-counters"},
        {"Analog", "word-counters"},
        {"Flag", "flags"},
        {"True", "flags"},
        {"Input", "inputs-outputs"},
        {"MotorEnable", "inputs-outputs"},
        {"TriggerTimer", "timers"},
        {"TimerFlag", "timers"},
        {"If", "conditionals"},
        {"End", "conditionals"},
        {"ClickedToTrue", "conditionals"},
        {"Do", "loops"},
        {"Until", "loops"},
        {"Loop", "loops"},
        {"RefrenceSpeed", "rates-speeds"},
        {"ReferenceSpeed", "rates-speeds"},
        {"AccelerateRate", "rates-speeds"},
        {"Volt%", "current-voltage"},
        {"CurrentLimit", "current-voltage"},
        {"Reset", "miscellaneous"},
        {">=", "operators"},
        {"=", "operators"},
        {"Not", "operators"},
        {"'", "program"},
    };
    for (const auto& [keyword, topic] : cases)
        EXPECT_EQ(viewer.TopicForKeyword(keyword), topic) << keyword.toStdString();
}

TEST(LanguageReference, PickerRowsOpenTheirFamily) {
    const std::vector<std::pair<int, QString>> cases = {
        {0, "rates-speeds"},     {3, "inputs-outputs"},  {11, "counters"},
        {31, "loops"},           {58, "conditionals"},   {59, "conditionals"},
        {76, "flags"},           {126, "flags"},         {155, "loops"},
        {156, "inputs-outputs"}, {161, "miscellaneous"}, {162, "current-voltage"},
        {167, "timers"},         {184, "word-counters"},
    };
    for (const auto& [row, topic] : cases)
        EXPECT_EQ(TopicOfRow(row), topic) << row;
}
