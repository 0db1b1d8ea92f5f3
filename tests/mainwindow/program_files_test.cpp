// Program files through the main window: the dialogs, the questions, the
// file format, names that are not UTF-8, and that work is never lost when a
// save does not happen. The files are real, in a temporary folder. (Links,
// devices and folders: tests/files and tests/cli.)
#include "files/file_name.h"
#include "tests/cli/special_files.h"
#include "tests/mainwindow/main_window_fixture.h"

#include <cstdio>
#include <fstream>
#include <iterator>

using kt::files::FileName;
using namespace kt::mainwindow::test;

using ProgramFilesTest = MainWindowTest;

// The dialog, the name written, the caption it gives (the first Save keeps
// the caption), and whether an existing file asks first: Save As overwrites
// without asking, the first Save asks.
TEST_F(ProgramFilesTest, NamesCaptionsAndOverwriting) {
    // Typed, filter (0 the program one, 1 AllFile), Save As (else the first
    // Save), written, caption, whether the written file is there already.
    const std::tuple<QString, int, bool, QString, QString, bool> cases[] = {
        {"Demo1", 0, true, "Demo1.KtVbM", "Demo1", false},
        {"Demo2", 1, true, "Demo2", "Demo2", false},
        {"Line.2.KtVbM", 0, true, "Line.2.KtVbM", "Line.2", false},
        {"Old1.KtVbM", 0, true, "Old1.KtVbM", "Old1", true},
        {"Old2", 0, false, "Old2.KtVbM", "NewMotorProgram", true},
    };
    for (const auto& [typed, filter, saveAs, written, caption, exists] : cases) {
        SCOPED_TRACE(typed.toStdString());
        Restart();
        if (exists)
            Put(Path(written), "old");
        if (exists && !saveAs)
            m_prompts.Push(Answer::Yes);
        m_prompts.PushFile(Path(typed), filter);
        EXPECT_TRUE(saveAs ? m_window->SaveProgramAs() : m_window->SaveProgram());
        ASSERT_EQ(m_prompts.FileDialogs().size(), 1u);
        EXPECT_EQ(m_prompts.FileDialogs()[0].initialFile, Path("Programs/NewMotorProgram.KtVbM"));
        EXPECT_EQ(Bytes(Path(written)), "Do\r\n");
        EXPECT_FALSE(m_window->Changed());
        EXPECT_EQ(m_window->ProgramFile() + " " + m_window->windowTitle(),
                  Path(written) + " " + caption);
        const QString asked = "File already exists?,Save Now";
        EXPECT_EQ(Shown(), exists && !saveAs ? std::vector{asked} : std::vector<QString>{});
    }
    // No to the question leaves the file and the program unsaved.
    Restart();
    m_prompts.PushFile(Path("Old1.KtVbM"));
    m_prompts.Push(Answer::No);
    EXPECT_FALSE(m_window->SaveProgram());
    EXPECT_TRUE(m_window->Untitled());
    EXPECT_EQ(Bytes(Path("Old1.KtVbM")), "Do\r\n");
}

// Windows-1252 both ways; LF read as CR LF; of two final breaks one is
// taken off, and saving adds one.
TEST_F(ProgramFilesTest, FileFormatOnOpen) {
    m_prompts.PushFile(Put(Path("in.KtVbM"), "' caf\xE9 \x80\nLoop\r\n\r\n"));
    m_window->OpenProgram();
    EXPECT_EQ(Box()->Text(), QString::fromUtf8("' caf\u00E9 \u20AC\r\nLoop\r\n"));
    EXPECT_FALSE(m_window->Changed());
    EXPECT_TRUE(m_window->SaveProgram());
    EXPECT_EQ(Bytes(Path("in.KtVbM")), "' caf\xE9 \x80\r\nLoop\r\n\r\n");
}

// Yes to the question before work is lost saves first, and a save that
// fails stops the command. (The real box, its texts and a cancelled save:
// unsaved_questions.)
TEST_F(ProgramFilesTest, YesSavesBeforeWorkIsLost) {
    for (const QString& file : {Path("missing/x.KtVbM"), Path("saved.KtVbM")}) {
        SCOPED_TRACE(file.toStdString());
        Restart();
        m_prompts.Push(Answer::Yes);
        m_prompts.PushFile(file);
        Action("MnuFileNew")->trigger();
        const bool saved = file == Path("saved.KtVbM");
        EXPECT_EQ(Box()->Text(), saved ? "" : "Do");
        EXPECT_EQ(m_window->Changed(), !saved);
    }
    EXPECT_EQ(Bytes(Path("saved.KtVbM")), "Do\r\n");
}

// A real full disk: the old file stays byte for byte, the user hears why,
// the work stays unsaved, and nothing is left behind.
TEST_F(ProgramFilesTest, SaveOnAFullDisk) {
    kt::test::SmallDisk disk(Path("disk"));
    if (!disk.Mounted())
        GTEST_SKIP() << disk.Why().toStdString();
    const QString file = Put(disk.Path("prog.KtVbM"), "Do\r\nLoop\r\n");
    ASSERT_TRUE(disk.Fill(0));
    m_prompts.PushFile(file);
    m_window->OpenProgram();
    Type("' more");
    Action("MnuFileSave")->trigger(); // Ctrl+S
    EXPECT_EQ(Bytes(file), "Do\r\nLoop\r\n");
    EXPECT_EQ(Shown(),
              std::vector<QString>{"Could not save " + file + ":\nNo space left on device"});
    EXPECT_TRUE(m_window->Changed());
    EXPECT_TRUE(Box()->Text().endsWith("' more"));
    EXPECT_EQ(QDir(disk.Path({})).entryList(QDir::Files | QDir::Hidden),
              (QStringList{"fill", "prog.KtVbM"}));
}

// What is no program is refused by Open, a named pipe without being opened
// (it would wait for a writer: ctest's time-out ends that) and never
// replaced by Save As; so is a binary file. The work and the program's name
// stay: the caption, and the file Ctrl+S writes to unasked.
TEST_F(ProgramFilesTest, OpenAndSaveRefuseWhatIsNoProgram) {
    ASSERT_TRUE(kt::test::MakeFifo(Path("pipe.KtVbM")));
    Put(Path("binary.KtVbM"), QByteArray("Do\0Loop", 7));
    Type("Do");
    m_prompts.PushFile(Path("Good.KtVbM"));
    ASSERT_TRUE(m_window->SaveProgramAs());
    Type(" more");
    for (const auto& [name, reason] :
         {std::pair<QString, QString>{"pipe.KtVbM", "Not a regular file but a named pipe"},
          {"binary.KtVbM", "not a text file"}}) {
        SCOPED_TRACE(name.toStdString());
        m_prompts.Clear();
        m_prompts.Push(Answer::No); // discard the work
        m_prompts.PushFile(Path(name));
        m_window->OpenProgram();
        EXPECT_EQ(Box()->Text(), "Do more");
        ASSERT_EQ(Shown().size(), 2u);
        EXPECT_TRUE(Shown()[1].startsWith("Could not open " + Path(name) + ":\n"));
        EXPECT_TRUE(Shown()[1].contains(reason)) << Shown()[1].toStdString();
        EXPECT_EQ(m_window->windowTitle(), "Good");
    }
    m_prompts.Clear();
    m_prompts.PushFile(Path("pipe.KtVbM"));
    EXPECT_FALSE(m_window->SaveProgramAs());
    EXPECT_EQ(Shown(), std::vector<QString>{"Could not save " + Path("pipe.KtVbM") +
                                            ":\nNot a regular file but a named pipe"});
    EXPECT_TRUE(kt::test::IsFifo(Path("pipe.KtVbM")));
    EXPECT_TRUE(m_window->Changed());
    m_prompts.Clear();
    Action("MnuFileSave")->trigger();
    EXPECT_TRUE(m_prompts.FileDialogs().empty());
    EXPECT_EQ(Bytes(Path("Good.KtVbM")), "Do more\r\n");
}

// A name that is not valid UTF-8 keeps its bytes on the main window's ways:
// a name given at start, a save, Recent Files through the settings, a drop.
TEST_F(ProgramFilesTest, NonUtf8NamesKeepTheirBytes) {
    const QByteArray dir = QFile::encodeName(m_folder.path()), name = dir + "/prog\xFF.KtVbM";
    std::ofstream(name.constData(), std::ios::binary) << "Do\r\nLoop\r\n";
    ASSERT_TRUE(m_window->OpenFile(FileName::FromBytes(name))) << Shown().size();
    EXPECT_EQ(Box()->Text(), "Do\r\nLoop\r\n");
    EXPECT_EQ(m_window->windowTitle(), QString::fromUtf8("prog\xEF\xBF\xBD"));
    Box()->SetText("Do\r\nStop\r\n");
    ASSERT_TRUE(m_window->SaveProgram());
    std::ifstream saved(name.constData(), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(saved), {}), "Do\r\nStop\r\n\r\n");
    for (const bool drop : {false, true}) {
        m_window->NewProgram();
        if (drop)
            Drop(*m_window,
                 QUrl::fromEncoded("file://" + dir.toPercentEncoding("/") + "/prog%FF.KtVbM"));
        else {
            emit Menu("AddFileRecent")->aboutToShow();
            Menu("AddFileRecent")->actions().front()->trigger();
        }
        EXPECT_EQ(FileName::ToBytes(m_window->ProgramFile()), name);
        EXPECT_EQ(Box()->Text(), "Do\r\nStop\r\n");
    }
    std::remove(name.constData()); // QTemporaryDir removes by decoded names
}
