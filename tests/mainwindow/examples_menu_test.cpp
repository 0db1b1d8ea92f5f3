// File, Examples: where the examples are found, what the submenu lists, and
// that opening one starts an untitled copy, asking about unsaved work first
// as New does.
#include "editor/kt_text.h"
#include "editor/text_box.h"
#include "mainwindow/frm_motor.h"
#include "platform/dialog_prompts.h"
#include "platform/scripted_prompts.h"
#include "tests/modal_answerer.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QMenu>
#include <QTemporaryDir>

#include <optional>

using kt::mainwindow::FrmMotor;

namespace {

const QString kLoseWork = "You will loose un saved data?,Save Now?";
const QString kShipped = QStringLiteral(KT_EXAMPLES);

QStringList ShippedNames() {
    return QDir(kShipped).entryList({"*.KtVbM"}, QDir::Files, QDir::Name | QDir::IgnoreCase);
}

QByteArray Bytes(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

void Put(const QString& path, const QByteArray& bytes) {
    ASSERT_TRUE(QDir().mkpath(QFileInfo(path).path()));
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

void CopyShipped(const QString& folder) {
    for (const QString& name : ShippedNames())
        Put(folder + u'/' + name, Bytes(kShipped + u'/' + name));
}

// The editor's text of a program file ending in one line break: every byte.
std::string EditorText(const QByteArray& file) {
    return QString::fromLatin1(file).toStdString();
}

QMenu* ExamplesMenu(FrmMotor& window) {
    return window.findChild<QMenu*>("AddFileExamples");
}

// The submenu as it opens: captions, a disabled item in brackets.
QStringList Listed(FrmMotor& window) {
    QMenu* menu = ExamplesMenu(window);
    emit menu->aboutToShow();
    QStringList captions;
    for (const QAction* action : menu->actions())
        captions << (action->isEnabled() ? action->text() : "[" + action->text() + "]");
    return captions;
}

QAction* Item(FrmMotor& window, const QString& caption) {
    emit ExamplesMenu(window)->aboutToShow();
    for (QAction* action : ExamplesMenu(window)->actions()) {
        if (action->text() == caption)
            return action;
    }
    ADD_FAILURE() << "no item " << caption.toStdString();
    return nullptr;
}

// Sets an environment variable for the life of the object.
class ScopedEnv {
public:
    ScopedEnv(const char* name, const QString& value) : m_name(name) {
        if (qEnvironmentVariableIsSet(name))
            m_old = qgetenv(name);
        qputenv(name, QFile::encodeName(value));
    }
    ~ScopedEnv() {
        if (m_old)
            qputenv(m_name, *m_old);
        else
            qunsetenv(m_name);
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    std::optional<QByteArray> m_old;
};

} // namespace

TEST(ExamplesMenu, StandsAmongOurOwnFileItemsBeforeExit) {
    QTemporaryDir folder;
    kt::platform::ScriptedPrompts prompts;
    FrmMotor window(prompts, folder.path(), folder.path());
    QStringList names;
    for (const QAction* action : window.findChild<QMenu*>("MnuFile")->actions())
        names << (action->menu() ? action->menu()->objectName() : action->objectName());
    EXPECT_EQ(names.mid(names.indexOf("MnuFileCompile")),
              (QStringList{"MnuFileCompile", "MnuFileSep3", "AddFileRecent", "AddFileExamples",
                           "AddFileRecentSep", "MnuFileExit"}));
    EXPECT_EQ(ExamplesMenu(window)->title(), "&Examples");
}

// Looked for beside the program, in its installation's share folder, then in
// the system's data folders; the first folder holding a program wins.
TEST(ExamplesMenu, FoundBesideTheProgramInstalledOrNowhere) {
    const QString beside = "prefix/bin/examples/";
    const QString installed = "prefix/share/ktmotor/examples/";
    const QString system = "system-data/ktmotor/examples/";
    struct Row {
        const char* where;
        QStringList files;
        QStringList listed;
        QString folder; // what ExamplesFolder names, from the root
    };
    const Row rows[] = {
        {"beside the program, sorted as names are",
         {beside + "b.KtVbM", beside + "A.KtVbM", beside + "c.KtVbM", beside + "notes.txt"},
         {"A", "b", "c"},
         beside},
        {"in the installation's share folder",
         {installed + "Installed.KtVbM"},
         {"Installed"},
         installed},
        {"in a system data folder", {system + "System.KtVbM"}, {"System"}, system},
        {"beside wins over the installed ones",
         {beside + "Beside.KtVbM", installed + "Installed.KtVbM", system + "System.KtVbM"},
         {"Beside"},
         beside},
        {"a folder without programs is passed over",
         {beside + "notes.txt", installed + "Installed.KtVbM"},
         {"Installed"},
         installed},
        {"an ampersand stays a character",
         {beside + "Fast & slow.KtVbM"},
         {"Fast && slow"},
         beside},
        {"nowhere", {}, {"[(none)]"}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.where);
        QTemporaryDir root;
        for (const QString& file : row.files)
            Put(root.filePath(file), "Do\r\nLoop\r\n");
        const ScopedEnv home("XDG_DATA_HOME", root.filePath("home-data"));
        const ScopedEnv dirs("XDG_DATA_DIRS", root.filePath("system-data"));
        kt::platform::ScriptedPrompts prompts;
        FrmMotor window(prompts, root.filePath("prefix/bin"), root.filePath("documents"));
        EXPECT_EQ(Listed(window), row.listed);
        EXPECT_EQ(window.ExamplesFolder(),
                  row.folder.isEmpty() ? QString() : QDir::cleanPath(root.filePath(row.folder)));
    }
}

TEST(ExamplesMenu, ListsEveryExampleAndOpensAnUntitledCopy) {
    QTemporaryDir folder;
    CopyShipped(folder.filePath("examples"));
    const QString saved = folder.filePath("saved.KtVbM");
    Put(saved, "Do\r\nLoop\r\n");
    kt::platform::ScriptedPrompts prompts;
    FrmMotor window(prompts, folder.path(), folder.path());

    QStringList captions;
    for (const QString& name : ShippedNames())
        captions << QFileInfo(name).completeBaseName();
    EXPECT_GE(captions.size(), 6);
    EXPECT_EQ(Listed(window), captions);

    for (const QString& name : ShippedNames()) {
        SCOPED_TRACE(name.toStdString());
        const QString example = folder.filePath("examples/" + name);
        ASSERT_TRUE(window.OpenFile(saved)); // a named program before
        QAction* item = Item(window, QFileInfo(name).completeBaseName());
        ASSERT_NE(item, nullptr);
        item->trigger();
        EXPECT_EQ(window.KtText1()->RText()->Text().toStdString(), EditorText(Bytes(example)));
        EXPECT_TRUE(window.Untitled());
        EXPECT_FALSE(window.Changed());
        EXPECT_EQ(window.windowTitle(), "NewMotorProgram");
        EXPECT_EQ(window.ProgramFile(), window.Files().DefaultProgramFile("NewMotorProgram"));
        EXPECT_FALSE(window.RecentFiles().contains(QFileInfo(example).absoluteFilePath()));

        // Save asks for a name; cancelled, the example stays as shipped.
        const std::size_t dialogs = prompts.FileDialogs().size();
        window.KtText1()->RText()->SetText("Do\r\nLoop\r\n");
        EXPECT_FALSE(window.SaveProgram());
        EXPECT_EQ(prompts.FileDialogs().size(), dialogs + 1);
        EXPECT_EQ(Bytes(example), Bytes(kShipped + u'/' + name));
    }
    EXPECT_EQ(prompts.Unscripted().join(u'|').toStdString(), "");
}

// The real question box: Escape or its close button backs out and keeps the
// work, No gives way to the example.
TEST(ExamplesMenu, BackingOutOfTheUnsavedWorkQuestionKeepsTheWork) {
    QTemporaryDir folder;
    CopyShipped(folder.filePath("examples"));
    kt::platform::DialogPrompts prompts;
    FrmMotor window(prompts, folder.path(), folder.path());
    prompts.SetParent(&window);
    window.show();
    const QString work = "Do\r\n  Counter0 = 1\r\n";
    const std::string blink = EditorText(Bytes(folder.filePath("examples/Blink.KtVbM")));

    for (const int key : {int(Qt::Key_Escape), 0}) {
        SCOPED_TRACE(key ? "Escape" : "close button");
        window.KtText1()->RText()->SetText(work);
        ASSERT_TRUE(window.Changed());
        kt::test::ModalAnswerer answerer;
        answerer.Press(kLoseWork, key);
        Item(window, "Blink")->trigger();
        EXPECT_EQ(answerer.Shown(), std::vector<QString>{kLoseWork});
        EXPECT_EQ(answerer.Unexpected(), std::vector<QString>{});
        EXPECT_EQ(window.KtText1()->RText()->Text(), work);
        EXPECT_TRUE(window.Changed());
    }
    kt::test::ModalAnswerer answerer;
    answerer.Answer(kLoseWork, QMessageBox::No);
    Item(window, "Blink")->trigger();
    EXPECT_EQ(answerer.Shown(), std::vector<QString>{kLoseWork});
    EXPECT_EQ(window.KtText1()->RText()->Text().toStdString(), blink);
    EXPECT_FALSE(window.Changed());
    EXPECT_TRUE(window.Untitled());
}
