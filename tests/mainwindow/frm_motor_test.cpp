// The main window's menus, picker and help driven as a user drives them.
#include "editor/break_cell.h"
#include "mainwindow/frm_find.h"
#include "tests/accessible_walk.h"
#include "tests/mainwindow/main_window_fixture.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QLineEdit>
#include <QListWidget>
#include <QMenuBar>

#include <array>
#include <functional>

using kt::mainwindow::test::Answer;

namespace {

class FrmMotorTest : public kt::mainwindow::test::MainWindowTest {
protected:
    // Types a line and ends it with Enter, as a user would.
    void TypeLine(const QString& line) {
        QTest::keyClicks(Box(), line);
        QTest::keyClick(Box(), Qt::Key_Return);
    }
    template <typename T = QWidget> T* FindChild(const char* name) const {
        return m_window->FindDialog()->findChild<T*>(name);
    }
    void DoubleClick(const QString& entry) {
        const auto items = m_window->List1()->findItems(entry, Qt::MatchExactly);
        ASSERT_FALSE(items.isEmpty()) << entry.toStdString();
        m_window->List1()->setCurrentItem(items.front());
        emit m_window->List1()->itemDoubleClicked(items.front());
    }
};

QString Name(const QAction* a) {
    return a->menu() ? a->menu()->objectName() : a->objectName();
}

} // namespace

// Each item as "name|caption|shortcut"; "-" is a separator. Items of our own
// are named "Add..." and may stand between the drawn-up ones; no two items
// of a menu share an accelerator letter, no two actions a shortcut.
TEST_F(FrmMotorTest, MenuBarAsDrawnUp) {
    const auto ours = [](const QAction* a) { return Name(a).startsWith("Add"); };
    QStringList shortcuts;
    for (const QAction* a : m_window->findChildren<QAction*>())
        if (!a->shortcut().isEmpty())
            shortcuts << a->shortcut().toString();
    EXPECT_EQ(shortcuts.removeDuplicates(), 0);
    for (const QMenu* menu : m_window->findChildren<QMenu*>()) {
        QStringList letters;
        for (const QAction* a : menu->actions())
            if (const qsizetype at = a->text().indexOf('&'); at >= 0)
                letters << a->text().mid(at + 1, 1).toUpper();
        EXPECT_EQ(letters.removeDuplicates(), 0) << menu->objectName().toStdString();
    }
    const auto items = [&](const QList<QAction*>& actions, bool withOurs = false) {
        QStringList items;
        for (const QAction* a : actions)
            if (withOurs || !ours(a))
                items << (a->isSeparator() ? "-" : a->text() + " " + a->shortcut().toString());
        return items.join(u'|').replace(" |", "|").trimmed();
    };
    EXPECT_EQ(items(m_window->menuBar()->actions()),
              "&File|&Edit|&Device|&Help|Line Number = 0|&AllInstruction|A&ssignInstruction|"
              "&ConditionalInstruction|&MiscellaneousInstruction|&OperationalInstruction");
    // Recent Files and Examples are ours, before Exit.
    EXPECT_EQ(items(Menu("MnuFile")->actions(), true),
              "&New Ctrl+N|&Open Ctrl+O|-|&Save Ctrl+S|Save &As|-|&Compile Ctrl+L|-|"
              "&Recent Files|&Examples|-|e&Xit");
    EXPECT_EQ(items(Menu("MnuEdit")->actions()),
              "Copy Ctrl+C|Cut Ctrl+X|Paste Ctrl+V|-|Find Ctrl+F");
    EXPECT_EQ(items(Menu("MnuHelp")->actions()), "&About|&Contents|&Search");
}

// The enabling rules hold at every moment, not only once a menu has opened,
// so a shortcut works exactly when its menu item would. No menu is opened.
TEST_F(FrmMotorTest, ShortcutsFollowTheEnablingRules) {
    QApplication::clipboard()->clear();
    const auto key = [this] { QTest::keyClick(Box(), Qt::Key_L, Qt::ControlModifier); };
    const auto trigger = [this](const char* name) {
        return [=, this] { Action(name)->trigger(); };
    };
    // The step; then enabled of Save Compile Copy Cut Paste Find Undo Redo,
    // the message shown if any, and the text afterwards.
    const std::tuple<std::function<void()>, QString, QString, QString> steps[] = {
        {key, "", "", ""}, // on an empty text
        {[&] { TypeLine("Do"), Type("Loop"); }, "Save Compile Find Undo", "", "Do\r\nLoop"},
        {key, "Save Compile Find Undo", "Compiled Successfully.", "Do\r\nLoop"},
        {trigger("AddEditSelectAll"), "Save Compile Copy Cut Find Undo", "", "Do\r\nLoop"},
        {trigger("MnuEditCut"), "Save Paste Undo", "", ""},
        {trigger("AddEditUndo"), "Save Compile Paste Find Undo Redo", "", "Do\r\nLoop"},
        {trigger("AddEditRedo"), "Save Paste Undo", "", ""},
        {[] { QApplication::clipboard()->clear(); }, "Save Undo", "", ""},
        {[] { QApplication::clipboard()->setText("Loop"); }, "Save Paste Undo", "", ""},
        {trigger("MnuEditPaste"), "Save Compile Paste Find Undo", "", "Loop"},
    };
    int step = 0;
    for (const auto& [act, enabled, shown, text] : steps) {
        SCOPED_TRACE(++step);
        m_prompts.Clear();
        act();
        QStringList now;
        for (const char* name : {"MnuFileSave", "MnuFileCompile", "MnuEditCopy", "MnuEditCut",
                                 "MnuEditPaste", "MnuEditFind", "AddEditUndo", "AddEditRedo"})
            if (Action(name)->isEnabled())
                now << QString::fromLatin1(name).mid(7);
        EXPECT_EQ(now.join(u' '), enabled);
        EXPECT_EQ(Shown(), shown.isEmpty() ? std::vector<QString>{} : std::vector{shown});
        EXPECT_EQ(Box()->Text(), text);
    }
}

// Ctrl+F opens Find modeless, Find disabled without a search text. Each Find selects the next
// match; past the last it asks whether to start over (default No, so an unanswered script cannot
// loop). Enter finds too and hands the focus back to the editor; the search text outlives the
// dialog.
TEST_F(FrmMotorTest, FindSelectsEachMatchInTurn) {
    using Step = std::array<qint64, 3>; // selection start and length, questions so far
    const Answer yes = Answer::Yes, no = Answer::No;
    // Text, search, match case, answers, each click's Step.
    const std::tuple<QString, QString, bool, std::vector<Answer>, std::vector<Step>> cases[] = {
        {"loop\r\nLoop", "Loop", true, {}, {{6, 4, 0}}},
        {"Loop\r\nDo\r\nLoop", "LOOP", false, {yes}, {{0, 4, 0}, {10, 4, 0}, {0, 4, 1}}},
        {"Do\r\nLoop", "If", false, {yes, yes, no}, {{0, 0, 3}}},
        // A match on the last character: the next search starts over unasked.
        {"abab", "b", false, {}, {{1, 1, 0}, {3, 1, 0}, {1, 1, 0}}},
    };
    for (const auto& [text, find, matchCase, answers, clicks] : cases) {
        SCOPED_TRACE(find.toStdString() + " in " + text.toStdString());
        Restart({}); // a search of its own
        Box()->SetText(text);
        for (Answer answer : answers)
            m_prompts.Push(answer);
        QTest::keyClick(m_window.get(), Qt::Key_F, Qt::ControlModifier);
        ASSERT_TRUE(m_window->FindDialog() && m_window->FindDialog()->isVisible());
        EXPECT_FALSE(FindChild("CmdFind")->isEnabled());
        QTest::keyClicks(FindChild("TxtFind"), find);
        FindChild<QCheckBox>("ChkCase")->setChecked(matchCase);
        for (const Step& want : clicks) {
            QTest::mouseClick(FindChild("CmdFind"), Qt::LeftButton);
            EXPECT_EQ((Step{Box()->SelStart(), Box()->SelLength(), qint64(Shown().size())}), want);
        }
        for (const auto& question : m_prompts.Shown())
            EXPECT_EQ(question.defaultAnswer, no);
    }
    QTest::keyClick(FindChild("TxtFind"), Qt::Key_Return);
    EXPECT_EQ(Box()->SelStart(), 3);
    EXPECT_EQ(m_window->focusWidget(), Box());
    m_window->FindDialog()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    Action("MnuEditFind")->trigger();
    EXPECT_EQ(FindChild<QLineEdit>("TxtFind")->text(), "b");
}

TEST_F(FrmMotorTest, EveryEndedLineIsChecked) {
    for (const char* line : {"Counter0 = 256", "", "' a comment", "Counter0 = 255", "Jump"})
        TypeLine(line);
    EXPECT_EQ(Shown(), (std::vector<QString>{"Error: Data out of limit.",
                                             "Error: Statement not identified."}));
    EXPECT_EQ(Action("MnuLineNumber")->text(), "Line Number = 5");
    EXPECT_TRUE(m_window->Changed());
}

// Letters typed in the list move to the entry they start, Enter inserts it;
// double clicks build a statement in data mode, the menus off meanwhile; a
// value out of range is refused; leaving the line brings the list back.
// (The picker's walks: tests/compiler.)
TEST_F(FrmMotorTest, PickerInsertsThroughTheEditor) {
    QListWidget* list = m_window->List1();
    list->setFocus();
    list->setCurrentRow(0);
    QTest::keyClicks(list, "Lo");
    QTest::keyClick(list, Qt::Key_Return);
    DoubleClick("Counter0 = ");
    EXPECT_FALSE(Action("MnuAllInstruction")->isEnabled());
    for (const char* typed : {"300", "12.5"}) {
        m_prompts.PushText(typed);
        DoubleClick("0 To 255");
    }
    EXPECT_EQ(Shown(), std::vector<QString>{"Invalid Data."});
    QTest::keyClick(Box(), Qt::Key_Return);
    DoubleClick("If Flag.");
    EXPECT_EQ(m_window->DataMode(), 1);
    QTest::keyClick(Box(), Qt::Key_Up);
    EXPECT_EQ(Box()->Text(), "Loop\r\nCounter0 = 12.5\r\n\r\nIf Flag.");
    EXPECT_EQ(m_window->DataMode(), 0);
    EXPECT_TRUE(Action("MnuAllInstruction")->isEnabled());
    EXPECT_EQ(list->count(), 186);
}

// Named and heard by a screen reader. Keys only: Ctrl+Tab leaves the text
// for the picker, where F9 cycles the caret line's mark as a gutter click
// does. At 200 % rows and gutter cells grow with the text.
TEST_F(FrmMotorTest, ByKeyboardAndScreenReader) {
    kt::test::AnnouncementSpy spy;
    Type("Do\r0\r1\rLoop");
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_F, Qt::ControlModifier);
    EXPECT_EQ(kt::test::UnnamedControls(m_window.get()) +
                  kt::test::UnnamedControls(m_window->FindDialog()),
              QStringList{});
    m_window->FindDialog()->close();
    m_window->KtText1()->SetRunBreak({0, 1, 2, 3});
    for (const auto& [line, marks] :
         {std::pair{1, std::vector{1, 1, 2, 3}}, {1, {0, 1, 2, 3}}, {4, {0, 1, 2, 2}}}) {
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Home, Qt::ControlModifier);
        for (int down = 1; down < line; ++down)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Down);
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab, Qt::ControlModifier);
        EXPECT_EQ(QApplication::focusWidget(), m_window->List1());
        QTest::keyClick(QApplication::focusWidget(), Qt::Key_F9);
        EXPECT_EQ(m_window->KtText1()->RunBreak(), marks) << line;
    }
    QTest::keyClick(QApplication::focusWidget(), Qt::Key_L, Qt::ControlModifier);
    EXPECT_EQ(spy.Texts().join(u'|').toStdString(),
              "Error: Statement not identified.|Error: Statement not identified.|"
              "Error: Statement not identified. Does not compile (line 2)");
    for (int i = 0; i < 5; ++i)
        Menu("AddView")->actions()[0]->trigger();
    EXPECT_EQ(m_window->KtText1()->PicBreak(1)->geometry(),
              QRect(0, Box()->x(), Box()->x(), QFontMetrics(Box()->font()).lineSpacing()));
    Menu("AddView")->actions()[2]->trigger();
    EXPECT_EQ(Box()->RowHeight(), 16);
}
