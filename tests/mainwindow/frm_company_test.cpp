// The About box (Help, About) and the main window's start-up card, with no
// mail program to open; their timers driven by calling their tick handlers.
#include "mainwindow/frm_company.h"
#include "tests/mainwindow/main_window_fixture.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>

#include <functional>

using kt::mainwindow::FrmCompany;

namespace {

class FrmCompanyTest : public kt::mainwindow::test::MainWindowTest {
protected:
    ~FrmCompanyTest() override { delete m_box.data(); }
    void Open(bool about) {
        delete m_box.data();
        Gone();
        about ? Action("MnuHelpAbout")->trigger() : m_window->ShowStartUpCard();
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* box = qobject_cast<FrmCompany*>(widget))
                m_box = box;
        m_box->SetUrlOpener([](const QUrl&) { return false; });
    }
    QWidget* Child(const char* name) const { return m_box->findChild<QWidget*>(name); }
    // Closed boxes delete themselves once the event loop gets to it.
    bool Gone() const {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return m_box.isNull();
    }

    QPointer<FrmCompany> m_box;
};

// The start-up card runs both timers, the About box neither and stands on
// its own; both name the version --version prints. A failure to open the
// mail program says why and leaves the box open; the close timer firing
// meanwhile waits for the message to be answered. Every way of dismissing
// the card closes it, but the right button and a release off the control.
TEST_F(FrmCompanyTest, TimersVersionMailLineAndDismissing) {
    for (const bool about : {false, true}) {
        Open(about);
        const bool running = !about;
        EXPECT_EQ(std::pair(m_box->Timer1().isActive(), m_box->Timer2().isActive()),
                  std::pair(running, running));
        EXPECT_EQ(m_box->parentWidget(), about ? nullptr : m_window.get());
        EXPECT_EQ(static_cast<QLabel*>(Child("lblVersion"))->text(),
                  QStringLiteral("Version " KT_VERSION));
        m_prompts.OnMessage([this](const auto&) {
            if (m_box->Timer1().isActive())
                m_box->CloseTick();
            EXPECT_FALSE(Gone());
        });
        QTest::mouseClick(Child("LblEmail"), Qt::LeftButton);
        EXPECT_EQ(m_prompts.ShownTexts().back(), "1\nNo mail program could be opened.");
        EXPECT_EQ(Gone(), running);
    }
    const std::function<void()> ways[] = {
        [this] { m_box->CloseTick(); },
        [this] { m_box->findChild<QAction*>("MnuExit")->trigger(); },
        [this] { QTest::keyClick(m_box.data(), Qt::Key_A); },
        [this] { QTest::mouseClick(Child("PicButton"), Qt::LeftButton); },
    };
    for (const auto& dismiss : ways) {
        Open(false);
        QTest::mouseClick(Child("lblVersion"), Qt::RightButton);
        QTest::mousePress(Child("lblVersion"), Qt::LeftButton);
        QTest::mouseRelease(Child("lblVersion"), Qt::LeftButton, {}, QPoint(-3, -3));
        ASSERT_FALSE(Gone());
        dismiss();
        EXPECT_TRUE(Gone()) << &dismiss - ways;
    }
}

} // namespace
