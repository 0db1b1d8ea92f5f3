// File, Examples: where the examples are found, what the submenu lists, and
// that opening one starts an untitled copy. (Its place in the File menu:
// frm_motor_test; the question about unsaved work: unsaved_questions_test.)
#include "tests/mainwindow/main_window_fixture.h"

#include <QScopeGuard>

#include <optional>

using kt::mainwindow::FrmMotor;
using namespace kt::mainwindow::test;

namespace {

using ExamplesMenuTest = MainWindowTest;
const QString kShipped = QStringLiteral(KT_EXAMPLES);

QStringList ShippedNames() {
    return QDir(kShipped).entryList({"*.KtVbM"}, QDir::Files, QDir::Name | QDir::IgnoreCase);
}

// The submenu as it opens: captions, a disabled item in brackets.
QStringList Listed(FrmMotor& window) {
    auto* menu = window.findChild<QMenu*>("AddFileExamples");
    emit menu->aboutToShow();
    QStringList captions;
    for (const QAction* action : menu->actions())
        captions << (action->isEnabled() ? action->text() : "[" + action->text() + "]");
    return captions;
}

} // namespace

// Looked for beside the program, in its installation's share folder, then in
// the system's data folders; the first folder holding a program wins.
TEST(ExamplesMenu, FoundBesideTheProgramInstalledOrNowhere) {
    const auto old = [](const char* name) {
        return qEnvironmentVariableIsSet(name) ? std::optional(qgetenv(name)) : std::nullopt;
    };
    const auto put = [](const char* name, const std::optional<QByteArray>& value) {
        return value ? qputenv(name, *value) : qunsetenv(name);
    };
    const auto restore = qScopeGuard([&, home = old("XDG_DATA_HOME"), dirs = old("XDG_DATA_DIRS")] {
        put("XDG_DATA_HOME", home);
        put("XDG_DATA_DIRS", dirs);
    });
    const QString beside = "prefix/bin/examples/", installed = "prefix/share/ktmotor/examples/",
                  system = "system-data/ktmotor/examples/";
    struct Row {
        const char* where;
        QStringList files, listed;
        QString folder; // what ExamplesFolder names, from the root
    };
    const Row rows[] = {
        {"beside the program, sorted as names are, an ampersand a character",
         {beside + "b.KtVbM", beside + "A.KtVbM", beside + "Fast & slow.KtVbM", beside + "x.txt"},
         {"A", "b", "Fast && slow"},
         beside},
        {"beside wins",
         {beside + "B.KtVbM", installed + "I.KtVbM", system + "S.KtVbM"},
         {"B"},
         beside},
        {"a folder without programs is passed over",
         {beside + "x.txt", installed + "I.KtVbM", system + "S.KtVbM"},
         {"I"},
         installed},
        {"in a system data folder", {system + "S.KtVbM"}, {"S"}, system},
        {"nowhere", {}, {"[(none)]"}, {}},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.where);
        QTemporaryDir root;
        for (const QString& file : row.files)
            Put(root.filePath(file), "Do\r\nLoop\r\n");
        put("XDG_DATA_HOME", QFile::encodeName(root.filePath("home-data")));
        put("XDG_DATA_DIRS", QFile::encodeName(root.filePath("system-data")));
        kt::platform::ScriptedPrompts prompts;
        FrmMotor window(prompts, root.filePath("prefix/bin"), root.filePath("documents"));
        EXPECT_EQ(Listed(window), row.listed);
        EXPECT_EQ(window.ExamplesFolder(),
                  row.folder.isEmpty() ? QString() : QDir::cleanPath(root.filePath(row.folder)));
    }
}

// Every shipped example is listed and opens as an untitled copy, its text
// byte for byte; Save asks for a name, so the example stays as shipped.
TEST_F(ExamplesMenuTest, ListedAndOpenedAsUntitledCopies) {
    QStringList captions;
    for (const QString& name : ShippedNames()) {
        Put(Path("examples/" + name), Bytes(kShipped + u'/' + name));
        captions << QFileInfo(name).completeBaseName();
    }
    const QString saved = Put(Path("saved.KtVbM"), "Do\r\nLoop\r\n");
    Restart({});
    EXPECT_GE(captions.size(), 6);
    ASSERT_EQ(Listed(*m_window), captions);

    for (qsizetype i = 0; i < captions.size(); ++i) {
        const QString example = Path("examples/" + ShippedNames()[i]);
        SCOPED_TRACE(example.toStdString());
        ASSERT_TRUE(m_window->OpenFile(saved)); // a named program before
        Listed(*m_window);
        Menu("AddFileExamples")->actions()[i]->trigger();
        EXPECT_EQ(Box()->Text().toStdString(), Bytes(example).toStdString());
        EXPECT_TRUE(m_window->Untitled());
        EXPECT_FALSE(m_window->Changed());
        EXPECT_EQ(m_window->windowTitle(), "NewMotorProgram");
        EXPECT_EQ(m_window->ProgramFile(), m_window->Files().DefaultProgramFile("NewMotorProgram"));
        EXPECT_FALSE(m_window->RecentFiles().contains(QFileInfo(example).absoluteFilePath()));

        const std::size_t dialogs = m_prompts.FileDialogs().size();
        Box()->SetText("Do\r\nLoop\r\n");
        EXPECT_FALSE(m_window->SaveProgram());
        EXPECT_EQ(m_prompts.FileDialogs().size(), dialogs + 1);
        EXPECT_EQ(Bytes(example), Bytes(kShipped + u'/' + ShippedNames()[i]));
    }
}
