// Program files through the main window: the dialogs, the questions, the
// file format, and that work is never lost when a save does not happen.
#include "editor/kt_text.h"
#include "editor/text_box.h"
#include "mainwindow/frm_motor.h"
#include "mainwindow/program_files.h"
#include "platform/scripted_prompts.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

using kt::mainwindow::FrmMotor;
using kt::mainwindow::ProgramFiles;
using kt::platform::Answer;

namespace {

class ProgramFilesTest : public ::testing::Test {
protected:
    QString Path(const QString& name) const { return m_folder.filePath(name); }
    static QByteArray Bytes(const QString& path) {
        QFile file(path);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
    }
    static void Put(const QString& path, const QByteArray& bytes) {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(bytes);
    }
    kt::editor::TextBox* Box() { return m_window->KtText1()->RText(); }
    void Type(const QString& text) { QTest::keyClicks(Box(), text); }
    std::vector<QString> Shown() const { return m_prompts.ShownTexts(); }

    QTemporaryDir m_folder;
    kt::platform::ScriptedPrompts m_prompts;
    std::unique_ptr<FrmMotor> m_window =
        std::make_unique<FrmMotor>(m_prompts, m_folder.path(), m_folder.path() + "/documents");
};

} // namespace

TEST_F(ProgramFilesTest, SaveSaveAsAndOpenRoundTrips) {
    EXPECT_EQ(m_window->ProgramFile(), Path("Programs/NewMotorProgram.KtVbM"));
    EXPECT_TRUE(QDir(Path("Programs")).exists());

    Type("Do");
    m_prompts.PushFile(Path("Programs/First.KtVbM"));
    EXPECT_TRUE(m_window->SaveProgram());
    ASSERT_EQ(m_prompts.FileDialogs().size(), 1u);
    EXPECT_EQ(m_prompts.FileDialogs()[0].title, "Save File");
    EXPECT_EQ(m_prompts.FileDialogs()[0].initialFile, Path("Programs/NewMotorProgram.KtVbM"));
    EXPECT_EQ(m_prompts.FileDialogs()[0].filter, "KtVbM (*.KtVbM)|*.KtVbM|AllFile (*.*)|*.*");
    EXPECT_EQ(Bytes(Path("Programs/First.KtVbM")), "Do\r\n");
    EXPECT_EQ(m_window->windowTitle(), "NewMotorProgram"); // Save keeps the caption
    EXPECT_FALSE(m_window->Changed());

    Type("\tLoop");
    EXPECT_TRUE(m_window->SaveProgram()); // no dialog the second time
    EXPECT_EQ(m_prompts.FileDialogs().size(), 1u);
    EXPECT_EQ(Bytes(Path("Programs/First.KtVbM")), "Do\tLoop\r\n");

    // Save As overwrites without asking and takes the file's title.
    Put(Path("Test.KtVbM"), "old");
    m_prompts.PushFile(Path("Test.KtVbM"));
    EXPECT_TRUE(m_window->SaveProgramAs());
    EXPECT_EQ(m_prompts.FileDialogs().back().title, "SaveAs File");
    EXPECT_EQ(Bytes(Path("Test.KtVbM")), "Do\tLoop\r\n");
    EXPECT_EQ(m_window->windowTitle(), "Test");
    m_prompts.PushFile(Path("NoDot"));
    EXPECT_TRUE(m_window->SaveProgramAs());
    EXPECT_EQ(m_window->windowTitle(), "NoDot");
    EXPECT_TRUE(m_prompts.Shown().empty());
}

TEST_F(ProgramFilesTest, FileFormatOnOpen) {
    struct Case {
        QByteArray file;
        QString text;
        QByteArray savedAgain;
    };
    const std::vector<Case> cases = {
        {"a\r\nb\r\n", "a\r\nb\r\n", "a\r\nb\r\n\r\n"},
        {"a\r\nb\r\n\r\n", "a\r\nb\r\n", "a\r\nb\r\n\r\n"},
        {"no break at all", "no break at all", "no break at all\r\n"},
        {"Do\nLoop\n", "Do\r\nLoop\r\n", "Do\r\nLoop\r\n\r\n"},
        {"' caf\xE9 \x80\r\nLoop", QString::fromUtf8("' caf\u00E9 \u20AC\r\nLoop"),
         "' caf\xE9 \x80\r\nLoop\r\n"},
    };
    for (const Case& c : cases) {
        Put(Path("in.KtVbM"), c.file);
        m_prompts.PushFile(Path("in.KtVbM"));
        m_window->OpenProgram();
        EXPECT_EQ(Box()->Text(), c.text) << c.file.constData();
        EXPECT_EQ(Box()->SelStart(), c.text.size());
        EXPECT_EQ(m_window->windowTitle(), "in");
        EXPECT_FALSE(m_window->Changed());
        EXPECT_FALSE(m_window->Untitled());
        EXPECT_TRUE(m_window->SaveProgram());
        EXPECT_EQ(Bytes(Path("in.KtVbM")), c.savedAgain) << c.file.constData();
    }
    const QString lastLine =
        QStringLiteral("Line Number = %1").arg(Box()->document()->blockCount() - 1);
    EXPECT_EQ(m_window->findChild<QAction*>("MnuLineNumber")->text(), lastLine);
}

TEST_F(ProgramFilesTest, QuestionsBeforeWorkIsLost) {
    Put(Path("other.KtVbM"), "Loop");
    // Save under an existing name asks; No leaves the program unsaved.
    Type("Do");
    m_prompts.PushFile(Path("other.KtVbM"));
    m_prompts.Push(Answer::No);
    EXPECT_FALSE(m_window->SaveProgram());
    EXPECT_EQ(Shown(), std::vector<QString>{"File already exists?,Save Now"});
    EXPECT_TRUE(m_window->Untitled());
    EXPECT_EQ(Bytes(Path("other.KtVbM")), "Loop");

    // Open with unsaved work: Yes, then a cancelled save dialog, stops the Open.
    m_prompts.Clear();
    m_prompts.Push(Answer::Yes);
    m_prompts.PushFile("");
    m_window->OpenProgram();
    EXPECT_EQ(Shown(), std::vector<QString>{"You will loose un saved data?,Save Now?"});
    EXPECT_EQ(m_prompts.FileDialogs().size(), 1u); // the save dialog only
    EXPECT_EQ(Box()->Text(), "Do");

    // No discards the work and opens.
    m_prompts.Clear();
    m_prompts.Push(Answer::No);
    m_prompts.PushFile(Path("other.KtVbM"));
    m_window->OpenProgram();
    EXPECT_EQ(Box()->Text(), "Loop");

    // New asks the same way, then starts afresh.
    Type("X");
    m_prompts.Clear();
    m_prompts.Push(Answer::No);
    m_window->NewProgram();
    EXPECT_EQ(Box()->Text(), "");
    EXPECT_EQ(m_window->windowTitle(), "NewMotorProgram");
    EXPECT_TRUE(m_window->Untitled());
    EXPECT_FALSE(m_window->Changed());
    EXPECT_EQ(m_window->ProgramFile(), Path("Programs/NewMotorProgram.KtVbM"));
}

TEST_F(ProgramFilesTest, FailedSavesKeepTheWork) {
    QDir().mkpath(Path("folder.KtVbM"));
    Type("Do");
    m_prompts.PushFile(Path("folder.KtVbM")); // a folder: the save must fail
    EXPECT_FALSE(m_window->SaveProgram());
    ASSERT_EQ(m_prompts.Shown().size(), 2u); // it exists; saved anyway; failed
    EXPECT_TRUE(m_prompts.Shown()[1].text.startsWith("Could not save " + Path("folder.KtVbM")));
    EXPECT_TRUE(m_window->Changed());
    EXPECT_TRUE(m_window->Untitled());

    // Closing: Yes with a failing save, or a cancelled dialog, keeps the window.
    for (const QString& choice : {Path("missing/x.KtVbM"), QString()}) {
        m_prompts.Clear();
        m_prompts.Push(Answer::Yes);
        m_prompts.PushFile(choice);
        m_window->show();
        EXPECT_FALSE(m_window->close());
        EXPECT_TRUE(m_window->isVisible());
        EXPECT_EQ(Box()->Text(), "Do");
    }
    m_prompts.Clear();
    m_prompts.Push(Answer::Cancel);
    EXPECT_FALSE(m_window->close());
    m_prompts.Push(Answer::No);
    EXPECT_TRUE(m_window->close());
}

TEST_F(ProgramFilesTest, AFailedSaveLeavesTheOldFile) {
    Put(Path("kept.KtVbM"), "old text\r\n");
    // An immutable file cannot be replaced, not even by root.
    if (QProcess::execute("chattr", {"+i", Path("kept.KtVbM")}) != 0)
        GTEST_SKIP() << "no immutable files here";
    Type("new text");
    m_prompts.PushFile(Path("kept.KtVbM"));
    m_prompts.Push(Answer::Yes); // it exists: save anyway
    EXPECT_FALSE(m_window->SaveProgram());
    QProcess::execute("chattr", {"-i", Path("kept.KtVbM")});
    EXPECT_EQ(Bytes(Path("kept.KtVbM")), "old text\r\n");
    EXPECT_TRUE(m_window->Changed());
}

TEST_F(ProgramFilesTest, OpenRefusesWhatIsNoProgram) {
    Type("Do");
    m_prompts.Push(Answer::No);
    Put(Path("binary.KtVbM"), QByteArray("Do\0Loop", 7));
    m_prompts.PushFile(Path("binary.KtVbM"));
    m_window->OpenProgram();
    EXPECT_EQ(Box()->Text(), "Do");
    EXPECT_TRUE(m_prompts.Shown().back().text.contains("not a text file"));

    QFile big(Path("big.KtVbM"));
    ASSERT_TRUE(big.open(QIODevice::WriteOnly));
    ASSERT_TRUE(big.resize(ProgramFiles::kMaxFileBytes + 1));
    big.close();
    m_prompts.Push(Answer::No);
    m_prompts.PushFile(Path("big.KtVbM"));
    m_window->OpenProgram();
    EXPECT_EQ(Box()->Text(), "Do");
    EXPECT_TRUE(m_prompts.Shown().back().text.contains("16 MiB"));
}

TEST(ProgramsFolder, FallsBackToDocuments) {
    QTemporaryDir folder;
    // The application folder is a file: no programs folder can live in it.
    QFile blocker(folder.filePath("app"));
    ASSERT_TRUE(blocker.open(QIODevice::WriteOnly));
    blocker.close();
    const ProgramFiles files(folder.filePath("app"), folder.filePath("docs"));
    EXPECT_EQ(files.ProgramsFolder(), folder.filePath("docs/KtMotor Programs"));
    EXPECT_TRUE(QDir(files.ProgramsFolder()).exists());
    EXPECT_EQ(files.DefaultProgramFile("NewMotorProgram"),
              folder.filePath("docs/KtMotor Programs/NewMotorProgram.KtVbM"));
}

// The disk fills up half-way through a save: the old file stays as it was,
// the user hears of it, and the text stays unsaved.
TEST_F(ProgramFilesTest, SaveThatFailsPartWay) {
    Put(Path("prog.KtVbM"), "Do\r\nLoop\r\n");
    m_prompts.PushFile(Path("prog.KtVbM"));
    m_window->OpenProgram();
    Type("' more");
    ProgramFiles::SetWriter([](QIODevice& file, const QByteArray& bytes) {
        file.write(bytes.left(bytes.size() / 2));
        return qint64(-1);
    });
    const bool saved = m_window->SaveProgram();
    ProgramFiles::SetWriter(nullptr);
    EXPECT_FALSE(saved);
    EXPECT_EQ(Bytes(Path("prog.KtVbM")), "Do\r\nLoop\r\n");
    ASSERT_FALSE(m_prompts.Shown().empty());
    EXPECT_TRUE(m_prompts.Shown().back().text.startsWith("Could not save " + Path("prog.KtVbM")));
    EXPECT_TRUE(m_window->Changed());
    EXPECT_TRUE(Box()->Text().endsWith("' more"));
    EXPECT_EQ(QDir(m_folder.path()).entryList(QDir::Files),
              QStringList{"prog.KtVbM"}); // no leftovers
}
