// The main window's help around the editor: compile errors shown in place,
// the status bar, the picker from the keyboard, recent files and dropped
// files. Offscreen, every question answered by the scripted prompts.
#include "editor/kt_text.h"
#include "editor/text_box.h"
#include "mainwindow/frm_motor.h"
#include "platform/app_settings.h"
#include "platform/scripted_prompts.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QDropEvent>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMimeData>
#include <QScreen>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using kt::mainwindow::FrmMotor;
using kt::platform::Answer;

namespace {

class EditorKit : public ::testing::Test {
protected:
    EditorKit() {
        kt::platform::AppSettings::Remove("RecentFiles");
        m_window.show();
        Box()->setFocus();
    }
    ~EditorKit() override { EXPECT_EQ(m_prompts.Unscripted().join(u'|').toStdString(), ""); }

    kt::editor::TextBox* Box() const { return m_window.KtText1()->RText(); }
    QString Field(const char* name) const { return m_window.findChild<QLabel*>(name)->text(); }
    QString Program(const QString& name, const QByteArray& text) {
        const QString path = m_folder.filePath(name);
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(text);
        return path;
    }
    void Compile() { m_window.findChild<QAction*>("MnuFileCompile")->trigger(); }

    QTemporaryDir m_folder;
    kt::platform::ScriptedPrompts m_prompts;
    FrmMotor m_window{m_prompts, m_folder.path(), m_folder.path()};
};

} // namespace

// Compile puts the caret on the failing line before its box (which counts
// lines from 0); the status bar tells the size, or the line counted from 1.
TEST_F(EditorKit, CompileShowsTheErrorInPlace) {
    struct Row {
        const char* text;
        int caretLine; // 1-based, after Compile (a good program leaves it at the start)
        const char* size;
        const char* box; // the box's text ends with this
    };
    const Row rows[] = {
        {"Do\r\n  Output.0 = True\r\nLoop", 1, "6 of 254 bytes", "Compiled Successfully."},
        {"Do\r\nCounter0 = 300\r\nLoop", 2, "Does not compile (line 2): Counter0 takes 0 to 255",
         "Error at Line 1"},
        {"Do\r\nOutput.0 = True", 2, "Does not compile (line 2): the Do on line 1 has no Loop",
         "Error at Line 1"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.text);
        Box()->SetText(row.text);
        Box()->SetSelStart(0);
        m_prompts.Clear();
        Compile();
        ASSERT_EQ(m_prompts.ShownTexts().size(), 1u);
        EXPECT_TRUE(m_prompts.ShownTexts().front().endsWith(row.box));
        EXPECT_EQ(Field("StatusSize").toStdString(), row.size);
        EXPECT_EQ(Box()->textCursor().blockNumber() + 1, row.caretLine);
        EXPECT_EQ(m_window.KtText1()->LineNumber(), row.caretLine); // the caret record follows
        EXPECT_EQ(m_window.KtText1()->ErrorLine(), row.box[0] == 'C' ? 0 : row.caretLine);
    }
}

// Undo and Redo from the Edit menu: enabled only when there is something to
// take back, and the marks follow the text back.
TEST_F(EditorKit, UndoAndRedoFromTheMenu) {
    QAction* undo = m_window.findChild<QAction*>("AddEditUndo");
    QAction* redo = m_window.findChild<QAction*>("AddEditRedo");
    EXPECT_FALSE(undo->isEnabled());
    QTest::keyClicks(Box(), "Do");
    EXPECT_TRUE(undo->isEnabled());
    undo->trigger();
    EXPECT_EQ(Box()->Text().toStdString(), "");
    EXPECT_TRUE(redo->isEnabled());
    redo->trigger();
    EXPECT_EQ(Box()->Text().toStdString(), "Do");
    EXPECT_EQ(m_window.KtText1()->RunBreak().size(), 1u);
    m_window.findChild<QAction*>("AddEditSelectAll")->trigger();
    EXPECT_EQ(Box()->SelText().toStdString(), "Do");
}

// The size and compile state follow every change of the text a moment
// later, not on the keystroke itself: an edit, Undo, Open and New alike.
TEST_F(EditorKit, StatusBarFollowsTheText) {
    const auto settled = [this] {
        EXPECT_TRUE(m_window.SettleProgramSize()) << "no update was waiting";
        return Field("StatusSize").toStdString();
    };
    const std::string good = "6 of 254 bytes";
    Box()->SetText("Do\r\nCounter0 = 30\r\nLoop");
    EXPECT_EQ(settled(), good);
    Box()->SetSelStart(17); // after "30"
    QTest::keyClick(Box(), Qt::Key_0);
    EXPECT_EQ(Field("StatusSize").toStdString(), good); // not yet
    EXPECT_EQ(settled(), "Does not compile (line 2): Counter0 takes 0 to 255");
    m_window.findChild<QAction*>("AddEditUndo")->trigger();
    EXPECT_EQ(settled(), good);

    Box()->SetText("Do\r\nRefrenceSpeed = 200\r\nLoop");
    EXPECT_EQ(settled(), "Does not compile (line 2): RefrenceSpeed takes 0 to 102.1");
    ASSERT_TRUE(m_window.OpenFile(Program("Valid.KtVbM", "Do\r\nLoop\r\n")));
    EXPECT_EQ(settled(), "4 of 254 bytes");
    m_window.NewProgram();
    EXPECT_EQ(settled(), "");
    EXPECT_FALSE(m_window.SettleProgramSize());
}

TEST_F(EditorKit, StatusBarCountsFromOne) {
    EXPECT_EQ(Field("StatusCaret").toStdString(), "Line 1, Column 1");
    QTest::keyClicks(Box(), "Do");
    EXPECT_EQ(Field("StatusCaret").toStdString(), "Line 1, Column 3");
    QTest::keyClick(Box(), Qt::Key_Return);
    QTest::keyClicks(Box(), "Loop");
    EXPECT_EQ(Field("StatusCaret").toStdString(), "Line 2, Column 5");
    EXPECT_EQ(Field("StatusDrive").toStdString(), "Drive: not connected");
    m_window.ShowConnection("port 1");
    EXPECT_EQ(Field("StatusDrive").toStdString(), "Drive: port 1");
}

// Enter in the picker list inserts as a double-click does; typing letters
// moves to the entry they start.
TEST_F(EditorKit, PickerFromTheKeyboard) {
    QListWidget* list = m_window.List1();
    list->setFocus();
    list->setCurrentRow(0);
    QTest::keyClicks(list, "Lo");
    ASSERT_TRUE(list->currentItem()->text().startsWith("Loop"))
        << list->currentItem()->text().toStdString();
    QTest::keyClick(list, Qt::Key_Return);
    EXPECT_EQ(Box()->Text(), "Loop\r\n");
}

TEST_F(EditorKit, RecentFilesNewestFirstAtMostEight) {
    QStringList opened;
    for (int i = 0; i < 10; ++i) {
        opened.prepend(Program(QString("P%1.KtVbM").arg(i), "Do\r\nLoop\r\n"));
        ASSERT_TRUE(m_window.OpenFile(opened.front()));
    }
    // Opening one again moves it to the top.
    ASSERT_TRUE(m_window.OpenFile(opened[3]));
    opened.move(3, 0);
    EXPECT_EQ(m_window.RecentFiles(), opened.mid(0, FrmMotor::kMaxRecentFiles));

    // The menu opens an entry; one that has gone is reported and dropped.
    QMenu* recent = m_window.findChild<QMenu*>("AddFileRecent");
    ASSERT_TRUE(QFile::remove(opened[1]));
    emit recent->aboutToShow();
    ASSERT_EQ(recent->actions().size(), FrmMotor::kMaxRecentFiles);
    recent->actions()[1]->trigger();
    EXPECT_EQ(m_prompts.ShownTexts().size(), 1u); // "Could not open ..."
    EXPECT_FALSE(m_window.RecentFiles().contains(opened[1]));
    recent->actions()[2]->trigger();
    EXPECT_EQ(m_window.ProgramFile(), opened[2]);
}

// A dropped program opens through Open's path: unsaved work is offered for
// saving first, and Cancel keeps it.
TEST_F(EditorKit, DroppedProgramOpensAfterTheQuestion) {
    const QString program = Program("Dropped.KtVbM", "Do\r\nLoop\r\n");
    QMimeData data;
    data.setUrls({QUrl::fromLocalFile(program)});
    // As a drag delivers it: the drop goes where the entering drag was taken.
    const auto drop = [&] {
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Box()->viewport(), &enter);
        EXPECT_TRUE(enter.isAccepted());
        QDropEvent event(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(Box()->viewport(), &event);
        QTest::qWait(0);
        QCoreApplication::processEvents();
    };
    QTest::keyClicks(Box(), "Counter0 = 5");
    ASSERT_TRUE(m_window.Changed());
    for (const Answer answer : {Answer::Cancel, Answer::No}) {
        m_prompts.Clear();
        m_prompts.Push(answer);
        drop();
        EXPECT_EQ(m_prompts.ShownTexts(),
                  std::vector<QString>{"You will loose un saved data?,Save Now?"});
    }
    EXPECT_EQ(m_window.ProgramFile().toStdString(), program.toStdString());
    EXPECT_EQ(Box()->Text().toStdString(), "Do\r\nLoop\r\n");
    EXPECT_FALSE(m_window.Changed());
}

// However large the scale factor, the window fits the screen it opens on.
TEST(MainWindowSize, NeverLargerThanTheScreen) {
    QTemporaryDir folder;
    kt::platform::ScriptedPrompts prompts;
    FrmMotor window(prompts, folder.path(), folder.path());
    const QSize screen = window.screen()->availableSize();
    EXPECT_LE(window.width(), screen.width());
    EXPECT_LE(window.height(), screen.height());
    EXPECT_EQ(window.size(), QSize(1100, 640).boundedTo(screen));
}
