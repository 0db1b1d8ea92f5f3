// ktmotor: the desktop programming environment.
#include "app/desktop_app.h"

#include <QApplication>
#include <QCommandLineParser>

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KtMotor"));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("KtMotor programming environment"));
    parser.addHelpOption();
    parser.addOption(
        {QStringLiteral("virtual-drive"), QStringLiteral("Attach a virtual drive as port 1.")});
    parser.addOption(
        {QStringLiteral("port"),
         QStringLiteral("A serial port to search (repeatable); replaces the system's list."),
         QStringLiteral("DEVICE")});
    parser.process(app);

    kt::app::DesktopApp desktop(parser.values(QStringLiteral("port")),
                                parser.isSet(QStringLiteral("virtual-drive")));
    desktop.Show();
    return QApplication::exec();
}
