// The editor's colours under a light and a dark theme, switched at run time. Offscreen.
#include "editor/kt_highlighter.h"
#include "editor/kt_text.h"
#include "editor/mark_images.h"
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

QPalette DarkPalette(QColor base = {30, 30, 30}, QColor text = {220, 220, 220},
                     QColor highlight = {42, 130, 218}) {
    QPalette dark;
    dark.setColor(QPalette::Window, base.lighter(150));
    dark.setColor(QPalette::WindowText, QColor(220, 220, 220));
    dark.setColor(QPalette::Base, base);
    dark.setColor(QPalette::Text, text);
    dark.setColor(QPalette::Highlight, highlight);
    return dark;
}

// The lowest contrast of the coloured program text against the text's ground.
double TextContrast(const KtText& editor, const QColor& band) {
    double lowest = 21;
    for (QTextBlock block = editor.RText()->document()->begin(); block.isValid();
         block = block.next())
        for (const QTextLayout::FormatRange& range : block.layout()->formats())
            for (const QColor& ground : {editor.palette().color(QPalette::Base), band})
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
    editor.SetRunLine(2);
    for (const auto& [palette, dark] :
         {std::pair(DarkPalette(), true), std::pair(DarkPalette({100, 100, 100}, Qt::white), true),
          std::pair(DarkPalette(Qt::black, Qt::white, Qt::darkBlue), true),
          std::pair(m_light, false)}) {
        Switch(palette);
        ASSERT_EQ(KtText::DarkPalette(editor.palette()), dark);
        EXPECT_EQ(editor.Highlighter()->DarkBackground(), dark);
        const QTextCharFormat band = editor.RText()->extraSelections().value(0).format;
        EXPECT_GE(TextContrast(editor, band.background().color()), 4.5) << dark;
        EXPECT_EQ(TextContrast(editor, band.background().color()) == 21 &&
                      editor.RText()->NoteColour() == palette.color(QPalette::Text),
                  KtText::HighContrast(palette));
        const QColor bandText =
            band.foreground().style() ? band.foreground().color() : palette.color(QPalette::Text);
        const kt::editor::MarkImages::Colours marks = kt::editor::MarkImages::ColoursFor(palette);
        for (const auto& [colour, ground, ratio] :
             {std::tuple{editor.RText()->NoteColour(), palette.color(QPalette::Base), 4.5},
              {bandText, band.background().color(), 4.5},
              {marks.grip, marks.ground, 3.0},
              {marks.discRim, marks.ground, 3.0},
              {marks.arrowRim, marks.ground, 3.0},
              {marks.crossRim, marks.ground, 3.0}})
            EXPECT_GE(Contrast(colour, ground), ratio) << colour.name().toStdString();
    }
}

} // namespace
