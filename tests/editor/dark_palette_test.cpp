// The editor's colours under a light and a dark theme, switched at run time. Offscreen.
#include "editor/kt_highlighter.h"
#include "editor/kt_text.h"
#include "editor/text_box.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPalette>
#include <QTextBlock>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

using kt::editor::KtText;

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
    // The list form: the two-argument one returns references to the temporaries.
    const auto [low, high] = std::minmax({Luminance(a), Luminance(b)});
    return (high + 0.05) / (low + 0.05);
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

// Switching to a dark theme while the editor is up repaints its text in the dark colours;
// switching back leaves nothing of the dark look.
TEST_F(DarkPaletteTest, ThemeSwitchRepaintsTheText) {
    KtText editor;
    editor.resize(300, 200);
    editor.show();
    editor.RText()->SetText("Do\r\nCounter0 = 1\r\nLoop");
    editor.GetPara(false);
    for (const auto& [palette, dark] :
         {std::pair(DarkPalette(), true), std::pair(m_light, false)}) {
        Switch(palette);
        ASSERT_EQ(KtText::DarkPalette(editor.palette()), dark);
        EXPECT_EQ(editor.Highlighter()->DarkBackground(), dark);
        EXPECT_GE(TextContrast(editor), 4.5) << dark;
        EXPECT_GE(Contrast(editor.RText()->NoteColour(), editor.palette().color(QPalette::Base)),
                  4.5);
    }
}

} // namespace
