// The four 16x16 line-mark images of the editor's gutter and its corner
// picture, drawn in code: 0 plain ground, 1 red disc, 2 yellow arrow,
// 3 arrow over disc. Besides them, the image of a line in error, which is no
// mark: a red cross on the same ground. The ground is a shade of the
// palette's window colour; on a dark palette the marks keep their shapes and
// hues but get light rims, so they read on either, and a high-contrast theme
// gets its window's own colours. Every outline reads at 3:1 on the ground.
// Drawn at the pixel ratio asked for, so a scaled screen or a zoomed gutter
// gets sharp marks. Not the gutter itself: KtText
// lays the cells out and BreakCell paints one.
#pragma once

#include <QColor>
#include <QPixmap>

class QPalette;

namespace kt::editor {

class MarkImages {
public:
    static constexpr int kCount = 4;
    static constexpr int kSize = 16;

    // The colours the images are drawn in for a palette.
    struct Colours {
        QColor ground;
        QColor grip; // the corner picture's lines
        QColor discFill, discRim;
        QColor arrowFill, arrowRim;
        QColor crossRim, cross;
    };
    static Colours ColoursFor(const QPalette& palette);

    // Image 0 for any index outside 0..3.
    static QPixmap Image(int index, const QPalette& palette, qreal pixelRatio = 1);
    static QPixmap CornerPicture(const QPalette& palette, qreal pixelRatio = 1);
    static QPixmap ErrorImage(const QPalette& palette, qreal pixelRatio = 1);
};

} // namespace kt::editor
