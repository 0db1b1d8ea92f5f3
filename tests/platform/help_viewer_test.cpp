// The help viewer driven through its public calls and its own widgets, offscreen.
#include "platform/help_viewer.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>

#include <vector>

using kt::platform::HelpViewer;

namespace {

class HelpViewerTest : public ::testing::Test {
protected:
    // Keywords that clash: in case only, and across topics.
    void SetUp() override {
        const char* intro = R"(<a href="topic:loops">Loops</a> <a href="topic:nowhere">gone</a>)";
        m_viewer.SetTopics({{"intro", "Introduction", intro, {"Start"}},
                            {"flags", "Flags", "<p>All about flags.</p>", {"Flag", "Do", "<>"}},
                            {"more", "More flags", "<p>Lower-case.</p>", {"flag", "Done", "Input"}},
                            {"loops", "Loops", "<p>Round and round.</p>", {"Loop", "Do"}}});
    }
    template <typename T> T* Part(const char* name) { return m_viewer.findChild<T*>(name); }
    QLineEdit* Search() { return Part<QLineEdit>("search"); }
    QListWidget* Index() { return Part<QListWidget>("index"); }
    bool IndexShown() { return Part<QTabWidget>("tabs")->currentWidget()->isAncestorOf(Search()); }
    QString Selected() { return Index()->currentItem() ? Index()->currentItem()->text() : ""; }
    QString Topic() const { return m_viewer.CurrentTopicId(); }

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

// Each show call reveals the window: a keyword at its topic, an unknown one
// in the index with the search text typed in; none of the failures moves
// the topic shown.
TEST_F(HelpViewerTest, ShowCallsRevealTheWindowAtTheirTopicOrTheIndex) {
    EXPECT_TRUE(m_viewer.ShowKeyword("loop"));
    EXPECT_TRUE(m_viewer.isVisible());
    EXPECT_EQ(Topic(), "loops");
    EXPECT_TRUE(Part<QTextBrowser>("topic")->toPlainText().contains("Round and round."));

    m_viewer.hide();
    EXPECT_FALSE(m_viewer.ShowKeyword("Dot"));
    EXPECT_TRUE(m_viewer.isVisible());
    EXPECT_TRUE(IndexShown());
    EXPECT_EQ(Search()->text(), "Dot");
    EXPECT_FALSE(m_viewer.ShowTopic("nowhere"));
    EXPECT_EQ(Topic(), "loops");
}

TEST_F(HelpViewerTest, SearchSelectsTheFirstKeywordWithThePrefix) {
    // The index, sorted ignoring case and listing Do once: <>, Do, Done, Flag,
    // flag, Input, Loop, Start. Where none starts with the text, the next
    // one, as in a classic index; past the end, the last.
    const std::vector<std::pair<QString, QString>> cases = {
        {"", "<>"}, {"don", "Done"}, {"FL", "Flag"}, {"e", "Flag"}, {"zz", "Start"}};
    for (const auto& [text, keyword] : cases) {
        m_viewer.ShowSearch(text);
        EXPECT_EQ(Selected(), keyword) << text.toStdString();
    }
    EXPECT_EQ(Index()->count(), 8);
}

// Typing, arrow keys and Return in the search box; a real double click (a
// single click opens nothing) in the index.
TEST_F(HelpViewerTest, KeysAndClicksOpenTopics) {
    m_viewer.ShowSearch();
    QTest::keyClicks(Search(), "lx");
    QTest::keyClick(Search(), Qt::Key_Backspace);
    EXPECT_EQ(Selected(), "Loop");
    QTest::keyClick(Search(), Qt::Key_Up);
    EXPECT_EQ(Search()->text(), "Input");
    QTest::keyClick(Search(), Qt::Key_Return);
    EXPECT_EQ(Topic(), "more");

    m_viewer.ShowSearch("D");
    const QPoint at = Index()->visualItemRect(Index()->currentItem()).center();
    QTest::mouseClick(Index()->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(Topic(), "more");
    QTest::mouseDClick(Index()->viewport(), Qt::LeftButton, {}, at);
    EXPECT_EQ(Topic(), "flags");
}

TEST_F(HelpViewerTest, LinksNavigateAndHistoryReturns) {
    m_viewer.ShowTopic("intro");
    // Tab walks the page's links, Return follows one.
    const auto pane = Part<QTextBrowser>("topic");
    pane->setFocus();
    QTest::keyClick(pane, Qt::Key_Tab);
    QTest::keyClick(pane, Qt::Key_Return);
    EXPECT_EQ(Topic(), "loops");
    // Back to intro, no further; forward to loops, no further.
    EXPECT_EQ((std::vector{m_viewer.GoBack(), m_viewer.GoBack(), m_viewer.GoForward(),
                           m_viewer.GoForward()}),
              (std::vector{true, false, true, false}));
    EXPECT_EQ(Topic(), "loops");
}
