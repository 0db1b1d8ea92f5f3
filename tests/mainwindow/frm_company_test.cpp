// The About box (Help, About) and the main window's start-up card, with no
// mail program to open; their timers driven by calling their tick handlers.
#include "mainwindow/frm_company.h"
#include "tests/mainwindow/main_window_fixture.h"

#include <QApplication>
#include <QLabel>
#include <QPointer>

using kt::mainwindow::FrmCompany;
using FrmCompanyTest = kt::mainwindow::test::MainWindowTest;

// The start-up card runs both timers, the About box neither and stands on
// its own; both name the version --version prints. A failure to open the
// mail program says why and leaves the box open; the close timer firing
// meanwhile waits for the message to be answered; then it closes the card.
TEST_F(FrmCompanyTest, AboutBoxAndStartUpCard) {
    for (const bool about : {false, true}) {
        about ? Action("MnuHelpAbout")->trigger() : m_window->ShowStartUpCard();
        QPointer<FrmCompany> box;
        for (QWidget* widget : QApplication::topLevelWidgets())
            if (auto* company = qobject_cast<FrmCompany*>(widget))
                box = company;
        ASSERT_TRUE(box);
        box->SetUrlOpener([](const QUrl&) { return false; });
        // Closed boxes delete themselves once the event loop gets to it.
        const auto gone = [&box] {
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            return box.isNull();
        };
        EXPECT_EQ(std::pair(box->Timer1().isActive(), box->Timer2().isActive()),
                  std::pair(!about, !about));
        EXPECT_EQ(box->parentWidget(), about ? nullptr : m_window.get());
        EXPECT_EQ(box->findChild<QLabel*>("lblVersion")->text(), "Version " KT_VERSION);
        m_prompts.OnMessage([&](const auto&) {
            if (box->Timer1().isActive())
                box->CloseTick();
            EXPECT_FALSE(gone());
        });
        QTest::mouseClick(box->findChild<QWidget*>("LblEmail"), Qt::LeftButton);
        EXPECT_EQ(m_prompts.ShownTexts().back(), "1\nNo mail program could be opened.");
        EXPECT_EQ(gone(), !about);
        delete box.data();
    }
}
