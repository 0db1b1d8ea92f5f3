#include "editor/break_cell.h"

#include "editor/mark_images.h"

#include <QMouseEvent>
#include <QPainter>

namespace kt::editor {

BreakCell::BreakCell(int index, QWidget* parent) : QWidget(parent), m_index(index) {
    setFixedSize(MarkImages::kSize, MarkImages::kSize);
}

void BreakCell::ShowImage(int imageIndex) {
    if (imageIndex == m_image)
        return;
    m_image = imageIndex;
    update();
}

void BreakCell::ShowError(bool error) {
    if (error == m_error)
        return;
    m_error = error;
    update();
}

void BreakCell::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    // From the palette at paint time: a change of theme repaints the cell
    // (QWidget updates on PaletteChange) in the new colours.
    // Drawn at the cell's own scale, then fitted: sharp at any zoom.
    const qreal ratio = devicePixelRatioF() * width() / MarkImages::kSize;
    painter.drawPixmap(rect(), m_error ? MarkImages::ErrorImage(palette(), ratio)
                                       : MarkImages::Image(m_image, palette(), ratio));
}

void BreakCell::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && rect().contains(event->position().toPoint()))
        emit clicked(m_index);
}

} // namespace kt::editor
