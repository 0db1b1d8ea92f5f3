// The editor's colours under a light and a dark theme, switched at run time. Offscreen.
#include "editor/kt_highlighter.h"
#include "editor/kt_text.h"
#include "editor/text_box.h"
#include "platform/contrast.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QPalette>
#include <QTextBlock>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

using kt::editor::KtText;

namespace {

using kt::platform::Contrast;

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
