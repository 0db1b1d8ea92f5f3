#include "editor/mark_images.h"

#include <QPainter>
#include <QPainterPath>

#include <array>
#include <utility>

namespace kt::editor {

namespace {

const QColor kGround(188, 188, 188);

QPixmap Ground() {
    QPixmap pixmap(MarkImages::kSize, MarkImages::kSize);
    pixmap.fill(kGround);
    return pixmap;
}

void DrawDisc(QPainter& painter) {
    painter.setPen(QColor(128, 0, 0));
    painter.setBrush(QColor(220, 0, 0));
    painter.drawEllipse(QRectF(2.5, 2.5, 11, 11));
}

void DrawArrow(QPainter& painter) {
    QPainterPath arrow;
    arrow.moveTo(2, 6);
    arrow.lineTo(8, 6);
    arrow.lineTo(8, 2.5);
    arrow.lineTo(14, 8);
    arrow.lineTo(8, 13.5);
    arrow.lineTo(8, 10);
    arrow.lineTo(2, 10);
    arrow.closeSubpath();
    painter.setPen(QColor(96, 80, 0));
    painter.setBrush(QColor(255, 220, 0));
    painter.drawPath(arrow);
}

std::array<QPixmap, MarkImages::kCount> MakeImages() {
    std::array<QPixmap, MarkImages::kCount> images;
    for (int i = 0; i < MarkImages::kCount; ++i) {
        images[i] = Ground();
        QPainter painter(&images[i]);
        painter.setRenderHint(QPainter::Antialiasing);
        if (i == 1 || i == 3)
            DrawDisc(painter);
        if (i == 2 || i == 3)
            DrawArrow(painter);
    }
    return images;
}

} // namespace

const QPixmap& MarkImages::Image(int index) {
    static const std::array<QPixmap, kCount> images = MakeImages();
    return images[index >= 0 && index < kCount ? index : 0];
}

const QPixmap& MarkImages::CornerPicture() {
    static const QPixmap corner = [] {
        QPixmap pixmap = Ground();
        QPainter painter(&pixmap);
        painter.setPen(QColor(120, 120, 120));
        // A small size grip of three diagonal lines.
        for (int offset : {4, 8, 12})
            painter.drawLine(offset, 15, 15, offset);
        return pixmap;
    }();
    return corner;
}

const QPixmap& MarkImages::ErrorImage() {
    static const QPixmap error = [] {
        QPixmap pixmap = Ground();
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        // A dark rim under the red strokes keeps the cross apart from the
        // red disc of mark 1 at a glance.
        for (const auto& [colour, width] :
             {std::pair{QColor(96, 0, 0), 4.5}, {QColor(230, 20, 20), 2.5}}) {
            painter.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap));
            painter.drawLine(QPointF(4, 4), QPointF(12, 12));
            painter.drawLine(QPointF(12, 4), QPointF(4, 12));
        }
        return pixmap;
    }();
    return error;
}

} // namespace kt::editor
