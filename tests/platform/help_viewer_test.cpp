// The help viewer driven through its public calls and its own widgets, offscreen.
#include "platform/help_viewer.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>

#include <vector>

using kt::platform::HelpTopic;
using kt::platform::HelpViewer;

namespace {

// Keywords that clash: in case only, and across topics.
std::vector<HelpTopic> SampleTopics() {
    const char* intro = R"(<a href="topic:loops">Loops</a> <a href="topic:nowhere">gone</a>)";
    return {{"intro", "Introduction", intro, {"Start"}},
            {"flags", "Flags", "<p>All about flags.</p>", {"Flag", "Do", "<>"}},
            {"more", "More flags", "<p>Lower-case flags.</p>", {"flag", "Done", "Input"}},
            {"loops", "Loops", "<p>Round and round.</p>", {"Loop", "Do"}}};
}

class HelpViewerTest : public ::testing::Test {
protected:
    void SetUp() override { m_viewer.SetTopics(SampleTopics()); }

    template <typename T> T* Part(const char* name) {
        T* part = m_viewer.findChild<T*>(QLatin1String(name));
        EXPECT_NE(part, nullptr) << name;
        return part;
    }
    QLineEdit* Search() { return Part<QLineEdit>("search"); }
    QListWidget* Index() { return Part<QListWidget>("index"); }
    QListWidget* Contents() { return Part<QListWidget>("contents"); }
    QString PaneText() { return Part<QTextBrowser>("topic")->toPlainText(); }
    bool IndexShown() { return Part<QTabWidget>("tabs")->currentWidget()->isAncestorOf(Search()); }
    QString SelectedKeyword() {
        return Index()->currentItem() != nullptr ? Index()->currentItem()->text() : QString();
    }

    HelpViewer m_viewer;
};

} // namespace

TEST_F(HelpViewerTest, KeywordsLeadToTopics) {
    // Exact first, then ignoring case; a keyword in two topics leads to the
    // first; a prefix is no keyword.
    const std::vector<std::pair<QString, QString>> cases = {
        {"Flag", "flags"}, {"flag", "more"}, {"FLAG", "flags"}, {"input", "more"}, {"Do", "flags"},
        {"<>", "flags"},   {"Don", ""},      {"", ""},          {"Counter", ""}};
    for (const auto& [keyword, topic] : cases)
        EXPECT_EQ(m_viewer.TopicForKeyword(keyword), topic) << keyword.toStdString();
}

TEST_F(HelpViewerTest, ShowCallsRevealTheWindowAtTheirTopicOrTheIndex) {
    EXPECT_TRUE(m_viewer.isWindow());
    EXPECT_EQ(m_viewer.windowTitle(), "KtMotor Help");
    EXPECT_TRUE(m_viewer.CurrentTopicId().isEmpty());
    EXPECT_TRUE(m_viewer.ShowKeyword("loop"));
    EXPECT_TRUE(m_viewer.isVisible());
    EXPECT_EQ(m_viewer.CurrentTopicId(), "loops");
    EXPECT_TRUE(PaneText().contains("Round and round."));
    EXPECT_EQ(Contents()->currentRow(), 3);

    m_viewer.hide();
    EXPECT_FALSE(m_viewer.ShowKeyword("Dot"));
    EXPECT_TRUE(m_viewer.isVisible());
    EXPECT_TRUE(IndexShown());
    EXPECT_EQ(Search()->text(), "Dot");
    EXPECT_EQ(m_viewer.focusWidget(), Search());
    EXPECT_FALSE(m_viewer.ShowTopic("nowhere"));
    EXPECT_EQ(m_viewer.CurrentTopicId(), "loops") << "none of these changes the topic";

    m_viewer.hide();
    m_viewer.ShowContents();
    EXPECT_TRUE(m_viewer.isVisible());
    EXPECT_FALSE(IndexShown());
    EXPECT_EQ(m_viewer.CurrentTopicId(), "intro");
    HelpViewer empty;
    empty.ShowContents();
    EXPECT_TRUE(empty.CurrentTopicId().isEmpty());
}

TEST_F(HelpViewerTest, SearchSelectsTheFirstKeywordWithThePrefix) {
    // The index, sorted ignoring case: <>, Do, Done, Flag, flag, Input, Loop, Start.
    // Where none starts with the text, the next one, as in a classic index;
    // past the end, the last.
    const std::vector<std::pair<QString, QString>> cases = {
        {"", "<>"},      {"d", "Do"},   {"don", "Done"}, {"FL", "Flag"},
        {"st", "Start"}, {"e", "Flag"}, {"zz", "Start"}};
    for (const auto& [text, keyword] : cases) {
        m_viewer.ShowSearch(text);
        EXPECT_EQ(SelectedKeyword(), keyword) << text.toStdString();
    }
    EXPECT_TRUE(IndexShown());
    EXPECT_EQ(Search()->text(), "zz");
    EXPECT_EQ(Index()->count(), 8) << "Do is listed once";
}

TEST_F(HelpViewerTest, KeysAndClicksOpenTopics) {
    m_viewer.ShowSearch();
    QTest::keyClicks(Search(), "lx");
    QTest::keyClick(Search(), Qt::Key_Backspace);
    EXPECT_EQ(SelectedKeyword(), "Loop");
    QTest::keyClick(Search(), Qt::Key_Up);
    EXPECT_EQ(SelectedKeyword(), "Input");
    EXPECT_EQ(Search()->text(), "Input");
    QTest::keyClick(Search(), Qt::Key_Return);
    EXPECT_EQ(m_viewer.CurrentTopicId(), "more");

    m_viewer.ShowSearch("D");
    QListWidgetItem* item = Index()->findItems("Do", Qt::MatchExactly).value(0);
    ASSERT_NE(item, nullptr);
    // A real double click: press and release, then the double click itself.
    const QPoint at = Index()->visualItemRect(item).center();
    QTest::mouseClick(Index()->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(Search()->text(), "Do");
    EXPECT_EQ(m_viewer.CurrentTopicId(), "more") << "a click alone opens nothing";
    QTest::mouseDClick(Index()->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(m_viewer.CurrentTopicId(), "flags");

    m_viewer.ShowContents();
    QTest::mouseClick(Contents()->viewport(), Qt::LeftButton, {},
                      Contents()->visualItemRect(Contents()->item(3)).center());
    EXPECT_EQ(m_viewer.CurrentTopicId(), "loops");
}

TEST_F(HelpViewerTest, LinksNavigateAndHistoryReturns) {
    m_viewer.ShowTopic("intro");
    QWidget* pane = Part<QTextBrowser>("topic");
    // Tab walks the page's links, Return follows one.
    const auto follow = [&](int link) {
        pane->setFocus();
        for (int i = 0; i < link; ++i)
            QTest::keyClick(pane, Qt::Key_Tab);
        QTest::keyClick(pane, Qt::Key_Return);
    };
    follow(2); // to a topic that does not exist
    EXPECT_EQ(m_viewer.CurrentTopicId(), "intro");
    m_viewer.ShowTopic("intro");
    follow(1);
    EXPECT_EQ(m_viewer.CurrentTopicId(), "loops");
    EXPECT_TRUE(m_viewer.GoBack());
    EXPECT_EQ(m_viewer.CurrentTopicId(), "intro");
    EXPECT_FALSE(m_viewer.GoBack());
    EXPECT_TRUE(m_viewer.GoForward());
    EXPECT_EQ(m_viewer.CurrentTopicId(), "loops");
    EXPECT_FALSE(m_viewer.GoForward());
}
