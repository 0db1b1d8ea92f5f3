#include "platform/announce.h"
#include "platform/app_settings.h"
#include "platform/contrast.h"
#include "platform/text_zoom.h"
#include "tests/accessible_walk.h"

#include <QAction>
#include <QLabel>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

namespace {

using kt::platform::TextZoom;

// Through the steps and past both ends; a size between steps goes to the
// nearest; every change is remembered and a followed widget's font follows.
TEST(TextZoom, StepsClampRememberAndFollow) {
    TextZoom& zoom = TextZoom::Instance();
    zoom.Reset();
    QLabel label(QStringLiteral("x"));
    QFont font = label.font();
    font.setPointSizeF(10);
    label.setFont(font);
    zoom.Follow(&label);
    auto gone = std::make_unique<QLabel>();
    zoom.Follow(gone.get());
    gone.reset(); // a followed widget may go first

    const struct {
        void (TextZoom::*act)();
        int percent;
    } rows[] = {{&TextZoom::ZoomIn, 110},  {&TextZoom::ZoomIn, 125}, {&TextZoom::ZoomOut, 110},
                {&TextZoom::ZoomOut, 100}, {&TextZoom::ZoomOut, 90}, {&TextZoom::Reset, 100}};
    for (const auto& row : rows) {
        (zoom.*row.act)();
        EXPECT_EQ(zoom.Percent(), row.percent);
        EXPECT_DOUBLE_EQ(label.font().pointSizeF(), 10.0 * row.percent / 100);
        EXPECT_EQ(kt::platform::AppSettings::Value("View/TextZoom").toInt(), row.percent);
    }
    zoom.SetPercent(137);
    EXPECT_EQ(zoom.Percent(), 125);
    for (int i = 0; i < 20; ++i)
        zoom.ZoomIn();
    EXPECT_EQ(zoom.Percent(), TextZoom::kSteps.back());
    for (int i = 0; i < 20; ++i)
        zoom.ZoomOut();
    EXPECT_EQ(zoom.Percent(), TextZoom::kSteps.front());

    // The keys a user presses, in a window that has the actions.
    QWidget window;
    zoom.AddActions(&window);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));
    zoom.Reset();
    for (const auto& [key, percent] : {std::pair{Qt::Key_Equal, 110},
                                       {Qt::Key_Plus, 125},
                                       {Qt::Key_Minus, 110},
                                       {Qt::Key_0, 100}}) {
        QTest::keyClick(&window, key, Qt::ControlModifier);
        EXPECT_EQ(zoom.Percent(), percent) << key;
    }
}

TEST(Contrast, LegibleMovesOnlyAsFarAsNeeded) {
    using kt::platform::Contrast;
    using kt::platform::Legible;
    EXPECT_NEAR(Contrast(Qt::black, Qt::white), 21.0, 1e-9);
    EXPECT_NEAR(Contrast(Qt::white, Qt::white), 1.0, 1e-9);
    const QColor white(Qt::white), black(Qt::black), paleGrey(200, 200, 200);
    const QColor dark(30, 30, 30);
    // Already legible: unchanged. Too pale: darker, but no further than needed.
    EXPECT_EQ(Legible(black, white, 4.5, black), black);
    const QColor moved = Legible(paleGrey, white, 4.5, black);
    EXPECT_GE(Contrast(moved, white), 4.5);
    EXPECT_LT(Contrast(moved, white), 5.5);
    EXPECT_GE(Contrast(Legible(QColor(60, 60, 60), dark, 3.0, white), dark), 3.0);
    // Nothing reads: the colour it was moved toward.
    EXPECT_EQ(Legible(paleGrey, white, 4.5, white), white);
}

TEST(Announce, DescribesTheWidgetAndIsHeard) {
    QLabel status;
    status.show();
    kt::test::AnnouncementSpy spy;
    kt::platform::Announce(&status, QStringLiteral("Compiled: 26 of 254 bytes"));
    kt::platform::Announce(nullptr, QStringLiteral("nowhere"));
    EXPECT_EQ(spy.Texts(), QStringList{QStringLiteral("Compiled: 26 of 254 bytes")});
    EXPECT_EQ(status.accessibleDescription(), QStringLiteral("Compiled: 26 of 254 bytes"));
}

} // namespace
