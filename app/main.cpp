// ktmotor: the desktop programming environment.
#include "app/desktop_app.h"
#include "drive/virtual_drive_transport.h"
#include "files/file_name.h"

#include <QApplication>
#include <QCommandLineParser>

#include <memory>

namespace {

// --help and --version print and end: they need no display.
bool OnlyPrints(int argc, char* argv[]) {
    for (int i = 1; i < argc; ++i) {
        const QByteArray word(argv[i]);
        if (word == "--") // what follows is a file name
            return false;
        if (word == "-h" || word == "--help" || word == "--help-all" || word == "-v" ||
            word == "--version")
            return true;
    }
    return false;
}

} // namespace

int main(int argc, char* argv[]) {
    const std::unique_ptr<QCoreApplication> app =
        OnlyPrints(argc, argv) ? std::make_unique<QCoreApplication>(argc, argv)
                               : std::make_unique<QApplication>(argc, argv);
    QApplication::setApplicationName(QStringLiteral("KtMotor"));
    QApplication::setApplicationVersion(QStringLiteral(KT_VERSION));

    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("KtMotor programming environment"));
    parser.addHelpOption();
    parser.addVersionOption();
    parser.addOption(
        {QStringLiteral("virtual-drive"), QStringLiteral("Attach a virtual drive as port 1.")});
    parser.addOption(
        {QStringLiteral("port"),
         QStringLiteral("A serial port to search (repeatable); replaces the system's list."),
         QStringLiteral("DEVICE")});
    parser.addPositionalArgument(QStringLiteral("FILE"),
                                 QStringLiteral("A program file (.KtVbM) to open at start."),
                                 QStringLiteral("[FILE]"));
    // The words as the system passed them: a file name that is not valid
    // UTF-8 keeps its bytes (Qt's own list would have replaced them).
    QStringList arguments;
#ifdef Q_OS_UNIX
    for (int i = 0; i < argc; ++i)
        arguments << kt::files::FileName::FromBytes(QByteArray(argv[i]));
#else
    arguments = QCoreApplication::arguments();
#endif
    parser.process(arguments);
    const QStringList files = parser.positionalArguments();
    if (files.size() > 1)
        parser.showHelp(64);

    kt::app::DesktopApp desktop(parser.values(QStringLiteral("port")),
                                parser.isSet(QStringLiteral("virtual-drive")));
    // A downloaded program runs on the virtual drive as time goes by, and
    // the drive answers at the pace of a real line.
    desktop.Drive().SetRealTime(true);
    desktop.SetVirtualDriveByteTime(kt::drive::VirtualDriveTransport::kLineByteTime);
    desktop.Show(files.value(0));
    return QApplication::exec();
}
