// Program files through the main window: the dialogs, the questions, the
// file format, and that work is never lost when a save does not happen.
#include "editor/kt_text.h"
#include "editor/text_box.h"
#include "mainwindow/frm_motor.h"
#include "files/program_files.h"
#include "platform/scripted_prompts.h"
#include "tests/cli/special_files.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <condition_variable>
#include <mutex>
#include <thread>

using kt::mainwindow::FrmMotor;
using kt::platform::Answer;

namespace {

const QString kLoseWork = "You will loose un saved data?,Save Now?";
const QString kExists = "File already exists?,Save Now";

class ProgramFilesTest : public ::testing::Test {
protected:
    ~ProgramFilesTest() override { EXPECT_EQ(m_prompts.Unscripted().join(u'|').toStdString(), ""); }
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
    // A fresh window holding typed, unsaved work.
    void Restart(const QString& typed = "Do") {
        m_window = std::make_unique<FrmMotor>(m_prompts, m_folder.path(), m_folder.path());
        m_prompts.Clear();
        Type(typed);
    }
    kt::editor::TextBox* Box() { return m_window->KtText1()->RText(); }
    void Type(const QString& text) { QTest::keyClicks(Box(), text); }
    std::vector<QString> Shown() const { return m_prompts.ShownTexts(); }

    QTemporaryDir m_folder;
    kt::platform::ScriptedPrompts m_prompts;
    std::unique_ptr<FrmMotor> m_window =
        std::make_unique<FrmMotor>(m_prompts, m_folder.path(), m_folder.path());
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

TEST_F(ProgramFilesTest, FileFormatOnOpen) {
    // The file, the text shown, the file saved again.
    const std::tuple<QByteArray, QString, QByteArray> cases[] = {
        {"a\r\nb\r\n", "a\r\nb\r\n", "a\r\nb\r\n\r\n"},
        {"a\r\nb\r\n\r\n", "a\r\nb\r\n", "a\r\nb\r\n\r\n"},
        {"no break at all", "no break at all", "no break at all\r\n"},
        {"Do\nLoop\n", "Do\r\nLoop\r\n", "Do\r\nLoop\r\n\r\n"},
        {"' caf\xE9 \x80\r\nLoop", QString::fromUtf8("' caf\u00E9 \u20AC\r\nLoop"),
         "' caf\xE9 \x80\r\nLoop\r\n"},
    };
    for (const auto& [file, text, savedAgain] : cases) {
        SCOPED_TRACE(file.constData());
        Put(Path("in.KtVbM"), file);
        m_prompts.PushFile(Path("in.KtVbM"));
        m_window->OpenProgram();
        EXPECT_EQ(Box()->Text(), text);
        EXPECT_FALSE(m_window->Changed());
        EXPECT_TRUE(m_window->SaveProgram());
        EXPECT_EQ(Bytes(Path("in.KtVbM")), savedAgain);
    }
}

// New, Open and Exit over unsaved work ask first. Yes saves, and a save
// that fails or is cancelled stops the command; No discards (or closes);
// Escape (Cancel) backs out.
TEST_F(ProgramFilesTest, QuestionsBeforeWorkIsLost) {
    Put(Path("other.KtVbM"), "Loop");
    const QString failing = Path("missing/x.KtVbM");
    // Command, answer, file chosen in the next file dialog, text afterwards.
    const std::tuple<const char*, Answer, QString, QString> cases[] = {
        {"MnuFileOpen", Answer::Cancel, Path("other.KtVbM"), "Do"},
        {"MnuFileOpen", Answer::Yes, {}, "Do"},
        {"MnuFileNew", Answer::Yes, failing, "Do"},
        {"MnuFileOpen", Answer::No, Path("other.KtVbM"), "Loop"},
        {"MnuFileExit", Answer::Yes, failing, "Do"},
        {"MnuFileExit", Answer::Cancel, {}, "Do"},
        {"MnuFileExit", Answer::No, {}, "Do"},
        {"MnuFileNew", Answer::No, {}, ""},
    };
    for (const auto& [command, answer, file, text] : cases) {
        SCOPED_TRACE(testing::Message() << command << " " << int(answer));
        Restart();
        m_window->show();
        m_prompts.Push(answer);
        m_prompts.PushFile(file);
        m_window->findChild<QAction*>(command)->trigger();
        const bool exit = command == std::string_view("MnuFileExit");
        ASSERT_FALSE(Shown().empty());
        EXPECT_EQ(Shown().front(), exit ? "File changed,Save Now?" : kLoseWork);
        EXPECT_EQ(Box()->Text(), text);
        EXPECT_EQ(m_window->Changed(), text == "Do");
        EXPECT_EQ(m_window->isVisible(), !exit || answer != Answer::No);
    }
}

// A Save As that cannot write leaves the program named as before: the
// caption, and the file Ctrl+S writes to without a dialog.
TEST_F(ProgramFilesTest, FailedSaveAsKeepsTheName) {
    Restart();
    m_prompts.PushFile(Path("Good.KtVbM"));
    ASSERT_TRUE(m_window->SaveProgramAs());
    Type(" more");
    const QString target = Path("missing/x.KtVbM");
    m_prompts.Clear();
    m_prompts.PushFile(target);
    EXPECT_FALSE(m_window->SaveProgramAs());
    ASSERT_EQ(Shown().size(), 1u);
    EXPECT_TRUE(Shown()[0].startsWith("Could not save " + target));
    EXPECT_EQ(m_window->windowTitle(), "Good");
    EXPECT_TRUE(m_window->Changed());
    m_prompts.Clear();
    m_window->findChild<QAction*>("MnuFileSave")->trigger();
    EXPECT_TRUE(m_prompts.FileDialogs().empty());
    EXPECT_EQ(Bytes(Path("Good.KtVbM")), "Do more\r\n");
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
        const QString file = disk.Path("prog.KtVbM");
        Put(file, old);
        ASSERT_TRUE(disk.Fill(room));

        Restart({});
        m_prompts.PushFile(file);
        m_window->OpenProgram();
        Type("' more");
        m_window->findChild<QAction*>("MnuFileSave")->trigger(); // Ctrl+S
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
// opened, and never replaced by a file on Save As; the text stays. So is
// a binary file, and one too big for a program.
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

    // Should Open wait on the pipe for a writer after all, this writer turns
    // up every two seconds, so the test fails instead of hanging.
    const std::jthread rescue([pipe](std::stop_token stop) {
        std::mutex mutex;
        std::condition_variable_any wake;
        std::unique_lock lock(mutex);
        while (!wake.wait_for(lock, stop, std::chrono::seconds(2),
                              [&stop] { return stop.stop_requested(); })) {
            QFile writer(pipe);
            if (writer.open(QIODevice::ReadWrite))
                writer.close();
        }
    });
    Type("Do");
    for (const auto& [name, reason, save] : cases) {
        SCOPED_TRACE(name.toStdString());
        m_prompts.Clear();
        m_prompts.Push(Answer::No); // discard the work
        m_prompts.PushFile(Path(name));
        m_window->OpenProgram();
        EXPECT_EQ(Box()->Text(), "Do");
        ASSERT_EQ(Shown().size(), 2u);
        EXPECT_TRUE(Shown()[1].startsWith("Could not open " + Path(name) + ":\n"));
        EXPECT_TRUE(Shown()[1].contains(reason)) << Shown()[1].toStdString();
        EXPECT_EQ(m_window->windowTitle(), "NewMotorProgram");
        if (!save)
            continue;
        m_prompts.Clear();
        m_prompts.PushFile(Path(name));
        EXPECT_FALSE(m_window->SaveProgramAs());
        EXPECT_EQ(Shown(), std::vector<QString>{"Could not save " + Path(name) + reason});
        EXPECT_TRUE(m_window->Changed());
    }
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
