// The questions before unsaved work is lost, answered in the real message
// boxes as a user answers them: Escape, or the box's close button, backs
// out of the command and keeps the work, whatever the command.
#include "editor/kt_text.h"
#include "editor/text_box.h"
#include "mainwindow/frm_motor.h"
#include "platform/dialog_prompts.h"
#include "tests/modal_answerer.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QDropEvent>
#include <QFile>
#include <QFileDialog>
#include <QMenu>
#include <QMimeData>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrl>

#include <algorithm>
#include <functional>

using kt::mainwindow::FrmMotor;

namespace {

const QString kLoseWork = "You will loose un saved data?,Save Now?";
const QString kChanged = "File changed,Save Now?";

// The visible buttons of a box, by their standard role, in a stable order.
QList<QMessageBox::StandardButton> VisibleButtons(QMessageBox* box) {
    QList<QMessageBox::StandardButton> buttons;
    for (QAbstractButton* button : box->buttons()) {
        if (button->isVisible())
            buttons << box->standardButton(button);
    }
    std::sort(buttons.begin(), buttons.end());
    return buttons;
}

} // namespace

TEST(UnsavedQuestions, BackingOutOfTheRealBoxKeepsTheWork) {
    QTemporaryDir folder;
    const QString other = folder.filePath("other.KtVbM");
    {
        QFile file(other);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("Loop\r\n");
    }
    kt::platform::DialogPrompts prompts;
    FrmMotor window(prompts, folder.path(), folder.path());
    prompts.SetParent(&window);
    window.show();
    ASSERT_TRUE(window.OpenFile(other)); // now among the recent files

    // A file dialog would mean the command went on: recorded and closed.
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
    const auto recent = [&] {
        auto* menu = window.findChild<QMenu*>("AddFileRecent");
        emit menu->aboutToShow();
        menu->actions().front()->trigger();
    };
    const auto drop = [&] {
        QMimeData data;
        data.setUrls({QUrl::fromLocalFile(other)});
        // As a drag delivers it: where the entering drag was taken.
        QWidget* target = window.KtText1()->RText()->viewport();
        QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &enter);
        QDropEvent event(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
        QCoreApplication::sendEvent(target, &event);
        QTest::qWait(20); // the question comes after the drop has ended
    };
    const auto close = [&] { window.close(); };
    struct Row {
        const char* command;
        std::function<void()> run;
        QString question;
        QList<QMessageBox::StandardButton> buttons;
    };
    const QList<QMessageBox::StandardButton> yesNo = {QMessageBox::Yes, QMessageBox::No};
    const Row rows[] = {
        {"New", action("MnuFileNew"), kLoseWork, yesNo},
        {"Open", action("MnuFileOpen"), kLoseWork, yesNo},
        {"Recent Files", recent, kLoseWork, yesNo},
        {"a dropped file", drop, kLoseWork, yesNo},
        {"closing the window",
         close,
         kChanged,
         {QMessageBox::Yes, QMessageBox::No, QMessageBox::Cancel}},
    };
    for (const Row& row : rows) {
        for (const int key : {int(Qt::Key_Escape), 0}) {
            SCOPED_TRACE(std::string(row.command) + (key ? " / Escape" : " / close button"));
            window.KtText1()->RText()->SetText("Do\r\n  Counter0 = 1\r\n");
            ASSERT_TRUE(window.Changed());
            kt::test::ModalAnswerer answerer;
            QList<QMessageBox::StandardButton> shownButtons;
            answerer.WhileShown(row.question, [&] {
                shownButtons =
                    VisibleButtons(qobject_cast<QMessageBox*>(QApplication::activeModalWidget()));
            });
            answerer.Press(row.question, key);
            row.run();
            EXPECT_EQ(answerer.Shown(), std::vector<QString>{row.question});
            EXPECT_EQ(shownButtons, row.buttons);
            EXPECT_EQ(window.KtText1()->RText()->Text(), "Do\r\n  Counter0 = 1\r\n");
            EXPECT_TRUE(window.Changed());
            EXPECT_TRUE(window.isVisible());
            EXPECT_EQ(answerer.Unexpected(), std::vector<QString>{});
            EXPECT_EQ(fileDialogs, 0);
            fileDialogs = 0;
        }
    }
    // The answers themselves still do what they say: No lets the work go.
    kt::test::ModalAnswerer answerer;
    answerer.Answer(kLoseWork, QMessageBox::No);
    window.findChild<QAction*>("MnuFileNew")->trigger();
    EXPECT_EQ(window.KtText1()->RText()->Text(), "");
    EXPECT_FALSE(window.Changed());
}
