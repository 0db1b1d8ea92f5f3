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
        if (auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget())) {
            ++fileDialogs;
            dialog->reject();
        }
    });
    dialogs.start(5);
    const auto action = [&](const char* name) {
        return [&window, name] { window.findChild<QAction*>(name)->trigger(); };
    };
    const auto first = [&](const char* menuName) {
        return [&window, menuName] {
            auto* menu = window.findChild<QMenu*>(menuName);
            emit menu->aboutToShow();
            menu->actions().front()->trigger();
        };
    };
    const QString kLoseWork = "You will loose un saved data?,Save Now?";
    const auto yesNo = {QMessageBox::Yes, QMessageBox::No};
    struct Row {
        const char* command;
        std::function<void()> run;
        QString question;
        QList<QMessageBox::StandardButton> buttons;
        QString afterNo; // the text once No was answered
        int dialogsAfterNo = 0;
    };
    const QString work = "Do\r\n  Counter0 = 1\r\n";
    const Row rows[] = {
        {"New", action("MnuFileNew"), kLoseWork, yesNo, ""},
        {"Open", action("MnuFileOpen"), kLoseWork, yesNo, work, 1}, // its dialog cancelled
        {"Recent Files", first("AddFileRecent"), kLoseWork, yesNo, "Loop\r\n"},
        {"a dropped file", [&] { Drop(window, QUrl::fromLocalFile(other)); }, kLoseWork, yesNo,
         "Loop\r\n"},
        {"an example", first("AddFileExamples"), kLoseWork, yesNo, QString::fromLatin1(blink)},
        {"closing the window",
         [&] { window.close(); },
         "File changed,Save Now?",
         {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel},
         work},
    };
    int yeses = 0;
    for (const Row& row : rows) {
        for (const std::string way : {"Escape", "close button", "Cancel", "Yes", "No"}) {
            SCOPED_TRACE(row.command + (" / " + way));
            const bool no = way == "No", yes = way == "Yes", cancel = way == "Cancel";
            // Yes on a named program would save over other.KtVbM, which later rows open.
            if ((yes && !window.Untitled()) ||
                (cancel && !row.buttons.contains(QMessageBox::Cancel)))
                continue;
            yeses += yes;
            window.KtText1()->RText()->SetText(work);
            ASSERT_TRUE(window.Changed());
            fileDialogs = 0;
            kt::test::ModalAnswerer answerer;
            QList<QMessageBox::StandardButton> shownButtons;
            answerer.WhileShown(row.question, [&] {
                auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
                for (QAbstractButton* button : box->buttons())
                    if (button->isVisible())
                        shownButtons << box->standardButton(button);
                std::sort(shownButtons.begin(), shownButtons.end());
            });
            if (no || yes || cancel)
                answerer.Answer(row.question, no    ? QMessageBox::No
                                              : yes ? QMessageBox::Yes
                                                    : QMessageBox::Cancel);
            else
                answerer.Press(row.question, way == "Escape" ? Qt::Key_Escape : 0);
            row.run();
            EXPECT_EQ(answerer.Shown(), std::vector<QString>{row.question});
            EXPECT_EQ(answerer.Unexpected(), std::vector<QString>{});
            EXPECT_EQ(shownButtons, row.buttons);
            EXPECT_EQ(window.KtText1()->RText()->Text(), no ? row.afterNo : work);
            EXPECT_EQ(window.Changed(), !no || row.afterNo == work);
            EXPECT_EQ(window.isVisible(), !no || row.question == kLoseWork);
            EXPECT_EQ(fileDialogs, no ? row.dialogsAfterNo : int(yes)); // Yes: the save dialog
        }
    }
    EXPECT_TRUE(window.Untitled()); // the example before the window closed
    EXPECT_EQ(yeses, 3);            // Open, Recent Files, closing the window
}
