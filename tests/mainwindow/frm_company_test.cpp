// The About box offscreen: its timers driven by calling their tick handlers,
// its mail line by a failing URL opener, its messages by the scripted prompt
// service.
#include "mainwindow/frm_company.h"
#include "platform/scripted_prompts.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QPointer>
#include <QTest>

#include <functional>

using kt::mainwindow::FrmCompany;
using Mode = kt::mainwindow::FrmCompany::Mode;

namespace {

class FrmCompanyTest : public ::testing::Test {
protected:
    FrmCompanyTest() { m_owner.show(); }
    ~FrmCompanyTest() override {
        delete m_box.data();
        EXPECT_EQ(m_prompts.Unscripted().join(u'|').toStdString(), "");
    }
    FrmCompany& Make(Mode mode) {
        delete m_box.data();
        m_box = new FrmCompany(mode, m_prompts, &m_owner);
        m_box->SetUrlOpener([](const QUrl&) { return false; }); // no mail program
        m_box->show();
        return *m_box;
    }
    QWidget* Child(const char* name) const { return m_box->findChild<QWidget*>(name); }
    // Closed boxes delete themselves once the event loop gets to it.
    bool Gone() const {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return m_box.isNull();
    }

    QWidget m_owner;
    kt::platform::ScriptedPrompts m_prompts;
    QPointer<FrmCompany> m_box;
};

// The start-up card runs both timers, the About box neither and stands on
// its own; both name the version --version prints. A failure to open the
// mail program says why and leaves the box open; the close timer firing
// meanwhile waits for the message to be answered.
TEST_F(FrmCompanyTest, TimersVersionAndMailLine) {
    for (const auto& [mode, running, parent] :
         {std::tuple{Mode::StartUp, true, &m_owner},
          std::tuple{Mode::About, false, static_cast<QWidget*>(nullptr)}}) {
        FrmCompany& box = Make(mode);
        EXPECT_EQ(std::pair(box.Timer1().isActive(), box.Timer2().isActive()),
                  std::pair(running, running));
        EXPECT_EQ(box.parentWidget(), parent);
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
}

TEST_F(FrmCompanyTest, EveryWayOfDismissingCloses) {
    const std::pair<const char*, std::function<void()>> ways[] = {
        {"Timer1", [this] { m_box->CloseTick(); }},
        {"MnuExit", [this] { m_box->findChild<QAction*>("MnuExit")->trigger(); }},
        {"key", [this] { QTest::keyClick(m_box.data(), Qt::Key_A); }},
        {"PicButton", [this] { QTest::mouseClick(Child("PicButton"), Qt::LeftButton); }},
    };
    for (const auto& [name, dismiss] : ways) {
        Make(Mode::StartUp);
        // Neither the right button nor a release off the control is a click.
        QTest::mouseClick(Child("lblVersion"), Qt::RightButton);
        QTest::mousePress(Child("lblVersion"), Qt::LeftButton);
        QTest::mouseRelease(Child("lblVersion"), Qt::LeftButton, {}, QPoint(-3, -3));
        ASSERT_FALSE(Gone()) << name;
        dismiss();
        EXPECT_TRUE(Gone()) << name;
    }
}

} // namespace
