// The desktop program for the crash tests to run and kill, offscreen:
//   recovery_child [--stop-before-rename] APPLICATION_FOLDER TEXT [PROGRAM_FILE]
// Its data folder lies in APPLICATION_FOLDER, found through XDG_DATA_HOME as
// for a user. Opens the program file when one is named, types the text, says
// "ready COPY" once its copy holds the text, and runs until it is killed; or
// says "stopped TEMPORARY_FILE" when its first copy is about to be renamed.
#include "app/desktop_app.h"
#include "editor/kt_text.h"
#include "editor/text_box.h"
#include "files/recovery_file.h"
#include "files/regular_file.h"
#include "mainwindow/frm_motor.h"

#include <QApplication>
#include <QFile>
#include <QTest>
#include <QTimer>

#include <chrono>
#include <cstdio>
#include <thread>

using kt::files::RecoveryFile;
using namespace std::chrono_literals;

static void Say(const QByteArray& line) {
    std::fputs((line + '\n').constData(), stdout);
    std::fflush(stdout);
}

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KtMotor"));
    QStringList args = QApplication::arguments();
    if (args.value(1) == QLatin1String("--stop-before-rename")) {
        kt::files::RegularFile::SetBeforeRename([](const QByteArray& temporary) {
            Say("stopped " + temporary);
            for (;;)
                std::this_thread::sleep_for(1h);
        });
        args.removeAt(1);
    }
    if (args.size() < 3)
        return 64;
    qputenv("XDG_DATA_HOME", QFile::encodeName(args[1]));
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
