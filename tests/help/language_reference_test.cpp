// The language reference checked against the instruction table, the compiler
// and the keyword help: every statement on one page, every keyword on a topic.
#include "help/language_reference.h"

#include "compiler/instruction_table.h"
#include "compiler/line_compiler.h"
#include "drivemap/drive_catalogue.h"
#include "editor/get_word.h"
#include "help/help_keyword.h"
#include "platform/help_viewer.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

#include <algorithm>
#include <map>
#include <vector>

using kt::help::ExampleLineOf;
using kt::help::HelpKeyword;
using kt::help::LanguageReference;
using kt::help::TopicOfRow;
using kt::platform::HelpTopic;

namespace {

QString TemplateOf(int index) {
    const std::string_view text = kt::compiler::TemplateTextOf(index);
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// How a statement stands on its page.
QString CodeOf(const QString& text) {
    return "<code>" + text.toHtmlEscaped() + "</code>";
}

const std::map<QString, QString>& HtmlById() {
    static const std::map<QString, QString> pages = [] {
        std::map<QString, QString> byId;
        for (const HelpTopic& topic : LanguageReference())
            byId[topic.id] = topic.html;
        return byId;
    }();
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

} // namespace

// Distinct ids, the overview first and linking to every other topic, links
// that lead somewhere, and no keyword in two topics (ignoring case).
TEST(LanguageReference, TopicsAreDistinctAndLinked) {
    const std::vector<HelpTopic> topics = LanguageReference();
    const std::map<QString, QString>& pages = HtmlById();
    ASSERT_EQ(pages.size(), topics.size());
    EXPECT_EQ(topics.front().id, "overview");
    std::map<QString, QString> owner; // case-folded keyword -> topic
    for (const HelpTopic& topic : topics) {
        SCOPED_TRACE(topic.id.toStdString());
        EXPECT_TRUE(topics.front().html.contains("topic:" + topic.id) || topic.id == "overview");
        for (const auto& link :
             QRegularExpression(R"(href="topic:([^"#]*))").globalMatch(topic.html))
            EXPECT_TRUE(pages.contains(link.captured(1))) << link.captured(1).toStdString();
        for (const QString& keyword : topic.keywords)
            EXPECT_TRUE(owner.emplace(keyword.toCaseFolded(), topic.id).second)
                << keyword.toStdString() << " also in "
                << owner[keyword.toCaseFolded()].toStdString();
    }
}

// Each statement stands on its family's page and no other, with a sample line
// that compiles to the row's opcodes (four of them for values in tenths); F1
// anywhere in either, or on a comment or operator, finds a topic.
TEST(LanguageReference, EveryStatementOnExactlyItsFamilyPage) {
    const std::map<QString, QString>& pages = HtmlById();
    kt::platform::HelpViewer viewer;
    viewer.SetTopics(LanguageReference());
    for (int index = 0; index < kt::compiler::kInstructionCount; ++index) {
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
    for (const char* keyword : {"'", ">=", "Not"}) // words of no statement row
        EXPECT_FALSE(viewer.TopicForKeyword(keyword).isEmpty()) << keyword;
}

// The drive's values page is the catalogue: every value under the name every
// surface uses, with its unit and power-up value, and nothing it names is
// unknown to the lookup the surfaces share.
TEST(LanguageReference, DriveValuesPageFollowsTheCatalogue) {
    ASSERT_TRUE(HtmlById().contains("drivevalues"));
    const QString& html = HtmlById().at("drivevalues");
    for (const kt::drivemap::DriveValue& value : kt::drivemap::Values()) {
        const QString name = QString::fromUtf8(value.name.data(), qsizetype(value.name.size()));
        const QString shown =
            value.channels > 0 ? QStringLiteral("%1.0 to %1.%2").arg(name).arg(value.channels - 1)
                               : name;
        EXPECT_TRUE(html.contains("<td>" + shown)) << shown.toStdString();
        for (const kt::drivemap::Bit& bit : value.bits)
            EXPECT_TRUE(html.contains(QString::fromUtf8(bit.name.data()))) << bit.name;
        const std::string powerUp =
            kt::drivemap::Format(value, kt::drivemap::Scale(value.scaling, value.powerUp));
        EXPECT_TRUE(html.contains(QString::fromStdString(powerUp))) << powerUp;
    }
    // Every name in code on the page is one the surfaces accept.
    const QRegularExpression code("<code>([A-Za-z][A-Za-z0-9. ]*)</code>");
    for (auto match = code.globalMatch(html); match.hasNext();) {
        const QString name = match.next().captured(1);
        if (name.startsWith("ktmotor-cli") || name == "read" || name == "write" ||
            name == "monitor" || name == "simulate")
            continue;
        EXPECT_TRUE(kt::drivemap::Find(name.toStdString()).has_value()) << name.toStdString();
    }
}
