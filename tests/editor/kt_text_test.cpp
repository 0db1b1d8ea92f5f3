// The editor control driven by real key and mouse events, offscreen.
#include "editor/break_cell.h"
#include "editor_fixture.h"

#include <gtest/gtest.h>

#include <QApplication>
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

// Enter at the end, in the middle, at the start of a line and over a selection: the text and
// the caret after it, the line handed to CompileLine and its start.
TEST_F(KtTextTest, EnterEndsTheLineAndCarriesTheIndentation) {
    for (const auto& [text, caret, selected, after, caretAfter, oldLine, oldStart] :
         std::vector<std::tuple<QString, qint64, qint64, QString, qint64, QString, qint64>>{
             {"\t\t If Input.1", 13, 0, "\t\t If Input.1\r\n\t\t ", 18, "\t\t If Input.1", 0},
             {"Line one\r\n  Counter0 = 200", 20, 0, "Line one\r\n  Counter0\r\n   = 200", 24,
              "  Counter0", 10},
             {"Do\r\nLoop", 0, 0, "\r\nDo\r\nLoop", 2, "", 0},
             {"If Flag.1 junk", 9, 5, "If Flag.1\r\n", 11, "If Flag.1", 0}}) {
        Start(text, caret);
        Box()->SetSelLength(selected);
        Enter();
        EXPECT_EQ(Box()->Text(), after);
        EXPECT_EQ(std::pair(Box()->SelStart(), m_editor->CurrentLineSS() + m_editor->ColNumber()),
                  std::pair(caretAfter, caretAfter));
        EXPECT_EQ(std::tuple(m_compile->size(), m_compile->value(0).value(0).toString(),
                             m_compile->value(0).value(1).toLongLong()),
                  std::tuple(qsizetype{1}, oldLine, oldStart));
    }
}

namespace {

// One key event as the window system delivers it, with its time stamp.
struct Key {
    QEvent::Type type;
    ulong time;
    bool autoRepeat = false;
};

void Send(QWidget* target, const Key& k) {
    QKeyEvent event(k.type, Qt::Key_Return, Qt::NoModifier, "\r", k.autoRepeat);
    event.setTimestamp(k.time);
    QApplication::sendEvent(target, &event);
}

} // namespace

// However the repeats of a held Enter arrive, it breaks the line once, when
// it is released; two presses are two breaks.
TEST_F(KtTextTest, HeldEnterBreaksOnceOnRelease) {
    constexpr QEvent::Type kDown = QEvent::KeyPress, kUp = QEvent::KeyRelease;
    // Repeats flagged as such, then unflagged release/press pairs; the hold ends at 2500 ms.
    for (const auto& [keys, after] : std::vector<std::pair<std::vector<Key>, QString>>{
             {{{kDown, 1000}, {kUp, 1500, true}, {kDown, 1500, true}, {kUp, 2500}}, "Do\r\n"},
             {{{kDown, 1000}, {kUp, 1500}, {kDown, 1504}, {kUp, 1530}, {kDown, 1530}, {kUp, 2500}},
              "Do\r\n"},
             {{{kDown, 1000}, {kUp, 1100}, {kDown, 1250}, {kUp, 1350}}, "Do\r\n\r\n"}}) {
        Start("Do", 2);
        m_editor->SetEnterSettleTime(60000); // no release settled by the clock mid-test
        for (const Key& key : keys) {
            EXPECT_TRUE(key.time != 2500 || Box()->Text() == "Do"); // no break before the end
            Send(Box(), key);
        }
        m_editor->SetEnterSettleTime(0);
        EXPECT_TRUE(
            QTest::qWaitFor([&, expected = after] { return Box()->Text() == expected; }, 1000));
        EXPECT_EQ(m_compile->size(), after.count("\r\n"));
    }
}

TEST_F(KtTextTest, MarksFollowInsertedAndDeletedLines) {
    Start("1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7", 12); // caret at the start of line 5
    m_editor->SetRunBreak({0, 0, 0, 2, 1, 0, 0});
    Box()->SetSelText("a\r\nb\r\nc\r\n");
    EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 0, 2, 0, 0, 0, 1, 0, 0}));

    // Deleting two lines removes two items at the caret's old line; past the end, the last go.
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
    EXPECT_EQ(std::pair(m_selChange->last().at(0).toBool(), m_editor->LineNumber()),
              std::pair(false, qint64{2}));

    m_editor->InsertChr("x"); // no event of its own
    QTest::keyClick(Box(), Qt::Key_Y);
    EXPECT_EQ(std::tuple(Box()->Text(), m_selChange->size(), m_selChange->last().at(0).toBool()),
              std::tuple(QString("Do\r\nxyLoop"), qsizetype{2}, true));
    EXPECT_TRUE(m_editor->Save());

    // Ctrl+A selects all; clearing the text resets the record.
    m_editor->SetRunBreak({1, 1});
    QTest::keyClick(Box(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(Box()->SelText(), "Do\r\nxyLoop");
    QTest::keyClick(Box(), Qt::Key_Delete);
    EXPECT_EQ(std::pair(Marks(), m_editor->CurrentLine()),
              std::pair(std::vector<int>{0}, QString()));
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
    // clang-format off
    using Row = std::tuple<qint64, qint64, qint64, QString>;
    for (const auto& [start, length, readStart, selected] : std::vector<Row>{
             {3, 0, 2, ""}, {18, 0, 17, ""}, {17, 1, 17, ""}, {0, 3, 0, "Do"}, {4, 2, 4, "\tI"},
             {19, 6, 19, "  Loop"}, {20, 99, 20, " Loop"}, {99, 0, 25, ""}, {-5, 2, 0, "Do"},
             {1, 15, 1, "o\r\n\tIf Input.0"}}) {
        // clang-format on
        Box()->SetSelStart(start);
        Box()->SetSelLength(length);
        EXPECT_EQ(std::tuple(Box()->SelStart(), Box()->SelText(), Box()->SelLength()),
                  std::tuple(readStart, selected, qint64{selected.size()}))
            << start << "+" << length;
    }
    // The caret's line record counts every CR LF before it.
    for (const auto& [caret, lineStart, column] :
         std::vector<std::tuple<qint64, qint64, qint64>>{{1, 0, 1}, {6, 4, 2}, {22, 19, 3}}) {
        Box()->SetSelStart(caret);
        m_editor->GetPara(false);
        EXPECT_EQ(std::pair(m_editor->CurrentLineSS(), m_editor->ColNumber()),
                  std::pair(lineStart, column))
            << caret;
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
TEST_F(KtTextTest, GutterClicksAndSetBreak) {
    const auto firstMarks = [this] {
        return std::vector<int>(Marks().begin(), Marks().begin() + 5);
    };
    Start("1\r\n2\r\n3\r\n4\r\n5", 0);
    m_editor->SetRunBreak({0, 1, 3, 2, 1});
    for (const int row : {0, 1, 2, 3})
        QTest::mouseClick(m_editor->PicBreak(row), Qt::LeftButton);
    EXPECT_EQ(firstMarks(), (std::vector<int>{1, 0, 2, 1, 1}));
    EXPECT_EQ(m_editor->PicBreak(2)->ImageIndex(), 2);
    quint8 mark = 7; // no such mark: 0
    m_editor->SetBreak(3, mark);
    EXPECT_EQ(firstMarks(), (std::vector<int>{1, 0, 0, 1, 1}));
}
