// Unsaved work survives a crash: a real run killed mid-edit or on its way to
// its first copy, the question at the next start, the copy dropped by No, a
// save or a clean end, damaged copies reported and kept, and a full disk
// that costs only the copy. Which copies and leftovers count as left behind
// is tested in tests/files.
#include "app/desktop_app.h"
#include "editor/kt_text.h"
#include "editor/text_box.h"
#include "files/recovery_file.h"
#include "files/regular_file.h"
#include "mainwindow/frm_motor.h"
#include "modal_answerer.h"
#include "tests/cli/special_files.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <tuple>

using kt::files::RecoveryFile;
using namespace std::chrono_literals;

namespace {

const QString kRestore = "KtMotor was not closed properly.\nRestore";
const QString kCannotRestore =
    "KtMotor was not closed properly, but the unsaved work it left cannot be restored:\n";
const QString kCannotKeep = "Could not keep a copy";

// Runs that name no data folder keep their copies in this test program's
// own, never in the user's.
const QTemporaryDir kDataHome;
[[maybe_unused]] const bool kOwnDataHome =
    qputenv("XDG_DATA_HOME", QFile::encodeName(kDataHome.path()));

QByteArray Bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}
void Put(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}
QString Files(const QString& folder, const QStringList& filter = {}) {
    return QDir(folder).entryList(filter, QDir::Files | QDir::Hidden).join(u'|');
}

// The desktop program in-process on a data folder, copying every 20 ms; the
// answerer answers its real boxes.
struct Session {
    Session(const QString& folder, const QString& data) : desktop({}, false, folder, folder) {
        desktop.SetRecoveryFolder(data);
        desktop.SetRecoveryInterval(20ms);
    }
    kt::editor::TextBox* Box() { return desktop.Window().KtText1()->RText(); }
    bool CopyHolds(const QString& text) {
        return QTest::qWaitFor([&] {
            const auto loaded = RecoveryFile::Decode(Bytes(desktop.RecoveryPath()));
            return loaded.status == RecoveryFile::Status::Ok && loaded.content.text == text;
        });
    }
    // The user closes the window and lets the work go; the program's loop ends.
    void CloseCleanly() {
        answerer.Answer("File changed,Save Now?", QMessageBox::No);
        QTimer::singleShot(0, &desktop.Window(), [this] { desktop.Window().close(); });
        QTimer stuck;
        stuck.callOnTimeout([] { QCoreApplication::exit(1); });
        stuck.start(5000);
        EXPECT_EQ(QApplication::exec(), 0);
        EXPECT_EQ(answerer.Unexpected(), std::vector<QString>{});
    }

    kt::test::ModalAnswerer answerer;
    kt::app::DesktopApp desktop;
};

} // namespace

// A real run killed with SIGKILL while it had unsaved work, titled or
// untitled, its copy in place or its first one stopped before its rename. A
// session started meanwhile leaves the living run's copy alone; the first
// start after the kill offers it, Yes brings the text back as unsaved work
// without writing the program file, and the copy goes on in its one file
// until a save or a clean end drops it.
TEST(Recovery, RestoresTheWorkOfAKilledRun) {
    const std::pair<bool, bool> cases[] = {{true, false}, {false, false}, {false, true}};
    for (const auto& [titled, beforeRename] : cases) {
        SCOPED_TRACE(testing::Message()
                     << "titled " << titled << " before rename " << beforeRename);
        QTemporaryDir home;
        const QString data = home.filePath("KtMotor"); // where the child's own name puts it
        const QString program = home.filePath("Demo.KtVbM");
        Put(program, "Do\r\nLoop\r\n");
        QStringList args = {home.path(), "' x"};
        if (titled)
            args << program;
        if (beforeRename)
            args.prepend("--stop-before-rename");
        QProcess child; // killed at the latest when it goes
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_DATA_HOME", home.path());
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(QStringLiteral(RECOVERY_CHILD), args);
        (void)QTest::qWaitFor([&] { return child.canReadLine(); }, 20000);
        const QByteArray said = child.readLine().trimmed();
        ASSERT_TRUE(said.startsWith(beforeRename ? "stopped " : "ready ")) << said.toStdString();
        const QString left = QFile::decodeName(said.mid(said.indexOf(' ') + 1));
        const QByteArray copy = Bytes(left);
        const QString work = titled ? "Do\r\nLoop\r\n' x" : "' x";
        EXPECT_EQ(RecoveryFile::Decode(copy).content.text, work);
        EXPECT_EQ(Files(data, {"*" + RecoveryFile::kSuffix}),
                  beforeRename ? "" : QFileInfo(left).fileName());
        {
            Session other(home.path(), data); // its answerer takes no restore question
            other.desktop.Show();
            QTest::keyClicks(other.Box(), "Do");
            EXPECT_TRUE(other.CopyHolds("Do"));
            other.CloseCleanly();
        }
        EXPECT_EQ(Bytes(left), copy);

        child.kill();
        child.waitForFinished();
        Session next(home.path(), data);
        next.answerer.Answer(kRestore, QMessageBox::Yes);
        next.desktop.Show();
        const kt::mainwindow::FrmMotor& window = next.desktop.Window();
        ASSERT_EQ(next.answerer.Shown().size(), 1u);
        EXPECT_TRUE(next.answerer.Count(kRestore) == 1 &&
                    next.answerer.Shown()[0].contains("Demo") == titled);
        EXPECT_EQ(next.Box()->Text(), work);
        EXPECT_EQ(window.windowTitle(), titled ? "Demo" : "NewMotorProgram");
        EXPECT_TRUE(window.Changed() && window.Untitled() == !titled &&
                    (window.ProgramFile() == program) == titled);
        EXPECT_EQ(Bytes(program), "Do\r\nLoop\r\n");
        const QString carried = QFileInfo(next.desktop.RecoveryPath()).fileName();
        EXPECT_EQ(Files(data), carried + '|' + carried + ".lock"); // no temporary file left
        EXPECT_TRUE(beforeRename || next.desktop.RecoveryPath() == left);
        QTest::keyClicks(next.Box(), "y");
        EXPECT_TRUE(next.CopyHolds(work + "y"));
        if (titled) { // a save drops the copy, the next edit makes one again
            ASSERT_TRUE(next.desktop.Window().SaveProgram());
            EXPECT_TRUE(QTest::qWaitFor([&] { return Files(data) == carried + ".lock"; }));
            QTest::keyClicks(next.Box(), "'");
            EXPECT_TRUE(next.CopyHolds(work + "y'"));
        }
        next.CloseCleanly();
        EXPECT_EQ(Files(data), ""); // a clean end leaves neither copy nor lock
    }
}

// A copy cut short, altered, foreign, of a newer version or larger than Open
// takes is reported, never restored, and kept: a damaged one set aside so
// that it is reported once, the others in place. A good copy is still
// offered, and No drops it: the next start does not ask again.
TEST(Recovery, DamagedCopiesAreReportedAndKept) {
    const QByteArray good = RecoveryFile::Encode({.text = "Do\r\nLoop ' \u00fc\u20ac",
                                                  .programFile = "/a\nb",
                                                  .saved = QDateTime::currentDateTime()});
    QByteArray altered = good;
    altered[altered.size() - 1] = 'P';
    QByteArray newer = good;
    newer.replace("recovery 1", "recovery 12");
    const QByteArray large = RecoveryFile::Encode(
        {.text = QString(kt::files::RegularFile::kMaxProgramFileBytes + 1, u'x'),
         .programFile = {},
         .untitled = true,
         .saved = QDateTime::currentDateTime()});
    // The bytes; whether they stay in place, reported at every start; how the report goes on.
    const std::tuple<QByteArray, bool, QString> cases[] = {
        {QByteArray("\0\xff", 2), false, ""},
        {"KtMotor recovery 1\n", false, ""},
        {good.chopped(1), false, ""},
        {good + "x", false, ""},
        {altered, false, ""},
        {newer, true, ""},
        {large, true, "It holds more than the 16 MiB a program file may hold"}};
    for (const auto& [bytes, stays, why] : cases) {
        SCOPED_TRACE(bytes.left(40).toStdString());
        QTemporaryDir home;
        const QString data = home.filePath("data");
        {
            Session crashed(home.path(), data); // ends without closing: its copy stays
            crashed.desktop.Show();
            QTest::keyClicks(crashed.Box(), "Do");
            ASSERT_TRUE(crashed.CopyHolds("Do"));
        }
        const QString bad = QDir(data).filePath("bad" + RecoveryFile::kSuffix);
        Put(bad, bytes);
        for (const bool first : {true, false}) {
            Session session(home.path(), data);
            session.answerer.Answer(kCannotRestore, QMessageBox::Ok);
            session.answerer.Answer(kRestore, QMessageBox::No);
            session.desktop.Show();
            EXPECT_EQ(session.answerer.Count(kCannotRestore + why), first || stays ? 1 : 0);
            EXPECT_EQ(session.answerer.Count(kRestore), first ? 1 : 0);
            EXPECT_EQ(session.answerer.Unexpected(), std::vector<QString>{});
            EXPECT_EQ(session.Box()->Text(), "");
            EXPECT_TRUE(Bytes(stays ? bad : bad + RecoveryFile::kDamagedSuffix) == bytes);
        }
    }
    const RecoveryFile::Loaded back = RecoveryFile::Decode(good);
    EXPECT_EQ(back.content.text, "Do\r\nLoop ' \u00fc\u20ac");
    EXPECT_EQ(back.content.programFile, "/a\nb"); // a line break in a name ends no line
}

// A really full disk, with room for the lock but not the copy: the program
// goes on, the program file is untouched, the user is told once, and the
// copy is made as soon as there is room.
TEST(Recovery, FullDiskCostsOnlyTheCopy) {
    QTemporaryDir home;
    const QString program = home.filePath("big.KtVbM");
    QByteArray saved;
    for (int i = 0; i < 400; ++i)
        saved += "Counter0 = " + QByteArray::number(i % 256) + "\r\n";
    Put(program, saved);
    kt::test::SmallDisk disk(home.filePath("disk"));
    if (!disk.Mounted())
        GTEST_SKIP() << disk.Why().toStdString();
    const QString data = disk.Path("data");
    ASSERT_TRUE(QDir().mkpath(data) && disk.Fill(8192));
    Session session(home.path(), data);
    session.answerer.Answer(kCannotKeep, QMessageBox::Ok);
    session.desktop.Show(program);
    QTest::keyClicks(session.Box(), "' more");
    QTest::qWait(300); // many ticks
    EXPECT_EQ(session.answerer.Count(kCannotKeep), 1);
    EXPECT_TRUE(session.desktop.Window().Changed());
    // Neither a copy nor a half-written one; the lock may be there.
    EXPECT_EQ(Files(data, {"*" + RecoveryFile::kSuffix, "*.tmp"}), "");

    ASSERT_TRUE(QFile::remove(disk.Path("fill")));
    EXPECT_TRUE(session.CopyHolds(saved + "' more"));
    EXPECT_EQ(session.answerer.Count(kCannotKeep), 1);
    session.CloseCleanly();
    EXPECT_EQ(Bytes(program), saved);
}
