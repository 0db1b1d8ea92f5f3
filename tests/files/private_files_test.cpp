// The application's own files against what a user, another program or a
// crash puts in their place: links at a copy's or lock's name are never
// followed; saves' temporary files go only when their maker is gone.
#include "files/recovery_file.h"
#include "files/regular_file.h"
#include "tests/cli/special_files.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <functional>
#include <memory>

#if defined(Q_OS_LINUX)
#include <sys/wait.h>
#include <unistd.h>
#endif

using kt::files::RecoveryFile;
using kt::files::RegularFile;

namespace {

QByteArray Bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}
bool Put(const QString& path, const QByteArray& bytes) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}
RecoveryFile::Content Work(const QString& text,
                           const QDateTime& saved = QDateTime::currentDateTime()) {
    return {.text = text, .programFile = {}, .untitled = true, .saved = saved};
}
QByteArray Copy(const QString& text) {
    return RecoveryFile::Encode(Work(text));
}

std::string Text(const QStringList& list) {
    return list.join(u'|').toStdString();
}

// Everything in a folder: names, kinds, link targets, bytes and times, to
// show that nothing in it changed.
std::string Snapshot(const QString& folder) {
    QStringList all;
    const QDir dir(folder);
    for (const QFileInfo& info : dir.entryInfoList(
             QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::Name)) {
        QString entry = info.fileName();
        if (info.isSymLink())
            entry += " -> " + info.symLinkTarget();
        else if (info.isDir())
            entry += "/ " + QString::fromStdString(Snapshot(info.filePath()));
        else if (info.isFile())
            entry += ' ' + QString::fromUtf8(Bytes(info.filePath()).toHex()) + ' ' +
                     info.lastModified().toString(Qt::ISODateWithMs);
        else
            entry += " special";
        all << entry;
    }
    return Text(all);
}

// A process that runs until the object goes: sleep, started under name.
class Sleeper {
public:
    explicit Sleeper(const QString& asName = {}) {
        const QString sleep = QStandardPaths::findExecutable(QStringLiteral("sleep"));
        if (!asName.isEmpty())
            QFile::link(sleep, m_bin.filePath(asName));
        m_process.start(asName.isEmpty() ? sleep : m_bin.filePath(asName), {QStringLiteral("60")});
        m_process.waitForStarted(10000);
        m_pid = m_process.processId();
    }
    ~Sleeper() { Kill(); }
    qint64 Pid() const { return m_pid; }
    void Kill() {
        m_process.kill();
        m_process.waitForFinished(10000);
    }

private:
    QTemporaryDir m_bin;
    QProcess m_process;
    qint64 m_pid = 0;
};

// The process id of a process that ran and was killed.
qint64 DeadPid() {
    Sleeper sleeper;
    sleeper.Kill();
    return sleeper.Pid();
}

#if defined(Q_OS_LINUX)
constexpr bool kTold = true; // the system tells what runs under an id
// A child that has ended and is not reaped yet, under this program's name.
pid_t Zombie() {
    const pid_t pid = ::fork();
    if (pid == 0)
        ::_exit(0);
    siginfo_t info{};
    ::waitid(P_PID, static_cast<id_t>(pid), &info, WEXITED | WNOWAIT);
    return pid;
}
#else
constexpr bool kTold = false;
#endif

class PrivateFilesTest : public ::testing::Test {
protected:
    QString Data(const QString& name = {}) const { return m_data.filePath(name); }
    QString Elsewhere(const QString& name = {}) const { return m_elsewhere.filePath(name); }

    QTemporaryDir m_data;
    QTemporaryDir m_elsewhere;
};

} // namespace

// A link put at the copy's name, to whatever: the copy replaces the link and
// nothing the link named is written, created or even opened.
TEST_F(PrivateFilesTest, WritesReplaceALinkNeverItsTarget) {
    // What the link names, and how to make it.
    const std::pair<const char*, std::function<bool()>> cases[] = {
        {"theirs.txt", [&] { return Put(Elsewhere("theirs.txt"), "their bytes"); }},
        {"not-yet.txt", [] { return true; }},
        {"pipe", [&] { return kt::test::MakeFifo(Elsewhere("pipe")); }},
        {"folder", [&] { return QDir().mkpath(Elsewhere("folder")); }},
    };
    for (const auto& [name, make] : cases) {
        SCOPED_TRACE(name);
        ASSERT_TRUE(make());
        const std::unique_ptr<RecoveryFile> file = RecoveryFile::New(Data());
        ASSERT_TRUE(QFile::link(Elsewhere(name), file->Path()));
        const std::string before = Snapshot(Elsewhere());

        EXPECT_EQ(file->Write(Work("Do")).toStdString(), "");
        EXPECT_EQ(Snapshot(Elsewhere()), before);
        const QFileInfo written(file->Path());
        EXPECT_TRUE(!written.isSymLink() && written.isFile());
        EXPECT_EQ(written.permissions() & (QFile::ReadGroup | QFile::ReadOther), 0);
        EXPECT_EQ(file->Read().content.text.toStdString(), "Do");
        EXPECT_EQ(file->Write(Work("Loop")).toStdString(), "");
        EXPECT_EQ(file->Read().content.text.toStdString(), "Loop");
    }
}

// Copies left behind as links, whole or dangling, are not offered, and
// whatever they name is left as it is; a copy whose name became a link is
// not read through it.
TEST_F(PrivateFilesTest, LinkedCopiesAreNeitherOfferedNorRead) {
    ASSERT_TRUE(Put(Elsewhere("theirs.ktrecovery"), Copy("theirs")));
    ASSERT_TRUE(QFile::link(Elsewhere("theirs.ktrecovery"), Data("linked.ktrecovery")));
    ASSERT_TRUE(QFile::link(Elsewhere("none.ktrecovery"), Data("dangling.ktrecovery")));
    ASSERT_TRUE(Put(Data("left.ktrecovery"), Copy("left")));
    const std::string before = Snapshot(Elsewhere());

    const auto found = RecoveryFile::LeftBehind(Data());
    ASSERT_EQ(found.size(), 1u);
    EXPECT_EQ(found[0]->Path().toStdString(), Data("left.ktrecovery").toStdString());
    EXPECT_EQ(found[0]->Read().content.text.toStdString(), "left");
    EXPECT_TRUE(QFileInfo(Data("linked.ktrecovery")).isSymLink());
    EXPECT_EQ(Snapshot(Elsewhere()), before);

    const std::unique_ptr<RecoveryFile> file = RecoveryFile::New(Data());
    ASSERT_TRUE(QFile::link(Elsewhere("theirs.ktrecovery"), file->Path()));
    EXPECT_EQ(file->Read().status, RecoveryFile::Status::Unreadable);
    EXPECT_FALSE(file->Exists());
    EXPECT_EQ(Snapshot(Elsewhere()), before);
}

// A link at a left-behind copy's lock name, to a file of the user's or to a
// named pipe that would hang a reader: the lock is taken in its place and
// nothing it named is read or changed.
TEST_F(PrivateFilesTest, LockNamesAreNeverFollowed) {
    ASSERT_TRUE(Put(Elsewhere("notes.txt"), "my notes\n"));
    ASSERT_TRUE(kt::test::MakeFifo(Elsewhere("pipe")));
    for (const char* target : {"notes.txt", "pipe"}) {
        const QString copy = Data(QStringLiteral("%1.ktrecovery").arg(target));
        ASSERT_TRUE(Put(copy, Copy(target)));
        ASSERT_TRUE(QFile::link(Elsewhere(target), copy + ".lock"));
    }
    const std::string before = Snapshot(Elsewhere());

    const auto found = RecoveryFile::LeftBehind(Data());
    ASSERT_EQ(found.size(), 2u);
    for (const auto& file : found) {
        SCOPED_TRACE(file->Path().toStdString());
        EXPECT_EQ(file->Read().status, RecoveryFile::Status::Ok);
        const QFileInfo lock(file->Path() + ".lock");
        EXPECT_TRUE(!lock.isSymLink() && lock.isFile());
    }
    EXPECT_EQ(Snapshot(Elsewhere()), before);
}

// Whose process runs: this one; one that was killed; a live one that is not
// ours, as when a crashed program's id has been taken over; and live ones
// started under our programs' names.
TEST_F(PrivateFilesTest, WhetherTheMakerRuns) {
    Sleeper foreign;
    Sleeper desktop(QStringLiteral("ktmotor"));
    Sleeper cli(QStringLiteral("ktmotor-cli"));
    Sleeper lookalike(QStringLiteral("ktmotor-clix"));
#if defined(Q_OS_LINUX)
    const pid_t zombie = Zombie();
#endif
    const std::pair<qint64, bool> cases[] = {
#if defined(Q_OS_LINUX)
        {zombie, false},
#endif
        {QCoreApplication::applicationPid(), true},
        {DeadPid(), false},
        {-1, false},
        {foreign.Pid(), !kTold},
        {desktop.Pid(), true},
        {cli.Pid(), true},
        {lookalike.Pid(), !kTold},
    };
    for (const auto& [pid, runs] : cases)
        EXPECT_EQ(RegularFile::Runs(pid), runs) << pid;
#if defined(Q_OS_LINUX)
    ::waitpid(zombie, nullptr, 0);
#endif
}

// A replaced file keeps its permissions, and is reached through a chain of
// relative links (each read from its own folder, never the working one) that
// stay links; a read takes a file of just the limit and refuses one a byte larger.
TEST_F(PrivateFilesTest, ReplaceKeepsPermissionsReadKeepsItsLimit) {
    const QString path = Data("Demo.KtVbM"), link = Elsewhere("link.KtVbM");
    ASSERT_TRUE(Put(path, "old"));
    ASSERT_TRUE(
        QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    ASSERT_TRUE(QFile::link("Demo.KtVbM", Data("hop.KtVbM")));
    ASSERT_TRUE(QFile::link(QDir(Elsewhere()).relativeFilePath(Data("hop.KtVbM")), link));
    const QFile::Permissions before = QFileInfo(path).permissions();
    ASSERT_TRUE(RegularFile::Replace(QFile::encodeName(link), "Do\r\n").ok);
    EXPECT_TRUE(QFileInfo(link).isSymLink() && QFileInfo(Data("hop.KtVbM")).isSymLink());
    EXPECT_EQ(QFileInfo(path).permissions(), before);
    EXPECT_TRUE(RegularFile::Read(QFile::encodeName(path), 4).ok);
    EXPECT_EQ(RegularFile::Read(QFile::encodeName(path), 3).error.toStdString(),
              "Larger than 3 bytes");
}

// Only the temporary files of saves whose maker is gone are removed: not
// this program's, not a running one's, not what merely looks like them, and
// not a copy of unsaved work on its way to its name.
TEST_F(PrivateFilesTest, RemoveLeftoversTakesOnlyAbandonedSaves) {
    Sleeper running(QStringLiteral("ktmotor"));
    Sleeper foreign;
    const QString own = QString::number(QCoreApplication::applicationPid());
    const QString dead = QString::number(DeadPid());
    const QString live = QString::number(running.Pid());
    // Name, whether it goes.
    const std::pair<QString, bool> files[] = {
        {".ktmotor-" + dead + "-k3x9.tmp", true},
        {".ktmotor-" + QString::number(foreign.Pid()) + "-a.tmp", kTold},
        {".ktmotor-" + own + "-a.tmp", false},
        {".ktmotor-" + live + "-a.tmp", false},
        {".ktmotor-" + dead + ".tmp", false},
        {".ktmotor-k3x9.tmp", false},
        {".ktmotor--k3x9.tmp", false},
        {".Demo.KtVbM.ktmotor-" + dead + "-k3x9.tmp", false},
        {".x.ktrecovery.ktmotor-" + dead + "-k3x9.tmp", false},
    };
    QStringList gone;
    for (const auto& [name, goes] : files) {
        ASSERT_TRUE(Put(Data(name), "bytes"));
        if (goes)
            gone << name;
    }
    ASSERT_TRUE(Put(Elsewhere("theirs"), "their bytes"));
    ASSERT_TRUE(QFile::link(Elsewhere("theirs"), Data(".ktmotor-" + dead + "-link.tmp")));
    ASSERT_TRUE(QDir().mkpath(Data(".ktmotor-" + dead + "-dir.tmp")));
    const std::string elsewhere = Snapshot(Elsewhere());

    QStringList removed = RegularFile::RemoveLeftovers(Data());
    removed.sort();
    gone.sort();
    EXPECT_EQ(Text(removed), Text(gone));
    for (const auto& [name, goes] : files)
        EXPECT_EQ(QFileInfo::exists(Data(name)), !goes) << name.toStdString();
    EXPECT_TRUE(QFileInfo(Data(".ktmotor-" + dead + "-link.tmp")).isSymLink());
    EXPECT_TRUE(QFileInfo(Data(".ktmotor-" + dead + "-dir.tmp")).isDir());
    EXPECT_EQ(Snapshot(Elsewhere()), elsewhere);
    EXPECT_EQ(Text(RegularFile::RemoveLeftovers(Data())), "");
}

// Copies an earlier version left on their way to their name, without a
// maker: offered once nothing has touched them for a minute, by their age
// among the others; a newer program's copy on its way is left to it.
TEST_F(PrivateFilesTest, TemporaryCopiesOfEarlierVersionsAreOffered) {
    const QString own = QString::number(QCoreApplication::applicationPid());
    ASSERT_TRUE(Put(Data(".ktmotor-old1.tmp"), Copy("old")));
    {
        QFile old(Data(".ktmotor-old1.tmp"));
        ASSERT_TRUE(old.open(QIODevice::ReadWrite));
        ASSERT_TRUE(old.setFileTime(QDateTime::currentDateTime().addSecs(-120),
                                    QFileDevice::FileModificationTime));
    }
    ASSERT_TRUE(Put(Data(".ktmotor-new1.tmp"), Copy("new")));
    ASSERT_TRUE(Put(Data(".ktmotor-" + own + "-a1.tmp"), Copy("own")));
    ASSERT_TRUE(Put(Data("1-x.ktrecovery"), Copy("recent")));

    const auto found = RecoveryFile::LeftBehind(Data());
    ASSERT_EQ(found.size(), 2u);
    EXPECT_EQ(found[0]->Read().content.text.toStdString(), "recent");
    EXPECT_EQ(found[1]->Read().content.text.toStdString(), "old");
    EXPECT_TRUE(found[1]->Path().endsWith(RecoveryFile::kSuffix));
    EXPECT_FALSE(QFileInfo::exists(Data(".ktmotor-old1.tmp")));
    const auto text = [](const QString& path) {
        return RecoveryFile::Decode(Bytes(path)).content.text.toStdString();
    };
    EXPECT_EQ(text(Data(".ktmotor-new1.tmp")), "new");
    EXPECT_EQ(text(Data(".ktmotor-" + own + "-a1.tmp")), "own");
}

// Copies on their way to one name, left by programs gone: the newest whole
// one is what stays, whether it is the one in place or one on its way.
TEST_F(PrivateFilesTest, TheNewestWholeCopyStays) {
    // The copy in place and those on their way, by text and age in seconds
    // ("" for none, "cut" for one cut short); what stays.
    using Made = std::pair<QString, int>;
    const std::tuple<Made, std::vector<Made>, QString> cases[] = {
        {{"", 0}, {{"a", 5}, {"b", 1}}, "b"},
        {{"a", 1}, {{"b", 5}}, "a"},
        {{"a", 5}, {{"b", 1}, {"cut", 0}}, "b"},
        {{"a", 5}, {{"b", 9}, {"c", 1}}, "c"},
        {{"a", 3}, {{"b", 3}}, "b"}, // within the clock's step: written after the one in place
    };
    const QDateTime now = QDateTime::currentDateTime();
    for (const auto& [inPlace, onTheirWay, stays] : cases) {
        SCOPED_TRACE(stays.toStdString());
        QTemporaryDir data;
        const auto copy = [&now](const Made& made) {
            const QByteArray bytes =
                RecoveryFile::Encode(Work(made.first, now.addSecs(-made.second)));
            return made.first == "cut" ? bytes.chopped(1) : bytes;
        };
        ASSERT_TRUE(inPlace.first.isEmpty() || Put(data.filePath("1-x.ktrecovery"), copy(inPlace)));
        int n = 0;
        for (const auto& made : onTheirWay) {
            const QString name = QStringLiteral(".1-x.ktrecovery.ktmotor-1-%1.tmp").arg(++n);
            ASSERT_TRUE(Put(data.filePath(name), copy(made)));
        }
        const auto found = RecoveryFile::LeftBehind(data.path());
        ASSERT_EQ(found.size(), 1u);
        EXPECT_EQ(found[0]->Path().toStdString(), data.filePath("1-x.ktrecovery").toStdString());
        EXPECT_EQ(found[0]->Read().content.text.toStdString(), stays.toStdString());
        EXPECT_EQ(Text(QDir(data.path()).entryList(QDir::Files | QDir::Hidden)),
                  "1-x.ktrecovery|1-x.ktrecovery.lock");
    }
}
