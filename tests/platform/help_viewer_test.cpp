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
    QString Selected() { return Index()->currentItem() ? Index()->currentItem()->text() : ""; }
    QString Topic() const { return m_viewer.CurrentTopicId(); }

    HelpViewer m_viewer;
};

} // namespace

// Keywords exact, then ignoring case; in two topics the first; a prefix is
// none. The index sorted ignoring case, Do once; searching where none starts
// with the text selects the next one, past the end the last.
TEST_F(HelpViewerTest, KeywordsAndSearchFindTheirEntries) {
    const std::vector<std::pair<QString, QString>> keywords = {
        {"Flag", "flags"}, {"flag", "more"}, {"FLAG", "flags"}, {"input", "more"}, {"Do", "flags"},
        {"<>", "flags"},   {"Don", ""},      {"", ""},          {"Counter", ""}};
    for (const auto& [keyword, topic] : keywords)
        EXPECT_EQ(m_viewer.TopicForKeyword(keyword), topic) << keyword.toStdString();
    const std::vector<std::pair<QString, QString>> searches = {
        {"", "<>"}, {"don", "Done"}, {"FL", "Flag"}, {"e", "Flag"}, {"zz", "Start"}};
    for (const auto& [text, keyword] : searches) {
        m_viewer.ShowSearch(text);
        EXPECT_EQ(Selected(), keyword) << text.toStdString();
    }
    EXPECT_EQ(Index()->count(), 8);
}

// Each show call reveals the window, an unknown keyword in the index; no
// failure moves the topic. Keys in the search box, a real double click (not a
// single one) in the index, Tab and Return on a link, and the history.
TEST_F(HelpViewerTest, ShowCallsKeysClicksAndLinksOpenTopics) {
    EXPECT_TRUE(m_viewer.ShowKeyword("loop") && m_viewer.isVisible() && Topic() == "loops");
    EXPECT_TRUE(Part<QTextBrowser>("topic")->toPlainText().contains("Round and round."));
    m_viewer.hide();
    EXPECT_FALSE(m_viewer.ShowKeyword("Dot"));
    EXPECT_TRUE(m_viewer.isVisible() && Search()->text() == "Dot" &&
                Part<QTabWidget>("tabs")->currentWidget()->isAncestorOf(Search()));
    EXPECT_FALSE(m_viewer.ShowTopic("nowhere"));
    EXPECT_EQ(Topic(), "loops");

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

    m_viewer.ShowTopic("intro");
    const auto pane = Part<QTextBrowser>("topic");
    pane->setFocus();
    QTest::keyClick(pane, Qt::Key_Tab);
    QTest::keyClick(pane, Qt::Key_Return);
    EXPECT_EQ(Topic(), "loops");
    QStringList history; // back to the first topic shown, no further, and forward again
    while (m_viewer.GoBack())
        history << Topic();
    while (m_viewer.GoForward())
        history << Topic();
    EXPECT_EQ(history.join(u' ').toStdString(), "intro flags more loops more flags intro loops");
}
