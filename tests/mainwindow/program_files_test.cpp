// Program files through the main window: the dialogs, the questions, the
// file format, names that are not UTF-8, and that work is never lost when a
// save does not happen. The files are real, in a temporary folder.
#include "files/file_name.h"
#include "tests/cli/special_files.h"
#include "tests/mainwindow/main_window_fixture.h"

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>

using kt::files::FileName;
using namespace kt::mainwindow::test;

namespace {

const QString kExists = "File already exists?,Save Now";

class ProgramFilesTest : public MainWindowTest {
protected:
    void Type(const QString& text) { QTest::keyClicks(Box(), text); }
};

} // namespace

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
        EXPECT_EQ(Shown(), exists && !saveAs ? std::vector{kExists} : std::vector<QString>{});
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
    // The file, the text shown, the file saved again.
    const std::tuple<QByteArray, QString, QByteArray> cases[] = {
        {"a\r\nb\r\n", "a\r\nb\r\n", "a\r\nb\r\n\r\n"},
        {"' caf\xE9 \x80\nLoop\r\n\r\n", QString::fromUtf8("' caf\u00E9 \u20AC\r\nLoop\r\n"),
         "' caf\xE9 \x80\r\nLoop\r\n\r\n"},
    };
    for (const auto& [file, text, savedAgain] : cases) {
        m_prompts.PushFile(Put(Path("in.KtVbM"), file));
        m_window->OpenProgram();
        EXPECT_EQ(Box()->Text(), text);
        EXPECT_FALSE(m_window->Changed());
        EXPECT_TRUE(m_window->SaveProgram());
        EXPECT_EQ(Bytes(Path("in.KtVbM")), savedAgain);
    }
}

// Yes to the question before work is lost saves first; a save that fails
// stops the command. (A cancelled save and the real box: unsaved_questions.)
TEST_F(ProgramFilesTest, YesSavesBeforeWorkIsLost) {
    const QString failing = Path("missing/x.KtVbM");
    // Command, file chosen in the save dialog, text afterwards.
    const std::tuple<const char*, QString, QString> cases[] = {
        {"MnuFileNew", failing, "Do"},
        {"MnuFileExit", failing, "Do"},
        {"MnuFileNew", Path("saved.KtVbM"), ""},
    };
    for (const auto& [command, file, text] : cases) {
        SCOPED_TRACE(testing::Message() << command << " " << file.toStdString());
        Restart();
        m_window->show();
        m_prompts.Push(Answer::Yes);
        m_prompts.PushFile(file);
        Action(command)->trigger();
        ASSERT_FALSE(Shown().empty());
        const bool exit = command == std::string_view("MnuFileExit");
        EXPECT_EQ(Shown().front(),
                  exit ? "File changed,Save Now?" : "You will loose un saved data?,Save Now?");
        EXPECT_EQ(Box()->Text(), text);
        EXPECT_EQ(m_window->Changed(), text == "Do");
        EXPECT_TRUE(m_window->isVisible());
    }
    EXPECT_EQ(Bytes(Path("saved.KtVbM")), "Do\r\n");
}

// A real full disk: the old file stays byte for byte, the user hears why,
// and the work stays unsaved. With some room left the new file would be cut
// short instead of failing outright.
TEST_F(ProgramFilesTest, SaveOnAFullDisk) {
    // Bytes left free, lines of the old program.
    for (const auto& [room, lines] : {std::pair{0, 2}, std::pair{4096, 400}}) {
        SCOPED_TRACE(room);
        kt::test::SmallDisk disk(Path(QStringLiteral("disk%1").arg(room)));
        if (!disk.Mounted())
            GTEST_SKIP() << disk.Why().toStdString();
        QByteArray old;
        for (int i = 0; i < lines; ++i)
            old += "Counter0 = " + QByteArray::number(i % 256) + "\r\n";
        const QString file = Put(disk.Path("prog.KtVbM"), old);
        ASSERT_TRUE(disk.Fill(room));

        Restart({});
        m_prompts.PushFile(file);
        m_window->OpenProgram();
        Type("' more");
        Action("MnuFileSave")->trigger(); // Ctrl+S
        EXPECT_EQ(Bytes(file), old);
        EXPECT_EQ(Shown(),
                  std::vector<QString>{"Could not save " + file + ":\nNo space left on device"});
        EXPECT_TRUE(m_window->Changed());
        EXPECT_TRUE(Box()->Text().endsWith("' more"));
        EXPECT_EQ(QDir(disk.Path({})).entryList(QDir::Files | QDir::Hidden),
                  (QStringList{"fill", "prog.KtVbM"})); // no leftovers
    }
}

// A named pipe, a folder or a device is refused by Open without being
// opened (a pipe would wait for a writer: ctest's time-out ends that), and
// never replaced by a file on Save As; so is a binary file. The work and the
// program's name stay: the caption, and the file Ctrl+S writes to unasked.
TEST_F(ProgramFilesTest, OpenAndSaveRefuseWhatIsNoProgram) {
    const QString pipe = Path("pipe.KtVbM");
    ASSERT_TRUE(kt::test::MakeFifo(pipe));
    ASSERT_TRUE(QDir().mkpath(Path("folder.KtVbM")));
    Put(Path("binary.KtVbM"), QByteArray("Do\0Loop", 7));
    QString why;
    const bool device = kt::test::MakeNullDevice(Path("null.KtVbM"), &why);
    const QString special = ":\nNot a regular file but a ";
    // File name, why it is refused, whether Save As is tried too.
    std::vector<std::tuple<QString, QString, bool>> cases = {
        {"pipe.KtVbM", special + "named pipe", true},
        {"folder.KtVbM", special + "folder", false},
        {"binary.KtVbM", "not a text file", false}};
    if (device)
        cases.push_back({"null.KtVbM", special + "device", true});
    Type("Do");
    m_prompts.PushFile(Path("Good.KtVbM"));
    ASSERT_TRUE(m_window->SaveProgramAs());
    Type(" more");
    for (const auto& [name, reason, save] : cases) {
        SCOPED_TRACE(name.toStdString());
        m_prompts.Clear();
        m_prompts.Push(Answer::No); // discard the work
        m_prompts.PushFile(Path(name));
        m_window->OpenProgram();
        EXPECT_EQ(Box()->Text(), "Do more");
        ASSERT_EQ(Shown().size(), 2u);
        EXPECT_TRUE(Shown()[1].startsWith("Could not open " + Path(name) + ":\n"));
        EXPECT_TRUE(Shown()[1].contains(reason)) << Shown()[1].toStdString();
        if (save) {
            m_prompts.Clear();
            m_prompts.PushFile(Path(name));
            EXPECT_FALSE(m_window->SaveProgramAs());
            EXPECT_EQ(Shown(), std::vector<QString>{"Could not save " + Path(name) + reason});
        }
        EXPECT_TRUE(m_window->Changed());
        EXPECT_EQ(m_window->windowTitle(), "Good");
    }
    m_prompts.Clear();
    Action("MnuFileSave")->trigger();
    EXPECT_TRUE(m_prompts.FileDialogs().empty());
    EXPECT_EQ(Bytes(Path("Good.KtVbM")), "Do more\r\n");
    EXPECT_TRUE(kt::test::IsFifo(pipe));
    if (!device)
        GTEST_SKIP() << "no device node could be made: " << why.toStdString();
    EXPECT_TRUE(kt::test::IsCharDevice(Path("null.KtVbM")));
}

// Save through a link replaces the link's target and keeps the link.
TEST_F(ProgramFilesTest, SaveKeepsLinks) {
    Put(Path("real.KtVbM"), "old");
    ASSERT_TRUE(QFile::link("real.KtVbM", Path("link.KtVbM")));
    Type("Do");
    m_prompts.PushFile(Path("link.KtVbM"));
    EXPECT_TRUE(m_window->SaveProgramAs());
    Type(" more");
    EXPECT_TRUE(m_window->SaveProgram());
    EXPECT_TRUE(QFileInfo(Path("link.KtVbM")).isSymLink());
    EXPECT_EQ(Bytes(Path("real.KtVbM")), "Do more\r\n");
}

TEST(FileName, BytesRoundTripWhateverTheyAre) {
    const QByteArray names[] = {
        "plain.KtVbM",
        "caf\xC3\xA9.KtVbM",         // valid UTF-8
        "prog\xFF.KtVbM",            // a byte that never starts UTF-8
        "caf\xE9.KtVbM",             // Latin-1
        "\xC0\xAF",                  // an overlong slash
        "\xED\xA0\x80",              // a surrogate written as UTF-8
        "\xF0\x9F\x98\x80 \xF0\x9F", // a four-byte character, then one cut short
        "\xF4\x90\x80\x80",          // past U+10FFFF
    };
    for (const QByteArray& name : names) {
        SCOPED_TRACE(name.toHex().toStdString());
        const QString text = FileName::FromBytes(name);
        EXPECT_EQ(FileName::ToBytes(text), name);
        // Valid text is an ordinary string; the rest shows as U+FFFD.
        if (QString::fromUtf8(name).toUtf8() == name) {
            EXPECT_EQ(text, QString::fromUtf8(name));
        }
        EXPECT_EQ(FileName::Display(text), QString::fromUtf8(name));
    }
}

// A name that is not valid UTF-8 keeps its bytes on every way into the main
// window: a name given at start, a save, Recent Files, the Open dialog, a drop.
TEST_F(ProgramFilesTest, NonUtf8NamesKeepTheirBytes) {
    const QByteArray dir = QFile::encodeName(m_folder.path());
    const QByteArray name = dir + "/prog\xFF.KtVbM";
    // A neighbour that a dialog would show alike must not be taken.
    const QByteArray neighbour = dir + "/prog\xFE\xFE.KtVbM";
    std::ofstream(name.constData(), std::ios::binary) << "Do\r\nLoop\r\n";
    std::ofstream(neighbour.constData(), std::ios::binary) << "Stop\r\n";
    const QString path = FileName::FromBytes(name);
    EXPECT_TRUE(FileName::Exists(path));

    ASSERT_TRUE(m_window->OpenFile(path)) << Shown().size();
    EXPECT_EQ(Box()->Text(), "Do\r\nLoop\r\n");
    EXPECT_EQ(m_window->windowTitle(), QString::fromUtf8("prog\xEF\xBF\xBD"));
    // Saved back under its own bytes, not beside it under a mangled name.
    Box()->SetText("Do\r\nStop\r\n");
    ASSERT_TRUE(m_window->SaveProgram());
    std::ifstream saved(name.constData(), std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(saved), {}), "Do\r\nStop\r\n\r\n");

    const std::function<void()> ways[] = {
        [&] { // Recent Files, through the settings file and back
            emit Menu("AddFileRecent")->aboutToShow();
            Menu("AddFileRecent")->actions().front()->trigger();
        },
        [&] { // the Open dialog shows the byte as U+FFFD and returns it so
            m_prompts.PushFile(QString::fromUtf8(name));
            m_window->OpenProgram();
        },
        [&] { // a drop carries the name percent-encoded
            Drop(*m_window,
                 QUrl::fromEncoded("file://" + dir.toPercentEncoding("/") + "/prog%FF.KtVbM"));
        },
    };
    for (const auto& way : ways) {
        m_window->NewProgram();
        way();
        EXPECT_EQ(FileName::ToBytes(m_window->ProgramFile()), name);
        EXPECT_EQ(Box()->Text(), "Do\r\nStop\r\n");
    }
    // QTemporaryDir removes by decoded names, which these do not have.
    std::remove(name.constData());
    std::remove(neighbour.constData());
}
