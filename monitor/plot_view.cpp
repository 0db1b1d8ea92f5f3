#include "monitor/plot_view.h"

#include "monitor/trace_path.h"
#include "platform/contrast.h"

#include <QApplication>
#include <QFontMetricsF>
#include <QHelpEvent>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPolygonF>
#include <QScreen>
#include <QToolTip>
#include <QWheelEvent>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstring>
#include <limits>

namespace kt::monitor {

namespace {

// Mid-light colours, moved toward the text where the ground asks for it.
constexpr std::array<QRgb, 8> kTraceColors = {0x2f80dd, 0xe0482e, 0x2ca02c, 0xe08a00,
                                              0x9b5fd0, 0x14a8b8, 0xd4509c, 0x8c8c30};

// The value axis labels are given this much room whatever they say, so
// the plots do not shift sideways as the scale changes.
const char kWidestLabel[] = "-88888.8";

// A bit lane holds its 0 and 1 this far (of its 0-to-1 height) inside its
// edges, so neighbouring lanes keep apart.
constexpr double kLaneRoom = 0.4;

QColor Faded(QColor color, double alpha) {
    color.setAlphaF(static_cast<float>(alpha));
    return color;
}

// color seen through alpha over base, as an opaque colour: lines in it are
// plain pixel fills, where a translucent line is blended span by span.
QColor Mixed(const QColor& base, const QColor& color, double alpha) {
    auto mix = [&](double under, double over) {
        return static_cast<int>(std::lround(under + (over - under) * alpha));
    };
    return QColor(mix(base.red(), color.red()), mix(base.green(), color.green()),
                  mix(base.blue(), color.blue()));
}

// Level and upright lines one pixel wide, as fills.
void LevelLine(QPainter& painter, double x0, double x1, double y, const QColor& color) {
    painter.fillRect(QRectF(x0, std::round(y), x1 - x0, 1), color);
}

void UprightLine(QPainter& painter, double x, double y0, double y1, const QColor& color) {
    painter.fillRect(QRectF(std::round(x), y0, 1, y1 - y0), color);
}

void Frame(QPainter& painter, const QRectF& area, const QColor& color) {
    LevelLine(painter, area.left(), area.right() + 1, area.top(), color);
    LevelLine(painter, area.left(), area.right() + 1, area.bottom(), color);
    UprightLine(painter, area.left(), area.top(), area.bottom(), color);
    UprightLine(painter, area.right(), area.top(), area.bottom(), color);
}

// The rows each pixel column of a path covers, for a path that never goes
// back in x, as traces do; no line between its runs.
void CoverColumns(const TracePath& path, int columns, std::vector<double>& low,
                  std::vector<double>& high) {
    low.assign(static_cast<size_t>(columns), std::numeric_limits<double>::infinity());
    high.assign(static_cast<size_t>(columns), -std::numeric_limits<double>::infinity());
    auto cover = [&](int column, double a, double b) {
        if (column < 0 || column >= columns)
            return;
        const auto c = static_cast<size_t>(column);
        low[c] = std::min({low[c], a, b});
        high[c] = std::max({high[c], a, b});
    };
    const QPolygonF& points = path.points;
    for (size_t r = 0; r < path.runs.size(); ++r) {
        const qsizetype first = path.runs[r];
        const qsizetype end = path.RunEnd(r);
        if (end - first == 1)
            cover(static_cast<int>(std::floor(std::clamp(points[first].x(), -2.0, columns + 2.0))),
                  points[first].y(), points[first].y());
        for (qsizetype i = first + 1; i < end; ++i) {
            const QPointF& from = points[i - 1];
            const QPointF& to = points[i];
            // Clamped first, so no far-off point overflows an int.
            const double x0 = std::clamp(from.x(), -2.0, columns + 2.0);
            const double x1 = std::clamp(to.x(), -2.0, columns + 2.0);
            if (x1 - x0 < 1e-9) {
                cover(static_cast<int>(std::floor(x0)), from.y(), to.y());
                continue;
            }
            const double slope = (to.y() - from.y()) / (to.x() - from.x());
            auto yAt = [&](double x) { return from.y() + (x - from.x()) * slope; };
            const int last = std::min(static_cast<int>(std::floor(x1)), columns - 1);
            for (int column = std::max(static_cast<int>(std::floor(x0)), 0); column <= last;
                 ++column)
                cover(column, yAt(std::max(x0, static_cast<double>(column))),
                      yAt(std::min(x1, column + 1.0)));
        }
    }
}

void PaintColumns(QImage& image, int height, QRgb color, const std::vector<double>& low,
                  const std::vector<double>& high, int thickness) {
    uchar* const bits = image.bits();
    const qsizetype stride = image.bytesPerLine();
    const double grow = (thickness - 1) / 2.0;
    for (size_t column = 0; column < low.size(); ++column) {
        // Nothing, or a part of a line beyond the top or bottom.
        if (low[column] > high[column] || high[column] < 0 || low[column] > height - 1)
            continue;
        const int top =
            static_cast<int>(std::floor(std::clamp(low[column] - grow, 0.0, height - 1.0)));
        const int bottom =
            static_cast<int>(std::floor(std::clamp(high[column] + grow, 0.0, height - 1.0)));
        for (int row = top; row <= bottom; ++row)
            reinterpret_cast<QRgb*>(bits + row * stride)[column] = color;
    }
}

} // namespace

QString MonitorValueText(double value, bool bit) {
    if (bit)
        return value != 0 ? QStringLiteral("1") : QStringLiteral("0");
    QString text = QString::number(value, 'f', 3);
    while (text.endsWith(QLatin1Char('0')))
        text.chop(1);
    if (text.endsWith(QLatin1Char('.')))
        text.chop(1);
    if (text == QLatin1String("-0"))
        text = QStringLiteral("0");
    return text;
}

PlotView::PlotView(QWidget* parent) : QWidget(parent) {
    m_emptyText = tr("Tick values and press Start.");
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setAccessibleName(tr("Plot"));
    setAccessibleDescription(KeysHelp());
}

QString PlotView::KeysHelp() {
    return tr("Plus and minus zoom, Left and Right pan, Page Up and Page Down pan further, Home "
              "follows the newest values; comma and period, or Shift+Left and Shift+Right, move "
              "a cursor that reads the values, Enter picks its time, Escape hides it.");
}

void PlotView::SetTraces(std::vector<PlotTrace> traces) {
    m_traces = std::move(traces);
    m_plots.clear();
    for (int i = 0; i < static_cast<int>(m_traces.size()); ++i) {
        const PlotTrace& trace = m_traces[static_cast<size_t>(i)];
        auto plot = std::find_if(m_plots.begin(), m_plots.end(), [&](const Plot& p) {
            return p.bit == trace.bit && p.unit == trace.unit;
        });
        if (plot == m_plots.end())
            plot = m_plots.insert(m_plots.end(), Plot{trace.unit, trace.bit, {}});
        plot->traces.push_back(i);
    }
    updateGeometry();
    update();
}

void PlotView::SetEmptyText(const QString& text) {
    m_emptyText = text;
    update();
}

void PlotView::SetFollowing(bool following) {
    if (following == m_following)
        return;
    if (!following)
        m_end = NewestMsecs();
    m_following = following;
    update();
    emit followingChanged(following);
}

void PlotView::SetVisibleSpan(qint64 ms) {
    m_span = std::clamp(ms, kMinSpanMs, kMaxSpanMs);
    update();
}

PlotView::Range PlotView::VisibleRange() const {
    const qint64 end = m_following ? NewestMsecs() : m_end;
    return {end - m_span, end};
}

QStringList PlotView::CursorValues(qint64 msecs) const {
    QStringList values;
    for (const PlotTrace& trace : m_traces) {
        const int index = trace.history ? trace.history->IndexAt(msecs) : -1;
        QString text = trace.name + QStringLiteral(" = ");
        if (index < 0) {
            text += QStringLiteral("\u2014");
        } else {
            const SampleHistory::Sample entry = trace.history->At(index);
            auto written = [&](double value) {
                return trace.text ? trace.text(value) : MonitorValueText(value, trace.bit);
            };
            text += written(entry.value);
            if (!trace.readingUnit.isEmpty())
                text += QLatin1Char(' ') + trace.readingUnit;
            if (entry.Reduced())
                text +=
                    QStringLiteral(" (min %1, max %2)").arg(written(entry.min), written(entry.max));
        }
        values.append(text);
    }
    return values;
}

std::optional<qint64> PlotView::CursorMsecs() const {
    if (m_cursorX)
        return TimeAt(*m_cursorX, MakeLayout());
    return m_keyMsecs;
}

PlotView::Colours PlotView::ColoursFor(const QPalette& palette) {
    using platform::Legible;
    const QColor base = palette.color(QPalette::Base);
    const QColor text = palette.color(QPalette::Text);
    const QColor grid = Mixed(base, text, 0.14);
    if (platform::Contrast(text, base) >= 7)
        return {
            base, text,
            text, text,
            grid, Legible(palette.color(QPalette::Highlight), base, platform::kMarkContrast, text)};
    return {base,
            text,
            Legible(Mixed(base, text, 0.7), base, platform::kTextContrast, text),
            Legible(Mixed(base, text, 0.45), base, platform::kMarkContrast, text),
            grid,
            Legible(palette.color(QPalette::Highlight), base, platform::kMarkContrast, text)};
}

QColor PlotView::TraceColor(int index, const QPalette& palette) {
    const auto count = static_cast<int>(kTraceColors.size());
    return platform::Legible(
        QColor::fromRgb(kTraceColors[static_cast<size_t>(((index % count) + count) % count)]),
        palette.color(QPalette::Base), platform::kMarkContrast, palette.color(QPalette::Text));
}

QColor PlotView::TraceTextColor(int index, const QPalette& palette) {
    return platform::Legible(TraceColor(index, palette), palette.color(QPalette::Base),
                             platform::kTextContrast, palette.color(QPalette::Text));
}

QSize PlotView::sizeHint() const {
    return {640, 420};
}

QSize PlotView::minimumSizeHint() const {
    // At any text size, room for the axes' labels, each value plot's legend
    // and a few ticks, and the first lanes' names; never past most of the
    // screen, where a lane's name gives way to its tooltip.
    const QFontMetrics metrics(font());
    int lines = 3;
    int lanes = 0;
    for (const Plot& plot : m_plots) {
        if (plot.bit)
            lanes += static_cast<int>(plot.traces.size());
        else
            lines += 6;
    }
    int height = std::max(160, metrics.height() * (lines + std::min(lanes, 10)));
    if (const QScreen* shown = screen())
        height = std::min(height, std::max(160, shown->availableGeometry().height() * 2 / 3));
    return {std::max(240, metrics.horizontalAdvance(QLatin1Char('8')) * 30), height};
}

qint64 PlotView::NewestMsecs() const {
    qint64 newest = std::numeric_limits<qint64>::min();
    for (const PlotTrace& trace : m_traces) {
        if (trace.history && !trace.history->Empty())
            newest = std::max(newest, trace.history->LastMsecs());
    }
    return newest == std::numeric_limits<qint64>::min() ? 0 : newest;
}

qint64 PlotView::OldestMsecs() const {
    qint64 oldest = std::numeric_limits<qint64>::max();
    for (const PlotTrace& trace : m_traces) {
        if (trace.history && !trace.history->Empty())
            oldest = std::min(oldest, trace.history->FirstMsecs());
    }
    return oldest == std::numeric_limits<qint64>::max() ? 0 : oldest;
}

bool PlotView::HasSamples() const {
    return std::any_of(m_traces.begin(), m_traces.end(), [](const PlotTrace& trace) {
        return trace.history && !trace.history->Empty();
    });
}

void PlotView::ShowUntil(qint64 end) {
    if (HasSamples()) {
        // At least a tenth of the view stays over the recording, so the
        // user cannot get lost in empty time.
        end = std::clamp(end, OldestMsecs() + m_span / 10, NewestMsecs() + m_span * 9 / 10);
    }
    m_end = end;
    const bool was = m_following;
    m_following = false;
    update();
    if (was)
        emit followingChanged(false);
}

PlotView::Layout PlotView::MakeLayout() const {
    const QFontMetricsF metrics(font());
    const double line = metrics.height();
    Layout layout;
    // The bit lanes' names in full, with their 0 and 1 marks, where the
    // value plots have their unit and tick labels; a name that would take
    // more than two fifths of the width is cut (its tooltip has it).
    double margin = 4 + line + 4 + metrics.horizontalAdvance(QLatin1String(kWidestLabel)) + 6;
    for (const PlotTrace& trace : m_traces) {
        if (trace.bit)
            margin = std::max(margin, std::min(4 + metrics.horizontalAdvance(trace.name) + 8 +
                                                   metrics.horizontalAdvance(QLatin1Char('0')) + 6,
                                               width() * 0.4));
    }
    // Whole pixels, so the traces' image lands on pixels as it is.
    layout.left = std::ceil(margin);
    layout.right = std::max(
        std::floor(width() -
                   std::max(12.0, metrics.horizontalAdvance(QStringLiteral("888.8")) / 2 + 2)),
        layout.left + 1);
    const double bottom = std::floor(height() - line - 6);
    if (m_plots.empty())
        return layout;

    // Above each plot: room for the tick labels' halves, and its legend.
    std::vector<double> above;
    int lanes = 0;
    int values = 0;
    for (const Plot& plot : m_plots) {
        LegendLayout legend;
        if (plot.bit) {
            lanes += static_cast<int>(plot.traces.size());
        } else {
            ++values;
            std::vector<double> names;
            for (const int index : plot.traces)
                names.push_back(
                    metrics.horizontalAdvance(m_traces[static_cast<size_t>(index)].name));
            legend = Legend(names, layout.width(), line);
        }
        const double least = above.empty() ? line / 2 + 2 : line;
        above.push_back(std::ceil(std::max(least, legend.height + 4)));
        layout.legendItems.push_back(std::move(legend));
    }
    double available = bottom;
    for (const double room : above)
        available -= room;
    available = std::max(available, 1.0);
    // A lane high enough for its 0 and 1 marks, as long as the value plots
    // keep three lines each; lanes alone share the height.
    double lane = 0;
    if (lanes > 0) {
        lane = values == 0 ? available / lanes
                           : std::max(line, std::min(std::ceil(2.2 * line),
                                                     (available - values * 3 * line) / lanes));
        lane = std::max(std::floor(lane), 1.0);
    }
    const double value =
        values == 0 ? 0 : std::max(std::floor((available - lane * lanes) / values), 1.0);
    double y = 0;
    for (size_t p = 0; p < m_plots.size(); ++p) {
        y += above[p];
        const Plot& plot = m_plots[p];
        const double height = plot.bit ? lane * static_cast<double>(plot.traces.size()) : value;
        layout.plots.emplace_back(layout.left, y, layout.width(), height);
        const LegendLayout& legend = layout.legendItems[p];
        layout.legends.emplace_back(layout.right - legend.width, y - 2 - legend.height,
                                    legend.width, legend.height);
        y += height;
    }
    return layout;
}

qint64 PlotView::TimeAt(double x, const Layout& layout) const {
    const Range range = VisibleRange();
    return range.first +
           std::llround((x - layout.left) / layout.width() * static_cast<double>(m_span));
}

void PlotView::DrawTraces(QPainter& painter, const QRectF& area, const std::vector<Drawn>& traces,
                          Range range) {
    const qreal ratio = devicePixelRatioF();
    const int columns = qRound(area.width() * ratio);
    const int rows = qRound(area.height() * ratio);
    if (columns <= 0 || rows <= 0)
        return;
    if (m_layer.width() < columns || m_layer.height() < rows)
        m_layer = QImage(std::max(columns, m_layer.width()), std::max(rows, m_layer.height()),
                         QImage::Format_ARGB32_Premultiplied);
    for (int row = 0; row < rows; ++row)
        std::memset(m_layer.scanLine(row), 0, static_cast<size_t>(columns) * sizeof(QRgb));
    bool layered = false;
    std::vector<std::pair<TracePath, QColor>> smooth;
    for (const Drawn& drawn : traces) {
        const ValueMap map{drawn.lo, drawn.hi, drawn.top * rows, drawn.bottom * rows};
        TracePath path =
            MakeTracePath(*drawn.history, drawn.step, range.first, range.last, columns, map);
        // Steps are only level or upright, and dense traces are thousands of
        // tiny strokes: both go straight into pixels, which the painter would
        // cut into many small jobs.
        if (drawn.step || path.dense) {
            CoverColumns(path, columns, m_low, m_high);
            PaintColumns(m_layer, rows, drawn.color.rgb(), m_low, m_high,
                         drawn.step ? std::max(2, qRound(1.5 * ratio))
                                    : std::max(1, qRound(ratio)));
            layered = true;
        } else {
            smooth.emplace_back(std::move(path), drawn.color);
        }
    }
    if (layered) {
        m_layer.setDevicePixelRatio(ratio);
        painter.drawImage(area.topLeft(), m_layer, QRectF(0, 0, columns, rows));
    }
    if (smooth.empty())
        return;
    painter.save();
    painter.setClipRect(area);
    painter.translate(area.topLeft());
    painter.scale(1 / ratio, 1 / ratio);
    painter.setRenderHint(QPainter::Antialiasing);
    for (const auto& [path, color] : smooth) {
        QPen pen(color, std::max(1.0, ratio));
        pen.setCosmetic(true);
        painter.setPen(pen);
        for (size_t r = 0; r < path.runs.size(); ++r)
            painter.drawPolyline(path.points.constData() + path.runs[r],
                                 static_cast<int>(path.RunEnd(r) - path.runs[r]));
    }
    painter.restore();
}

std::optional<PlotView::CursorAt> PlotView::Cursor(const Layout& layout) const {
    if (layout.plots.empty())
        return std::nullopt;
    if (m_cursorX) {
        if (*m_cursorX < layout.left || *m_cursorX > layout.right)
            return std::nullopt;
        return CursorAt{*m_cursorX, TimeAt(*m_cursorX, layout)};
    }
    const Range range = VisibleRange();
    if (!m_keyMsecs || *m_keyMsecs < range.first || *m_keyMsecs > range.last)
        return std::nullopt;
    return CursorAt{layout.left + static_cast<double>(*m_keyMsecs - range.first) /
                                      static_cast<double>(m_span) * layout.width(),
                    *m_keyMsecs};
}

std::optional<PlotView::Readout> PlotView::MakeReadout(const Layout& layout) const {
    const std::optional<CursorAt> cursor = Cursor(layout);
    if (!cursor)
        return std::nullopt;
    const QFontMetricsF metrics(font());
    const double line = metrics.height();
    const qint64 msecs = cursor->msecs;
    Readout readout;
    readout.lines = CursorValues(msecs);
    readout.lines.prepend(
        QStringLiteral("t = %1 s").arg(NumberText(static_cast<double>(msecs) / 1000.0, 3)));
    double textWidth = 0;
    for (const QString& entry : readout.lines)
        textWidth = std::max(textWidth, metrics.horizontalAdvance(entry));
    // A swatch of 10 and the text, 5 pixels in from the frame.
    const QSizeF size(5 + 10 + 4 + textWidth + 6,
                      line * static_cast<double>(readout.lines.size()) + 6);
    readout.box = ReadoutRect(size, cursor->x, layout.plots.front().top() + 4,
                              QRectF(rect()).adjusted(2, 2, -2, -2));
    return readout;
}

std::optional<QRectF> PlotView::ReadoutArea() const {
    const std::optional<Readout> readout = MakeReadout(MakeLayout());
    return readout ? std::optional<QRectF>(readout->box) : std::nullopt;
}

QString PlotView::LaneNameAt(QPointF position) const {
    const Layout layout = MakeLayout();
    if (position.x() >= layout.left)
        return {};
    for (size_t p = 0; p < m_plots.size(); ++p) {
        const QRectF& area = layout.plots[p];
        if (!m_plots[p].bit || position.y() < area.top() || position.y() >= area.bottom())
            continue;
        const auto lane = static_cast<size_t>((position.y() - area.top()) / area.height() *
                                              static_cast<double>(m_plots[p].traces.size()));
        return m_traces[static_cast<size_t>(m_plots[p].traces.at(lane))].name;
    }
    return {};
}

bool PlotView::event(QEvent* event) {
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        const QString name = LaneNameAt(help->pos());
        if (name.isEmpty()) {
            QToolTip::hideText();
            event->ignore();
        } else {
            QToolTip::showText(help->globalPos(), name, this);
        }
        return true;
    }
    return QWidget::event(event);
}

void PlotView::paintEvent(QPaintEvent* /*event*/) {
    ++m_paintCount;
    QPainter painter(this);
    const Colours colours = ColoursFor(palette());
    const QColor& base = colours.ground;
    const QColor& text = colours.text;
    const QColor& grid = colours.grid;
    const QColor& frame = colours.frame;
    const QPalette& inks = palette();
    painter.fillRect(rect(), base);
    // Where the keys go: a frame as wide as the focus frames of the style.
    const auto focusFrame = [&] {
        if (!hasFocus())
            return;
        Frame(painter, QRectF(rect()).adjusted(0, 0, -1, -1), colours.mark);
        Frame(painter, QRectF(rect()).adjusted(1, 1, -2, -2), colours.mark);
    };
    if (!HasSamples()) {
        painter.setPen(colours.muted);
        painter.drawText(rect(), Qt::AlignCenter | Qt::TextWordWrap, m_emptyText);
        focusFrame();
        return;
    }

    const QFontMetricsF metrics(font());
    const double line = metrics.height();
    const Layout layout = MakeLayout();
    const Range range = VisibleRange();
    const double span = static_cast<double>(m_span);
    auto timeX = [&](qint64 msecs) {
        return layout.left + static_cast<double>(msecs - range.first) / span * layout.width();
    };

    // The shared time axis: grid lines through every plot, labels under the
    // last one.
    const TimeAxis time = TimeTicks(range.first, m_span, layout.width(),
                                    metrics.horizontalAdvance(QStringLiteral("8888.88")));
    const double axisY = layout.plots.back().bottom();
    painter.setPen(text);
    for (qint64 tick = time.first; tick <= range.last; tick += time.step) {
        const double x = timeX(tick);
        for (const QRectF& plot : layout.plots)
            UprightLine(painter, x, plot.top(), plot.bottom(), grid);
        const QString label = NumberText(static_cast<double>(tick) / 1000.0, time.decimals);
        const double labelWidth = metrics.horizontalAdvance(label);
        const QRectF box(x - labelWidth / 2, axisY + 3, labelWidth, line);
        if (box.left() >= layout.left - 4 && box.right() <= width()) {
            painter.setPen(text);
            painter.drawText(box, Qt::AlignCenter, label);
        }
    }
    painter.setPen(colours.muted);
    painter.drawText(QRectF(0, axisY + 3, layout.left - 6, line), Qt::AlignRight | Qt::AlignVCenter,
                     tr("time (s)"));

    const double markWidth = metrics.horizontalAdvance(QLatin1Char('0'));
    for (size_t p = 0; p < m_plots.size(); ++p) {
        const Plot& plot = m_plots[p];
        const QRectF& area = layout.plots[p];
        Frame(painter, area, frame);

        std::vector<Drawn> drawn;
        if (plot.bit) {
            const auto count = static_cast<double>(plot.traces.size());
            const double lane = area.height() / count;
            for (size_t l = 0; l < plot.traces.size(); ++l) {
                const int index = plot.traces[l];
                const PlotTrace& trace = m_traces[static_cast<size_t>(index)];
                const double top = area.top() + lane * static_cast<double>(l);
                if (l > 0)
                    LevelLine(painter, area.left(), area.right(), top, grid);
                if (trace.history)
                    drawn.push_back({trace.history, true, TraceColor(index, inks), -kLaneRoom,
                                     1 + kLaneRoom, static_cast<double>(l) / count,
                                     static_cast<double>(l + 1) / count});
                // The 0 and 1 where a value plot has its ticks, where they
                // fit; the lane's name before them, in full where it fits.
                const ValueMap map{-kLaneRoom, 1 + kLaneRoom, top, top + lane};
                double nameRight = layout.left - 6;
                if (map.Y(0) - map.Y(1) >= line * 0.8) {
                    painter.setPen(colours.muted);
                    for (const int level : {0, 1})
                        painter.drawText(
                            QRectF(nameRight - markWidth, map.Y(level) - line / 2, markWidth, line),
                            Qt::AlignRight | Qt::AlignVCenter, QString::number(level));
                    nameRight -= markWidth + 8;
                }
                painter.setPen(TraceTextColor(index, inks));
                painter.drawText(QRectF(2, top, nameRight - 2, lane),
                                 Qt::AlignRight | Qt::AlignVCenter,
                                 metrics.elidedText(trace.name, Qt::ElideRight, nameRight - 4));
            }
            DrawTraces(painter, area, drawn, range);
            continue;
        }

        std::vector<const SampleHistory*> histories;
        for (const int index : plot.traces)
            histories.push_back(m_traces[static_cast<size_t>(index)].history);
        const ValueAxis axis =
            AutoScale(VisibleExtent(histories, range.first, range.last), area.height());
        const ValueMap map{axis.lo, axis.hi, area.top(), area.bottom()};
        for (const double tick : Ticks(axis)) {
            const double y = map.Y(tick);
            LevelLine(painter, area.left(), area.right(), y, grid);
            painter.setPen(text);
            painter.drawText(QRectF(0, y - line / 2, layout.left - 6, line),
                             Qt::AlignRight | Qt::AlignVCenter, TickLabel(axis, tick));
        }
        if (!plot.unit.isEmpty()) {
            painter.save();
            painter.translate(4, area.center().y());
            painter.rotate(-90);
            painter.setPen(text);
            painter.drawText(QRectF(-area.height() / 2, 0, area.height(), line), Qt::AlignCenter,
                             metrics.elidedText(plot.unit, Qt::ElideRight, area.height()));
            painter.restore();
        }

        for (const int index : plot.traces) {
            if (const SampleHistory* history = m_traces[static_cast<size_t>(index)].history)
                drawn.push_back({history, false, TraceColor(index, inks), axis.lo, axis.hi, 0, 1});
        }
        DrawTraces(painter, area, drawn, range);

        // The legend, above the data: it never hides the newest samples.
        const QRectF& box = layout.legends[p];
        const LegendLayout& legend = layout.legendItems[p];
        for (size_t i = 0; i < plot.traces.size() && i < legend.items.size(); ++i) {
            const int index = plot.traces[i];
            const QString& name = m_traces[static_cast<size_t>(index)].name;
            const QPointF at = box.topLeft() + legend.items[i];
            painter.fillRect(QRectF(at.x(), at.y() + line / 2 - 1, kLegendSwatch, 2.5),
                             TraceColor(index, inks));
            painter.setPen(text);
            painter.drawText(QRectF(at.x() + kLegendSwatch + 4, at.y(),
                                    metrics.horizontalAdvance(name) + 1, line),
                             Qt::AlignVCenter, name);
        }
    }

    if (m_marker && !layout.plots.empty() && *m_marker >= range.first && *m_marker <= range.last) {
        const double x = timeX(*m_marker);
        painter.fillRect(
            QRectF(x - 1, layout.plots.front().top(), 2, axisY - layout.plots.front().top()),
            colours.mark);
    }

    // The cursor: a line through every plot and the values at its time, as
    // many lines as the widget has room for, each cut to its width.
    if (const std::optional<Readout> readout = MakeReadout(layout)) {
        UprightLine(painter, Cursor(layout)->x, layout.plots.front().top(), axisY, colours.muted);
        const QRectF& box = readout->box;
        painter.setPen(frame);
        painter.setBrush(Faded(base, 0.92));
        painter.drawRect(box);
        painter.setBrush(Qt::NoBrush);
        constexpr double swatch = 10;
        const double textLeft = box.left() + 5 + swatch + 4;
        const double textWidth = box.right() - 2 - textLeft;
        const auto fit = static_cast<int>((box.height() - 6) / line);
        double y = box.top() + 3;
        for (int i = 0; i < std::min<int>(fit, static_cast<int>(readout->lines.size()));
             ++i, y += line) {
            if (i > 0)
                painter.fillRect(QRectF(box.left() + 5, y + line / 2 - 1.5, swatch, 3),
                                 TraceColor(i - 1, inks));
            painter.setPen(text);
            painter.drawText(
                QRectF(textLeft, y, textWidth + 1, line), Qt::AlignVCenter,
                metrics.elidedText(readout->lines[i], Qt::ElideRight, std::max(textWidth, 0.0)));
        }
    }
    focusFrame();
}

void PlotView::SetMarker(std::optional<qint64> msecs) {
    if (msecs == m_marker)
        return;
    m_marker = msecs;
    update();
}

void PlotView::wheelEvent(QWheelEvent* event) {
    const double notches = event->angleDelta().y() / 120.0;
    if (notches == 0 || !HasSamples()) {
        event->ignore();
        return;
    }
    event->accept();
    const Layout layout = MakeLayout();
    // The time under the mouse stays under the mouse.
    const double x = std::clamp(event->position().x(), layout.left, layout.right);
    ZoomAround(TimeAt(x, layout), (x - layout.left) / layout.width(), std::pow(0.8, notches));
}

void PlotView::ZoomAround(qint64 at, double fraction, double factor) {
    const qint64 span =
        std::clamp(static_cast<qint64>(std::llround(static_cast<double>(m_span) * factor)),
                   kMinSpanMs, kMaxSpanMs);
    if (span == m_span)
        return;
    const qint64 first = at - std::llround(fraction * static_cast<double>(span));
    m_span = span;
    ShowUntil(first + span);
}

void PlotView::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::LeftButton || !HasSamples()) {
        QWidget::mousePressEvent(event);
        return;
    }
    m_dragX = event->position().x();
    m_dragEnd = VisibleRange().last;
    m_dragged = false;
    setCursor(Qt::ClosedHandCursor);
}

void PlotView::mouseMoveEvent(QMouseEvent* event) {
    const Layout layout = MakeLayout();
    const QPointF position = event->position();
    if (m_dragX && (event->buttons() & Qt::LeftButton) && position.x() != *m_dragX &&
        (m_dragged || std::abs(position.x() - *m_dragX) >= QApplication::startDragDistance())) {
        m_dragged = true;
        const double moved = (position.x() - *m_dragX) / layout.width();
        ShowUntil(m_dragEnd - std::llround(moved * static_cast<double>(m_span)));
    }
    const bool over = HasSamples() && !layout.plots.empty() && position.x() >= layout.left &&
                      position.x() <= layout.right && position.y() >= layout.plots.front().top() &&
                      position.y() <= layout.plots.back().bottom();
    if (over) {
        m_cursorX = position.x();
        update();
        emit cursorMoved(TimeAt(position.x(), layout));
    } else if (m_cursorX) {
        m_cursorX.reset();
        update();
        emit cursorLeft();
    }
}

void PlotView::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton && m_dragX) {
        m_dragX.reset();
        unsetCursor();
        const Layout layout = MakeLayout();
        const double x = event->position().x();
        if (!m_dragged && !layout.plots.empty() && x >= layout.left && x <= layout.right)
            emit timeClicked(TimeAt(x, layout));
        return;
    }
    QWidget::mouseReleaseEvent(event);
}

void PlotView::mouseDoubleClickEvent(QMouseEvent* event) {
    if (event->button() == Qt::LeftButton) {
        SetFollowing(true);
        return;
    }
    QWidget::mouseDoubleClickEvent(event);
}

void PlotView::keyPressEvent(QKeyEvent* event) {
    if (!KeyPressed(*event))
        QWidget::keyPressEvent(event);
}

bool PlotView::KeyPressed(const QKeyEvent& event) {
    // Shift types "+" on many keyboards; Ctrl and Alt keys are the window's.
    const Qt::KeyboardModifiers modifiers = event.modifiers() & ~Qt::KeypadModifier;
    if ((modifiers & ~Qt::ShiftModifier) != 0 || !HasSamples())
        return false;
    const bool shift = modifiers == Qt::ShiftModifier;
    const Range range = VisibleRange();
    const qint64 step = std::max<qint64>(m_span / 10, 1);
    const qint64 cursorStep = std::max<qint64>(m_span / 100, 1);
    const qint64 cursor = m_keyMsecs.value_or(range.first + m_span / 2);
    const qint64 centre = range.first + m_span / 2;
    // Zoom keeps the keyboard's cursor where it is, else the middle.
    const bool cursorShown = m_keyMsecs && cursor >= range.first && cursor <= range.last;
    const qint64 anchor = cursorShown ? cursor : centre;
    const double fraction = static_cast<double>(anchor - range.first) / static_cast<double>(m_span);
    switch (event.key()) {
    case Qt::Key_Plus:
    case Qt::Key_Equal:
        ZoomAround(anchor, fraction, 0.8);
        return true;
    case Qt::Key_Minus:
    case Qt::Key_Underscore:
        ZoomAround(anchor, fraction, 1 / 0.8);
        return true;
    case Qt::Key_Home:
        SetFollowing(true);
        return true;
    case Qt::Key_PageUp:
        ShowUntil(range.last - m_span);
        return true;
    case Qt::Key_PageDown:
        ShowUntil(range.last + m_span);
        return true;
    case Qt::Key_Left:
    case Qt::Key_Right:
        if (shift)
            MoveKeyCursor(m_keyMsecs ? cursor + (event.key() == Qt::Key_Left ? -1 : 1) * cursorStep
                                     : cursor);
        else
            ShowUntil(range.last + (event.key() == Qt::Key_Left ? -step : step));
        return true;
    case Qt::Key_Comma:
    case Qt::Key_Less:
        MoveKeyCursor(m_keyMsecs ? cursor - cursorStep : cursor);
        return true;
    case Qt::Key_Period:
    case Qt::Key_Greater:
        MoveKeyCursor(m_keyMsecs ? cursor + cursorStep : cursor);
        return true;
    case Qt::Key_Return:
    case Qt::Key_Enter:
        if (!m_keyMsecs)
            return false;
        emit timeClicked(*m_keyMsecs);
        return true;
    case Qt::Key_Escape:
        if (!m_keyMsecs)
            return false;
        HideKeyCursor();
        return true;
    default:
        return false;
    }
}

void PlotView::MoveKeyCursor(qint64 msecs) {
    msecs = std::clamp(msecs, OldestMsecs(), NewestMsecs());
    m_keyMsecs = msecs;
    // Kept in view: the view goes along by as much as the cursor left it.
    const Range range = VisibleRange();
    if (msecs < range.first)
        ShowUntil(range.last - (range.first - msecs));
    else if (msecs > range.last)
        ShowUntil(msecs);
    update();
    QStringList lines = CursorValues(msecs);
    lines.prepend(
        QStringLiteral("t = %1 s").arg(NumberText(static_cast<double>(msecs) / 1000.0, 3)));
    setAccessibleDescription(lines.join(QStringLiteral("; ")));
    emit cursorMoved(msecs);
}

void PlotView::HideKeyCursor() {
    m_keyMsecs.reset();
    setAccessibleDescription(KeysHelp());
    update();
    if (!m_cursorX)
        emit cursorLeft();
}

void PlotView::leaveEvent(QEvent* event) {
    if (m_cursorX) {
        m_cursorX.reset();
        update();
        if (m_keyMsecs)
            emit cursorMoved(*m_keyMsecs);
        else
            emit cursorLeft();
    }
    QWidget::leaveEvent(event);
}

} // namespace kt::monitor
