// The main window: the program editor on the left, the instruction picker on
// the right, the menus. It checks every line the user ends as soon as it is
// ended, runs the compile command, gives the device window the program image
// (ProgramData), and opens help. Files, find, the About box and the device
// window are opened from here but live elsewhere.
#pragma once

#include "compiler/instruction_picker.h"
#include "compiler/program_compiler.h"
#include "files/program_files.h"
#include "mainwindow/frm_find.h"

#include <QByteArray>
#include <QMainWindow>
#include <QPointer>
#include <QStringList>

#include <cstdint>
#include <optional>

class QAction;
class QLabel;
class QListWidget;
class QMenu;
class QMimeData;
class QTimer;

namespace kt::editor {
class KtText;
}
namespace kt::platform {
class HelpViewer;
class PromptService;
} // namespace kt::platform

namespace kt::mainwindow {

class FrmMotor : public QMainWindow {
    Q_OBJECT

public:
    // The folders default to the executable's and the user's documents.
    explicit FrmMotor(platform::PromptService& prompts, const QString& applicationFolder = {},
                      const QString& documentsFolder = {}, QWidget* parent = nullptr);
    ~FrmMotor() override;

    editor::KtText* KtText1() const { return m_ktText1; }
    QListWidget* List1() const { return m_list1; }
    const compiler::InstructionPicker& Picker() const { return m_picker; }
    platform::HelpViewer* Help(); // created on first use

    // The picker's mode; the category menus are enabled only in mode 0.
    std::uint8_t DataMode() const { return m_picker.DataMode(); }
    void SetDataMode(std::uint8_t mode);

    // Compiles the editor's text; LineCount as the program compiler counts.
    std::uint8_t CompileText(long& LineCount);
    // The 254-byte program image of the editor's text, or empty when it does
    // not compile (RetError then tells why, RetLineCount where).
    QByteArray ProgramData(std::uint8_t& RetError, long& RetLineCount);

    bool Changed() const { return m_changed; }
    bool Untitled() const { return m_untitled; }
    QString ProgramFile() const { return m_programFile; }
    const files::ProgramFiles& Files() const { return m_files; }

    // The file commands; false when cancelled or failed (the user was told).
    bool SaveProgram();
    bool SaveProgramAs();
    void OpenProgram();
    void NewProgram();
    // Reads path into the editor as Open does once a name is chosen; false,
    // with the reason shown, when it cannot be read. Asks nothing first.
    bool OpenFile(const QString& path);
    // Puts recovered text into the editor as unsaved work of programFile
    // (empty: an untitled program). Writes no file.
    void RestoreUnsaved(const QString& text, const QString& programFile);

    // The About box as the start-up card, owned by this window.
    void ShowStartUpCard();
    FrmFind* FindDialog() const { return m_find; }
    int ListHelpContext() const { return m_listHelpContext; }

    void FillInstructionList();

    // The source line of each statement of the last compiled program.
    const std::vector<int>& StatementLines() const { return m_compiler.StatementLines(); }
    // The lines carrying a gutter mark, from 1.
    std::vector<int> MarkedLines() const;

    // The status bar's size and compile state follow the text kSizeDelayMs
    // after its last change, so typing never waits for a compile.
    static constexpr int kSizeDelayMs = 300;
    // Shows a pending size and state now; false when none was pending.
    bool SettleProgramSize();

    // The status bar's drive field: how the device window finds the drive.
    void ShowConnection(const QString& state);
    // The program files opened or saved last, newest first (at most 8).
    QStringList RecentFiles() const;
    static constexpr int kMaxRecentFiles = 8;
    // The folder File, Examples lists, or empty when no folder holds one.
    QString ExamplesFolder() const;

    enum class SimulatorCommand { Run, Pause, Step, Stop };

signals:
    // The Device menu: the device window lives elsewhere.
    void deviceRequested();
    // The Simulate menu: the simulator window lives elsewhere too.
    void simulatorRequested(kt::mainwindow::FrmMotor::SimulatorCommand command);
    // Monitor, Communication: every exchange with the drive.
    void communicationRequested();
    // Monitor, Values: live plots; Connection: the port chooser.
    void monitorRequested();
    void connectionRequested();

protected:
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    QAction* AddAction(QMenu* menu, const char* name, const QString& caption,
                       const QKeySequence& shortcut = {});
    QAction* AddTopLevel(const char* name, const QString& caption);
    void BuildMenus();
    void OnFileMenu();
    void OnEditMenu();
    void UpdateEnabling();
    void OnCompile();
    void OnSelChange(bool textChange);
    void OnCompileLine(const QString& oldLine);
    void OnKeywordHelp();
    void OnListDoubleClicked();
    void OnListClicked();
    void OnListHelp();
    void OnCategory(compiler::PickerCategory category);
    void ShowLineNumber();
    void RefreshList();
    void LayOut();
    void Say(const QString& text);
    // The save dialog's choice, completed with the program extension.
    QString ChooseSaveFile(const QString& title);
    // Writes the text to path; only a successful write names the program.
    bool WriteProgram(const QString& path);
    // Offers to save unsaved work; false when the command should not go on.
    bool SaveBeforeDiscarding();
    void ShowText(const QString& text);
    void ShowCaretPosition();
    // The program's size in the status bar, from compiling the whole text,
    // or where and why it does not compile.
    void ShowProgramSize();
    void BuildStatusBar();
    void RememberFile(const QString& path);
    void FillRecentMenu();
    void OpenRecent(const QString& path);
    void FillExamplesMenu();
    void OpenExample(const QString& path);
    // A program file's text, or nothing with the reason told.
    std::optional<QString> ReadProgram(const QString& path);
    // The one program file a drag carries, or empty.
    static QString DroppedProgram(const QMimeData* data);

    platform::PromptService& m_prompts;
    editor::KtText* m_ktText1 = nullptr; // set after the caption
    QListWidget* m_list1;
    QPointer<platform::HelpViewer> m_help;
    compiler::InstructionPicker m_picker;
    compiler::ProgramCompiler m_compiler;
    bool m_changed = false;
    bool m_untitled = true;
    QString m_applicationFolder;
    files::ProgramFiles m_files;
    QString m_programFile;
    FindState m_findState;
    QPointer<FrmFind> m_find;
    int m_listHelpContext = 0;

    QAction* m_fileSave = nullptr;
    QAction* m_fileCompile = nullptr;
    QAction* m_editCopy = nullptr;
    QAction* m_editCut = nullptr;
    QAction* m_editPaste = nullptr;
    QAction* m_editFind = nullptr;
    QAction* m_editUndo = nullptr;
    QAction* m_editRedo = nullptr;
    QAction* m_lineNumber = nullptr;
    QMenu* m_recentMenu = nullptr;
    QMenu* m_examplesMenu = nullptr;
    QLabel* m_caretField = nullptr;
    QLabel* m_sizeField = nullptr;
    QTimer* m_sizeTimer = nullptr;
    QLabel* m_driveField = nullptr;
    std::vector<QAction*> m_categoryMenus;
};

} // namespace kt::mainwindow
