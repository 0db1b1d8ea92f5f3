// The editor's help around typing, driven by key events sent where the window system sends them.
#include "editor/break_cell.h"
#include "editor/kt_highlighter.h"
#include "editor/template_completer.h"
#include "editor_fixture.h"

#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QApplication>
#include <QHelpEvent>
#include <QRegularExpression>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QToolTip>

#include <tuple>
#include <vector>

using kt::editor::KtHighlighter;
using Kind = KtHighlighter::Kind;

// Plain, Keyword, Name, Number, Comment: the kinds in their order.
const QString kLetters = "PKN#C";

namespace {

class EditorHelpTest : public kt::editor::test::EditorFixture {
protected:
    bool PopupOpen() const { return m_editor->Completer()->IsOpen(); }
    // While the popup is open the keyboard is its.
    QWidget* KeyTarget() const {
        return PopupOpen() ? static_cast<QWidget*>(m_editor->Completer()->Popup()) : Box();
    }
    void Key(Qt::Key key) { QTest::keyClick(KeyTarget(), key); }
    void Type(const QString& text) {
        for (const QChar c : text)
            QTest::keyClick(KeyTarget(), c.toLatin1());
    }

    // The colour and underline the layout gives a character of a line.
    std::pair<QBrush, int> Look(int line, int position) const {
        const QTextBlock block = Box()->document()->findBlockByNumber(line);
        for (const QTextLayout::FormatRange& range : block.layout()->formats())
            if (position >= range.start && position < range.start + range.length)
                return {range.format.foreground(), range.format.underlineStyle()};
        return {QBrush(), QTextCharFormat::NoUnderline};
    }
    std::pair<QBrush, int> Expected(Kind kind, bool rejected) const {
        const QTextCharFormat format = m_editor->Highlighter()->Format(kind, rejected);
        return {format.foreground(), format.underlineStyle()};
    }
};

} // namespace

// Each line's characters by kind, written under them in kLetters; a blank
// is not checked. A rejected statement is
// underlined, its indentation and comment are not.
TEST_F(EditorHelpTest, HighlighterColoursByTheTable) {
    const std::tuple<QString, QString, bool> cases[] = {
        {"Counter0 = 200 ' set", "N      N P #   C     ", false},
        {"\tIf Not Input.5", " K  K   N     N", false},
        {"WordCounter.2 = Analog.4", "            N   N      N", false},
        {"Volt% = 50", "    K   # ", false},
        {"Counter0 = 300", "N          #  ", true},
        {"counter0 = -1.5e2", "P          #    #", true}};
    for (const auto& [line, under, rejected] : cases) {
        SCOPED_TRACE(line.toStdString());
        Start(line, 0);
        for (int at = 0; at < under.size(); ++at)
            if (under[at] != ' ') {
                EXPECT_EQ(Look(0, at), Expected(Kind(kLetters.indexOf(under[at])), rejected)) << at;
            }
    }
    EXPECT_EQ(m_selChange->size(), 0); // colouring is no change of the text

    Start("  Counter0 = 300   ' too big", 0);
    EXPECT_EQ((std::vector{Look(0, 1).second, Look(0, 15).second, Look(0, 16).second}),
              (std::vector<int>{QTextCharFormat::NoUnderline, QTextCharFormat::WaveUnderline,
                                QTextCharFormat::NoUnderline}));
    EXPECT_EQ(Look(0, 22), Expected(Kind::Comment, false));
}

// Hovering a rejected statement tells the compiler's reason and how to fix
// it; elsewhere there is nothing to tell.
TEST_F(EditorHelpTest, TooltipTellsWhyALineIsRejected) {
    Start("Do\r\nCounter0 = 300\r\nReferenceSpeed = 50", 0);
    QTextCursor cursor(Box()->document()->findBlockByNumber(1));
    cursor.movePosition(QTextCursor::Right, QTextCursor::MoveAnchor, 3);
    const QPoint point = Box()->cursorRect(cursor).center();
    QHelpEvent hover(QEvent::ToolTip, point, Box()->viewport()->mapToGlobal(point));
    QApplication::sendEvent(Box()->viewport(), &hover);
    EXPECT_EQ(QToolTip::text(), "Error: Data out of limit.\nCounter0 takes 0 to 255");
    QToolTip::hideText();

    EXPECT_EQ(m_editor->ErrorTipAt(point - QPoint(0, 16)), ""); // Do
}

// Typing a line's first word offers the templates it starts, in any case;
// Enter or Tab in the popup puts the chosen one in place of the word and
// ends no line.
TEST_F(EditorHelpTest, CompletionOffersTemplates) {
    Start("", 0);
    Type("Coun");
    ASSERT_TRUE(PopupOpen());
    const QStringList offered = m_editor->Completer()->Offered();
    EXPECT_EQ(offered.front(), "Counter0 = ");
    EXPECT_TRUE(offered.contains("Counter. = InputByte"));
    EXPECT_EQ(offered.filter(QRegularExpression("^Counter")), offered);

    Key(Qt::Key_Return);
    EXPECT_FALSE(PopupOpen());
    EXPECT_EQ(Box()->Text(), m_editor->CurrentLine());
    EXPECT_EQ(Box()->Text(), "Counter0 = ");
    EXPECT_EQ(m_compile->size(), 0);
    EXPECT_TRUE(m_selChange->last().at(0).toBool()); // a change of the text
    Type("5");
    Key(Qt::Key_Return); // the next Enter is an Enter again
    EXPECT_EQ(Box()->Text(), "Counter0 = 5\r\n");
    ASSERT_EQ(m_compile->size(), 1);
    EXPECT_EQ(m_compile->last().at(0).toString(), "Counter0 = 5");

    Start("Do\r\n", 4);
    Type("  wordc");
    ASSERT_TRUE(PopupOpen());
    Key(Qt::Key_Down);
    Key(Qt::Key_Tab);
    EXPECT_EQ(Box()->Text(), "Do\r\n  WordCounter0 = WordCounter0 + ");
    EXPECT_EQ(m_compile->size(), 0);

    // Two characters open it; after Escape deleting does not bring it back,
    // typing again does; Enter after Escape ends the line as ever.
    Start("", 0);
    Type("Co");
    EXPECT_TRUE(PopupOpen());
    Type("u");
    Key(Qt::Key_Escape);
    EXPECT_FALSE(PopupOpen());
    Key(Qt::Key_Backspace);
    EXPECT_EQ(Box()->Text(), "Co");
    EXPECT_FALSE(PopupOpen());
    Type("u");
    EXPECT_TRUE(PopupOpen());
    Key(Qt::Key_Escape);
    Key(Qt::Key_Return);
    EXPECT_EQ(Box()->Text(), "Cou\r\n");
    EXPECT_EQ(m_compile->size(), 1);

    // Nothing offered: one letter, a whole statement as typed, a blank
    // after the word, no match, the caret inside a line.
    for (const char* typed : {"C", "Do", "Loop", "Counter0 ", "Qz"}) {
        Start("", 0);
        Type(typed);
        EXPECT_FALSE(PopupOpen()) << typed;
    }
    Start("Loop", 2);
    Type("oo");
    EXPECT_FALSE(PopupOpen());
}

// The error mark stands in for the line's mark, moves with a line inserted above it, and goes
// with the next change made on its line. The marks themselves never change.
TEST_F(EditorHelpTest, ErrorMarkFollowsItsLine) {
    const auto errorRows = [this] {
        std::vector<int> rows;
        for (int i = 0; i < m_editor->PicCount(); ++i)
            if (m_editor->PicBreak(i)->ShowsError())
                rows.push_back(i);
        return rows;
    };
    Start("1\r\n2\r\n3\r\n4\r\n5", 1);
    m_editor->SetRunBreak({0, 0, 0, 1, 0});
    m_editor->SetErrorLine(4);
    EXPECT_EQ(errorRows(), std::vector<int>{3});
    Key(Qt::Key_Return); // a line above
    EXPECT_EQ(std::pair(m_editor->ErrorLine(), errorRows()),
              std::pair(qint64{5}, std::vector<int>{4}));
    Type("x"); // elsewhere
    Box()->SetSelStart(Box()->Text().indexOf("4") + 1);
    m_editor->GetPara(false);
    Type("0");
    EXPECT_EQ(std::pair(m_editor->ErrorLine(), errorRows()),
              std::pair(qint64{0}, std::vector<int>{}));
    EXPECT_EQ(m_editor->RunBreak(), (std::vector<int>{0, 0, 0, 0, 1, 0}));
    m_editor->SetErrorLine(7); // no such line
    EXPECT_EQ(m_editor->ErrorLine(), 0);
}

// Notes stand right of their lines' text, on those lines only; the text, the caret record and
// the undo never see them, and a line the text does not have is passed over.
TEST_F(EditorHelpTest, NotesStandBesideTheirLinesOnly) {
    Start("Do\r\nCounter0 = 1\r\nLoop", 5);
    m_editor->SetLineNotes({{2, "1 (F)"}, {9, "gone"}});
    EXPECT_EQ(std::tuple(Box()->Text(), Box()->document()->isModified(), m_editor->CanUndo(),
                         Box()->SelStart(), m_selChange->size()),
              std::tuple(QString("Do\r\nCounter0 = 1\r\nLoop"), false, false, qint64(5), 0));
    const QImage shot = Box()->viewport()->grab().toImage();
    QTextCursor end(Box()->document()->findBlockByNumber(1));
    end.movePosition(QTextCursor::EndOfBlock);
    for (int row = 0; row < 10; ++row) {
        int ink = 0;
        for (int x = Box()->cursorRect(end).right() + 2; x < shot.width(); ++x)
            for (int y = row * 16; y < row * 16 + 16; ++y)
                ink += shot.pixel(x, y) != shot.pixel(shot.width() - 1, 0);
        EXPECT_EQ(ink > 0, row == 1) << row;
    }
}

// Hovering a name asks the host with the whole name; a blank or past a line's end asks nothing.
TEST_F(EditorHelpTest, HoverAsksForTheWholeName) {
    Start("If WordCounter0 >= WordCounter.3", 0);
    QString asked;
    m_editor->SetHoverSource([&](const QString& word) {
        asked += word;
        return word + " = 7";
    });
    const std::pair<int, QString> cases[] = {
        {15, ""}, {32, ""}, {31, "WordCounter.3"}, {30, "WordCounter.3"}, {3, "WordCounter0"}};
    for (const auto& [column, word] : cases) {
        QTextCursor cursor(Box()->document());
        cursor.setPosition(column);
        const QPoint point = Box()->cursorRect(cursor).center() + QPoint(3, 0);
        QHelpEvent hover(QEvent::ToolTip, point, Box()->viewport()->mapToGlobal(point));
        QApplication::sendEvent(Box()->viewport(), &hover);
        EXPECT_EQ(asked, word) << column;
        asked.clear();
    }
    EXPECT_EQ(QToolTip::text(), "WordCounter0 = 7");
}
