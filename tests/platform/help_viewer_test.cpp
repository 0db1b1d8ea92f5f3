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

std::vector<HelpTopic> SampleTopics() {
    return {
        {"intro",
         "Introduction",
         R"(<p>Start here. <a href="topic:loops">Loops</a> <a href="topic:nowhere">gone</a></p>)",
         {"Start"}},
        {"flags", "Flags", "<p>All about flags.</p>", {"Flag", "Do", "<>"}},
        {"more", "More flags", "<p>Lower-case flags.</p>", {"flag", "Done", "Input"}},
        {"loops", "Loops", "<p>Round and round.</p>", {"Loop", "Do"}},
    };
}

class HelpViewerTest : public ::testing::Test {
protected:
    void SetUp() override { m_viewer.SetTopics(SampleTopics()); }

    template <typename T> T* Part(const char* name) {
        T* part = m_viewer.findChild<T*>(QLatin1String(name));
        EXPECT_NE(part, nullptr) << name;
        return part;
    }
    QTabWidget* Tabs() { return Part<QTabWidget>("tabs"); }
    QLineEdit* Search() { return Part<QLineEdit>("search"); }
    QListWidget* Index() { return Part<QListWidget>("index"); }
    QListWidget* Contents() { return Part<QListWidget>("contents"); }
    QTextBrowser* Pane() { return Part<QTextBrowser>("topic"); }
    bool IndexShown() { return Tabs()->currentWidget()->isAncestorOf(Search()); }
    QString SelectedKeyword() {
        return Index()->currentItem() != nullptr ? Index()->currentItem()->text() : QString();
    }

    HelpViewer m_viewer;
};

} // namespace

TEST_F(HelpViewerTest, IsItsOwnWindow) {
    EXPECT_TRUE(m_viewer.isWindow());
    EXPECT_EQ(m_viewer.windowTitle(), "KtMotor Help");
    EXPECT_TRUE(m_viewer.CurrentTopicId().isEmpty());
}

TEST_F(HelpViewerTest, KeywordsLeadToTopics) {
    const std::vector<std::pair<QString, QString>> cases = {
        {"Flag", "flags"},              // exact
        {"flag", "more"},               // exact beats the other case
        {"FLAG", "flags"},              // ignoring case, the first topic that has it
        {"input", "more"},              // ignoring case
        {"Do", "flags"},                // in two topics: the first
        {"<>", "flags"},   {"Don", ""}, // a prefix is no keyword
        {"", ""},          {"Counter", ""},
    };
    for (const auto& [keyword, topic] : cases)
        EXPECT_EQ(m_viewer.TopicForKeyword(keyword), topic) << keyword.toStdString();
}

TEST_F(HelpViewerTest, ShowKeywordOpensItsTopic) {
    EXPECT_TRUE(m_viewer.ShowKeyword("loop"));
    EXPECT_TRUE(m_viewer.isVisible());
    EXPECT_EQ(m_viewer.CurrentTopicId(), "loops");
    EXPECT_TRUE(Pane()->toPlainText().contains("Round and round."));
    EXPECT_EQ(Contents()->currentRow(), 3);
}

TEST_F(HelpViewerTest, ShowKeywordWithoutTopicSearchesTheIndex) {
    m_viewer.ShowTopic("flags");
    EXPECT_FALSE(m_viewer.ShowKeyword("Dot"));
    EXPECT_TRUE(m_viewer.isVisible());
    EXPECT_TRUE(IndexShown());
    EXPECT_EQ(Search()->text(), "Dot");
    EXPECT_EQ(m_viewer.focusWidget(), Search());
    EXPECT_EQ(m_viewer.CurrentTopicId(), "flags");
}

TEST_F(HelpViewerTest, ShowContentsOpensTheFirstTopic) {
    m_viewer.ShowSearch("x");
    m_viewer.ShowContents();
    EXPECT_TRUE(m_viewer.isVisible());
    EXPECT_EQ(Tabs()->currentWidget(), Contents());
    EXPECT_EQ(m_viewer.CurrentTopicId(), "intro");
    EXPECT_EQ(Contents()->currentRow(), 0);
    EXPECT_TRUE(Pane()->toPlainText().contains("Start here."));

    HelpViewer empty;
    empty.ShowContents();
    EXPECT_TRUE(empty.CurrentTopicId().isEmpty());
}

TEST_F(HelpViewerTest, SearchSelectsTheFirstKeywordWithThePrefix) {
    // The index, sorted ignoring case: <>, Do, Done, Flag, flag, Input, Loop, Start.
    // Where none starts with the text, the next one, as in a classic index;
    // past the end, the last.
    const std::vector<std::pair<QString, QString>> cases = {
        {"", "<>"},     {"d", "Do"},     {"don", "Done"}, {"FL", "Flag"},  {"fla", "Flag"},
        {"i", "Input"}, {"st", "Start"}, {"e", "Flag"},   {"zz", "Start"},
    };
    for (const auto& [text, keyword] : cases) {
        m_viewer.ShowSearch(text);
        EXPECT_TRUE(IndexShown());
        EXPECT_EQ(Search()->text(), text);
        EXPECT_EQ(SelectedKeyword(), keyword) << text.toStdString();
    }
    EXPECT_EQ(Index()->count(), 8);
}

TEST_F(HelpViewerTest, TypingInTheIndexSelectsAndEnterOpens) {
    m_viewer.ShowSearch();
    QTest::keyClicks(Search(), "lo");
    EXPECT_EQ(SelectedKeyword(), "Loop");
    QTest::keyClick(Search(), Qt::Key_Backspace);
    EXPECT_EQ(SelectedKeyword(), "Loop");
    QTest::keyClick(Search(), Qt::Key_Up);
    EXPECT_EQ(SelectedKeyword(), "Input");
    EXPECT_EQ(Search()->text(), "Input");
    QTest::keyClick(Search(), Qt::Key_Return);
    EXPECT_EQ(m_viewer.CurrentTopicId(), "more");
}

TEST_F(HelpViewerTest, ClicksOpenTopics) {
    m_viewer.ShowSearch("Do");
    QListWidgetItem* done = Index()->findItems("Done", Qt::MatchExactly).value(0);
    ASSERT_NE(done, nullptr);
    // A real double click: press and release, then the double click itself.
    const QPoint at = Index()->visualItemRect(done).center();
    QTest::mouseClick(Index()->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(Search()->text(), "Done");
    EXPECT_TRUE(m_viewer.CurrentTopicId().isEmpty());
    QTest::mouseDClick(Index()->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(m_viewer.CurrentTopicId(), "more");

    Tabs()->setCurrentWidget(Contents());
    QTest::mouseClick(Contents()->viewport(), Qt::LeftButton, {},
                      Contents()->visualItemRect(Contents()->item(3)).center());
    EXPECT_EQ(m_viewer.CurrentTopicId(), "loops");
}

TEST_F(HelpViewerTest, LinksNavigateAndHistoryReturns) {
    m_viewer.ShowTopic("intro");
    // Tab walks the page's links, Return follows one.
    const auto follow = [&](int link) {
        Pane()->setFocus();
        for (int i = 0; i < link; ++i)
            QTest::keyClick(Pane(), Qt::Key_Tab);
        QTest::keyClick(Pane(), Qt::Key_Return);
    };
    follow(2); // to a topic that does not exist
    EXPECT_EQ(m_viewer.CurrentTopicId(), "intro");
    m_viewer.ShowTopic("intro");

    follow(1);
    EXPECT_EQ(m_viewer.CurrentTopicId(), "loops");
    EXPECT_TRUE(Pane()->toPlainText().contains("Round and round."));

    EXPECT_TRUE(m_viewer.GoBack());
    EXPECT_EQ(m_viewer.CurrentTopicId(), "intro");
    EXPECT_FALSE(m_viewer.GoBack());
    EXPECT_TRUE(m_viewer.GoForward());
    EXPECT_EQ(m_viewer.CurrentTopicId(), "loops");
    EXPECT_FALSE(m_viewer.GoForward());
}

TEST_F(HelpViewerTest, UnknownTopicChangesNothing) {
    m_viewer.ShowTopic("flags");
    EXPECT_FALSE(m_viewer.ShowTopic("nowhere"));
    EXPECT_FALSE(m_viewer.ShowTopic(""));
    EXPECT_EQ(m_viewer.CurrentTopicId(), "flags");
}

TEST_F(HelpViewerTest, NewTopicsKeepTheTopicOnShowIfItRemains) {
    m_viewer.ShowTopic("loops");
    std::vector<HelpTopic> topics = SampleTopics();
    topics[3].html = "<p>Rewritten.</p>";
    m_viewer.SetTopics(topics);
    EXPECT_EQ(m_viewer.CurrentTopicId(), "loops");
    EXPECT_TRUE(Pane()->toPlainText().contains("Rewritten."));
    EXPECT_FALSE(m_viewer.GoBack());

    topics.pop_back();
    m_viewer.SetTopics(topics);
    EXPECT_TRUE(m_viewer.CurrentTopicId().isEmpty());
    EXPECT_TRUE(Pane()->toPlainText().isEmpty());
    EXPECT_TRUE(m_viewer.TopicForKeyword("Loop").isEmpty());
}
