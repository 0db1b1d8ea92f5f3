#include "mainwindow/frm_motor.h"

#include "compiler/compile_hint.h"
#include "compiler/compile_messages.h"
#include "compiler/line_compiler.h"
#include "compiler/program_text.h"
#include "editor/kt_text.h"
#include "editor/text_box.h"
#include "files/file_name.h"
#include "help/help_keyword.h"
#include "help/language_reference.h"
#include "mainwindow/frm_company.h"
#include "platform/announce.h"
#include "platform/app_settings.h"
#include "platform/help_viewer.h"
#include "platform/prompt_service.h"
#include "platform/text_zoom.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QKeyEvent>
#include <QLabel>
#include <QListWidget>
#include <QMenu>
#include <QMenuBar>
#include <QMimeData>
#include <QScreen>
#include <QStandardPaths>
#include <QStatusBar>
#include <QTextBlock>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <optional>
#include <tuple>

namespace kt::mainwindow {

using files::FileName;
using files::ProgramFiles;

namespace {

using compiler::PickerCategory;

constexpr int kTwipsPerPixel = 15;
const QString kNewCaption = QStringLiteral("NewMotorProgram");

// The compiler reads program text in the files' code page.
std::string ProgramBytes(const QString& text) {
    return compiler::Utf8ToWindows1252(text.toStdString());
}

} // namespace

FrmMotor::FrmMotor(platform::PromptService& prompts, const QString& applicationFolder,
                   const QString& documentsFolder, QWidget* parent)
    : QMainWindow(parent), m_prompts(prompts),
      m_applicationFolder(applicationFolder.isEmpty() ? QCoreApplication::applicationDirPath()
                                                      : applicationFolder),
      m_files(m_applicationFolder,
              documentsFolder.isEmpty()
                  ? QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)
                  : documentsFolder) {
    setWindowTitle(kNewCaption);
    m_programFile = m_files.DefaultProgramFile(kNewCaption);
    auto* central = new QWidget(this);
    setCentralWidget(central);
    m_ktText1 = new editor::KtText(central);
    m_ktText1->setObjectName(QStringLiteral("KtText1"));
    m_list1 = new QListWidget(central);
    m_list1->setObjectName(QStringLiteral("List1"));
    QFont listFont(QStringLiteral("Courier New"));
    listFont.setStyleHint(QFont::TypeWriter);
    m_list1->setFont(listFont);
    m_list1->installEventFilter(this);
    // Named for assistive technology; the caption above says which program.
    m_ktText1->RText()->setAccessibleName(QStringLiteral("Program"));
    m_ktText1->RText()->setAccessibleDescription(windowTitle());
    setTabOrder(m_ktText1->RText(), m_list1);

    BuildMenus();
    BuildStatusBar();
    platform::TextZoom& zoom = platform::TextZoom::Instance();
    for (QWidget* text : {static_cast<QWidget*>(m_ktText1->RText()), static_cast<QWidget*>(m_list1),
                          static_cast<QWidget*>(statusBar())})
        zoom.Follow(text);
    setAcceptDrops(true);
    // A program file dropped on the text is opened, not pasted as its name.
    m_ktText1->RText()->viewport()->installEventFilter(this);

    connect(m_ktText1, &editor::KtText::SelChange, this, &FrmMotor::OnSelChange);
    connect(m_ktText1->RText(), &QPlainTextEdit::cursorPositionChanged, this,
            &FrmMotor::ShowCaretPosition);
    // Shortcuts follow the same rules as the menus, kept current as their
    // inputs change rather than only when a menu opens.
    connect(m_ktText1, &editor::KtText::SelChange, this, &FrmMotor::UpdateEnabling);
    connect(m_ktText1->RText(), &QPlainTextEdit::textChanged, this, &FrmMotor::UpdateEnabling);
    connect(m_ktText1->RText(), &QPlainTextEdit::selectionChanged, this, &FrmMotor::UpdateEnabling);
    connect(QApplication::clipboard(), &QClipboard::dataChanged, this, &FrmMotor::UpdateEnabling);
    connect(m_ktText1, &editor::KtText::CompileLine, this,
            [this](const QString& oldLine, qint64, bool) { OnCompileLine(oldLine); });
    connect(m_ktText1, &editor::KtText::HelpRequest, this, &FrmMotor::OnKeywordHelp);
    connect(m_list1, &QListWidget::itemDoubleClicked, this, &FrmMotor::OnListDoubleClicked);
    connect(m_list1, &QListWidget::itemClicked, this, &FrmMotor::OnListClicked);

    SetDataMode(compiler::InstructionPicker::kInstructionMode);
    FillInstructionList();
    UpdateEnabling();
    // In device-independent pixels, and never larger than the screen (a
    // scale factor of 2 would otherwise push it off the desktop).
    QSize size(1100, 640);
    if (const QScreen* where = screen())
        size = size.boundedTo(where->availableSize());
    resize(size);
    m_ktText1->setFocus();
}

FrmMotor::~FrmMotor() = default;

QAction* FrmMotor::AddAction(QMenu* menu, const char* name, const QString& caption,
                             const QKeySequence& shortcut) {
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    action->setShortcut(shortcut);
    return action;
}

QAction* FrmMotor::AddTopLevel(const char* name, const QString& caption) {
    QAction* action = menuBar()->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    return action;
}

void FrmMotor::BuildMenus() {
    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    file->setObjectName(QStringLiteral("MnuFile"));
    connect(
        AddAction(file, "MnuFileNew", QStringLiteral("&New"), QKeySequence(Qt::CTRL | Qt::Key_N)),
        &QAction::triggered, this, &FrmMotor::NewProgram);
    connect(
        AddAction(file, "MnuFileOpen", QStringLiteral("&Open"), QKeySequence(Qt::CTRL | Qt::Key_O)),
        &QAction::triggered, this, &FrmMotor::OpenProgram);
    file->addSeparator()->setObjectName(QStringLiteral("MnuFileSep1"));
    m_fileSave =
        AddAction(file, "MnuFileSave", QStringLiteral("&Save"), QKeySequence(Qt::CTRL | Qt::Key_S));
    connect(m_fileSave, &QAction::triggered, this, &FrmMotor::SaveProgram);
    connect(AddAction(file, "MnuFileSaveAs", QStringLiteral("Save &As")), &QAction::triggered, this,
            &FrmMotor::SaveProgramAs);
    file->addSeparator()->setObjectName(QStringLiteral("MnuFileSep2"));
    m_fileCompile = AddAction(file, "MnuFileCompile", QStringLiteral("&Compile"),
                              QKeySequence(Qt::CTRL | Qt::Key_L));
    m_fileCompile->setEnabled(false);
    file->addSeparator()->setObjectName(QStringLiteral("MnuFileSep3"));
    m_recentMenu = file->addMenu(QStringLiteral("&Recent Files"));
    m_recentMenu->setObjectName(QStringLiteral("AddFileRecent"));
    connect(m_recentMenu, &QMenu::aboutToShow, this, &FrmMotor::FillRecentMenu);
    m_examplesMenu = file->addMenu(QStringLiteral("&Examples"));
    m_examplesMenu->setObjectName(QStringLiteral("AddFileExamples"));
    connect(m_examplesMenu, &QMenu::aboutToShow, this, &FrmMotor::FillExamplesMenu);
    file->addSeparator()->setObjectName(QStringLiteral("AddFileRecentSep"));
    QAction* exit = AddAction(file, "MnuFileExit", QStringLiteral("e&Xit"));
    connect(file, &QMenu::aboutToShow, this, &FrmMotor::OnFileMenu);
    connect(m_fileCompile, &QAction::triggered, this, &FrmMotor::OnCompile);
    connect(exit, &QAction::triggered, this, &QWidget::close);

    QMenu* edit = menuBar()->addMenu(QStringLiteral("&Edit"));
    edit->setObjectName(QStringLiteral("MnuEdit"));
    // Undo and Redo go through the editor, which keeps its marks and caret
    // record in step with the restored text.
    m_editUndo =
        AddAction(edit, "AddEditUndo", QStringLiteral("&Undo"), QKeySequence(Qt::CTRL | Qt::Key_Z));
    m_editRedo = AddAction(edit, "AddEditRedo", QStringLiteral("&Redo"));
    m_editRedo->setShortcuts(
        {QKeySequence(Qt::CTRL | Qt::Key_Y), QKeySequence(Qt::CTRL | Qt::SHIFT | Qt::Key_Z)});
    connect(m_editUndo, &QAction::triggered, m_ktText1, &editor::KtText::Undo);
    connect(m_editRedo, &QAction::triggered, m_ktText1, &editor::KtText::Redo);
    connect(m_ktText1, &editor::KtText::undoAvailable, this, &FrmMotor::UpdateEnabling);
    connect(m_ktText1, &editor::KtText::redoAvailable, this, &FrmMotor::UpdateEnabling);
    edit->addSeparator()->setObjectName(QStringLiteral("AddEditSep0"));
    m_editCopy =
        AddAction(edit, "MnuEditCopy", QStringLiteral("Copy"), QKeySequence(Qt::CTRL | Qt::Key_C));
    m_editCut =
        AddAction(edit, "MnuEditCut", QStringLiteral("Cut"), QKeySequence(Qt::CTRL | Qt::Key_X));
    m_editPaste = AddAction(edit, "MnuEditPaste", QStringLiteral("Paste"),
                            QKeySequence(Qt::CTRL | Qt::Key_V));
    edit->addSeparator()->setObjectName(QStringLiteral("MnuEditSep1"));
    m_editFind =
        AddAction(edit, "MnuEditFind", QStringLiteral("Find"), QKeySequence(Qt::CTRL | Qt::Key_F));
    edit->addSeparator()->setObjectName(QStringLiteral("AddEditSep2"));
    connect(AddAction(edit, "AddEditSelectAll", QStringLiteral("Select &All"),
                      QKeySequence(Qt::CTRL | Qt::Key_A)),
            &QAction::triggered, m_ktText1, &editor::KtText::SelectAll);
    connect(edit, &QMenu::aboutToShow, this, &FrmMotor::OnEditMenu);
    connect(m_editFind, &QAction::triggered, this, [this] {
        if (!m_find)
            m_find = new FrmFind(m_findState, *m_ktText1->RText(), m_prompts, this);
        m_find->show();
        m_find->raise();
        m_find->activateWindow();
    });
    editor::TextBox* box = m_ktText1->RText();
    connect(m_editCopy, &QAction::triggered, this, [box] {
        QApplication::clipboard()->clear();
        QApplication::clipboard()->setText(box->SelText());
    });
    connect(m_editCut, &QAction::triggered, this, [this, box] {
        m_editCopy->trigger();
        box->SetSelText(QString());
    });
    connect(m_editPaste, &QAction::triggered, this,
            [box] { box->SetSelText(QApplication::clipboard()->text()); });

    connect(AddTopLevel("MnuDevice", QStringLiteral("&Device")), &QAction::triggered, this,
            &FrmMotor::deviceRequested);

    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    help->setObjectName(QStringLiteral("MnuHelp"));
    connect(AddAction(help, "MnuHelpAbout", QStringLiteral("&About")), &QAction::triggered, this,
            [this] { (new FrmCompany(FrmCompany::Mode::About, m_prompts))->show(); });
    connect(AddAction(help, "MnuHelpContents", QStringLiteral("&Contents")), &QAction::triggered,
            this, [this] { Help()->ShowContents(); });
    connect(AddAction(help, "MnuHelpSearch", QStringLiteral("&Search")), &QAction::triggered, this,
            [this] { Help()->ShowSearch(); });

    m_lineNumber = AddTopLevel("MnuLineNumber", QStringLiteral("LineNumber"));

    const std::pair<const char*, QString> categories[] = {
        {"MnuAllInstruction", QStringLiteral("&AllInstruction")},
        {"MnuAssignInstruction", QStringLiteral("A&ssignInstruction")},
        {"MnuConditionalInstruction", QStringLiteral("&ConditionalInstruction")},
        {"MnuMiscellaneousInstruction", QStringLiteral("&MiscellaneousInstruction")},
        {"MnuOperationalInstruction", QStringLiteral("&OperationalInstruction")},
    };
    for (int i = 0; i < 5; ++i) {
        QAction* action = AddTopLevel(categories[i].first, categories[i].second);
        connect(action, &QAction::triggered, this,
                [this, i] { OnCategory(static_cast<PickerCategory>(i)); });
        m_categoryMenus.push_back(action);
    }

    // After the drawn-up menus, with a letter none of them uses.
    QMenu* simulate = menuBar()->addMenu(QStringLiteral("S&imulate"));
    simulate->setObjectName(QStringLiteral("AddSimulate"));
    const std::tuple<const char*, QString, QKeySequence, SimulatorCommand> commands[] = {
        {"AddSimulateRun", QStringLiteral("&Run"), QKeySequence(Qt::Key_F5), SimulatorCommand::Run},
        {"AddSimulatePause", QStringLiteral("&Pause"), {}, SimulatorCommand::Pause},
        {"AddSimulateStep", QStringLiteral("S&tep"), QKeySequence(Qt::Key_F10),
         SimulatorCommand::Step},
        {"AddSimulateStop", QStringLiteral("St&op"), {}, SimulatorCommand::Stop},
    };
    for (const auto& [name, caption, key, command] : commands) {
        const SimulatorCommand which = command; // a binding cannot be captured before C++23
        connect(AddAction(simulate, name, caption, key), &QAction::triggered, this,
                [this, which] { emit simulatorRequested(which); });
    }
    // The gutter's click for the keyboard, on the caret's line.
    simulate->addSeparator()->setObjectName(QStringLiteral("AddSimulateSep1"));
    connect(AddAction(simulate, "AddSimulateToggleMark", QStringLiteral("Toggle &Mark"),
                      QKeySequence(Qt::Key_F9)),
            &QAction::triggered, m_ktText1, &editor::KtText::ToggleMark);

    QMenu* monitor = menuBar()->addMenu(QStringLiteral("Moni&tor"));
    monitor->setObjectName(QStringLiteral("AddMonitor"));
    connect(AddAction(monitor, "AddMonitorCommunication", QStringLiteral("&Communication")),
            &QAction::triggered, this, &FrmMotor::communicationRequested);
    connect(AddAction(monitor, "AddMonitorValues", QStringLiteral("&Values")), &QAction::triggered,
            this, &FrmMotor::monitorRequested);
    connect(AddAction(monitor, "AddMonitorConnection", QStringLiteral("Co&nnection")),
            &QAction::triggered, this, &FrmMotor::connectionRequested);

    QMenu* view = menuBar()->addMenu(QStringLiteral("&View"));
    view->setObjectName(QStringLiteral("AddView"));
    view->addActions(platform::TextZoom::Instance().AddActions(this));
}

platform::HelpViewer* FrmMotor::Help() {
    if (!m_help) {
        m_help = new platform::HelpViewer(this);
        m_help->setWindowFlag(Qt::Window);
        m_help->SetTopics(help::LanguageReference());
    }
    return m_help;
}

void FrmMotor::SetDataMode(std::uint8_t mode) {
    m_picker.SetDataMode(mode);
    m_list1->setAccessibleName(mode == compiler::InstructionPicker::kInstructionMode
                                   ? QStringLiteral("Statement templates")
                                   : QStringLiteral("Values"));
    for (QAction* category : m_categoryMenus)
        category->setEnabled(mode == compiler::InstructionPicker::kInstructionMode);
}

void FrmMotor::OnFileMenu() {
    m_fileSave->setEnabled(m_ktText1->Save());
    m_fileCompile->setEnabled(m_ktText1->RText()->TextLength() > 0);
}

void FrmMotor::UpdateEnabling() {
    OnFileMenu();
    OnEditMenu();
    // Asked, not only told: the text box does not report every change of
    // them (a text replaced as a whole clears both without a word).
    m_editUndo->setEnabled(m_ktText1->CanUndo());
    m_editRedo->setEnabled(m_ktText1->CanRedo());
}

void FrmMotor::OnEditMenu() {
    const bool selection = !m_ktText1->RText()->SelText().isEmpty();
    m_editCopy->setEnabled(selection);
    m_editCut->setEnabled(selection);
    m_editPaste->setEnabled(!QApplication::clipboard()->text().isEmpty());
    m_editFind->setEnabled(m_ktText1->RText()->TextLength() > 0);
}

std::uint8_t FrmMotor::CompileText(long& LineCount) {
    return m_compiler.CompileText(ProgramBytes(m_ktText1->RText()->Text()), LineCount);
}

QByteArray FrmMotor::ProgramData(std::uint8_t& RetError, long& RetLineCount) {
    RetError = CompileText(RetLineCount);
    if (RetError != compiler::kCompiled)
        return {};
    const compiler::ProgramImage& image = m_compiler.ProgramBuffer();
    return QByteArray(reinterpret_cast<const char*>(image.data()),
                      static_cast<qsizetype>(image.size()));
}

void FrmMotor::OnCompile() {
    long lineCount = 0;
    const std::uint8_t code = CompileText(lineCount);
    if (code == compiler::kNothingToCompile)
        return; // an empty text has nothing to report
    QString text = QString::fromLatin1(compiler::CompileMessage(code));
    ShowProgramSize();
    platform::Announce(m_sizeField, text + u' ' + m_sizeField->text());
    if (code != compiler::kCompiled) {
        text += QStringLiteral("Error at Line ") + QString::number(lineCount - 1);
        // The caret goes to the failing line (the last one when a block is
        // left open at the end), so the user sees it while reading the box.
        editor::TextBox* box = m_ktText1->RText();
        const int blocks = box->document()->blockCount();
        const int line = std::clamp(static_cast<int>(lineCount), 1, blocks);
        box->setTextCursor(QTextCursor(box->document()->findBlockByNumber(line - 1)));
        m_ktText1->GetPara(false);
        m_ktText1->SetErrorLine(line);
        m_ktText1->setFocus();
    }
    Say(text);
}

void FrmMotor::Say(const QString& text) {
    m_prompts.Message({.text = text});
}

void FrmMotor::OnSelChange(bool textChange) {
    ShowLineNumber();
    if (textChange)
        m_changed = true;
    if (m_ktText1->CurrentLine().isEmpty()) {
        SetDataMode(compiler::InstructionPicker::kInstructionMode);
        FillInstructionList();
    }
}

void FrmMotor::OnCompileLine(const QString& oldLine) {
    compiler::StatementBytes code{};
    const std::uint8_t result = compiler::CompileStatement(ProgramBytes(oldLine), code);
    if (result >= 1 && result <= 254) {
        const QString message = QString::fromLatin1(compiler::CompileMessage(result));
        // On the editor control, whose text box's description names the file.
        platform::Announce(m_ktText1, message);
        Say(message);
    }
    FillInstructionList();
}

void FrmMotor::BuildStatusBar() {
    m_caretField = new QLabel(this);
    m_sizeField = new QLabel(this);
    m_driveField = new QLabel(QStringLiteral("Drive: not connected"), this);
    m_caretField->setObjectName(QStringLiteral("StatusCaret"));
    m_sizeField->setObjectName(QStringLiteral("StatusSize"));
    m_driveField->setObjectName(QStringLiteral("StatusDrive"));
    statusBar()->addWidget(m_caretField);
    statusBar()->addWidget(m_sizeField);
    statusBar()->addPermanentWidget(m_driveField);
    ShowCaretPosition();
    // Every change of the text, however made (typing, Undo, Open, New),
    // restarts the wait; the compile runs once the text has settled.
    m_sizeTimer = new QTimer(this);
    m_sizeTimer->setSingleShot(true);
    m_sizeTimer->setInterval(kSizeDelayMs);
    connect(m_sizeTimer, &QTimer::timeout, this, &FrmMotor::ShowProgramSize);
    connect(m_ktText1->RText(), &QPlainTextEdit::textChanged, m_sizeTimer,
            qOverload<>(&QTimer::start));
}

bool FrmMotor::SettleProgramSize() {
    if (!m_sizeTimer->isActive())
        return false;
    ShowProgramSize();
    return true;
}

void FrmMotor::ShowCaretPosition() {
    const QTextCursor cursor = m_ktText1->RText()->textCursor();
    m_caretField->setText(QStringLiteral("Line %1, Column %2")
                              .arg(cursor.blockNumber() + 1)
                              .arg(cursor.positionInBlock() + 1));
}

void FrmMotor::ShowProgramSize() {
    m_sizeTimer->stop(); // what it waited for is shown now
    long lineCount = 0;
    const std::string text = ProgramBytes(m_ktText1->RText()->Text());
    const std::uint8_t code = m_compiler.CompileText(text, lineCount);
    if (code == compiler::kCompiled) {
        m_sizeField->setText(QStringLiteral("%1 of %2 bytes")
                                 .arg(m_compiler.ProgramLength())
                                 .arg(compiler::kProgramSize));
    } else if (code == compiler::kNothingToCompile) {
        m_sizeField->clear();
    } else {
        QString state = QStringLiteral("Does not compile (line %1)").arg(lineCount);
        const std::string hint = compiler::ProgramHint(text, code, lineCount);
        if (!hint.empty())
            state +=
                QStringLiteral(": ") + QString::fromStdString(compiler::Windows1252ToUtf8(hint));
        m_sizeField->setText(state);
    }
}

std::vector<int> FrmMotor::MarkedLines() const {
    std::vector<int> lines;
    const std::vector<int>& marks = m_ktText1->RunBreak();
    for (std::size_t i = 0; i < marks.size(); ++i) {
        if (marks[i] != 0)
            lines.push_back(static_cast<int>(i) + 1);
    }
    return lines;
}

void FrmMotor::ShowConnection(const QString& state) {
    m_driveField->setText(QStringLiteral("Drive: ") + state);
}

void FrmMotor::ShowLineNumber() {
    const editor::TextBox* box = m_ktText1->RText();
    const int breaks = box->document()->findBlock(box->textCursor().selectionStart()).blockNumber();
    m_lineNumber->setText(QStringLiteral("Line Number = ") + QString::number(breaks));
}

void FrmMotor::OnKeywordHelp() {
    const QString word = m_ktText1->HelpWord();
    if (word.isEmpty()) {
        Help()->ShowContents();
        return;
    }
    Help()->ShowKeyword(help::HelpKeyword(word));
}

void FrmMotor::FillInstructionList() {
    m_picker.FillInstructionList();
    RefreshList();
}

void FrmMotor::RefreshList() {
    m_list1->clear();
    for (const std::string& entry : m_picker.List1())
        m_list1->addItem(QString::fromStdString(entry));
    m_list1->setCurrentRow(m_picker.Selected());
}

void FrmMotor::OnCategory(PickerCategory category) {
    m_picker.SetInstructionCategory(category);
    if (DataMode() == compiler::InstructionPicker::kInstructionMode)
        FillInstructionList();
}

void FrmMotor::OnListClicked() {
    m_listHelpContext = m_picker.HelpContext(m_list1->currentRow());
}

void FrmMotor::OnListDoubleClicked() {
    const auto ask = [this](const std::string& prompt) {
        return m_prompts
            .InputBox(
                {.prompt = QString::fromStdString(prompt), .defaultText = QStringLiteral("0")})
            .toStdString();
    };
    const compiler::InstructionPicker::Step step = m_picker.DoubleClick(m_list1->currentRow(), ask);
    if (step.invalid) {
        Say(QStringLiteral("Invalid Data."));
        m_ktText1->setFocus();
        return;
    }
    m_ktText1->RText()->SetSelText(QString::fromStdString(step.insert));
    if (step.finish) {
        m_ktText1->NextLine();
        m_picker.FinishInsertion();
        RefreshList();
        SetDataMode(compiler::InstructionPicker::kInstructionMode);
    } else {
        SetDataMode(m_picker.DataMode());
        RefreshList();
    }
    m_ktText1->setFocus();
}

void FrmMotor::OnListHelp() {
    const int position = m_listHelpContext - compiler::InstructionPicker::kHelpContextBase;
    const std::vector<int>& rows = m_picker.List2();
    if (position < 0 || position >= static_cast<int>(rows.size())) {
        Help()->ShowContents();
        return;
    }
    Help()->ShowTopic(help::TopicOfRow(rows[static_cast<std::size_t>(position)]));
}

bool FrmMotor::eventFilter(QObject* watched, QEvent* event) {
    if (watched == m_list1 && event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent*>(event)->key();
        if (key == Qt::Key_F1) {
            OnListHelp();
            return true;
        }
        // Enter picks the entry as a double-click does; letters search the
        // list as the list itself does.
        if ((key == Qt::Key_Return || key == Qt::Key_Enter) && m_list1->currentRow() >= 0) {
            OnListDoubleClicked();
            return true;
        }
    }
    if (watched == m_ktText1->RText()->viewport()) {
        if (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove) {
            auto* drag = static_cast<QDragMoveEvent*>(event);
            if (!DroppedProgram(drag->mimeData()).isEmpty()) {
                drag->acceptProposedAction();
                return true;
            }
        } else if (event->type() == QEvent::Drop) {
            auto* drop = static_cast<QDropEvent*>(event);
            if (!DroppedProgram(drop->mimeData()).isEmpty()) {
                dropEvent(drop);
                return true;
            }
        }
    }
    return QMainWindow::eventFilter(watched, event);
}

QString FrmMotor::ChooseSaveFile(const QString& title) {
    const platform::FileChoice choice = m_prompts.SaveFileChoice(
        {.title = title, .initialFile = m_programFile, .filter = ProgramFiles::kFilter});
    return ProgramFiles::WithExtension(FileName::FromDialog(choice.path), choice.filterIndex);
}

bool FrmMotor::SaveProgram() {
    if (!m_untitled)
        return WriteProgram(m_programFile);
    const QString path = ChooseSaveFile(QStringLiteral("Save File"));
    if (path.isEmpty())
        return false;
    if (FileName::Exists(path) &&
        m_prompts.Message({.text = QStringLiteral("File already exists?,Save Now"),
                           .buttons = platform::Buttons::YesNo,
                           .defaultAnswer = platform::Answer::Yes}) != platform::Answer::Yes)
        return false;
    return WriteProgram(path);
}

bool FrmMotor::WriteProgram(const QString& path) {
    const QString text = m_ktText1->RText()->Text();
    if (!ProgramFiles::Storable(text) &&
        m_prompts.Message({.text = QStringLiteral("Some characters cannot be stored in a program "
                                                  "file and will be saved as \"?\". Save anyway?"),
                           .buttons = platform::Buttons::YesNo,
                           .icon = platform::Icon::Exclamation,
                           .defaultAnswer = platform::Answer::No}) != platform::Answer::Yes)
        return false;
    const ProgramFiles::Result written = ProgramFiles::Write(path, text);
    if (!written.ok) {
        // The previous file, if any, is untouched; the work stays unsaved
        // under the name it had.
        m_prompts.Message(
            {.text = QStringLiteral("Could not save %1:\n%2").arg(path, written.error),
             .icon = platform::Icon::Critical});
        return false;
    }
    m_programFile = path;
    m_changed = false;
    m_untitled = false;
    RememberFile(path);
    return true;
}

bool FrmMotor::SaveProgramAs() {
    const QString path = ChooseSaveFile(QStringLiteral("SaveAs File"));
    if (path.isEmpty())
        return false;
    // The caption names a file only once it has been written.
    if (!WriteProgram(path))
        return false;
    setWindowTitle(ProgramFiles::Title(path));
    return true;
}

bool FrmMotor::SaveBeforeDiscarding() {
    if (!m_changed)
        return true;
    const platform::Answer answer =
        m_prompts.Message({.text = QStringLiteral("You will loose un saved data?,Save Now?"),
                           .buttons = platform::Buttons::YesNo,
                           .defaultAnswer = platform::Answer::Yes});
    // Escaping the question, or a save that was cancelled or failed, keeps
    // the work: the command stops.
    if (answer == platform::Answer::Cancel)
        return false;
    return answer != platform::Answer::Yes || SaveProgram();
}

void FrmMotor::OpenProgram() {
    if (!SaveBeforeDiscarding())
        return;
    const QString path =
        FileName::FromDialog(m_prompts.OpenFileName({.title = QStringLiteral("Open File"),
                                                     .initialFile = m_programFile,
                                                     .filter = ProgramFiles::kFilter}));
    if (!path.isEmpty())
        OpenFile(path);
}

std::optional<QString> FrmMotor::ReadProgram(const QString& path) {
    ProgramFiles::Result read = ProgramFiles::Read(path);
    if (read.ok)
        return std::move(read.text);
    m_prompts.Message(
        {.text = QStringLiteral("Could not open %1:\n%2").arg(FileName::Display(path), read.error),
         .icon = platform::Icon::Critical});
    return std::nullopt;
}

bool FrmMotor::OpenFile(const QString& path) {
    const std::optional<QString> text = ReadProgram(path);
    if (!text)
        return false;
    m_programFile = path;
    ShowText(*text);
    setWindowTitle(ProgramFiles::Title(path));
    m_changed = false;
    m_untitled = false;
    RememberFile(path);
    return true;
}

namespace {

const QString kRecentKey = QStringLiteral("RecentFiles");
// Settings hold text: a name that is not valid UTF-8 is kept as its
// percent-encoded bytes behind this mark, which no absolute path starts with.
const QString kBytesMark = QStringLiteral("bytes:");

QString StoredName(const QString& path) {
    const QByteArray bytes = FileName::ToBytes(path);
    return FileName::FromBytes(bytes) == path && QString::fromUtf8(bytes) == path
               ? path
               : kBytesMark + QString::fromLatin1(bytes.toPercentEncoding("/"));
}

void StoreRecent(const QStringList& files) {
    QStringList stored;
    for (const QString& file : files)
        stored << StoredName(file);
    platform::AppSettings::SetValue(kRecentKey, stored);
}

QString NameStored(const QString& stored) {
    return stored.startsWith(kBytesMark) ? FileName::FromBytes(QByteArray::fromPercentEncoding(
                                               stored.mid(kBytesMark.size()).toLatin1()))
                                         : stored;
}

} // namespace

QStringList FrmMotor::RecentFiles() const {
    QStringList files;
    for (const QString& stored : platform::AppSettings::Value(kRecentKey).toStringList())
        files << NameStored(stored);
    return files.mid(0, kMaxRecentFiles);
}

void FrmMotor::RememberFile(const QString& path) {
    const QString absolute = QFileInfo(path).absoluteFilePath();
    QStringList files = RecentFiles();
    files.removeAll(absolute);
    files.prepend(absolute);
    StoreRecent(files.mid(0, kMaxRecentFiles));
}

void FrmMotor::FillRecentMenu() {
    m_recentMenu->clear();
    const QStringList files = RecentFiles();
    for (int i = 0; i < files.size(); ++i) {
        // Numbered accelerators, as file lists usually have.
        const QString caption =
            QStringLiteral("&%1 %2").arg(i + 1).arg(FileName::Display(files[i]));
        connect(m_recentMenu->addAction(caption), &QAction::triggered, this,
                [this, file = files[i]] { OpenRecent(file); });
    }
    if (files.isEmpty())
        m_recentMenu->addAction(QStringLiteral("(none)"))->setEnabled(false);
}

void FrmMotor::OpenRecent(const QString& path) {
    if (!SaveBeforeDiscarding())
        return;
    if (!OpenFile(path) && !FileName::Exists(path)) {
        // Gone: it would only fail again.
        QStringList files = RecentFiles();
        files.removeAll(path);
        StoreRecent(files);
    }
}

QString FrmMotor::ExamplesFolder() const {
    // Beside the executable (a build tree, a folder installation), in the
    // share folder of its installation prefix, then in the system's shared
    // data folders.
    QStringList folders = {m_applicationFolder + QStringLiteral("/examples"),
                           m_applicationFolder + QStringLiteral("/../share/ktmotor/examples")};
    folders += QStandardPaths::locateAll(QStandardPaths::GenericDataLocation,
                                         QStringLiteral("ktmotor/examples"),
                                         QStandardPaths::LocateDirectory);
    for (const QString& folder : folders) {
        if (!QDir(folder).entryList({u'*' + ProgramFiles::kExtension}, QDir::Files).isEmpty())
            return QDir::cleanPath(folder);
    }
    return {};
}

void FrmMotor::FillExamplesMenu() {
    m_examplesMenu->clear();
    const QString where = ExamplesFolder();
    const QDir folder(where);
    QStringList names;
    if (!where.isEmpty())
        names = folder.entryList({u'*' + ProgramFiles::kExtension}, QDir::Files,
                                 QDir::Name | QDir::IgnoreCase);
    for (const QString& name : names) {
        QString caption = ProgramFiles::Title(name);
        caption.replace(u'&', QStringLiteral("&&"));
        connect(m_examplesMenu->addAction(caption), &QAction::triggered, this,
                [this, path = folder.filePath(name)] { OpenExample(path); });
    }
    if (names.isEmpty())
        m_examplesMenu->addAction(QStringLiteral("(none)"))->setEnabled(false);
}

// A copy, as New would start it: saving asks for a name, so the example
// itself is never written.
void FrmMotor::OpenExample(const QString& path) {
    if (!SaveBeforeDiscarding())
        return;
    const std::optional<QString> text = ReadProgram(path);
    if (!text)
        return;
    ShowText(*text);
    setWindowTitle(kNewCaption);
    m_programFile = m_files.DefaultProgramFile(kNewCaption);
    m_changed = false;
    m_untitled = true;
}

QString FrmMotor::DroppedProgram(const QMimeData* data) {
    if (!data || !data->hasUrls() || data->urls().size() != 1)
        return {};
    const QUrl url = data->urls().front();
    if (!url.isLocalFile())
        return {};
    const QString path = FileName::FromUrl(url);
    return path.endsWith(ProgramFiles::kExtension, Qt::CaseInsensitive) ? path : QString();
}

void FrmMotor::dragEnterEvent(QDragEnterEvent* event) {
    if (!DroppedProgram(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

// A dropped program opens as Open opens one, the unsaved-work question
// included.
void FrmMotor::dropEvent(QDropEvent* event) {
    const QString path = DroppedProgram(event->mimeData());
    if (path.isEmpty())
        return;
    event->acceptProposedAction();
    // Not inside the drop: the question must not run under the drag's own
    // event handling.
    QTimer::singleShot(0, this, [this, path] {
        if (SaveBeforeDiscarding())
            OpenFile(path);
    });
}

void FrmMotor::RestoreUnsaved(const QString& text, const QString& programFile) {
    ShowText(text);
    m_untitled = programFile.isEmpty();
    m_programFile = m_untitled ? m_files.DefaultProgramFile(kNewCaption) : programFile;
    setWindowTitle(m_untitled ? kNewCaption : ProgramFiles::Title(programFile));
    m_changed = true;
    UpdateEnabling();
}

void FrmMotor::NewProgram() {
    if (!SaveBeforeDiscarding())
        return;
    ShowText(QString());
    setWindowTitle(kNewCaption);
    m_programFile = m_files.DefaultProgramFile(kNewCaption);
    m_changed = false;
    m_untitled = true;
}

void FrmMotor::ShowStartUpCard() {
    (new FrmCompany(FrmCompany::Mode::StartUp, m_prompts, this))->show();
}

void FrmMotor::ShowText(const QString& text) {
    editor::TextBox* box = m_ktText1->RText();
    box->SetText(text);
    m_ktText1->SetErrorLine(0); // a mark of the text that was there before
    box->SetSelStart(box->TextLength());
    m_ktText1->GetPara(false);
    ShowLineNumber();
}

void FrmMotor::closeEvent(QCloseEvent* event) {
    if (m_changed) {
        const platform::Answer answer =
            m_prompts.Message({.text = QStringLiteral("File changed,Save Now?"),
                               .buttons = platform::Buttons::YesNoCancel,
                               .defaultAnswer = platform::Answer::Yes});
        // Cancel, or a save that did not happen, keeps the window and its text.
        if (answer == platform::Answer::Cancel ||
            (answer == platform::Answer::Yes && !SaveProgram())) {
            event->ignore();
            return;
        }
    }
    event->accept();
}

void FrmMotor::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::WindowTitleChange && m_ktText1)
        m_ktText1->RText()->setAccessibleDescription(windowTitle());
}

void FrmMotor::resizeEvent(QResizeEvent* event) {
    QMainWindow::resizeEvent(event);
    LayOut();
}

void FrmMotor::LayOut() {
    // Sizes in twips of the outer window, as the layout was drawn up.
    const QRect frame = frameGeometry();
    const double w = frame.width() * kTwipsPerPixel;
    const double h = frame.height() * kTwipsPerPixel;
    const auto pixels = [](double twips) { return static_cast<int>(twips / kTwipsPerPixel); };
    const int editorWidth = pixels((w - 210) / 3.5);
    // A step that comes out negative is skipped, as if it failed.
    if (editorWidth > 0 && pixels(h - 900) > 0)
        m_ktText1->setGeometry(0, 0, editorWidth, pixels(h - 900));
    const int listWidth = pixels((w - 210) * 2.5 / 3.5);
    if (listWidth > 0 && pixels(h - 700) > 0)
        m_list1->setGeometry(m_ktText1->width() + pixels(60), 0, listWidth, pixels(h - 700));
}

} // namespace kt::mainwindow
