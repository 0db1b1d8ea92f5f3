#include "app/desktop_app.h"

#include "device/frm_device.h"
#include "drive/virtual_drive_transport.h"
#include "link/frm_motor_com.h"
#include "mainwindow/frm_motor.h"

#include <QApplication>
#include <QCloseEvent>

namespace kt::app {

DesktopApp::DesktopApp(const QStringList& devices, bool virtualDrive,
                       const QString& applicationFolder, const QString& documentsFolder)
    : m_ports(devices) {
    if (virtualDrive) {
        m_ports.AddPort(
            QStringLiteral("virtual-drive"),
            [this] { return std::make_unique<drive::VirtualDriveTransport>(m_virtualDrive); },
            true);
    }
    m_window =
        std::make_unique<mainwindow::FrmMotor>(m_prompts, applicationFolder, documentsFolder);
    m_prompts.SetParent(m_window.get());
    m_window->installEventFilter(this);
    connect(m_window.get(), &mainwindow::FrmMotor::deviceRequested, this, &DesktopApp::ShowDevice);
}

DesktopApp::~DesktopApp() {
    // The device window belongs to the main window and goes with it, before
    // the link it talks to.
    m_window.reset();
}

void DesktopApp::Show(const QString& file) {
    m_window->show();
    m_window->ShowStartUpCard();
    if (!file.isEmpty())
        m_window->OpenFile(file);
}

link::FrmMotorCom& DesktopApp::Link() {
    if (!m_link) {
        m_link = std::make_unique<link::FrmMotorCom>(m_prompts,
                                                     [this](int n) { return m_ports.Create(n); });
    }
    return *m_link;
}

void DesktopApp::ShowDevice() {
    // The new window searches the ports, and events flow meanwhile: a
    // second Device click must not start another window.
    if (m_opening)
        return;
    if (!m_device) {
        m_opening = true;
        m_device = new device::FrmDevice(
            Link(), m_prompts,
            [this](std::uint8_t& error, long& lineCount) {
                return m_window->ProgramData(error, lineCount);
            },
            m_window.get());
        m_opening = false;
    }
    m_device->show();
    m_device->raise();
    m_device->activateWindow();
}

bool DesktopApp::eventFilter(QObject* watched, QEvent* event) {
    if (watched != m_window.get() || event->type() != QEvent::Close)
        return QObject::eventFilter(watched, event);
    // The window decides (it may ask about unsaved work); we act on its
    // answer, which Qt reads from the event afterwards.
    static_cast<QObject*>(m_window.get())->event(event);
    if (event->isAccepted())
        End();
    return true;
}

void DesktopApp::End() {
    if (m_device)
        m_device->close();
    // Qt's own quit on the last window gives up when a window refuses to
    // close, as the device window does while its command waits, and then
    // nothing ends the program. Leave every loop, however deeply the
    // questions were nested: a waiting command gives up its exchange.
    QCoreApplication::exit(0);
}

} // namespace kt::app
