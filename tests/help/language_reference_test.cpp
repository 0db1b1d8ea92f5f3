// The language reference against the instruction table, compiler and keyword help.
#include "help/language_reference.h"

#include "compiler/instruction_table.h"
#include "compiler/line_compiler.h"
#include "drivemap/drive_catalogue.h"
#include "editor/get_word.h"
#include "help/help_keyword.h"
#include "platform/help_viewer.h"

#include <gtest/gtest.h>

#include <QRegularExpression>

#include <map>

using namespace kt::help;
using kt::platform::HelpTopic;

namespace {

QString TemplateOf(int index) {
    return QString::fromLatin1(kt::compiler::TemplateTextOf(index));
}

std::map<QString, QString> HtmlById() {
    std::map<QString, QString> byId;
    for (const HelpTopic& topic : LanguageReference())
        byId[topic.id] = topic.html;
    return byId;
}

} // namespace

// Distinct ids, the overview first and linking to every other topic, links
// that lead somewhere, and no keyword in two topics (ignoring case).
TEST(LanguageReference, TopicsAreDistinctAndLinked) {
    const std::vector<HelpTopic> topics = LanguageReference();
    const std::map<QString, QString> pages = HtmlById();
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
                << keyword.toStdString();
    }
}

// Each statement on its family's page only, with a sample line compiling to
// the row's opcodes (four for tenths); F1 anywhere in either finds a topic.
TEST(LanguageReference, EveryStatementOnExactlyItsFamilyPage) {
    const std::map<QString, QString> pages = HtmlById();
    const auto code = [](const QString& t) { return "<code>" + t.toHtmlEscaped() + "</code>"; };
    kt::platform::HelpViewer viewer;
    viewer.SetTopics(LanguageReference());
    for (int index = 0; index < kt::compiler::kInstructionCount; ++index) {
        const QString example = ExampleLineOf(index);
        SCOPED_TRACE(std::to_string(index) + ": " + example.toStdString());
        QStringList showing;
        for (const auto& [id, html] : pages)
            if (html.contains(code(TemplateOf(index))))
                showing.append(id);
        EXPECT_EQ(showing, QStringList{TopicOfRow(index)});
        EXPECT_TRUE(pages.at(TopicOfRow(index)).contains(code(example)));
        kt::compiler::StatementBytes bytes{};
        ASSERT_EQ(kt::compiler::CompileStatement(example.toStdString(), bytes), 0);
        const int opcode = kt::compiler::SplitTemplate(index).StatementCode[0];
        EXPECT_TRUE(bytes[0] >= opcode && bytes[0] <= opcode + 3) << int(bytes[0]);
        for (const QString& line : {TemplateOf(index), example})
            for (qsizetype column = 0; column <= line.size(); ++column) {
                const QString word = HelpKeyword(kt::editor::GetWord(line, column));
                bool number = false;
                word.toDouble(&number);
                EXPECT_TRUE(word.isEmpty() || number || !viewer.TopicForKeyword(word).isEmpty())
                    << word.toStdString();
            }
    }
    for (const char* keyword : {"'", ">=", "Not", "Force", "Step back"}) // of no statement row
        EXPECT_FALSE(viewer.TopicForKeyword(keyword).isEmpty()) << keyword;
}

// The drive's values page is the catalogue: every value under its shared
// name, with its bits and power-up value, and no name the lookup lacks.
TEST(LanguageReference, DriveValuesPageFollowsTheCatalogue) {
    const QString html = HtmlById()["drivevalues"]; // empty fails every check below
    for (const kt::drivemap::DriveValue& value : kt::drivemap::Values()) {
        const QString name = QString::fromUtf8(value.name),
                      last = QString::number(value.channels - 1);
        const QString shown = value.channels > 0 ? name + ".0 to " + name + "." + last : name;
        EXPECT_TRUE(html.contains("<td>" + shown)) << shown.toStdString();
        for (const kt::drivemap::Bit& bit : value.bits)
            EXPECT_TRUE(html.contains(QString::fromUtf8(bit.name.data()))) << bit.name;
        const std::string powerUp =
            kt::drivemap::Format(value, kt::drivemap::Scale(value.scaling, value.powerUp));
        EXPECT_TRUE(html.contains(QString::fromStdString(powerUp))) << powerUp;
    }
    // Every name in code on the page is one the surfaces accept, but commands.
    const QRegularExpression code("<code>([A-Za-z][A-Za-z0-9. ]*)</code>");
    const QRegularExpression command(
        QRegularExpression::anchoredPattern("ktmotor-cli.*|read|write|monitor|simulate"));
    for (const auto& match : code.globalMatch(html)) {
        const QString name = match.captured(1);
        EXPECT_TRUE(command.match(name).hasMatch() || kt::drivemap::Find(name.toStdString()))
            << name.toStdString();
    }
}
