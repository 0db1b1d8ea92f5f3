// ktmotor: the desktop programming environment.
#include "mainwindow/frm_motor.h"
#include "platform/dialog_prompts.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KtMotor"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("KtMotor programming environment"));
    parser.addHelpOption();
    // Read here already so that scripts can pass them; the device window
    // uses them once it finds the drive.
    parser.addOption({QStringLiteral("virtual-drive"),
                      QStringLiteral("Attach a virtual drive as an extra port.")});
    parser.addOption(
        {QStringLiteral("port"),
         QStringLiteral("A serial port to search (repeatable); replaces the system's list."),
         QStringLiteral("DEVICE")});
    parser.process(app);

    kt::platform::DialogPrompts prompts;
    kt::mainwindow::FrmMotor window(prompts);
    prompts.SetParent(&window);
    window.show();
    window.ShowStartUpCard();
    return QApplication::exec();
}
