// The main window's help around the editor: compile results shown in place,
// the status bar, recent files.
#include "tests/mainwindow/main_window_fixture.h"

#include <QLabel>

using kt::mainwindow::FrmMotor;
using kt::mainwindow::test::Put;

struct EditorKit : kt::mainwindow::test::MainWindowTest {
    std::string Field(const char* name) const {
        return m_window->findChild<QLabel*>(name)->text().toStdString();
    }
};

// Compile puts the caret on the failing line before its box (which counts
// lines from 0); the status bar tells the size, or the line counted from 1;
// ProgramData hands over the image only for a program that compiles.
TEST_F(EditorKit, CompileShowsTheResultInPlace) {
    // Text, box, status, caret line from 1 (a good program leaves it at the
    // start), the error and line count ProgramData tells.
    const std::tuple<QString, QString, std::string, int, int, long> rows[] = {
        {"Do\r\n  Output.0 = True\r\nLoop", "Compiled Successfully.", "6 of 254 bytes", 1, 0, 3},
        {"Do\r\n' note\r\nCounter0 = 300\r\nLoop", "Error: Data out of limit.Error at Line 2",
         "Does not compile (line 3): Counter0 takes 0 to 255", 3, 2, 3},
    };
    for (const auto& [text, box, size, caretLine, error, lines] : rows) {
        SCOPED_TRACE(text.toStdString());
        Box()->SetText(text);
        Box()->SetSelStart(0);
        m_prompts.Clear();
        Action("MnuFileCompile")->trigger();
        EXPECT_EQ(Shown(), box.isEmpty() ? std::vector<QString>{} : std::vector{box});
        EXPECT_EQ(Field("StatusSize"), size);
        EXPECT_EQ(Box()->textCursor().blockNumber() + 1, caretLine);
        EXPECT_EQ(m_window->KtText1()->LineNumber(), caretLine); // the caret record follows
        EXPECT_EQ(m_window->KtText1()->ErrorLine(), box.startsWith("Error") ? caretLine : 0);
        std::uint8_t gotError = 0xAA;
        long gotLines = 0;
        const QByteArray image = m_window->ProgramData(gotError, gotLines);
        EXPECT_EQ(std::pair(int(gotError), gotLines), std::pair(error, lines));
        // Do; Output.0 = True (37, 8); Loop, then the fill
        EXPECT_EQ(image,
                  error ? "" : QByteArray("\x0F\x00\x25\x08\x43\x00", 6) + QByteArray(248, '\xFF'));
    }
}

// The size and compile state follow a change of the text (an edit, Undo) a
// moment later, not on the keystroke itself. The caret's place counts from 1.
TEST_F(EditorKit, StatusBarFollowsTheText) {
    const auto settled = [this] {
        EXPECT_TRUE(m_window->SettleProgramSize()) << "no update was waiting";
        return Field("StatusSize");
    };
    const std::string good = "6 of 254 bytes";
    EXPECT_EQ(Field("StatusCaret"), "Line 1, Column 1");
    Box()->SetText("Do\r\nCounter0 = 30\r\nLoop");
    EXPECT_EQ(settled(), good);
    Box()->SetSelStart(17); // after "30"
    QTest::keyClick(Box(), Qt::Key_0);
    EXPECT_EQ(Field("StatusCaret"), "Line 2, Column 15");
    EXPECT_EQ(Field("StatusSize"), good); // not yet
    EXPECT_EQ(settled(), "Does not compile (line 2): Counter0 takes 0 to 255");
    Action("AddEditUndo")->trigger();
    EXPECT_EQ(settled(), good);
    EXPECT_FALSE(m_window->SettleProgramSize());
}

// Newest first, at most eight, one opened again moves to the top; the menu
// opens an entry, and one that has gone is reported and dropped.
TEST_F(EditorKit, RecentFilesNewestFirstAtMostEight) {
    QStringList opened;
    for (int i = 0; i < 10; ++i) {
        opened.prepend(Put(Path(QString("P%1.KtVbM").arg(i)), "Do\r\n"));
        ASSERT_TRUE(m_window->OpenFile(opened.front()));
    }
    ASSERT_TRUE(m_window->OpenFile(opened[3]));
    opened.move(3, 0);
    EXPECT_EQ(m_window->RecentFiles(), opened.mid(0, FrmMotor::kMaxRecentFiles));
    QMenu* recent = Menu("AddFileRecent");
    ASSERT_TRUE(QFile::remove(opened[1]));
    emit recent->aboutToShow();
    ASSERT_EQ(recent->actions().size(), FrmMotor::kMaxRecentFiles);
    recent->actions()[1]->trigger();
    ASSERT_EQ(Shown().size(), 1u);
    EXPECT_TRUE(Shown()[0].startsWith("Could not open " + opened[1]));
    EXPECT_FALSE(m_window->RecentFiles().contains(opened[1]));
    recent->actions()[2]->trigger();
    EXPECT_EQ(m_window->ProgramFile(), opened[2]);
}
