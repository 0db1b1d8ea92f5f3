// The main window driven as a user drives it, offscreen, with every message
// and question answered by the scripted prompt service.
#include "editor/kt_text.h"
#include "editor/text_box.h"
#include "mainwindow/frm_find.h"
#include "mainwindow/frm_motor.h"
#include "platform/help_viewer.h"
#include "platform/scripted_prompts.h"

#include <gtest/gtest.h>

#include <functional>

#include <QAction>
#include <QApplication>
#include <QClipboard>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

using kt::mainwindow::FrmMotor;

namespace {

class FrmMotorTest : public ::testing::Test {
protected:
    FrmMotorTest() {
        m_window.show();
        // Shortcuts reach only the active window.
        m_window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&m_window));
        Box()->setFocus();
    }
    ~FrmMotorTest() override { EXPECT_EQ(m_prompts.Unscripted().join(u'|').toStdString(), ""); }

    QAction* Action(const char* name) const { return m_window.findChild<QAction*>(name); }
    QMenu* Menu(const char* name) const { return m_window.findChild<QMenu*>(name); }
    kt::editor::TextBox* Box() const { return m_window.KtText1()->RText(); }

    // Types a line and ends it with Enter, as a user would.
    void TypeLine(const QString& line) {
        QTest::keyClicks(Box(), line);
        QTest::keyClick(Box(), Qt::Key_Return);
    }
    std::vector<QString> Shown() const { return m_prompts.ShownTexts(); }
    void DoubleClick(const QString& entry) {
        const auto items = m_window.List1()->findItems(entry, Qt::MatchExactly);
        ASSERT_FALSE(items.isEmpty()) << entry.toStdString();
        m_window.List1()->setCurrentItem(items.front());
        emit m_window.List1()->itemDoubleClicked(items.front());
    }

    QTemporaryDir m_folder;
    kt::platform::ScriptedPrompts m_prompts;
    FrmMotor m_window{m_prompts, m_folder.path(), m_folder.path()};
};

} // namespace

// Each item as "name|caption|shortcut"; "-" is a separator. Items added
// beyond the drawn-up ones are named "Add..." and may stand between them,
// but take none of their accelerator letters or shortcuts.
TEST_F(FrmMotorTest, MenuBarAsDrawnUp) {
    const auto name = [](const QAction* a) {
        return a->menu() ? a->menu()->objectName() : a->objectName();
    };
    const auto accelerator = [](const QAction* a) {
        const qsizetype at = a->text().indexOf('&');
        return at >= 0 && at + 1 < a->text().size() ? a->text().at(at + 1).toUpper() : QChar();
    };
    QSet<QString> taken;
    for (QMenu* menu : m_window.findChildren<QMenu*>()) {
        QSet<QChar> letters;
        for (const QAction* a : menu->actions())
            if (!name(a).startsWith("Add")) {
                letters.insert(accelerator(a));
                taken.insert(a->shortcut().toString());
            }
        for (const QAction* a : menu->actions()) {
            if (name(a).startsWith("Add") && !a->isSeparator()) {
                EXPECT_FALSE(letters.contains(accelerator(a))) << name(a).toStdString();
            }
        }
    }
    for (const QAction* a : m_window.findChildren<QAction*>()) {
        if (name(a).startsWith("Add") && !a->shortcut().isEmpty()) {
            EXPECT_FALSE(taken.contains(a->shortcut().toString())) << name(a).toStdString();
        }
    }

    const auto items = [&name](const QList<QAction*>& actions) {
        QStringList items;
        for (const QAction* a : actions) {
            if (name(a).startsWith("Add"))
                continue;
            const QString shortcut = a->shortcut().isEmpty() ? "" : "|" + a->shortcut().toString();
            items << (a->isSeparator() ? "-" : name(a) + "|" + a->text() + shortcut);
        }
        return items;
    };
    EXPECT_EQ(items(m_window.menuBar()->actions()),
              (QStringList{"MnuFile|&File", "MnuEdit|&Edit", "MnuDevice|&Device", "MnuHelp|&Help",
                           "MnuLineNumber|Line Number = 0", "MnuAllInstruction|&AllInstruction",
                           "MnuAssignInstruction|A&ssignInstruction",
                           "MnuConditionalInstruction|&ConditionalInstruction",
                           "MnuMiscellaneousInstruction|&MiscellaneousInstruction",
                           "MnuOperationalInstruction|&OperationalInstruction"}));
    EXPECT_EQ(items(Menu("MnuFile")->actions()),
              (QStringList{"MnuFileNew|&New|Ctrl+N", "MnuFileOpen|&Open|Ctrl+O", "-",
                           "MnuFileSave|&Save|Ctrl+S", "MnuFileSaveAs|Save &As", "-",
                           "MnuFileCompile|&Compile|Ctrl+L", "-", "MnuFileExit|e&Xit"}));
    EXPECT_EQ(items(Menu("MnuEdit")->actions()),
              (QStringList{"MnuEditCopy|Copy|Ctrl+C", "MnuEditCut|Cut|Ctrl+X",
                           "MnuEditPaste|Paste|Ctrl+V", "-", "MnuEditFind|Find|Ctrl+F"}));
    EXPECT_EQ(
        items(Menu("MnuHelp")->actions()),
        (QStringList{"MnuHelpAbout|&About", "MnuHelpContents|&Contents", "MnuHelpSearch|&Search"}));
}

// The enabling rules hold at every moment, not only once a menu has opened,
// so a shortcut works exactly when its menu item would. No menu is opened.
TEST_F(FrmMotorTest, ShortcutsFollowTheEnablingRules) {
    QApplication::clipboard()->clear();
    const auto key = [this](Qt::Key k) { QTest::keyClick(Box(), k, Qt::ControlModifier); };
    const auto trigger = [this](const char* name) { Action(name)->trigger(); };
    struct Step {
        const char* what;
        std::function<void()> act;
        QString enabled;   // the enabled ones of Save Compile Copy Cut Paste Find
        QString shown;     // the message the step shows, if any
        QString text = ""; // the editor's text afterwards
    };
    const QString all = "Save Compile Find";
    const std::vector<Step> steps = {
        {"Ctrl+L on an empty text", [&] { key(Qt::Key_L); }, "", ""},
        {"typed a line", [&] { TypeLine("Do"); }, all, "", "Do\r\n"},
        {"typed Loop", [&] { QTest::keyClicks(Box(), "Loop"); }, all, "", "Do\r\nLoop"},
        {"Ctrl+L", [&] { key(Qt::Key_L); }, all, "Compiled Successfully.", "Do\r\nLoop"},
        {"select all", [&] { key(Qt::Key_A); }, "Save Compile Copy Cut Find", "", "Do\r\nLoop"},
        {"cut everything", [&] { trigger("MnuEditCut"); }, "Save Paste", ""},
        {"clipboard emptied", [] { QApplication::clipboard()->clear(); }, "Save", ""},
        {"clipboard filled", [] { QApplication::clipboard()->setText("Loop"); }, "Save Paste", ""},
        {"paste", [&] { trigger("MnuEditPaste"); }, "Save Compile Paste Find", "", "Loop"},
    };
    for (const Step& step : steps) {
        SCOPED_TRACE(step.what);
        m_prompts.Clear();
        step.act();
        QStringList enabled;
        for (const char* name : {"MnuFileSave", "MnuFileCompile", "MnuEditCopy", "MnuEditCut",
                                 "MnuEditPaste", "MnuEditFind"}) {
            if (Action(name)->isEnabled())
                enabled << QString::fromLatin1(name).mid(7);
        }
        EXPECT_EQ(enabled.join(u' ').toStdString(), step.enabled.toStdString());
        EXPECT_EQ(Shown(), step.shown.isEmpty() ? std::vector<QString>{} : std::vector{step.shown});
        EXPECT_EQ(Box()->Text(), step.text);
    }
    QTest::keyClick(&m_window, Qt::Key_F, Qt::ControlModifier);
    ASSERT_TRUE(m_window.FindDialog());
    EXPECT_TRUE(m_window.FindDialog()->isVisible());
}

TEST_F(FrmMotorTest, EveryEndedLineIsChecked) {
    TypeLine("Counter0 = 256");
    TypeLine("");
    TypeLine("' a comment");
    TypeLine("Counter0 = 255");
    TypeLine("Jump");
    EXPECT_EQ(Shown(), (std::vector<QString>{"Error: Data out of limit.",
                                             "Error: Statement not identified."}));
    EXPECT_EQ(Action("MnuLineNumber")->text(), "Line Number = 5");
    EXPECT_TRUE(m_window.Changed());
}

TEST_F(FrmMotorTest, CompileCommandAndProgramData) {
    // Text, message (empty: nothing shown), error, line count.
    const std::tuple<QString, QString, std::uint8_t, long> cases[] = {
        {"Do\r\n  Output.0 = True\r\nLoop", "Compiled Successfully.", 0, 3},
        {"Do\r\n' note\r\nCounter0 = 300\r\nLoop", "Error: Data out of limit.Error at Line 2", 2,
         3},
        {"", "", 255, 0},
    };
    for (const auto& [text, message, wantError, wantLines] : cases) {
        SCOPED_TRACE(text.toStdString());
        m_prompts.Clear();
        Box()->SetText(text);
        Action("MnuFileCompile")->setEnabled(true); // so an empty text reaches the command too
        Action("MnuFileCompile")->trigger();
        EXPECT_EQ(Shown(), message.isEmpty() ? std::vector<QString>{} : std::vector{message});
        std::uint8_t error = 0xAA;
        long lineCount = 0;
        const QByteArray image = m_window.ProgramData(error, lineCount);
        EXPECT_EQ(std::pair(error, lineCount), std::pair(wantError, wantLines));
        // Do; Output.0 = True (37, 8); Loop, then the fill
        EXPECT_EQ(image, error == 0
                             ? QByteArray("\x0F\x00\x25\x08\x43\x00", 6) + QByteArray(248, '\xFF')
                             : "");
    }
}

// Double clicks build a statement in data mode; a value out of range is
// refused; an empty line brings the instruction list back.
TEST_F(FrmMotorTest, PickerInsertsThroughTheEditor) {
    DoubleClick("WordCounter. = Analog.");
    EXPECT_EQ(m_window.DataMode(), 1);
    EXPECT_FALSE(Action("MnuAllInstruction")->isEnabled());
    for (const char* entry : {"2", "4", "Counter0 = "})
        DoubleClick(entry);
    m_prompts.PushText("300");
    DoubleClick("0 To 255");
    m_prompts.PushText("12.5");
    DoubleClick("0 To 255");
    DoubleClick("Do");
    EXPECT_EQ(Box()->Text(), "WordCounter.2 = Analog.4\r\nCounter0 = 12.5\r\nDo\r\n");
    EXPECT_EQ(Shown(), std::vector<QString>{"Invalid Data."});
    EXPECT_TRUE(Action("MnuAllInstruction")->isEnabled());

    QTest::keyClick(Box(), Qt::Key_Return);
    DoubleClick("If Flag.");
    QTest::keyClick(Box(), Qt::Key_Up);
    EXPECT_EQ(m_window.DataMode(), 0);
    EXPECT_EQ(m_window.List1()->count(), 186);
}

// F1 in the editor asks for the word at the caret (the contents on an empty
// line).
TEST_F(FrmMotorTest, KeywordHelp) {
    Box()->SetText("Counter.5 = Counter0\r\n\r\nIf Counter0 >= 5");
    const auto f1At = [this](qint64 caret) {
        Box()->SetSelStart(caret);
        m_window.KtText1()->GetPara(false);
        QTest::keyClick(Box(), Qt::Key_F1);
        return m_window.Help()->CurrentTopicId();
    };
    m_window.Help()->ShowContents();
    const QString contents = m_window.Help()->CurrentTopicId();
    EXPECT_EQ(f1At(3), m_window.Help()->TopicForKeyword("Counter"));
    EXPECT_EQ(f1At(22), contents);
    EXPECT_EQ(f1At(36), m_window.Help()->TopicForKeyword(">="));
}

// The search text outlives the dialog.
TEST_F(FrmMotorTest, FindTextOutlivesTheDialog) {
    Box()->SetText("Do\r\nLoop");
    Action("MnuEditFind")->trigger();
    ASSERT_TRUE(m_window.FindDialog());
    m_window.FindDialog()->findChild<QLineEdit*>("TxtFind")->setText("loop");
    m_window.FindDialog()->close();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    Action("MnuEditFind")->trigger();
    EXPECT_EQ(m_window.FindDialog()->findChild<QLineEdit*>("TxtFind")->text(), "loop");
}
