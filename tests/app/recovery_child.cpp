// A run of the desktop program for the crash tests, offscreen: it opens the
// program file when one is named, types the text, waits until its copy of
// the unsaved work holds that text, says "ready" and goes on running until
// it is killed. Its data folder comes from XDG_DATA_HOME, as for a user.
// Usage: recovery_child APPLICATION_FOLDER TEXT [PROGRAM_FILE]
#include "app/desktop_app.h"
#include "editor/kt_text.h"
#include "editor/text_box.h"
#include "mainwindow/frm_motor.h"
#include "mainwindow/recovery_file.h"

#include <QApplication>
#include <QFile>
#include <QTest>
#include <QTimer>

#include <cstdio>

using namespace std::chrono_literals;

int main(int argc, char* argv[]) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KtMotor"));
    const QStringList args = QApplication::arguments();
    if (args.size() < 3)
        return 64;

    kt::app::DesktopApp desktop({}, false, args[1], args[1]);
    desktop.SetRecoveryInterval(20ms);
    desktop.Show(args.value(3));
    kt::editor::TextBox* box = desktop.Window().KtText1()->RText();
    QTest::keyClicks(box, args[2]);
    const QString typed = box->Text();

    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &app, [&] {
        QFile copy(desktop.RecoveryPath());
        if (!copy.open(QIODevice::ReadOnly))
            return;
        const auto loaded = kt::mainwindow::RecoveryFile::Decode(copy.readAll());
        if (loaded.status != kt::mainwindow::RecoveryFile::Status::Ok ||
            loaded.content.text != typed)
            return;
        poll.stop();
        std::puts("ready");
        std::fflush(stdout);
    });
    poll.start(10);
    return QApplication::exec();
}
