// The editor control driven by real key and mouse events, offscreen.
#include "editor/break_cell.h"
#include "editor/kt_text.h"
#include "editor/text_box.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTest>
#include <QTextBlock>

#include <memory>
#include <tuple>
#include <vector>

using kt::editor::KtText;
using kt::editor::TextBox;

namespace {

class KtTextTest : public ::testing::Test {
protected:
    void SetUp() override {
        m_editor = std::make_unique<KtText>();
        m_editor->resize(400, 261);
        m_editor->show();
        m_compile = std::make_unique<QSignalSpy>(m_editor.get(), &KtText::CompileLine);
        m_selChange = std::make_unique<QSignalSpy>(m_editor.get(), &KtText::SelChange);
    }

    TextBox* Box() const { return m_editor->RText(); }

    // Sets the text and puts the caret at a CR LF offset, as a click would.
    void Start(const QString& text, qint64 caret) {
        Box()->SetText(text);
        Box()->SetSelStart(caret);
        m_editor->GetPara(false);
        m_compile->clear();
        m_selChange->clear();
    }

    void Enter() { QTest::keyClick(Box(), Qt::Key_Return); }

    QString LastOldLine() const { return m_compile->last().at(0).toString(); }

    std::vector<int> Marks() const { return m_editor->RunBreak(); }

    std::unique_ptr<KtText> m_editor;
    std::unique_ptr<QSignalSpy> m_compile;
    std::unique_ptr<QSignalSpy> m_selChange;
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
        {"   ", 3, 0, "   \r\n", "   ", 0, 5},
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
        ASSERT_EQ(m_compile->size(), 1);
        EXPECT_EQ(LastOldLine(), c.oldLine);
        EXPECT_EQ(m_compile->last().at(1).toLongLong(), c.oldStart);
        EXPECT_TRUE(m_selChange->last().at(0).toBool());
    }
    EXPECT_EQ(m_editor->LineNumber(), 2);
    Start("Line one\r\n  Counter0 = 200", 20);
    Enter();
    EXPECT_EQ(m_editor->CurrentLine(), "   = 200");
    EXPECT_EQ(m_editor->ColNumber(), 2);
    EXPECT_EQ(m_editor->LineNumber(), 3);
}

namespace {

// One key event as the window system delivers it: with its time stamp and
// its auto-repeat flag, or a pause between two batches of events.
struct KeyStep {
    enum Kind { Press, Release, Batch } kind;
    ulong time = 0;
    bool autoRepeat = false;
    int key = Qt::Key_Return;
};

// How a server repeats a held key every 30 ms: flagged or not, with or
// without a release before each press, a few ms apart, in separate batches.
struct Repeat {
    bool flagged, release;
    ulong gap;
    bool batch;
};

// Enter held from 1000 ms to 2500 ms.
std::vector<KeyStep> HeldEnter(const Repeat& r) {
    std::vector<KeyStep> steps = {{KeyStep::Press, 1000}};
    for (ulong time = 1500; time < 2500; time += 30) {
        if (r.release)
            steps.push_back({KeyStep::Release, time, r.flagged});
        if (r.batch)
            steps.push_back({KeyStep::Batch});
        steps.push_back({KeyStep::Press, time + r.gap, r.flagged});
    }
    steps.push_back({KeyStep::Release, 2500});
    return steps;
}

} // namespace

// However the repeats of a held Enter arrive, it breaks the line once, when
// it is released; two presses are two breaks.
TEST_F(KtTextTest, HeldEnterBreaksOnceOnRelease) {
    using K = KeyStep;
    const std::vector<std::pair<std::vector<KeyStep>, QString>> cases = {
        {HeldEnter({true, true, 0, false}), "Do\r\n"},
        {HeldEnter({false, true, 0, false}), "Do\r\n"},
        {HeldEnter({false, true, 4, false}), "Do\r\n"},
        {HeldEnter({true, false, 0, false}), "Do\r\n"},
        {HeldEnter({false, false, 0, false}), "Do\r\n"},
        {HeldEnter({false, true, 1, true}), "Do\r\n"},
        {{{K::Press, 1000}, {K::Release, 1100}, {K::Press, 1250}, {K::Release, 1350}},
         "Do\r\n\r\n"},
        {{{K::Press, 1000}, {K::Release, 1100}, {K::Press, 1105, false, Qt::Key_X}}, "Do\r\nx"},
    };
    for (std::size_t i = 0; i < cases.size(); ++i) {
        SCOPED_TRACE(i);
        const QString after = cases[i].second;
        Start("Do", 2);
        // Long enough that no release is settled by the clock mid-test.
        m_editor->SetEnterSettleTime(60000);
        for (const KeyStep& step : cases[i].first) {
            if (step.kind == K::Batch) {
                QCoreApplication::processEvents();
                continue;
            }
            const bool enter = step.key == Qt::Key_Return;
            if (enter && step.time == 2500) { // the hold ends: no line break so far
                EXPECT_EQ(Box()->Text().count("\r\n"), 0);
            }
            QKeyEvent event(step.kind == K::Press ? QEvent::KeyPress : QEvent::KeyRelease, step.key,
                            Qt::NoModifier, enter ? "\r" : "x", step.autoRepeat);
            event.setTimestamp(step.time);
            QApplication::sendEvent(Box(), &event);
        }
        m_editor->SetEnterSettleTime(0);
        EXPECT_TRUE(QTest::qWaitFor([&] { return Box()->Text() == after; }, 1000))
            << Box()->Text().count("\r\n") << " line breaks";
        EXPECT_EQ(m_compile->size(), after.count("\r\n"));
    }

    // The press of a repeat that comes only after the release has settled
    // (a server too slow to keep a pair together) still adds no break.
    Start("Do", 2);
    m_editor->SetEnterSettleTime(0);
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
    press.setTimestamp(1000);
    QApplication::sendEvent(Box(), &press);
    for (ulong time = 1500; time <= 2500; time += 100) {
        QKeyEvent release(QEvent::KeyRelease, Qt::Key_Return, Qt::NoModifier, "\r");
        release.setTimestamp(time);
        QApplication::sendEvent(Box(), &release);
        ASSERT_TRUE(QTest::qWaitFor([&] { return Box()->Text() != "Do"; }, 1000)) << time;
        if (time < 2500) {
            QKeyEvent repeat(QEvent::KeyPress, Qt::Key_Return, Qt::NoModifier, "\r");
            repeat.setTimestamp(time);
            QApplication::sendEvent(Box(), &repeat);
        }
    }
    EXPECT_EQ(Box()->Text().count("\r\n"), 1);
    EXPECT_EQ(m_compile->size(), 1);
}

TEST_F(KtTextTest, MarksFollowInsertedAndDeletedLines) {
    Start("1\r\n2\r\n3\r\n4\r\n5\r\n6\r\n7", 12); // caret at the start of line 5
    m_editor->SetRunBreak({0, 0, 0, 2, 1, 0, 0});
    Box()->SetSelText("a\r\nb\r\nc\r\n");
    EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 0, 2, 0, 0, 0, 1, 0, 0}));

    // Deleting two lines removes two items at the caret's old line.
    Start(Box()->Text(), 3); // line 2
    Box()->SetSelLength(6);  // "2\r\n3\r\n"
    Box()->SetSelText("");
    EXPECT_EQ(Marks(), (std::vector<int>{0, 2, 0, 0, 0, 1, 0, 0}));

    // The caret's old line is past the end: the last items go.
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

TEST_F(KtTextTest, ClearedTextResetsTheRecord) {
    Start("Do\r\n  Loop", 10);
    m_editor->SetRunBreak({1, 1});
    QTest::keyClick(Box(), Qt::Key_A, Qt::ControlModifier);
    QTest::keyClick(Box(), Qt::Key_Delete);
    EXPECT_EQ(Marks(), std::vector<int>{0});
    EXPECT_EQ(m_editor->LineNumber(), 1);
    EXPECT_EQ(m_editor->ColNumber(), 0);
    EXPECT_EQ(m_editor->CurrentLine(), "");
    EXPECT_TRUE(m_editor->Save());
}

TEST_F(KtTextTest, SelectAllNeedsExactlyCtrl) {
    Start("Do\r\nLoop", 4);
    QTest::keyClick(Box(), Qt::Key_A, Qt::ControlModifier | Qt::ShiftModifier);
    EXPECT_EQ(Box()->SelLength(), 0);
    QTest::keyClick(Box(), Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(Box()->SelStart(), 0);
    EXPECT_EQ(Box()->SelLength(), 8);
    EXPECT_EQ(Box()->SelText(), "Do\r\nLoop");
}

TEST_F(KtTextTest, EventsOfEachKindOfUpdate) {
    EXPECT_FALSE(m_editor->Save());
    Start("Do\r\nLoop", 0);
    QTest::keyClick(Box(), Qt::Key_Down);
    EXPECT_EQ(m_selChange->size(), 1);
    EXPECT_FALSE(m_selChange->last().at(0).toBool());
    EXPECT_EQ(m_editor->LineNumber(), 2);

    m_editor->InsertChr("x");
    EXPECT_EQ(m_selChange->size(), 1);
    EXPECT_EQ(Box()->Text(), "Do\r\nxLoop");

    QTest::keyClick(Box(), Qt::Key_Y);
    EXPECT_EQ(m_selChange->size(), 2);
    EXPECT_TRUE(m_selChange->last().at(0).toBool());
    EXPECT_TRUE(m_editor->Save());
    EXPECT_EQ(m_editor->HelpWord(), "xyLoop");
    EXPECT_TRUE(m_compile->isEmpty());

    QSignalSpy help(m_editor.get(), &KtText::HelpRequest);
    QTest::keyClick(Box(), Qt::Key_F1);
    EXPECT_EQ(help.size(), 1);

    const QPoint inLine1(Box()->viewport()->mapFrom(Box(), QPoint(40, 8)));
    QTest::mouseClick(Box()->viewport(), Qt::LeftButton, {}, inLine1);
    EXPECT_EQ(m_editor->LineNumber(), 1);
    EXPECT_FALSE(m_selChange->last().at(0).toBool());
}

TEST_F(KtTextTest, NextLineEndsTheLineStripped) {
    Start("  If Flag.1 \t ", 14);
    m_editor->NextLine();
    EXPECT_EQ(Box()->Text(), "  If Flag.1\r\n  ");
    ASSERT_EQ(m_compile->size(), 1);
    EXPECT_EQ(LastOldLine(), "If Flag.1");
    EXPECT_EQ(m_editor->LineNumber(), 2);
}

TEST_F(KtTextTest, CrLfOffsetsRoundTrip) {
    const QString text = "Do\r\n\tIf Input.0\r\n\r\n  Loop";
    Box()->SetText(text);
    EXPECT_EQ(Box()->Text(), text);
    EXPECT_EQ(Box()->TextLength(), text.size());
    for (qint64 start = 0; start <= text.size(); ++start) {
        if (start > 0 && text[start - 1] == u'\r')
            continue; // between CR and LF: below
        Box()->SetSelStart(start);
        const qint64 length = std::min<qint64>(7, text.size() - start);
        Box()->SetSelLength(length);
        EXPECT_EQ(Box()->SelStart(), start);
        const qint64 end = start + length;
        if (end == text.size() || text[end - 1] != u'\r') {
            EXPECT_EQ(Box()->SelText(), text.mid(start, length)) << start;
        }
    }
    // An offset between CR and LF, or past the end, stays at its line's end;
    // one below 0 is the start.
    const std::vector<std::tuple<qint64, qint64, qint64, QString>> cases = {
        // SelStart and SelLength set; SelStart read back, and SelText.
        {3, 0, 2, ""},   {16, 0, 15, ""},
        {18, 0, 17, ""}, // an empty line
        {0, 3, 0, "Do"}, {1, 15, 1, "o\r\n\tIf Input.0"},
        {17, 1, 17, ""}, {20, 99, 20, " Loop"},
        {99, 0, 25, ""}, {-5, 2, 0, "Do"},
    };
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
    // Any line break a caller hands in becomes CR LF.
    Box()->SetText("a\nb\rc");
    EXPECT_EQ(Box()->Text(), "a\r\nb\r\nc");
}

// Text rows stand beside gutter rows: 16 pixels each, from the top, however
// the text came in.
TEST_F(KtTextTest, TextRowsAreSixteenPixelsHigh) {
    const auto rowTops = [this] {
        std::vector<int> tops;
        QTextCursor cursor(Box()->document());
        for (int line = 0; line < Box()->document()->blockCount(); ++line) {
            cursor.setPosition(Box()->document()->findBlockByNumber(line).position());
            tops.push_back(Box()->cursorRect(cursor).top());
        }
        return tops;
    };
    Start("Do\r\n  If Input.0\r\nLoop", 4);
    Enter();
    EXPECT_EQ(rowTops(), (std::vector<int>{0, 16, 32, 48}));
    Box()->setPlainText("a\nb");
    EXPECT_EQ(rowTops(), (std::vector<int>{0, 16}));

    // A click lands on the line drawn there.
    QStringList lines;
    for (int i = 1; i <= 20; ++i)
        lines << QString::number(i);
    Start(lines.join("\r\n"), 0);
    QTest::mouseClick(Box()->viewport(), Qt::LeftButton, {}, QPoint(10, 16 * 9 + 8));
    EXPECT_EQ(m_editor->LineNumber(), 10);
}

TEST_F(KtTextTest, GutterRowsFollowTheHeight) {
    EXPECT_EQ(m_editor->PicCount(), 15); // 261 pixels
    m_editor->resize(400, 260);
    EXPECT_EQ(m_editor->PicCount(), 14);

    m_editor->resize(400, 20 * 16 + 21);
    ASSERT_EQ(m_editor->PicCount(), 20);
    for (int i = 14; i < 20; ++i)
        EXPECT_EQ(m_editor->PicBreak(i)->y(), 16 * i);

    const int created = m_editor->PicBreakCount();
    m_selChange->clear();
    m_editor->resize(400, 260);
    EXPECT_EQ(m_editor->PicCount(), 14);
    EXPECT_EQ(m_editor->PicBreakCount(), created);
    EXPECT_EQ(m_selChange->size(), 1);

    m_editor->resize(400, 250); // still 14 rows
    EXPECT_EQ(m_selChange->size(), 1);
    m_editor->resize(400, 10); // no rows at all: left as it is
    EXPECT_EQ(m_editor->PicCount(), 14);
}

TEST_F(KtTextTest, GutterClicksAndSetBreak) {
    Start("1\r\n2\r\n3", 0);
    const auto image = [this](int row) { return m_editor->PicBreak(row)->ImageIndex(); };
    QTest::mouseClick(m_editor->PicBreak(1), Qt::LeftButton);
    EXPECT_EQ(Marks(), (std::vector<int>{0, 1, 0}));
    EXPECT_EQ(image(1), 1);
    QTest::mouseClick(m_editor->PicBreak(1), Qt::LeftButton);
    EXPECT_EQ(Marks()[1], 0);

    // Clicks turn a 3 into a 2 and a 2 into a 1.
    m_editor->SetRunBreak({0, 0, 3});
    EXPECT_EQ(image(2), 3);
    QTest::mouseClick(m_editor->PicBreak(2), Qt::LeftButton);
    EXPECT_EQ(Marks()[2], 2);
    EXPECT_EQ(image(2), 2);
    QTest::mouseClick(m_editor->PicBreak(2), Qt::LeftButton);
    EXPECT_EQ(Marks()[2], 1);

    quint8 mark = 7;
    m_editor->SetBreak(2, mark);
    EXPECT_EQ(mark, 0);
    EXPECT_EQ(Marks()[1], 0);
    mark = 1;
    m_editor->SetBreak(9, mark); // no such line
    EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 1}));

    QTest::mouseClick(m_editor->PicBreak(10), Qt::LeftButton); // below the text
    EXPECT_EQ(Marks(), (std::vector<int>{0, 0, 1}));
    for (int row = 3; row < m_editor->PicCount(); ++row)
        EXPECT_EQ(image(row), 0) << row;
}

// The gutter follows the scroll bar at once, not only at the next caret move.
TEST_F(KtTextTest, ScrolledGutterShowsAndTogglesTheRightLines) {
    QStringList lines;
    for (int i = 1; i <= 60; ++i)
        lines << QString::number(i);
    Start(lines.join("\r\n"), 0);
    std::vector<int> marks(60, 0);
    marks[10] = 2; // line 11
    m_editor->SetRunBreak(marks);
    EXPECT_EQ(m_editor->PicBreak(10)->ImageIndex(), 2);

    Box()->verticalScrollBar()->setValue(10);
    EXPECT_EQ(m_editor->PicBreak(0)->ImageIndex(), 2);
    EXPECT_EQ(m_editor->PicBreak(10)->ImageIndex(), 0);

    QTest::mouseClick(m_editor->PicBreak(0), Qt::LeftButton);
    EXPECT_EQ(Marks()[10], 1);
    EXPECT_EQ(m_editor->PicBreak(0)->ImageIndex(), 1);
}
