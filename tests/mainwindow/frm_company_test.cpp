// The About box offscreen: its timers driven by calling their tick handlers,
// its mail line by a recording URL opener, its messages by the scripted
// prompt service.
#include "mainwindow/frm_company.h"
#include "platform/scripted_prompts.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>
#include <QPointer>
#include <QScreen>
#include <QTest>
#include <QUrlQuery>

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

    FrmCompany& Make(Mode mode, int pictureWidth = 0, int pictureHeight = 0) {
        delete m_box.data();
        m_box = new FrmCompany(mode, m_prompts, &m_owner);
        m_box->SetUrlOpener([this](const QUrl& url) {
            m_opened.push_back(url);
            return m_mailWorks;
        });
        if (pictureWidth > 0)
            Child("PicButton")->setFixedSize(pictureWidth, pictureHeight);
        m_box->show();
        return *m_box;
    }
    QWidget* Child(const char* name) const { return m_box->findChild<QWidget*>(name); }
    QString Text(const char* name) const { return static_cast<QLabel*>(Child(name))->text(); }
    void Click(const char* name) const { QTest::mouseClick(Child(name), Qt::LeftButton); }
    // Closed boxes delete themselves once the event loop gets to it.
    bool Gone() const {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        return m_box.isNull();
    }

    QWidget m_owner;
    kt::platform::ScriptedPrompts m_prompts;
    QPointer<FrmCompany> m_box;
    std::vector<QUrl> m_opened;
    bool m_mailWorks = false;
};

TEST_F(FrmCompanyTest, StartUpCardRunsBothTimersAboutBoxNeither) {
    for (const auto& [mode, running, parent] :
         {std::tuple{Mode::StartUp, true, &m_owner},
          std::tuple{Mode::About, false, static_cast<QWidget*>(nullptr)}}) {
        FrmCompany& box = Make(mode);
        EXPECT_EQ(std::pair(box.Timer1().isActive(), box.Timer2().isActive()),
                  std::pair(running, running));
        EXPECT_EQ(std::pair(box.Timer1().interval(), box.Timer2().interval()), std::pair(5000, 60));
        EXPECT_EQ(box.parentWidget(), parent);
        const QRect screen = m_owner.screen()->geometry();
        EXPECT_EQ(box.pos(), screen.topLeft() + QPoint((screen.width() - box.width()) / 2,
                                                       (screen.height() - box.height()) / 2));
    }
    EXPECT_EQ(Text("lblVersion"), "Version 1.1");
    EXPECT_EQ(Text("lblWarning"), " Warning To be operated by authorized users");
    EXPECT_EQ(Text("lblCompany"), "Company " + Text("lblCompanyProduct"));
}

// The first tick draws (0, 0)-(W, H), each next one 2 pixels further in.
// It ends, and stops the close timer, when W or H minus the inset is -20:
// at inset 60 for a side of 40, never with both sides odd.
TEST_F(FrmCompanyTest, AnimationMovesInAndEndsAtMinusTwenty) {
    const std::tuple<int, int, int> cases[] = {{40, 31, 60}, {31, 40, 60}, {41, 31, 0}};
    for (const auto& [width, height, endInset] : cases) {
        SCOPED_TRACE(testing::Message() << width << "x" << height);
        FrmCompany& box = Make(Mode::StartUp, width, height);
        const QRgb ground = box.Canvas().toImage().pixel(20, 1);
        box.AnimationTick();
        box.AnimationTick();
        const QImage image = box.Canvas().toImage();
        EXPECT_NE(image.pixel(20, 0), ground);
        EXPECT_EQ(image.pixel(20, 1), ground);
        EXPECT_NE(image.pixel(20, 2), ground);
        for (int tick = 2; tick < 200; ++tick)
            box.AnimationTick();
        EXPECT_EQ(box.InsetStep(), endInset != 0 ? endInset : 400);
        EXPECT_EQ(box.Timer1().isActive(), endInset == 0);
        EXPECT_TRUE(box.Timer2().isActive()); // keeps drawing the last rectangle
    }
}

TEST_F(FrmCompanyTest, EveryWayOfDismissingCloses) {
    std::vector<std::pair<std::string, std::function<void()>>> ways = {
        {"Timer1", [this] { m_box->CloseTick(); }},
        {"MnuExit", [this] { m_box->findChild<QAction*>("MnuExit")->trigger(); }},
        {"key", [this] { QTest::keyClick(m_box.data(), Qt::Key_A); }},
    };
    for (const char* name : {"lblProductName", "lblCompanyProduct", "lblCompany", "lblVersion",
                             "lblPlatform", "lblWarning", "imgLogo", "Frame1", "PicButton"})
        ways.emplace_back(name, [this, name] { Click(name); });
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

// A failure to open the mail program says why and leaves the box open; the
// close timer firing meanwhile waits for the message to be answered.
TEST_F(FrmCompanyTest, MailLineOpensAMessageToAndCcSupportOrSaysWhyNot) {
    m_mailWorks = true;
    Make(Mode::About);
    const QString address = Text("LblEmail").mid(7); // after "Email: "
    Click("LblEmail");
    ASSERT_EQ(m_opened.size(), 1u);
    EXPECT_EQ(m_opened[0].scheme() + ":" + m_opened[0].path(), "mailto:" + address);
    EXPECT_EQ(QUrlQuery(m_opened[0]).queryItemValue("cc"), address);

    m_mailWorks = false;
    for (const Mode mode : {Mode::About, Mode::StartUp}) {
        Make(mode);
        m_prompts.OnMessage([this](const auto&) {
            if (m_box->Timer1().isActive())
                m_box->CloseTick();
            EXPECT_FALSE(Gone());
        });
        Click("LblEmail");
        EXPECT_EQ(m_prompts.ShownTexts().back(), "1\nNo mail program could be opened.");
        EXPECT_EQ(Gone(), mode == Mode::StartUp);
    }
}

} // namespace
