// File, Examples: what the submenu lists, and that opening one starts an
// untitled copy. (Its place in the File menu:
// frm_motor_test; the question about unsaved work: unsaved_questions_test.)
#include "tests/mainwindow/main_window_fixture.h"

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

// Every shipped example is listed and opens as an untitled copy, its text
// byte for byte (so Save asks for a name: NamesCaptionsAndOverwriting).
TEST_F(MainWindowTest, ExamplesOpenAsUntitledCopies) {
    const QString shipped = QStringLiteral(KT_EXAMPLES);
    const QStringList names =
        QDir(shipped).entryList({"*.KtVbM"}, QDir::Files, QDir::Name | QDir::IgnoreCase);
    for (const QString& name : names)
        Put(Path("examples/" + name), Bytes(shipped + u'/' + name));
    Restart({});
    ASSERT_GE(names.size(), 6);
    ASSERT_EQ(Listed(*m_window), QStringList(names).replaceInStrings(".KtVbM", ""));
    for (qsizetype i = 0; i < names.size(); ++i) {
        const QString example = Path("examples/" + names[i]);
        SCOPED_TRACE(example.toStdString());
        ASSERT_TRUE(m_window->OpenFile(Put(Path("saved.KtVbM"), "Do\r\n"))); // a named one before
        Menu("AddFileExamples")->actions()[i]->trigger();
        EXPECT_EQ(Box()->Text().toStdString(), Bytes(example).toStdString());
        EXPECT_TRUE(m_window->Untitled() && !m_window->Changed());
        EXPECT_EQ(m_window->windowTitle(), "NewMotorProgram");
        EXPECT_FALSE(m_window->RecentFiles().contains(example));
    }
}
