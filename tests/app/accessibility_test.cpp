// The whole program as a screen reader and a keyboard-only user meet it:
// every window the menus open, and a session from typing a program to
// reading the drive without a mouse.
#include "app/desktop_app.h"
#include "device/frm_device.h"
#include "editor/kt_text.h"
#include "editor/text_box.h"
#include "mainwindow/frm_motor.h"
#include "modal_answerer.h"
#include "tests/accessible_walk.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

namespace {

using kt::app::DesktopApp;
using Command = kt::mainwindow::FrmMotor::SimulatorCommand;

// Counts what a mouse would do anywhere in the program.
class MouseWatch : public QObject {
public:
    MouseWatch() { qApp->installEventFilter(this); }
    ~MouseWatch() override { qApp->removeEventFilter(this); }
    int Count() const { return m_count; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        switch (event->type()) {
        case QEvent::MouseButtonPress:
        case QEvent::MouseButtonRelease:
        case QEvent::MouseButtonDblClick:
        case QEvent::Wheel:
            ++m_count;
            break;
        default:
            break;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    int m_count = 0;
};

QWidget* Focus() {
    return QApplication::focusWidget();
}

void Press(int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier) {
    QWidget* target = Focus() ? Focus() : QApplication::activeWindow();
    ASSERT_NE(target, nullptr);
    QTest::keyClick(target, static_cast<Qt::Key>(key), modifiers);
}

TEST(Accessibility, EveryWindowTheMenusOpenNamesEveryControl) {
    QTemporaryDir folder;
    DesktopApp desktop({}, true, folder.path(), folder.path());
    desktop.SetRecoveryFolder(folder.path());
    kt::test::ModalAnswerer answerer; // none expected; none left waiting
    desktop.Show();
    desktop.Window().KtText1()->RText()->SetText("Do\r\n  Output.0 = True\r\nLoop");
    desktop.ShowDevice();
    desktop.Device()->CmdExpand_Click();
    for (const char* action : {"AddMonitorCommunication", "AddMonitorValues", "MnuHelpContents"})
        desktop.Window().findChild<QAction*>(action)->trigger();
    desktop.Simulate(Command::Step);
    int walked = 0;
    for (QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible())
            continue;
        ++walked;
        EXPECT_EQ(kt::test::UnnamedControls(window).join(u'\n').toStdString(), "")
            << window->metaObject()->className();
    }
    EXPECT_GE(walked, 6); // main, start-up card, device, communication, monitor, help, simulator
    EXPECT_EQ(answerer.Unexpected(), std::vector<QString>{});
}

TEST(Accessibility, KeyboardAloneWritesCompilesReadsTheDriveAndCloses) {
    QTemporaryDir folder;
    DesktopApp desktop({}, true, folder.path(), folder.path());
    desktop.SetRecoveryFolder(folder.path());
    MouseWatch mouse;
    desktop.Show();
    QWidget& main = desktop.Window();
    QApplication::setActiveWindow(&main);
    kt::editor::TextBox* text = desktop.Window().KtText1()->RText();
    text->setFocus();

    // Each line is checked as Enter ends it; Escape first closes the
    // template list the typing may have opened.
    for (const char* line : {"Do", "Output.0 = True", "Loop"}) {
        ASSERT_EQ(Focus(), text) << line << " "
                                 << (Focus() ? Focus()->metaObject()->className() : "none");
        QTest::keyClicks(Focus(), QString::fromLatin1(line));
        Press(Qt::Key_Escape);
        Press(Qt::Key_Return);
    }
    EXPECT_TRUE(text->Text().contains("Output.0 = True"));

    kt::test::ModalAnswerer answerer;
    answerer.Press("Compiled", Qt::Key_Return);
    Press(Qt::Key_L, Qt::ControlModifier); // File, Compile
    EXPECT_EQ(answerer.Count("Compiled"), 1);
    // The window manager gives the window back the focus the box took.
    QApplication::setActiveWindow(&main);

    Press(Qt::Key_D, Qt::AltModifier); // the Device menu
    ASSERT_NE(desktop.Device(), nullptr);
    kt::device::FrmDevice& device = *desktop.Device();
    QApplication::setActiveWindow(&device); // as a window manager does for a new window
    ASSERT_TRUE(device.isActiveWindow());
    for (int i = 0; i < 200 && Focus() != device.CmdRead(36); ++i)
        Press(Qt::Key_Tab);
    ASSERT_EQ(Focus(), device.CmdRead(36));
    Press(Qt::Key_Space);                              // Read All
    EXPECT_FALSE(device.TxtPara(4)->text().isEmpty()); // BusVolt, read
    Press(Qt::Key_Escape);
    EXPECT_FALSE(device.isVisible());
    EXPECT_EQ(answerer.Unexpected(), std::vector<QString>{});
    EXPECT_EQ(mouse.Count(), 0);
}

} // namespace
