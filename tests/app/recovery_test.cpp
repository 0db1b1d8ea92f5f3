// Unsaved work survives a crash: a real run killed mid-edit, the question at
// the next start, the copy dropped by No, a save or a clean end, damaged
// copies reported and kept, and a full disk that costs only the copy.
#include "app/desktop_app.h"
#include "editor/kt_text.h"
#include "editor/text_box.h"
#include "mainwindow/frm_motor.h"
#include "files/recovery_file.h"
#include "modal_answerer.h"
#include "tests/cli/special_files.h"

#include <gtest/gtest.h>

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <optional>

using kt::files::RecoveryFile;
using namespace std::chrono_literals;

namespace {

const QString kRestore = "KtMotor was not closed properly.\nRestore";
const QString kCannotRestore = "KtMotor was not closed properly, but";
const QString kCannotKeep = "Could not keep a copy";

// Runs that name no data folder keep their copies in one of this test
// program's own, never in the user's.
class OwnDataHome : public ::testing::Environment {
    void SetUp() override {
        m_home.emplace();
        qputenv("XDG_DATA_HOME", QFile::encodeName(m_home->path()));
    }
    std::optional<QTemporaryDir> m_home;
};
[[maybe_unused]] const auto* const kOwnDataHome =
    ::testing::AddGlobalTestEnvironment(new OwnDataHome);

QByteArray Bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}
void Put(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size());
}
QStringList Copies(const QString& data) {
    return QDir(data).entryList({"*" + RecoveryFile::kSuffix}, QDir::Files);
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
    }

    kt::test::ModalAnswerer answerer;
    kt::app::DesktopApp desktop;
};

// Work left as a crash leaves it: the session ends without closing its
// window, so its copy stays and its lock goes.
void LeaveWork(const QString& folder, const QString& data) {
    Session session(folder, data);
    session.desktop.Show();
    QTest::keyClicks(session.Box(), "Do");
    ASSERT_TRUE(session.CopyHolds("Do"));
}

} // namespace

// A real run killed with SIGKILL while it had unsaved work, titled and
// untitled. A session started meanwhile leaves the living run's copy alone;
// the first start after the kill offers it, and Yes brings the text back as
// unsaved work without writing the program file.
TEST(Recovery, RestoresTheWorkOfAKilledRun) {
    for (const bool titled : {true, false}) {
        SCOPED_TRACE(titled);
        QTemporaryDir home;
        const QString data = home.filePath("KtMotor"); // where the child's own name puts it
        const QString program = home.filePath("Demo.KtVbM");
        Put(program, "Do\r\nLoop\r\n");
        QProcess child;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("XDG_DATA_HOME", home.path());
        child.setProcessEnvironment(environment);
        child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        child.start(RECOVERY_CHILD, {home.path(), "' x", titled ? program : QString()});
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return child.canReadLine() || child.state() == QProcess::NotRunning; }, 20000));
        ASSERT_EQ(child.readLine(), "ready\n");
        const QStringList copies = Copies(data);
        ASSERT_EQ(copies.size(), 1);
        const QByteArray copy = Bytes(QDir(data).filePath(copies[0]));
        {
            Session other(home.path(), data);
            other.desktop.Show();
            QTest::keyClicks(other.Box(), "Do");
            EXPECT_TRUE(other.CopyHolds("Do"));
            other.CloseCleanly();
            EXPECT_EQ(other.answerer.Count(kRestore), 0);
        }
        EXPECT_EQ(Bytes(QDir(data).filePath(copies[0])), copy);

        child.kill();
        ASSERT_TRUE(child.waitForFinished(10000));
        Session next(home.path(), data);
        next.answerer.Answer(kRestore, QMessageBox::Yes);
        next.desktop.Show();
        const kt::mainwindow::FrmMotor& window = next.desktop.Window();
        ASSERT_EQ(next.answerer.Shown().size(), 1u);
        EXPECT_EQ(next.answerer.Shown()[0].contains("Demo"), titled);
        EXPECT_EQ(next.Box()->Text(), titled ? "Do\r\nLoop\r\n' x" : "' x");
        EXPECT_EQ(window.windowTitle(), titled ? "Demo" : "NewMotorProgram");
        EXPECT_EQ(window.Untitled(), !titled);
        EXPECT_EQ(window.ProgramFile() == program, titled);
        EXPECT_TRUE(window.Changed());
        EXPECT_EQ(Bytes(program), "Do\r\nLoop\r\n");
        EXPECT_EQ(next.desktop.RecoveryPath(), QDir(data).filePath(copies[0])); // carried on
    }
}

// A real run killed on its way to its first copy: the copy never got its
// name, only the temporary file holds the work. The next start offers it all
// the same, and the copy goes on under a name of its own.
TEST(Recovery, RestoresAFirstCopyKilledBeforeItsRename) {
    QTemporaryDir home;
    const QString data = home.filePath("KtMotor");
    QProcess child;
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("XDG_DATA_HOME", home.path());
    child.setProcessEnvironment(environment);
    child.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    child.start(RECOVERY_CHILD, {"--stop-before-rename", home.path(), "' x"});
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return child.canReadLine() || child.state() == QProcess::NotRunning; }, 20000));
    const QByteArray said = child.readLine().trimmed();
    ASSERT_TRUE(said.startsWith("stopped ")) << said.toStdString();
    const QString temporary = QFile::decodeName(said.mid(8));
    EXPECT_EQ(RecoveryFile::Decode(Bytes(temporary)).content.text, "' x");
    EXPECT_EQ(Copies(data), QStringList{});
    child.kill();
    ASSERT_TRUE(child.waitForFinished(10000));

    Session next(home.path(), data);
    next.answerer.Answer(kRestore, QMessageBox::Yes);
    next.desktop.Show();
    EXPECT_EQ(next.answerer.Count(kRestore), 1);
    EXPECT_EQ(next.Box()->Text(), "' x");
    EXPECT_TRUE(next.desktop.Window().Changed());
    EXPECT_EQ(QDir(data).entryList({"*.tmp"}, QDir::Files | QDir::Hidden), QStringList{});
    EXPECT_EQ(Copies(data), QStringList{QFileInfo(next.desktop.RecoveryPath()).fileName()});
    QTest::keyClicks(next.Box(), "y");
    EXPECT_TRUE(next.CopyHolds("' xy"));
    next.CloseCleanly();
    EXPECT_EQ(next.answerer.Unexpected(), std::vector<QString>{});
}

// No drops the copy; so does a save, and a clean end, which leaves no lock
// either.
TEST(Recovery, NoSaveAndCleanEndDropTheCopy) {
    QTemporaryDir home;
    const QString data = home.filePath("data");
    const QString program = home.filePath("Demo.KtVbM");
    Put(program, "Do\r\n");
    LeaveWork(home.path(), data);
    Session session(home.path(), data);
    session.answerer.Answer(kRestore, QMessageBox::No);
    session.desktop.Show(program);
    EXPECT_EQ(session.answerer.Count(kRestore), 1);
    EXPECT_EQ(session.Box()->Text(), "Do\r\n");
    EXPECT_EQ(Copies(data), QStringList{});

    QTest::keyClicks(session.Box(), "Loop");
    EXPECT_TRUE(session.CopyHolds("Do\r\nLoop"));
    ASSERT_TRUE(session.desktop.Window().SaveProgram());
    EXPECT_TRUE(QTest::qWaitFor([&] { return Copies(data).isEmpty(); }));
    QTest::keyClicks(session.Box(), "'");
    EXPECT_TRUE(session.CopyHolds("Do\r\nLoop'"));
    session.CloseCleanly();
    EXPECT_EQ(QDir(data).entryList(QDir::Files | QDir::Hidden), QStringList{});
    EXPECT_EQ(session.answerer.Unexpected(), std::vector<QString>{});
}

// A copy cut short, altered, foreign or of a newer version is reported,
// never restored, and kept: a damaged one set aside so that it is reported
// once, a newer one in place for that version. A good copy is still offered.
TEST(Recovery, DamagedCopiesAreReportedAndKept) {
    const QByteArray good = RecoveryFile::Encode({.text = "Do\r\nLoop ' \u00fc\u20ac",
                                                  .programFile = "/a\nb",
                                                  .saved = QDateTime::currentDateTime()});
    QByteArray altered = good;
    altered[altered.size() - 1] = 'P';
    QByteArray newer = good;
    newer.replace("recovery 1", "recovery 12");
    // Contents, whether they stay where they are.
    const std::vector<std::pair<QByteArray, bool>> cases = {{QByteArray("\0\xff", 2), false},
                                                            {"KtMotor recovery 1\n", false},
                                                            {good.chopped(1), false},
                                                            {good + "x", false},
                                                            {altered, false},
                                                            {newer, true}};
    for (const auto& [bytes, stays] : cases) {
        SCOPED_TRACE(bytes.toStdString());
        QTemporaryDir home;
        const QString data = home.filePath("data");
        LeaveWork(home.path(), data);
        const QString bad = QDir(data).filePath("bad" + RecoveryFile::kSuffix);
        Put(bad, bytes);
        for (const bool first : {true, false}) {
            Session session(home.path(), data);
            session.answerer.Answer(kCannotRestore, QMessageBox::Ok);
            session.answerer.Answer(kRestore, QMessageBox::No);
            session.desktop.Show();
            EXPECT_EQ(session.answerer.Count(kCannotRestore), first || stays ? 1 : 0);
            EXPECT_EQ(session.answerer.Count(kRestore), first ? 1 : 0);
            EXPECT_EQ(session.Box()->Text(), "");
            EXPECT_EQ(Bytes(stays ? bad : bad + RecoveryFile::kDamagedSuffix), bytes);
        }
    }
    const RecoveryFile::Loaded back = RecoveryFile::Decode(good);
    EXPECT_EQ(back.content.text, "Do\r\nLoop ' \u00fc\u20ac");
    EXPECT_EQ(back.content.programFile, "/a\nb"); // a line break in a name ends no line
}

// A really full disk: the program goes on, the program file is untouched,
// the user is told once, and the copy is made as soon as there is room.
// With no room even the lock fails; with a little, the copy does.
TEST(Recovery, FullDiskCostsOnlyTheCopy) {
    QTemporaryDir home;
    const QString program = home.filePath("big.KtVbM");
    QByteArray saved;
    for (int i = 0; i < 400; ++i)
        saved += "Counter0 = " + QByteArray::number(i % 256) + "\r\n";
    Put(program, saved);
    for (const int room : {0, 8192}) {
        SCOPED_TRACE(room);
        kt::test::SmallDisk disk(home.filePath(QStringLiteral("disk%1").arg(room)));
        if (!disk.Mounted())
            GTEST_SKIP() << disk.Why().toStdString();
        const QString data = disk.Path("data");
        ASSERT_TRUE(QDir().mkpath(data) && disk.Fill(room));
        Session session(home.path(), data);
        session.answerer.Answer(kCannotKeep, QMessageBox::Ok);
        session.desktop.Show(program);
        QTest::keyClicks(session.Box(), "' more");
        QTest::qWait(300); // many ticks
        EXPECT_EQ(session.answerer.Count(kCannotKeep), 1);
        EXPECT_TRUE(session.desktop.Window().Changed());
        // Neither a copy nor a half-written one; the lock may be there.
        EXPECT_EQ(QDir(data).entryList({"*" + RecoveryFile::kSuffix, "*.tmp"},
                                       QDir::Files | QDir::Hidden),
                  QStringList{});

        ASSERT_TRUE(QFile::remove(disk.Path("fill")));
        EXPECT_TRUE(session.CopyHolds(saved + "' more"));
        EXPECT_EQ(session.answerer.Count(kCannotKeep), 1);
        session.CloseCleanly();
        EXPECT_EQ(Bytes(program), saved);
        EXPECT_EQ(session.answerer.Unexpected(), std::vector<QString>{});
    }
}
