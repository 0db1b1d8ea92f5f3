// File, Examples: where the examples are found, what the submenu lists, and
// that opening one starts an untitled copy. (Its place in the File menu:
// frm_motor_test; the question about unsaved work: unsaved_questions_test.)
#include "tests/mainwindow/main_window_fixture.h"

#include <QScopeGuard>

using kt::mainwindow::FrmMotor;
using namespace kt::mainwindow::test;

namespace {

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
// the system's data folders; the first folder holding a program wins. Sorted
// as names are, an ampersand a character.
TEST(ExamplesMenu, FoundBesideTheProgramInstalledOrNowhere) {
    // Qt takes an empty variable for an unset one.
    const QByteArray home = qgetenv("XDG_DATA_HOME"), dirs = qgetenv("XDG_DATA_DIRS");
    const auto restore = qScopeGuard([&] {
        qputenv("XDG_DATA_HOME", home);
        qputenv("XDG_DATA_DIRS", dirs);
    });
    const QString b = "prefix/bin/examples/", i = "prefix/share/ktmotor/examples/",
                  s = "system-data/ktmotor/examples/";
    // The files there, the submenu, the folder it names (from the root).
    const std::tuple<QStringList, QStringList, QString> rows[] = {
        {{b + "b.KtVbM", b + "A.KtVbM", b + "Fast & slow.KtVbM", b + "x.txt", i + "I.KtVbM",
          s + "S.KtVbM"},
         {"A", "b", "Fast && slow"},
         b},
        {{b + "x.txt", i + "I.KtVbM", s + "S.KtVbM"}, {"I"}, i},
        {{s + "S.KtVbM"}, {"S"}, s},
        {{}, {"[(none)]"}, {}},
    };
    for (const auto& [files, listed, folder] : rows) {
        SCOPED_TRACE(folder.toStdString());
        QTemporaryDir root;
        for (const QString& file : files)
            Put(root.filePath(file), "Do\r\nLoop\r\n");
        qputenv("XDG_DATA_HOME", QFile::encodeName(root.filePath("home-data")));
        qputenv("XDG_DATA_DIRS", QFile::encodeName(root.filePath("system-data")));
        kt::platform::ScriptedPrompts prompts;
        FrmMotor window(prompts, root.filePath("prefix/bin"), root.filePath("documents"));
        EXPECT_EQ(Listed(window), listed);
        EXPECT_EQ(window.ExamplesFolder(),
                  folder.isEmpty() ? QString() : QDir::cleanPath(root.filePath(folder)));
    }
}

// Every shipped example is listed and opens as an untitled copy, its text
// byte for byte; Save asks for a name, so the example stays as shipped.
TEST_F(MainWindowTest, ExamplesOpenAsUntitledCopies) {
    const QString shipped = QStringLiteral(KT_EXAMPLES);
    const QStringList names =
        QDir(shipped).entryList({"*.KtVbM"}, QDir::Files, QDir::Name | QDir::IgnoreCase);
    QStringList captions;
    for (const QString& name : names) {
        Put(Path("examples/" + name), Bytes(shipped + u'/' + name));
        captions << QFileInfo(name).completeBaseName();
    }
    Restart({});
    EXPECT_GE(captions.size(), 6);
    ASSERT_EQ(Listed(*m_window), captions);
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString example = Path("examples/" + names[i]);
        SCOPED_TRACE(example.toStdString());
        ASSERT_TRUE(m_window->OpenFile(Put(Path("saved.KtVbM"), "Do\r\n"))); // a named one before
        Menu("AddFileExamples")->actions()[i]->trigger();
        EXPECT_EQ(Box()->Text().toStdString(), Bytes(example).toStdString());
        EXPECT_TRUE(m_window->Untitled());
        EXPECT_FALSE(m_window->Changed());
        EXPECT_EQ(m_window->windowTitle(), "NewMotorProgram");
        EXPECT_EQ(m_window->ProgramFile(), m_window->Files().DefaultProgramFile("NewMotorProgram"));
        EXPECT_FALSE(m_window->RecentFiles().contains(example));
        const std::size_t dialogs = m_prompts.FileDialogs().size();
        Box()->SetText("Do\r\nLoop\r\n");
        EXPECT_FALSE(m_window->SaveProgram());
        EXPECT_EQ(m_prompts.FileDialogs().size(), dialogs + 1);
        EXPECT_EQ(Bytes(example), Bytes(shipped + u'/' + names[i]));
    }
}
