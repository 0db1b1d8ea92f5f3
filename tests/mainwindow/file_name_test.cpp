// File names that are not valid UTF-8 keep their bytes on every way into the
// main window: a name given at start, the Open dialog, Recent Files, a drop,
// a save. The files are real, in a temporary folder.
#include "editor/kt_text.h"
#include "editor/text_box.h"
#include "files/file_name.h"
#include "mainwindow/frm_motor.h"
#include "platform/scripted_prompts.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMenu>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

#include <fcntl.h>
#include <unistd.h>

using kt::files::FileName;
using kt::mainwindow::FrmMotor;

namespace {

bool PutBytes(const QByteArray& name, const QByteArray& bytes) {
    const int fd = ::open(name.constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0)
        return false;
    const bool written = ::write(fd, bytes.constData(), bytes.size()) == bytes.size();
    return ::close(fd) == 0 && written;
}

QByteArray GetBytes(const QByteArray& name) {
    QByteArray bytes(4096, '\0');
    const int fd = ::open(name.constData(), O_RDONLY);
    if (fd < 0)
        return "<missing>";
    const ssize_t n = ::read(fd, bytes.data(), bytes.size());
    ::close(fd);
    return bytes.left(n < 0 ? 0 : n);
}

} // namespace

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

TEST(FileName, EveryWayInKeepsTheBytes) {
    QTemporaryDir folder;
    const QByteArray dir = QFile::encodeName(folder.path());
    const QByteArray name = dir + "/prog\xFF.KtVbM";
    ASSERT_TRUE(PutBytes(name, "Do\r\nLoop\r\n"));
    // A neighbour that a dialog would show differently must not be taken.
    ASSERT_TRUE(PutBytes(dir + "/prog\xFE\xFE.KtVbM", "Stop\r\n"));
    const QString path = FileName::FromBytes(name);
    EXPECT_TRUE(FileName::Exists(path));

    kt::platform::ScriptedPrompts prompts;
    FrmMotor window(prompts, folder.path(), folder.path());
    kt::editor::TextBox* box = window.KtText1()->RText();

    // Named at start.
    ASSERT_TRUE(window.OpenFile(path)) << prompts.ShownTexts().size();
    EXPECT_EQ(box->Text(), "Do\r\nLoop\r\n");
    EXPECT_EQ(window.windowTitle(), QString::fromUtf8("prog\xEF\xBF\xBD"));

    // Saved back under its own bytes, not beside it under a mangled name.
    box->SetText("Do\r\nStop\r\n");
    ASSERT_TRUE(window.SaveProgram());
    EXPECT_EQ(GetBytes(name), "Do\r\nStop\r\n\r\n");

    // Recent Files, through the settings file and back.
    ASSERT_FALSE(window.RecentFiles().isEmpty());
    EXPECT_EQ(FileName::ToBytes(window.RecentFiles().front()), name);
    window.NewProgram();
    auto* recent = window.findChild<QMenu*>("AddFileRecent");
    emit recent->aboutToShow();
    recent->actions().front()->trigger();
    EXPECT_EQ(box->Text(), "Do\r\nStop\r\n");
    EXPECT_EQ(FileName::ToBytes(window.ProgramFile()), name);

    // The Open dialog shows the byte as U+FFFD and returns it so.
    window.NewProgram();
    prompts.PushFile(QString::fromUtf8(name));
    window.OpenProgram();
    EXPECT_EQ(FileName::ToBytes(window.ProgramFile()), name);
    EXPECT_EQ(box->Text(), "Do\r\nStop\r\n");

    // A drop carries the name percent-encoded.
    window.NewProgram();
    QMimeData data;
    data.setUrls({QUrl::fromEncoded("file://" + dir.toPercentEncoding("/") + "/prog%FF.KtVbM")});
    QWidget* target = box->viewport();
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    EXPECT_TRUE(enter.isAccepted());
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
    QTest::qWait(20);
    EXPECT_EQ(FileName::ToBytes(window.ProgramFile()), name);
    EXPECT_EQ(box->Text(), "Do\r\nStop\r\n");
    EXPECT_EQ(prompts.Unscripted().join(u'|').toStdString(), "");
    // QTemporaryDir removes by decoded names, which these do not have.
    ::unlink(name.constData());
    ::unlink((dir + "/prog\xFE\xFE.KtVbM").constData());
}
