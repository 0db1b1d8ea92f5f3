// ktmotor: the desktop programming environment.
#include "device/frm_device.h"
#include "drive/virtual_drive.h"
#include "drive/virtual_drive_transport.h"
#include "link/frm_motor_com.h"
#include "link/port_directory.h"
#include "mainwindow/frm_motor.h"
#include "platform/dialog_prompts.h"

#include <QApplication>
#include <QCommandLineParser>
#include <QPointer>

#include <memory>

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

    kt::platform::DialogPrompts prompts;
    kt::drive::VirtualDrive virtualDrive;
    kt::link::PortDirectory ports(parser.values(QStringLiteral("port")));
    if (parser.isSet(QStringLiteral("virtual-drive"))) {
        ports.AddPort(
            QStringLiteral("virtual-drive"),
            [&virtualDrive] {
                return std::make_unique<kt::drive::VirtualDriveTransport>(virtualDrive);
            },
            true);
    }
    // The one link of the program: made when first needed, kept to the end.
    std::unique_ptr<kt::link::FrmMotorCom> link;

    kt::mainwindow::FrmMotor window(prompts);
    prompts.SetParent(&window);
    QPointer<kt::device::FrmDevice> device;
    bool opening = false;
    QObject::connect(&window, &kt::mainwindow::FrmMotor::deviceRequested, &window, [&] {
        // The new window searches the ports, and events flow meanwhile: a
        // second Device click must not start another window.
        if (opening)
            return;
        if (!device) {
            opening = true;
            if (!link) {
                link = std::make_unique<kt::link::FrmMotorCom>(
                    prompts, [&ports](int n) { return ports.Create(n); });
            }
            device = new kt::device::FrmDevice(
                *link, prompts,
                [&window](std::uint8_t& error, long& lineCount) {
                    return window.ProgramData(error, lineCount);
                },
                &window);
            opening = false;
        }
        device->show();
        device->raise();
        device->activateWindow();
    });
    window.show();
    window.ShowStartUpCard();
    return QApplication::exec();
}
