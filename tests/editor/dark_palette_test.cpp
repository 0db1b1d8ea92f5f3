// The editor's colours under a light and a dark theme: the gutter's marks
// stand out from its ground, the ground is no light strip on a dark theme,
// the simulator's run line keeps the text readable, and a theme switched at
// run time repaints all of them. Offscreen.
#include "editor/break_cell.h"
#include "editor/kt_highlighter.h"
#include "editor/kt_text.h"
#include "editor/mark_images.h"
#include "editor/text_box.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QImage>
#include <QLabel>
#include <QPalette>
#include <QTextBlock>
#include <QTextLayout>

#include <algorithm>
#include <cmath>
#include <memory>

using kt::editor::KtText;
using kt::editor::MarkImages;

namespace {

// Relative luminance and contrast ratio as the accessibility guidelines
// define them: 1 for equal colours, 21 for black on white.
double Luminance(const QColor& colour) {
    const auto channel = [](double c) {
        return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(colour.redF()) + 0.7152 * channel(colour.greenF()) +
           0.0722 * channel(colour.blueF());
}

double Contrast(const QColor& a, const QColor& b) {
    const double la = Luminance(a);
    const double lb = Luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QPalette DarkPalette() {
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(45, 45, 48));
    dark.setColor(QPalette::WindowText, QColor(220, 220, 220));
    dark.setColor(QPalette::Base, QColor(30, 30, 30));
    dark.setColor(QPalette::Text, QColor(220, 220, 220));
    dark.setColor(QPalette::Highlight, QColor(42, 130, 218));
    return dark;
}

QRgb Pixel(QWidget* widget, QPoint at) {
    return widget->grab().toImage().pixel(at);
}

// The lowest contrast of the coloured program text against the text's ground.
double TextContrast(const KtText& editor) {
    double lowest = 21;
    const QColor ground = editor.palette().color(QPalette::Base);
    for (QTextBlock block = editor.RText()->document()->begin(); block.isValid();
         block = block.next())
        for (const QTextLayout::FormatRange& range : block.layout()->formats())
            if (range.format.hasProperty(QTextFormat::ForegroundBrush))
                lowest = std::min(lowest, Contrast(range.format.foreground().color(), ground));
    return lowest;
}

class DarkPaletteTest : public ::testing::Test {
protected:
    void SetUp() override { m_light = QApplication::palette(); }
    void TearDown() override { Switch(m_light); }
    // The widgets hear of a new application palette through posted events.
    static void Switch(const QPalette& palette) {
        QApplication::setPalette(palette);
        QCoreApplication::processEvents();
    }
    QPalette m_light;
};

// Whatever the theme, every mark's rim and the corner's grip stand out from
// the gutter's ground by at least 3:1; a dark theme gets a dark ground.
TEST_F(DarkPaletteTest, MarksStandOutFromTheGround) {
    for (const bool dark : {false, true}) {
        SCOPED_TRACE(dark ? "dark" : "light");
        const QPalette palette = dark ? DarkPalette() : m_light;
        ASSERT_EQ(KtText::DarkPalette(palette), dark);
        const MarkImages::Colours colours = MarkImages::ColoursFor(palette);
        EXPECT_EQ(colours.ground.lightness() < 128, dark);
        for (const QColor& line :
             {colours.grip, colours.discRim, colours.arrowRim, colours.crossRim})
            EXPECT_GE(Contrast(line, colours.ground), 3.0) << line.name().toStdString();
        // The mark's fill, not only its rim, reads on the ground.
        EXPECT_GE(Contrast(colours.discFill, colours.ground), 3.0);
    }
}

// Switching to a dark theme while the editor is up repaints its gutter, its
// marks, its corner, its run line and its text in the dark colours.
TEST_F(DarkPaletteTest, ThemeSwitchRepaintsTheGutter) {
    KtText editor;
    editor.resize(300, 200);
    editor.show();
    editor.RText()->SetText("Do\r\nCounter0 = 1\r\nLoop");
    editor.GetPara(false);
    editor.SetRunBreak({1, 0, 2});
    editor.SetErrorLine(3);
    editor.SetRunLine(2);

    Switch(DarkPalette());
    ASSERT_TRUE(KtText::DarkPalette(editor.palette()));
    const MarkImages::Colours colours = MarkImages::ColoursFor(editor.palette());
    EXPECT_TRUE(editor.Highlighter()->DarkBackground());
    EXPECT_GE(TextContrast(editor), 4.5);

    // Row 2 has no mark; below the rows and in the corner, the bare ground.
    EXPECT_EQ(Pixel(editor.PicBreak(1), {1, 8}), colours.ground.rgb());
    EXPECT_EQ(Pixel(&editor, {8, editor.height() - 3}), colours.ground.rgb());
    EXPECT_EQ(Pixel(editor.findChild<QLabel*>(), {2, 2}), colours.ground.rgb());
    EXPECT_EQ(Pixel(editor.PicBreak(0), {8, 8}), colours.discFill.rgb());
    EXPECT_TRUE(editor.PicBreak(2)->ShowsError());
    EXPECT_EQ(Pixel(editor.PicBreak(2), {8, 8}), colours.cross.rgb());

    const QList<QTextEdit::ExtraSelection> runLine = editor.RText()->extraSelections();
    ASSERT_EQ(runLine.size(), 1);
    EXPECT_EQ(runLine.front().cursor.block().blockNumber(), 1);
    EXPECT_GE(Contrast(runLine.front().format.background().color(),
                       editor.palette().color(QPalette::Text)),
              4.5);

    // And back: nothing of the dark look stays.
    Switch(m_light);
    EXPECT_FALSE(editor.Highlighter()->DarkBackground());
    EXPECT_GE(TextContrast(editor), 4.5);
    EXPECT_EQ(Pixel(editor.PicBreak(1), {1, 8}), MarkImages::ColoursFor(m_light).ground.rgb());
    EXPECT_GE(Contrast(editor.RText()->extraSelections().front().format.background().color(),
                       m_light.color(QPalette::Text)),
              4.5);
}

} // namespace
