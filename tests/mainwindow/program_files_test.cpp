// Program files through the main window: the dialogs, the questions, the
// file format, and that work is never lost when a save does not happen.
#include "editor/kt_text.h"
#include "editor/text_box.h"
#include "mainwindow/frm_motor.h"
#include "mainwindow/program_files.h"
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

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

using kt::mainwindow::FrmMotor;
using kt::mainwindow::ProgramFiles;
using kt::platform::Answer;

namespace {

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
    kt::editor::TextBox* Box() { return m_window->KtText1()->RText(); }
    void Type(const QString& text) { QTest::keyClicks(Box(), text); }
    std::vector<QString> Shown() const { return m_prompts.ShownTexts(); }
    QString LastShown() const { return Shown().empty() ? QString() : Shown().back(); }

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
    m_prompts.PushFile(Path("Line.2.KtVbM")); // cut at the last dot
    EXPECT_TRUE(m_window->SaveProgramAs());
    EXPECT_EQ(m_window->windowTitle(), "Line.2");
    EXPECT_TRUE(m_prompts.Shown().empty());
}

// A name typed without an extension while the program filter is selected
// gets one, so the Open dialog's filter shows the file later.
TEST_F(ProgramFilesTest, ProgramFilterCompletesTheName) {
    struct Case {
        QString typed;
        int filter;  // 0 the program filter, 1 AllFile
        bool saveAs; // else the first Save of an untitled program
        QString written;
        QString caption;
        bool exists = false; // the written file is there already
    };
    const std::vector<Case> cases = {
        {"Demo1", 0, true, "Demo1.KtVbM", "Demo1"},
        {"Demo2", 1, true, "Demo2", "Demo2"},
        {"Demo3.txt", 0, true, "Demo3.txt", "Demo3"},
        {"Demo4", 0, false, "Demo4.KtVbM", "NewMotorProgram"},
        {"Demo5", 0, false, "Demo5.KtVbM", "NewMotorProgram", true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed.toStdString());
        m_window = std::make_unique<FrmMotor>(m_prompts, m_folder.path(), m_folder.path());
        m_prompts.Clear();
        Type("Do");
        if (c.exists) {
            Put(Path(c.written), "old");
            m_prompts.Push(Answer::Yes);
        }
        m_prompts.PushFile(Path(c.typed), c.filter);
        EXPECT_TRUE(c.saveAs ? m_window->SaveProgramAs() : m_window->SaveProgram());
        EXPECT_EQ(Bytes(Path(c.written)), "Do\r\n");
        EXPECT_EQ(m_window->ProgramFile(), Path(c.written));
        EXPECT_EQ(m_window->windowTitle(), c.caption);
        EXPECT_EQ(Shown(), c.exists ? std::vector<QString>{"File already exists?,Save Now"}
                                    : std::vector<QString>{});
        if (c.written != c.typed) {
            EXPECT_FALSE(QFileInfo::exists(Path(c.typed)));
        }
    }
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
    m_prompts.Push(Answer::Yes);
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

// A Save As that cannot write leaves the program named as before: the
// caption, the file Ctrl+S writes to, and whether Save asks for a name.
TEST_F(ProgramFilesTest, FailedSaveAsKeepsTheName) {
    Put(Path("plain"), "not a folder");
    struct Case {
        QString target;
        bool titled; // saved as Good.KtVbM first
    };
    const std::vector<Case> cases = {{Path("missing/x.KtVbM"), true},
                                     {Path("plain/x.KtVbM"), true},
                                     {Path("missing/x.KtVbM"), false},
                                     {Path("plain/x.KtVbM"), false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.target.toStdString() + (c.titled ? " titled" : " untitled"));
        m_window = std::make_unique<FrmMotor>(m_prompts, m_folder.path(), m_folder.path());
        m_prompts.Clear();
        Type("Do");
        if (c.titled) {
            m_prompts.PushFile(Path("Good.KtVbM"));
            ASSERT_TRUE(m_window->SaveProgramAs());
            Type(" more");
        }
        const QString caption = m_window->windowTitle();
        const QString file = m_window->ProgramFile();
        m_prompts.Clear();
        m_prompts.PushFile(c.target);
        EXPECT_FALSE(m_window->SaveProgramAs());
        ASSERT_EQ(Shown().size(), 1u);
        EXPECT_TRUE(Shown()[0].startsWith("Could not save " + c.target));
        EXPECT_FALSE(QFileInfo::exists(c.target));
        EXPECT_EQ(m_window->windowTitle(), caption);
        EXPECT_EQ(m_window->ProgramFile(), file);
        EXPECT_EQ(m_window->Untitled(), !c.titled);
        EXPECT_TRUE(m_window->Changed());

        // Ctrl+S: the old file without a dialog, or the dialog when untitled.
        m_prompts.Clear();
        m_prompts.PushFile(""); // cancelled, should the dialog show
        m_window->findChild<QAction*>("MnuFileSave")->trigger();
        EXPECT_EQ(m_prompts.FileDialogs().size(), c.titled ? 0u : 1u);
        if (c.titled) {
            EXPECT_EQ(Bytes(Path("Good.KtVbM")), "Do more\r\n");
        }
    }
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
    ASSERT_TRUE(big.resize(16 * 1024 * 1024 + 1)); // just over 16 MiB
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

// A real full disk: the old file stays byte for byte, the user hears why,
// and the work stays unsaved. With some room left the new file would be cut
// short instead of failing outright.
TEST_F(ProgramFilesTest, SaveOnAFullDisk) {
    struct Case {
        qint64 room; // bytes left free
        int lines;   // of the old program
    };
    for (const Case c : {Case{0, 2}, Case{4096, 400}}) {
        SCOPED_TRACE(c.room);
        kt::test::SmallDisk disk(Path(QStringLiteral("disk%1").arg(c.room)));
        if (!disk.Mounted())
            GTEST_SKIP() << disk.Why().toStdString();
        QByteArray old;
        for (int i = 0; i < c.lines; ++i)
            old += "Counter0 = " + QByteArray::number(i % 256) + "\r\n";
        const QString file = disk.Path("prog.KtVbM");
        Put(file, old);
        ASSERT_TRUE(disk.Fill(c.room));

        m_window = std::make_unique<FrmMotor>(m_prompts, m_folder.path(), m_folder.path());
        m_prompts.Clear();
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

        // Closing still asks.
        m_prompts.Clear();
        m_prompts.Push(Answer::Cancel);
        m_window->show();
        EXPECT_FALSE(m_window->close());
        EXPECT_EQ(Shown(), std::vector<QString>{"File changed,Save Now?"});
    }
}

// A question box closed with Escape or its close button answers Cancel: New
// and Open back out; nothing is discarded and nothing opened.
TEST_F(ProgramFilesTest, EscapingTheQuestionKeepsTheWork) {
    Put(Path("other.KtVbM"), "Loop");
    Type("Do");
    for (const char* command : {"MnuFileNew", "MnuFileOpen"}) {
        m_prompts.Clear();
        m_prompts.Push(Answer::Cancel);
        m_prompts.PushFile(Path("other.KtVbM"));
        m_window->findChild<QAction*>(command)->trigger();
        EXPECT_EQ(Shown(), std::vector<QString>{"You will loose un saved data?,Save Now?"})
            << command;
        EXPECT_TRUE(m_prompts.FileDialogs().empty()) << command;
        EXPECT_EQ(Box()->Text(), "Do") << command;
        EXPECT_TRUE(m_window->Changed()) << command;
        EXPECT_EQ(m_window->windowTitle(), "NewMotorProgram") << command;
    }
}

namespace {

// Should the code under test open a named pipe after all, it would wait for
// a writer for ever. This writer turns up now and again until the test is
// over, so such a wait ends (and the test fails) instead of hanging.
class PipeRescue {
public:
    explicit PipeRescue(const QString& pipe)
        : m_thread([this, pipe] {
              std::unique_lock lock(m_mutex);
              while (!m_cv.wait_for(lock, std::chrono::seconds(2), [this] { return m_over; })) {
                  QFile writer(pipe);
                  if (writer.open(QIODevice::ReadWrite))
                      writer.close();
              }
          }) {}
    ~PipeRescue() {
        {
            std::lock_guard lock(m_mutex);
            m_over = true;
        }
        m_cv.notify_one();
        m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    bool m_over = false;
    std::thread m_thread;
};

} // namespace

// A named pipe, a folder or a device is refused by Open without being
// opened, and never replaced by a file on Save As; the text stays.
TEST_F(ProgramFilesTest, SpecialFilesAreNeitherReadNorReplaced) {
    const QString pipe = Path("pipe.KtVbM");
    ASSERT_TRUE(kt::test::MakeFifo(pipe));
    ASSERT_TRUE(QDir().mkpath(Path("folder.KtVbM")));
    QString why;
    const bool device = kt::test::MakeNullDevice(Path("null.KtVbM"), &why);
    // File name, reason, whether Save As is tried too.
    std::vector<std::tuple<QString, QString, bool>> cases = {{"pipe.KtVbM", "named pipe", true},
                                                             {"folder.KtVbM", "folder", false}};
    if (device)
        cases.push_back({"null.KtVbM", "device", true});

    Type("Do");
    const PipeRescue rescue(pipe);
    for (const auto& [name, reason, save] : cases) {
        const QString tail = ":\nNot a regular file but a " + reason;
        const QString title = m_window->windowTitle();
        m_prompts.Clear();
        m_prompts.Push(Answer::No); // discard the work
        m_prompts.PushFile(Path(name));
        m_window->OpenProgram();
        EXPECT_EQ(Box()->Text(), "Do") << name.toStdString();
        EXPECT_EQ(LastShown(), "Could not open " + Path(name) + tail);
        EXPECT_EQ(m_window->windowTitle(), title);
        if (!save)
            continue;
        m_prompts.Clear();
        m_prompts.PushFile(Path(name));
        EXPECT_FALSE(m_window->SaveProgramAs());
        EXPECT_EQ(Shown(), std::vector<QString>{"Could not save " + Path(name) + tail});
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
    EXPECT_TRUE(QFileInfo(Path("link.KtVbM")).isSymLink());
    EXPECT_EQ(Bytes(Path("real.KtVbM")), "Do\r\n");
    Type(" more");
    EXPECT_TRUE(m_window->SaveProgram());
    EXPECT_TRUE(QFileInfo(Path("link.KtVbM")).isSymLink());
    EXPECT_EQ(Bytes(Path("real.KtVbM")), "Do more\r\n");
}
