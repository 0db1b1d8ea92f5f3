// The desktop application put together: the prompts shown as dialogs, the
// ports (with a virtual drive when asked), the one link made on first use,
// the main window and its device window. It also decides when the program
// ends: once the main window has closed, whatever questions were open on top
// of each other. While the program has unsaved changes it keeps a copy of
// them against a crash, and offers at start the copies that crashed runs
// left. Not a window itself, and it parses no command line.
#pragma once

#include "device/frm_device.h"
#include "drive/virtual_drive.h"
#include "link/link_observer.h"
#include "link/port_directory.h"
#include "mainwindow/frm_motor.h"
#include "monitor/frm_communication.h"
#include "monitor/frm_monitor.h"
#include "platform/dialog_prompts.h"
#include "simulator/frm_simulator.h"

#include <QObject>
#include <QPointer>
#include <QStringList>
#include <QTimer>

#include <chrono>
#include <memory>

namespace kt::link {
class FrmMotorCom;
}
namespace kt::mainwindow {
class FrmMotor;
} // namespace kt::mainwindow
namespace kt::files {
class RecoveryFile;
} // namespace kt::files

namespace kt::app {

class DesktopApp : public QObject, private link::LinkObserver {
    Q_OBJECT

public:
    // devices replaces the platform's ports when not empty; virtualDrive
    // attaches an in-process drive as port 1. The folders are the main
    // window's (empty: beside the executable).
    DesktopApp(const QStringList& devices, bool virtualDrive, const QString& applicationFolder = {},
               const QString& documentsFolder = {});
    ~DesktopApp() override;

    // Where the copies of unsaved work live (default: the application's
    // data folder) and how often the copy is brought up to date. Before Show().
    void SetRecoveryFolder(const QString& folder) { m_recoveryFolder = folder; }
    void SetRecoveryInterval(std::chrono::milliseconds interval) {
        m_recoveryTimer.setInterval(interval);
    }
    // How long each byte takes on the virtual drive's line; zero, the
    // default, answers at once (tests). The application uses the real
    // line's pace, so what a user sees without hardware is what a drive
    // gives. Applies to ports opened afterwards.
    void SetVirtualDriveByteTime(std::chrono::nanoseconds perByte) { m_virtualByteTime = perByte; }
    // This run's copy of unsaved work; empty before Show().
    QString RecoveryPath() const;
    // A tick of the recovery timer: copies work changed since the last
    // tick, drops a copy that is no longer needed.
    void KeepRecovery();

    // Shows the main window with its start-up card, opens file when one is
    // named (from the command line), with Open's checks, then offers the
    // unsaved work of runs that crashed.
    void Show(const QString& file = {});
    // The Device menu: opens the device window, or brings it to the front.
    void ShowDevice();
    // The Simulate menu: opens the simulator window on the virtual drive
    // (made on first use) and passes the command on.
    void Simulate(mainwindow::FrmMotor::SimulatorCommand command);
    simulator::FrmSimulator* Simulator() const { return m_simulator; }
    // Monitor, Communication: the log of every exchange, from the first one
    // after it opened.
    void ShowCommunication();
    monitor::FrmCommunication* Communication() const { return m_communication; }
    // Monitor, Values and Connection: the live plots, with the port chooser
    // in their tool bar. The window and its recording stay when it closes.
    void ShowMonitor(bool connection = false);
    monitor::FrmMonitor* Monitor() const { return m_monitor; }

    mainwindow::FrmMotor& Window() { return *m_window; }
    device::FrmDevice* Device() const { return m_device; }
    drive::VirtualDrive& Drive() { return m_virtualDrive; }
    link::FrmMotorCom& Link();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void End();
    // The status bar's drive field follows every exchange.
    void Observe(const link::LinkEvent& event) override;
    void ShowConnection();
    void OfferRecovery();
    // The temporary files of saves that other runs left when they died.
    void RemoveSaveLeftovers();

    platform::DialogPrompts m_prompts;
    drive::VirtualDrive m_virtualDrive;
    link::PortDirectory m_ports;
    // The one link of the program: made when first needed, kept to the end.
    std::unique_ptr<link::FrmMotorCom> m_link;
    std::unique_ptr<mainwindow::FrmMotor> m_window;
    QPointer<device::FrmDevice> m_device;
    QPointer<simulator::FrmSimulator> m_simulator;
    QPointer<monitor::FrmCommunication> m_communication;
    QPointer<monitor::FrmMonitor> m_monitor;
    bool m_opening = false;
    std::chrono::nanoseconds m_virtualByteTime{0};

    QString m_recoveryFolder;
    QTimer m_recoveryTimer;
    std::unique_ptr<files::RecoveryFile> m_recovery;
    bool m_recoveryOnDisk = false;
    bool m_textEdited = true; // since the text was last taken for a copy
    QString m_recoveredText;  // as last written, with the two below
    QString m_recoveredFile;
    bool m_recoveredUntitled = true;
    QString m_recoveryFailure; // told once until a copy succeeds again
    bool m_tellingFailure = false;
};

} // namespace kt::app
