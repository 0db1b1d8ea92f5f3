#include "app/desktop_app.h"

#include "compiler/program_text.h"
#include "connection/connection_panel.h"
#include "device/frm_device.h"
#include "drive/virtual_drive_transport.h"
#include "editor/kt_text.h"
#include "editor/text_box.h"
#include "files/program_files.h"
#include "files/recovery_file.h"
#include "files/regular_file.h"
#include "link/frm_motor_com.h"
#include "mainwindow/frm_motor.h"
#include "platform/app_settings.h"

#include <QApplication>
#include <QCloseEvent>
#include <QComboBox>
#include <QFileInfo>
#include <QLocale>
#include <QStandardPaths>

using namespace std::chrono_literals;

namespace kt::app {

DesktopApp::DesktopApp(const QStringList& devices, bool virtualDrive,
                       const QString& applicationFolder, const QString& documentsFolder)
    : m_ports(devices) {
    if (virtualDrive) {
        m_ports.AddPort(
            QStringLiteral("virtual-drive"),
            [this] {
                auto port = std::make_unique<drive::VirtualDriveTransport>(m_virtualDrive);
                port->SetByteTime(m_virtualByteTime);
                return port;
            },
            true);
    }
    m_window =
        std::make_unique<mainwindow::FrmMotor>(m_prompts, applicationFolder, documentsFolder);
    m_prompts.SetParent(m_window.get());
    m_window->installEventFilter(this);
    connect(m_window.get(), &mainwindow::FrmMotor::deviceRequested, this, &DesktopApp::ShowDevice);
    connect(m_window.get(), &mainwindow::FrmMotor::simulatorRequested, this, &DesktopApp::Simulate);
    connect(m_window.get(), &mainwindow::FrmMotor::communicationRequested, this,
            &DesktopApp::ShowCommunication);
    connect(m_window.get(), &mainwindow::FrmMotor::monitorRequested, this,
            [this] { ShowMonitor(); });
    connect(m_window.get(), &mainwindow::FrmMotor::connectionRequested, this,
            [this] { ShowMonitor(true); });
    connect(m_window->KtText1()->RText(), &QPlainTextEdit::textChanged, this,
            [this] { m_textEdited = true; });
    m_recoveryTimer.setInterval(3s);
    connect(&m_recoveryTimer, &QTimer::timeout, this, &DesktopApp::KeepRecovery);
}

DesktopApp::~DesktopApp() {
    // Ended some other way than by closing the window: work still unsaved
    // keeps its copy, and the next start offers it.
    if (m_recovery && !m_window->Changed())
        m_recovery->Remove();
    m_recovery.reset();
    // The device window belongs to the main window and goes with it, before
    // the link it talks to.
    m_window.reset();
}

void DesktopApp::Show(const QString& file) {
    m_window->show();
    m_window->ShowStartUpCard();
    if (const QString problem = platform::AppSettings::TakeProblem(); !problem.isEmpty())
        m_prompts.Message({.text = problem, .icon = platform::Icon::Exclamation});
    if (!file.isEmpty())
        m_window->OpenFile(file);
    // After the file: restored work then replaces only text that is on disk.
    if (!m_recovery) {
        RemoveSaveLeftovers();
        OfferRecovery();
        m_recoveryTimer.start();
    }
}

void DesktopApp::RemoveSaveLeftovers() {
    // A save killed halfway leaves its temporary file beside the program,
    // or beside a link's target, which is what a save through a link writes.
    QStringList folders{m_window->Files().ProgramsFolder()};
    for (const QString& recent : m_window->RecentFiles()) {
        folders << QFileInfo(recent).absolutePath();
        if (const QString target = QFileInfo(recent).canonicalFilePath(); !target.isEmpty())
            folders << QFileInfo(target).absolutePath();
    }
    folders.removeDuplicates();
    for (const QString& folder : folders)
        files::RegularFile::RemoveLeftovers(folder);
}

QString DesktopApp::RecoveryPath() const {
    return m_recovery ? m_recovery->Path() : QString();
}

void DesktopApp::OfferRecovery() {
    using files::RecoveryFile;
    QString folder = m_recoveryFolder;
    if (folder.isEmpty())
        folder = QStandardPaths::writableLocation(QStandardPaths::AppDataLocation);
    if (folder.isEmpty())
        return; // nowhere to keep copies on this system
    // Newest first; one window takes one of them, the rest wait for the next
    // start.
    for (std::unique_ptr<RecoveryFile>& file : RecoveryFile::LeftBehind(folder)) {
        RecoveryFile::Loaded loaded = file->Read();
        // Held to Open's limit: a larger text would leave the window unusable.
        if (loaded.status == RecoveryFile::Status::Ok &&
            loaded.content.text.size() > files::RegularFile::kMaxProgramFileBytes) {
            loaded.status = RecoveryFile::Status::Unreadable;
            loaded.error = QStringLiteral("It holds more than the %1 MiB a program file may hold")
                               .arg(files::RegularFile::kMaxProgramFileBytes / (1024 * 1024));
        }
        if (loaded.status != RecoveryFile::Status::Ok) {
            // Kept either way: a newer version may read it, a person may
            // rescue text from a damaged one.
            QString kept = file->Path();
            if (loaded.status == RecoveryFile::Status::Damaged) {
                const QString aside = file->SetAside();
                kept = aside.isEmpty() ? kept : aside;
            }
            m_prompts.Message(
                {.text = QStringLiteral("KtMotor was not closed properly, but the unsaved work it "
                                        "left cannot be restored:\n%1.\nThe file is kept as %2.")
                             .arg(loaded.error, kept),
                 .icon = platform::Icon::Exclamation});
            continue;
        }
        const RecoveryFile::Content& work = loaded.content;
        const QString program = work.untitled
                                    ? QStringLiteral("the unsaved untitled program")
                                    : QStringLiteral("the unsaved program %1")
                                          .arg(files::ProgramFiles::Title(work.programFile));
        const platform::Answer answer = m_prompts.Message(
            {.text = QStringLiteral("KtMotor was not closed properly.\nRestore %1 from %2?")
                         .arg(program,
                              QLocale().toString(work.saved.toLocalTime(), QLocale::ShortFormat)),
             .buttons = platform::Buttons::YesNo,
             .icon = platform::Icon::Question,
             .defaultAnswer = platform::Answer::Yes});
        if (answer == platform::Answer::Yes) {
            m_window->RestoreUnsaved(work.text, work.untitled ? QString() : work.programFile);
            // Its lock is ours now: the copy goes on in the same file, and a
            // crash before the next tick loses nothing.
            m_recovery = std::move(file);
            m_recoveryOnDisk = true;
            m_recoveredText = work.text;
            m_recoveredFile = work.programFile;
            m_recoveredUntitled = work.untitled;
            return;
        }
        if (answer != platform::Answer::No)
            break; // closed without an answer: asked again next time
        file->Remove();
    }
    m_recovery = RecoveryFile::New(folder);
}

void DesktopApp::KeepRecovery() {
    if (!m_recovery || m_tellingFailure)
        return;
    if (!m_window->Changed()) {
        // Saved, or let go: nothing left to lose.
        if (m_recoveryOnDisk && m_recovery->Remove())
            m_recoveryOnDisk = false;
        return;
    }
    const QString programFile = m_window->ProgramFile();
    const bool untitled = m_window->Untitled();
    // The whole text is built only after an edit: a large program that sits
    // unsaved costs nothing between edits.
    if (m_recoveryOnDisk && !m_textEdited && programFile == m_recoveredFile &&
        untitled == m_recoveredUntitled)
        return;
    m_textEdited = false;
    const QString text = m_window->KtText1()->RText()->Text();
    if (m_recoveryOnDisk && text == m_recoveredText && programFile == m_recoveredFile &&
        untitled == m_recoveredUntitled)
        return;
    const QString failure =
        text.size() > files::RegularFile::kMaxProgramFileBytes
            ? QStringLiteral("The program is larger than the %1 MiB a program file may hold.")
                  .arg(files::RegularFile::kMaxProgramFileBytes / (1024 * 1024))
            : m_recovery->Write({.text = text,
                                 .programFile = programFile,
                                 .untitled = untitled,
                                 .saved = QDateTime::currentDateTime()});
    if (failure.isEmpty()) {
        m_recoveryOnDisk = true;
        m_recoveredText = text;
        m_recoveredFile = programFile;
        m_recoveredUntitled = untitled;
        m_recoveryFailure.clear();
        return;
    }
    // The previous copy, if any, is still whole; the next tick tries again.
    if (!m_recoveryFailure.isEmpty())
        return;
    m_recoveryFailure = failure;
    // The box waits in an event loop where the timer goes on ticking.
    m_tellingFailure = true;
    m_prompts.Message(
        {.text = QStringLiteral("Could not keep a copy of the unsaved program against a crash in "
                                "%1:\n%2\nKtMotor keeps trying. Saving the program keeps it safe.")
                     .arg(QFileInfo(m_recovery->Path()).absolutePath(), failure),
         .icon = platform::Icon::Exclamation});
    m_tellingFailure = false;
}

link::FrmMotorCom& DesktopApp::Link() {
    if (!m_link) {
        m_link = std::make_unique<link::FrmMotorCom>(m_prompts,
                                                     [this](int n) { return m_ports.Create(n); });
        m_link->AddObserver(this);
        // The port that answered last is tried first; kept by device name,
        // as numbers follow what is plugged in.
        m_link->SetPreferredPort(m_ports.PortNumberOf(
            platform::AppSettings::Value(QStringLiteral("connection/lastPort")).toString()));
        connect(m_link.get(), &link::FrmMotorCom::portFound, this, [this](int port) {
            platform::AppSettings::SetValue(QStringLiteral("connection/lastPort"),
                                            m_ports.DeviceName(port));
        });
    }
    return *m_link;
}

void DesktopApp::Observe(const link::LinkEvent& event) {
    if (event.kind == link::LinkEvent::Kind::Ended)
        ShowConnection();
}

void DesktopApp::ShowConnection() {
    const int port = m_link ? m_link->PortNumber() : 0;
    m_window->ShowConnection(
        port > 0 ? QStringLiteral("port %1 (%2)").arg(port).arg(m_ports.DeviceName(port))
                 : QStringLiteral("not connected"));
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
        ShowConnection(); // the search's own exchanges end before it names the port
    }
    m_device->show();
    m_device->raise();
    m_device->activateWindow();
}

void DesktopApp::ShowCommunication() {
    if (!m_communication) {
        m_communication = new monitor::FrmCommunication(m_prompts, m_window.get());
        m_communication->setAttribute(Qt::WA_DeleteOnClose);
        m_communication->Attach(Link());
    }
    m_communication->show();
    m_communication->raise();
}

void DesktopApp::ShowMonitor(bool connection) {
    if (!m_monitor)
        m_monitor = new monitor::FrmMonitor(Link(), m_ports, m_prompts, m_window.get());
    // A window of its own, not a sheet of the main window.
    m_monitor->setWindowFlag(Qt::Window);
    m_monitor->show();
    m_monitor->raise();
    m_monitor->activateWindow();
    if (connection)
        m_monitor->Connection().Chooser()->setFocus();
}

void DesktopApp::Simulate(mainwindow::FrmMotor::SimulatorCommand command) {
    using Command = mainwindow::FrmMotor::SimulatorCommand;
    if (!m_simulator) {
        editor::KtText* text = m_window->KtText1();
        m_simulator = new simulator::FrmSimulator(
            m_virtualDrive, m_prompts,
            [this](std::uint8_t& error, long& lineCount) {
                return m_window->ProgramData(error, lineCount);
            },
            [this] { return m_window->StatementLines(); }, m_window.get());
        m_simulator->setAttribute(Qt::WA_DeleteOnClose);
        connect(m_simulator, &simulator::FrmSimulator::statementLine, text,
                &editor::KtText::SetRunLine);
        connect(text, &editor::KtText::marksChanged, m_simulator,
                [this] { m_simulator->SetBreakLines(m_window->MarkedLines()); });
        // The program being run is the text as it was: an edit ends the run.
        connect(text, &editor::KtText::SelChange, m_simulator, [this](bool textChange) {
            if (textChange &&
                m_simulator->CurrentState() != simulator::FrmSimulator::State::Stopped)
                m_simulator->ProgramEdited();
        });
        m_simulator->SetTextSource([this] {
            return compiler::Utf8ToWindows1252(m_window->KtText1()->RText()->Text().toStdString());
        });
        // While paused the editor shows the values beside the code and on
        // hovering a name; the simulator says when they go stale.
        connect(m_simulator, &simulator::FrmSimulator::lineNotes, text,
                &editor::KtText::SetLineNotes);
        text->SetHoverSource([this](const QString& word) {
            return m_simulator ? m_simulator->HoverText(word) : QString();
        });
        connect(m_simulator, &QObject::destroyed, text, [text] {
            text->ClearLineNotes();
            text->SetHoverSource({});
        });
        m_simulator->SetBreakLines(m_window->MarkedLines());
    }
    m_simulator->show();
    m_simulator->raise();
    switch (command) {
    case Command::Run:
        m_simulator->Run();
        break;
    case Command::Pause:
        m_simulator->Pause();
        break;
    case Command::Step:
        m_simulator->Step();
        break;
    case Command::Stop:
        m_simulator->Stop();
        break;
    }
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
    // A clean end: whatever was unsaved was saved or let go.
    m_recoveryTimer.stop();
    if (m_recovery)
        m_recovery->Remove();
    m_recovery.reset();
    // Qt's own quit on the last window gives up when a window refuses to
    // close, as the device window does while its command waits, and then
    // nothing ends the program. Leave every loop, however deeply the
    // questions were nested: a waiting command gives up its exchange.
    QCoreApplication::exit(0);
}

} // namespace kt::app
