// The editor control driven by real key and mouse events, offscreen.
#include "editor/break_cell.h"
#include "editor_fixture.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollBar>
#include <QTest>

#include <tuple>
#include <vector>

namespace {

class KtTextTest : public kt::editor::test::EditorFixture {
protected:
    void Enter() { QTest::keyClick(Box(), Qt::Key_Return); }

    const std::vector<int>& Marks() const { return m_editor->RunBreak(); }
};

} // namespace

// Enter at the end, in the middle, at the start of a line and over a
// selection: the text after it, the line handed to CompileLine and its start.
TEST_F(KtTextTest, EnterEndsTheLineAndCarriesTheIndentation) {
    struct Case {
        QString text;
        qint64 caret, selected;
        QString after, oldLine;
        qint64 oldStart, caretAfter;
    };
    const Case cases[] = {
        {"\t\t If Input.1", 13, 0, "\t\t If Input.1\r\n\t\t ", "\t\t If Input.1", 0, 18},
        {"Line one\r\n  Counter0 = 200", 20, 0, "Line one\r\n  Counter0\r\n   = 200", "  Counter0",
         10, 24},
        {"Do\r\nLoop", 0, 0, "\r\nDo\r\nLoop", "", 0, 2},
        {"If Flag.1 junk", 9, 5, "If Flag.1\r\n", "If Flag.1", 0, 11},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text.toStdString());
        Start(c.text, c.caret);
        Box()->SetSelLength(c.selected);
        Enter();
        EXPECT_EQ(Box()->Text(), c.after);
        EXPECT_EQ(Box()->SelStart(), c.caretAfter);
        EXPECT_EQ(m_editor->CurrentLineSS() + m_editor->ColNumber(), c.caretAfter);
        ASSERT_EQ(m_compile->size(), 1);
        EXPECT_EQ(m_compile->last().at(0).toString(), c.oldLine);
        EXPECT_EQ(m_compile->last().at(1).toLongLong(), c.oldStart);
    }
}

namespace {

// One key event as the window system delivers it, with its time stamp.
struct Key {
    QEvent::Type type;
    ulong time;
    bool autoRepeat = false;
    int key = Qt::Key_Return;
};

void Send(QWidget* target, const Key& k) {
    QKeyEvent event(k.type, k.key, Qt::NoModifier, k.key == Qt::Key_Return ? "\r" : "x",
                    k.autoRepeat);
    event.setTimestamp(k.time);
    QApplication::sendEvent(target, &event);
}

} // namespace

// However the repeats of a held Enter arrive, it breaks the line once, when
// it is released; two presses are two breaks.
TEST_F(KtTextTest, HeldEnterBreaksOnceOnRelease) {
    constexpr QEvent::Type kDown = QEvent::KeyPress, kUp = QEvent::KeyRelease;
    const std::vector<std::pair<std::vector<Key>, QString>> cases = {
        // Repeats flagged as such, then unflagged release/press pairs.
        {{{kDown, 1000}, {kUp, 1500, true}, {kDown, 1500, true}, {kUp, 2500}}, "Do\r\n"},
        {{{kDown, 1000}, {kUp, 1500}, {kDown, 1504}, {kUp, 1530}, {kDown, 1530}, {kUp, 2500}},
         "Do\r\n"},
        {{{kDown, 1000}, {kUp, 1100}, {kDown, 1250}, {kUp, 1350}}, "Do\r\n\r\n"},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        Start("Do", 2);
        // Long enough that no release is settled by the clock mid-test.
        m_editor->SetEnterSettleTime(60000);
        for (const Key& key : cases[i].first) {
            if (key.time == 2500) { // the hold ends: no line break so far
                EXPECT_EQ(Box()->Text(), "Do");
            }
            Send(Box(), key);
        }
        m_editor->SetEnterSettleTime(0);
        EXPECT_TRUE(QTest::qWaitFor([&] { return Box()->Text() == cases[i].second; }, 1000));
        EXPECT_EQ(m_compile->size(), cases[i].second.count("\r\n"));
    }
}

TEST_F(KtTextTest, MarksFollowInsertedAndDeletedLines) {
    Start("1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7", 12); // caret at the start of line 5
    m_editor->SetRunBreak({0, 0, 0, 2, 1, 0, 0});
    Box()->SetSelText("a\r\nb\r\nc\r\n");
    EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 0, 2, 0, 0, 0, 1, 0, 0}));

    // Deleting two lines removes two items at the caret's old line; past the
    // end, the last items go.
    Start(Box()->Text(), 3); // line 2
    Box()->SetSelLength(6);  // "2\r\n3\r\n"
    Box()->SetSelText("");
    EXPECT_EQ(Marks(), (std::vector<int>{0, 2, 0, 0, 0, 1, 0, 0}));
    Start("1\r\n2\r\n3", 6); // line 3
    m_editor->SetRunBreak({1, 2, 3});
    Box()->SetText("1");
    EXPECT_EQ(Marks(), std::vector<int>{1});

    // A line break puts the new mark after the ended line.
    Start("a\r\nb", 0);
    m_editor->SetRunBreak({1, 2});
    Enter();
    EXPECT_EQ(Marks(), (std::vector<int>{1, 0, 2}));
}

TEST_F(KtTextTest, EventsOfEachKindOfUpdate) {
    EXPECT_FALSE(m_editor->Save());
    Start("Do\r\nLoop", 0);
    QTest::keyClick(Box(), Qt::Key_Down);
    EXPECT_FALSE(m_selChange->last().at(0).toBool());
    EXPECT_EQ(m_editor->LineNumber(), 2);

    m_editor->InsertChr("x"); // no event of its own
    QTest::keyClick(Box(), Qt::Key_Y);
    EXPECT_EQ(Box()->Text(), "Do\r\nxyLoop");
    EXPECT_EQ(m_selChange->size(), 2);
    EXPECT_TRUE(m_selChange->last().at(0).toBool());
    EXPECT_TRUE(m_editor->Save());

    // Ctrl+A selects all; clearing the text resets the record.
    m_editor->SetRunBreak({1, 1});
    QTest::keyClick(Box(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(Box()->SelText(), "Do\r\nxyLoop");
    QTest::keyClick(Box(), Qt::Key_Delete);
    EXPECT_EQ(Marks(), std::vector<int>{0});
    EXPECT_EQ(m_editor->CurrentLine(), "");
}

TEST_F(KtTextTest, NextLineEndsTheLineStripped) {
    Start("  If Flag.1 \t ", 14);
    m_editor->NextLine();
    EXPECT_EQ(Box()->Text(), "  If Flag.1\r\n  ");
    ASSERT_EQ(m_compile->size(), 1);
    EXPECT_EQ(m_compile->last().at(0).toString(), "If Flag.1");
}

TEST_F(KtTextTest, CrLfOffsetsRoundTrip) {
    const QString text = "Do\r\n\tIf Input.0\r\n\r\n  Loop";
    Box()->SetText(text);
    EXPECT_EQ(Box()->Text(), text);
    EXPECT_EQ(Box()->TextLength(), text.size());
    // Set SelStart and SelLength; SelStart read back, and SelText. An offset
    // between CR and LF (3, 18), or past the end, stays at its line's end; one
    // below 0 is the start; a line start (4, 19) or the empty line (17) is
    // where it says.
    const std::vector<std::tuple<qint64, qint64, qint64, QString>> cases = {
        {3, 0, 2, ""},         {18, 0, 17, ""},
        {17, 1, 17, ""},       {0, 3, 0, "Do"},
        {4, 2, 4, "\tI"},      {19, 6, 19, "  Loop"},
        {20, 99, 20, " Loop"}, {99, 0, 25, ""},
        {-5, 2, 0, "Do"},      {1, 15, 1, "o\r\n\tIf Input.0"}};
    for (const auto& [start, length, readStart, selected] : cases) {
        Box()->SetSelStart(start);
        Box()->SetSelLength(length);
        EXPECT_EQ(Box()->SelStart(), readStart) << start << "+" << length;
        EXPECT_EQ(Box()->SelText(), selected) << start << "+" << length;
        EXPECT_EQ(Box()->SelLength(), selected.size()) << start << "+" << length;
    }
    // The caret's line record counts every CR LF before it.
    for (const auto& [caret, lineStart, column] :
         std::vector<std::tuple<qint64, qint64, qint64>>{{1, 0, 1}, {6, 4, 2}, {22, 19, 3}}) {
        Box()->SetSelStart(caret);
        m_editor->GetPara(false);
        EXPECT_EQ(m_editor->CurrentLineSS(), lineStart) << caret;
        EXPECT_EQ(m_editor->ColNumber(), column) << caret;
    }
    // Any line break a caller hands in becomes CR LF, and so does one
    // pasted in; a CR LF pair is one break.
    for (const auto& [in, out] :
         std::vector<std::pair<QString, QString>>{{"a\nb\rc", "a\r\nb\r\nc"},
                                                  {"\r\r\n\n\r", "\r\n\r\n\r\n\r\n"},
                                                  {"x\r\n", "x\r\n"},
                                                  {"", ""}}) {
        Box()->SetText(in);
        EXPECT_EQ(Box()->Text(), out) << in.toStdString();
        Box()->SetText("A");
        Box()->SetSelStart(1);
        Box()->SetSelText(in);
        EXPECT_EQ(Box()->Text(), "A" + out) << in.toStdString();
    }
}

// A click turns mark 0 into 1, 1 into 0, 3 into 2 and 2 into 1, on the line
// beside it: the gutter follows the scroll bar at once.
TEST_F(KtTextTest, GutterClicksScrollingAndSetBreak) {
    const auto firstMarks = [this] {
        return std::vector<int>(Marks().begin(), Marks().begin() + 5);
    };
    QStringList lines;
    for (int i = 1; i <= 40; ++i)
        lines << QString::number(i);
    Start(lines.join("\r\n"), 0);
    m_editor->SetRunBreak({0, 1, 3, 2, 1});
    for (const int row : {0, 1, 2, 3})
        QTest::mouseClick(m_editor->PicBreak(row), Qt::LeftButton);
    EXPECT_EQ(firstMarks(), (std::vector<int>{1, 0, 2, 1, 1}));
    EXPECT_EQ(m_editor->PicBreak(2)->ImageIndex(), 2);

    Box()->verticalScrollBar()->setValue(3);
    EXPECT_EQ(m_editor->PicBreak(0)->ImageIndex(), 1); // line 4
    QTest::mouseClick(m_editor->PicBreak(1), Qt::LeftButton);
    EXPECT_EQ(firstMarks(), (std::vector<int>{1, 0, 2, 1, 0}));

    quint8 mark = 7; // no such mark: 0
    m_editor->SetBreak(3, mark);
    EXPECT_EQ(firstMarks(), (std::vector<int>{1, 0, 0, 1, 0}));
}
