// The four 16x16 line-mark images of the editor's gutter and its corner
// picture, drawn in code: 0 plain ground, 1 red disc, 2 yellow arrow,
// 3 arrow over disc. Besides them, the image of a line in error, which is no
// mark: a red cross on the same ground.
#pragma once

#include <QPixmap>

namespace kt::editor {

class MarkImages {
public:
    static constexpr int kCount = 4;
    static constexpr int kSize = 16;

    // Image 0 for any index outside 0..3.
    static const QPixmap& Image(int index);
    static const QPixmap& CornerPicture();
    static const QPixmap& ErrorImage();
};

} // namespace kt::editor
