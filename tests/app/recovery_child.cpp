// A program for the crash tests to run and kill, offscreen. Its data folder
// comes from XDG_DATA_HOME, as for a user.
//
//   recovery_child [--stop-before-rename] APPLICATION_FOLDER TEXT [PROGRAM_FILE]
//     the desktop program: opens the program file when one is named, types
//     the text, waits until its copy of the unsaved work holds that text,
//     says "ready COPY" and runs until it is killed; its first copy may stop
//     just before it is renamed into place.
//   recovery_child copy FOLDER [TEXT...]
//     takes a new recovery file in FOLDER and writes a copy of each text in
//     turn, the last one stopped just before its rename; with no text it
//     says "ready COPY" and writes nothing.
//   recovery_child replace FILE TEXT
//     replaces FILE as Save does, stopping just before the rename.
//
// Where it stops it says "stopped TEMPORARY_FILE" and waits to be killed.
#include "app/desktop_app.h"
#include "editor/kt_text.h"
#include "editor/text_box.h"
#include "files/recovery_file.h"
#include "files/regular_file.h"
#include "mainwindow/frm_motor.h"

#include <QApplication>
#include <QDateTime>
#include <QFile>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <thread>

using kt::files::RecoveryFile;
using kt::files::RegularFile;
using namespace std::chrono_literals;

namespace {

void Say(const QByteArray& line) {
    std::fputs((line + '\n').constData(), stdout);
    std::fflush(stdout);
}

// Says line, then waits to be killed.
[[noreturn]] void SayAndWait(const QByteArray& line) {
    Say(line);
    for (;;)
        std::this_thread::sleep_for(1h);
}

void Stop(const QByteArray& temporary) {
    SayAndWait("stopped " + temporary);
}

int Desktop(const QStringList& args) {
    kt::app::DesktopApp desktop({}, false, args[1], args[1]);
    desktop.SetRecoveryInterval(20ms);
    desktop.Show(args.value(3));
    kt::editor::TextBox* box = desktop.Window().KtText1()->RText();
    QTest::keyClicks(box, args[2]);
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &desktop.Window(), [&] {
        QFile copy(desktop.RecoveryPath());
        const auto loaded =
            RecoveryFile::Decode(copy.open(QIODevice::ReadOnly) ? copy.readAll() : QByteArray());
        if (loaded.status == RecoveryFile::Status::Ok && loaded.content.text == box->Text()) {
            poll.stop(); // and runs on until it is killed
            Say("ready " + QFile::encodeName(desktop.RecoveryPath()));
        }
    });
    poll.start(10);
    return QApplication::exec();
}

} // namespace

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KtMotor"));
    QStringList args = QApplication::arguments();
    const QString mode = args.value(1);
    if (mode == QLatin1String("copy") && args.size() >= 3) {
        const std::unique_ptr<RecoveryFile> file = RecoveryFile::New(args[2]);
        for (qsizetype i = 3; i < args.size(); ++i) {
            if (i == args.size() - 1)
                RegularFile::SetBeforeRename(Stop);
            const QString failed = file->Write({.text = args[i],
                                                .programFile = {},
                                                .untitled = true,
                                                .saved = QDateTime::currentDateTime()});
            if (!failed.isEmpty())
                SayAndWait("failed " + failed.toUtf8());
        }
        SayAndWait("ready " + QFile::encodeName(file->Path()));
    }
    if (mode == QLatin1String("replace") && args.size() == 4) {
        RegularFile::SetBeforeRename(Stop);
        SayAndWait(
            "failed " +
            RegularFile::Replace(QFile::encodeName(args[2]), args[3].toUtf8()).error.toUtf8());
    }
    if (mode == QLatin1String("--stop-before-rename")) {
        RegularFile::SetBeforeRename(Stop);
        args.removeAt(1);
    }
    return args.size() < 3 ? 64 : Desktop(args);
}
