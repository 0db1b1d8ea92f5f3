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
    QWidget* Child(const char* name) const {
        return m_box->findChild<QWidget*>(QString::fromLatin1(name));
    }
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
        EXPECT_EQ(box.Timer1().isActive(), running);
        EXPECT_EQ(box.Timer2().isActive(), running);
        EXPECT_EQ(box.Timer1().interval(), 5000);
        EXPECT_EQ(box.Timer2().interval(), 60);
        EXPECT_EQ(box.parentWidget(), parent);
        const QRect screen = m_owner.screen()->geometry();
        EXPECT_EQ(box.pos(), screen.topLeft() + QPoint((screen.width() - box.width()) / 2,
                                                       (screen.height() - box.height()) / 2));
    }
    EXPECT_EQ(Text("lblVersion"), "Version 1.1");
    EXPECT_EQ(Text("lblWarning"), " Warning To be operated by authorized users");
    EXPECT_FALSE(Text("lblCompanyProduct").isEmpty());
    EXPECT_EQ(Text("lblCompany"), "Company " + Text("lblCompanyProduct"));
    EXPECT_TRUE(Text("LblEmail").startsWith("Email: "));
    EXPECT_FALSE(static_cast<QLabel*>(Child("imgLogo"))->pixmap().isNull());
}

// First tick at (0, 0)-(W, H), the next 2 pixels further in, in one visible
// colour, over the first (right and bottom edges are left out).
TEST_F(FrmCompanyTest, EachTickDrawsTwoPixelsFurtherIn) {
    FrmCompany& box = Make(Mode::StartUp, 60, 41);
    const QRgb ground = box.Canvas().toImage().pixel(30, 20);
    box.AnimationTick();
    const QRgb trace = box.Canvas().toImage().pixel(30, 0);
    EXPECT_NE(trace, ground);
    box.AnimationTick();
    const QImage image = box.Canvas().toImage();
    for (const QPoint at : {QPoint(30, 0), QPoint(0, 20), QPoint(59, 20), QPoint(30, 40),
                            QPoint(30, 2), QPoint(2, 20), QPoint(57, 20), QPoint(30, 38)})
        EXPECT_EQ(image.pixel(at), trace) << at.x() << "," << at.y();
    for (const QPoint at : {QPoint(30, 1), QPoint(30, 3), QPoint(1, 20), QPoint(0, 0)})
        EXPECT_EQ(image.pixel(at), ground) << at.x() << "," << at.y();
    EXPECT_EQ(box.InsetStep(), 4);
}

TEST_F(FrmCompanyTest, AnimationEndsOnlyWhenAnInsideEdgeReachesMinusTwenty) {
    // Width, height, and the inset it ends at (0: never).
    const std::tuple<int, int, int> cases[] = {{40, 31, 60}, {31, 40, 60}, {41, 31, 0}};
    for (const auto& [width, height, endInset] : cases) {
        SCOPED_TRACE(testing::Message() << width << "x" << height);
        FrmCompany& box = Make(Mode::StartUp, width, height);
        for (int tick = 0; tick < 200; ++tick) {
            EXPECT_EQ(box.Timer1().isActive(), endInset == 0 || tick <= endInset / 2) << tick;
            box.AnimationTick();
        }
        EXPECT_EQ(box.InsetStep(), endInset != 0 ? endInset : 400);
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

TEST_F(FrmCompanyTest, MailLineOpensAMessageToAndCcSupportOrSaysWhyNot) {
    m_mailWorks = true;
    Make(Mode::About);
    const QString address = Text("LblEmail").mid(7);
    EXPECT_TRUE(address.contains('@'));
    Click("LblEmail");
    ASSERT_EQ(m_opened.size(), 1u);
    const QUrl& url = m_opened.front();
    EXPECT_EQ(url.scheme() + ":" + url.path(), "mailto:" + address);
    EXPECT_EQ(QUrlQuery(url).queryItemValue("cc"), address);
    EXPECT_TRUE(m_prompts.Shown().empty());
    ASSERT_FALSE(Gone());

    m_mailWorks = false;
    Click("LblEmail");
    ASSERT_EQ(m_prompts.Shown().size(), 1u);
    EXPECT_EQ(m_prompts.Shown().front().text, "1\nNo mail program could be opened.");
    EXPECT_EQ(m_prompts.Shown().front().buttons, kt::platform::Buttons::Ok);
    EXPECT_FALSE(Gone());

    // The close timer firing while the message is up waits for the answer.
    Make(Mode::StartUp);
    m_prompts.OnMessage([this](const auto&) {
        m_box->CloseTick();
        EXPECT_FALSE(Gone());
    });
    Click("LblEmail");
    EXPECT_EQ(m_prompts.Shown().size(), 2u);
    EXPECT_TRUE(Gone());
}

} // namespace
