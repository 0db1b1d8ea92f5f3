// The questions before unsaved work is lost, answered in the real message
// boxes as a user answers them: Escape, or the box's close button, backs
// out of the command and keeps the work, whatever the command; No lets the
// command go on; Yes saves first, and a save dialog cancelled stops it.
#include "platform/dialog_prompts.h"
#include "tests/mainwindow/main_window_fixture.h"
#include "tests/modal_answerer.h"

#include <QFileDialog>
#include <QTimer>

#include <algorithm>
#include <functional>

using kt::mainwindow::FrmMotor;
using namespace kt::mainwindow::test;

TEST(UnsavedQuestions, EscapeKeepsTheWorkNoGoesOnYesSaves) {
    QTemporaryDir folder;
    const QString other = Put(folder.filePath("other.KtVbM"), "Loop\r\n");
    const QByteArray blink = Bytes(QStringLiteral(KT_EXAMPLES "/Blink.KtVbM"));
    Put(folder.filePath("examples/Blink.KtVbM"), blink);
    kt::platform::DialogPrompts prompts;
    FrmMotor window(prompts, folder.path(), folder.path());
    prompts.SetParent(&window);
    window.show();
    ASSERT_TRUE(window.OpenFile(other)); // now among the recent files
    // A file dialog means the command went on: recorded and closed.
    int fileDialogs = 0;
    QTimer dialogs;
    QObject::connect(&dialogs, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget()))
            ++fileDialogs, dialog->reject();
    });
    dialogs.start(5);
    const auto run = [&](const char* name) {
        return [&window, name] {
            if (auto* menu = window.findChild<QMenu*>(name)) { // its first entry
                emit menu->aboutToShow();
                menu->actions().front()->trigger();
            } else
                window.findChild<QAction*>(name)->trigger();
        };
    };
    const QString loseWork = "You will loose un saved data?,Save Now?",
                  changed = "File changed,Save Now?";
    using B = QMessageBox;
    const QList yesNo = {B::Yes, B::No}, yesNoCancel = {B::Yes, B::No, B::Cancel};
    const QString work = "Do\r\n  Counter0 = 1\r\n";
    // The command, its question and buttons, the text once No was answered,
    // file dialogs then (Open's, cancelled).
    const std::tuple<std::function<void()>, QString, QList<B::StandardButton>, QString, int>
        rows[] = {
            {run("MnuFileNew"), loseWork, yesNo, "", 0},
            {run("MnuFileOpen"), loseWork, yesNo, work, 1},
            {run("AddFileRecent"), loseWork, yesNo, "Loop\r\n", 0},
            {[&] { Drop(window, QUrl::fromLocalFile(other)); }, loseWork, yesNo, "Loop\r\n", 0},
            {run("AddFileExamples"), loseWork, yesNo, QString::fromLatin1(blink), 0},
            {[&] { window.close(); }, changed, yesNoCancel, work, 0},
        };
    for (const auto& [command, question, buttons, afterNo, dialogsAfterNo] : rows) {
        for (const std::string way : {"Escape", "close button", "Cancel", "Yes", "No"}) {
            SCOPED_TRACE(question.toStdString() + " / " + way);
            const bool no = way == "No", yes = way == "Yes", cancel = way == "Cancel";
            // Yes on a named program would save over other.KtVbM, which later rows open.
            if ((yes && !window.Untitled()) || (cancel && !buttons.contains(B::Cancel)))
                continue;
            window.KtText1()->RText()->SetText(work);
            ASSERT_TRUE(window.Changed());
            fileDialogs = 0;
            kt::test::ModalAnswerer answerer;
            QList<B::StandardButton> shown;
            answerer.WhileShown(question, [&] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                for (QAbstractButton* button : box->buttons())
                    if (button->isVisible())
                        shown << box->standardButton(button);
                std::sort(shown.begin(), shown.end());
            });
            if (no || yes || cancel)
                answerer.Answer(question, no ? B::No : yes ? B::Yes : B::Cancel);
            else
                answerer.Press(question, way == "Escape" ? Qt::Key_Escape : 0);
            command();
            EXPECT_EQ(answerer.Shown(), std::vector<QString>{question});
            EXPECT_EQ(answerer.Unexpected(), std::vector<QString>{});
            EXPECT_EQ(shown, buttons);
            EXPECT_EQ(window.KtText1()->RText()->Text(), no ? afterNo : work);
            EXPECT_EQ(window.Changed(), !no || afterNo == work);
            EXPECT_EQ(window.isVisible(), !no || question == loseWork);
            EXPECT_EQ(fileDialogs, no ? dialogsAfterNo : int(yes)); // Yes: the save dialog
        }
    }
    EXPECT_TRUE(window.Untitled()); // the example before the window closed
}
