#include "editor/mark_images.h"

#include "editor/kt_text.h"
#include "platform/contrast.h"

#include <QPainter>
#include <QPainterPath>
#include <QPalette>
#include <QPixmapCache>

#include <utility>

namespace kt::editor {

namespace {

// What a picture is, for the cache: which one, its ground, its look, its ratio.
enum class Picture { Mark, Corner, Error };

QString CacheKey(Picture picture, int index, const MarkImages::Colours& colours, qreal ratio) {
    QString key =
        QStringLiteral("kt-gutter-%1-%2-%3").arg(static_cast<int>(picture)).arg(index).arg(ratio);
    for (const QColor& colour :
         {colours.ground, colours.grip, colours.discRim, colours.arrowRim, colours.crossRim})
        key += QStringLiteral("-%1").arg(colour.rgba(), 0, 16);
    return key;
}

QColor Mix(const QColor& a, const QColor& b, qreal share) {
    // Whole 8-bit channels: the colour a pixel of the gutter is.
    const auto channel = [share](int x, int y) { return qRound(x * share + y * (1 - share)); };
    return QColor(channel(a.red(), b.red()), channel(a.green(), b.green()),
                  channel(a.blue(), b.blue()));
}

QPixmap Ground(const MarkImages::Colours& colours, qreal ratio) {
    const int side = qRound(MarkImages::kSize * ratio);
    QPixmap pixmap(side, side);
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(colours.ground);
    return pixmap;
}

void DrawDisc(QPainter& painter, const MarkImages::Colours& colours) {
    painter.setPen(QPen(colours.discRim, 1));
    painter.setBrush(colours.discFill);
    painter.drawEllipse(QRectF(2.5, 2.5, 11, 11));
}

void DrawArrow(QPainter& painter, const MarkImages::Colours& colours) {
    QPainterPath arrow;
    arrow.moveTo(2, 6);
    arrow.lineTo(8, 6);
    arrow.lineTo(8, 2.5);
    arrow.lineTo(14, 8);
    arrow.lineTo(8, 13.5);
    arrow.lineTo(8, 10);
    arrow.lineTo(2, 10);
    arrow.closeSubpath();
    painter.setPen(QPen(colours.arrowRim, 1));
    painter.setBrush(colours.arrowFill);
    painter.drawPath(arrow);
}

// A picture drawn once per look and ratio, then kept in the pixmap cache.
template <typename Draw>
QPixmap Cached(Picture picture, int index, const QPalette& palette, qreal ratio, Draw draw) {
    const MarkImages::Colours colours = MarkImages::ColoursFor(palette);
    const QString key = CacheKey(picture, index, colours, ratio);
    QPixmap pixmap;
    if (QPixmapCache::find(key, &pixmap))
        return pixmap;
    pixmap = Ground(colours, ratio);
    {
        QPainter painter(&pixmap);
        painter.setRenderHint(QPainter::Antialiasing);
        draw(painter, colours);
    }
    QPixmapCache::insert(key, pixmap);
    return pixmap;
}

} // namespace

MarkImages::Colours MarkImages::ColoursFor(const QPalette& palette) {
    Colours colours;
    const QColor window = palette.color(QPalette::Window);
    const QColor windowText = palette.color(QPalette::WindowText);
    colours.arrowFill = QColor(255, 220, 0);
    if (KtText::HighContrast(palette)) {
        // The theme's own pair; the fills keep their hues, the rims carry them.
        colours.ground = window;
        colours.grip = colours.discRim = colours.arrowRim = colours.crossRim = windowText;
        colours.discFill = QColor(220, 0, 0);
        colours.cross = QColor(230, 20, 20);
        return colours;
    }
    // A shade off the window colour towards its text, so the gutter stands
    // apart from the text ground on a light theme and on a dark one.
    colours.ground = Mix(windowText, window, 0.12);
    colours.grip = Mix(windowText, colours.ground, 0.55);
    if (KtText::DarkPalette(palette)) {
        // Dark rims vanish on a dark ground: light ones of the same hue.
        colours.discFill = QColor(255, 90, 90);
        colours.discRim = QColor(255, 175, 175);
        colours.arrowRim = QColor(255, 240, 170);
        colours.crossRim = QColor(255, 200, 200);
        colours.cross = QColor(225, 25, 25);
    } else {
        colours.discFill = QColor(220, 0, 0);
        colours.discRim = QColor(128, 0, 0);
        colours.arrowRim = QColor(96, 80, 0);
        colours.crossRim = QColor(96, 0, 0);
        colours.cross = QColor(230, 20, 20);
    }
    // A mark's outline must stand out from the ground on any theme: moved
    // toward black or white, whichever the ground stands further from.
    const QColor away = platform::Contrast(Qt::black, colours.ground) >
                                platform::Contrast(Qt::white, colours.ground)
                            ? QColor(Qt::black)
                            : QColor(Qt::white);
    for (QColor* rim : {&colours.grip, &colours.discRim, &colours.arrowRim, &colours.crossRim})
        *rim = platform::Legible(*rim, colours.ground, platform::kMarkContrast, away);
    return colours;
}

QPixmap MarkImages::Image(int index, const QPalette& palette, qreal pixelRatio) {
    if (index < 0 || index >= kCount)
        index = 0;
    return Cached(Picture::Mark, index, palette, pixelRatio,
                  [index](QPainter& painter, const Colours& colours) {
                      if (index == 1 || index == 3)
                          DrawDisc(painter, colours);
                      if (index == 2 || index == 3)
                          DrawArrow(painter, colours);
                  });
}

QPixmap MarkImages::CornerPicture(const QPalette& palette, qreal pixelRatio) {
    return Cached(Picture::Corner, 0, palette, pixelRatio,
                  [](QPainter& painter, const Colours& colours) {
                      painter.setRenderHint(QPainter::Antialiasing, false);
                      painter.setPen(QPen(colours.grip, 1));
                      // A small size grip of three diagonal lines.
                      for (int offset : {4, 8, 12})
                          painter.drawLine(offset, 15, 15, offset);
                  });
}

QPixmap MarkImages::ErrorImage(const QPalette& palette, qreal pixelRatio) {
    return Cached(Picture::Error, 0, palette, pixelRatio,
                  [](QPainter& painter, const Colours& colours) {
                      // A rim under the red strokes keeps the cross apart
                      // from the red disc of mark 1 at a glance.
                      for (const auto& [colour, width] :
                           {std::pair{colours.crossRim, 4.5}, {colours.cross, 2.5}}) {
                          painter.setPen(QPen(colour, width, Qt::SolidLine, Qt::RoundCap));
                          painter.drawLine(QPointF(4, 4), QPointF(12, 12));
                          painter.drawLine(QPointF(12, 4), QPointF(4, 12));
                      }
                  });
}

} // namespace kt::editor
