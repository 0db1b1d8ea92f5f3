// The Monitor window's plot: recorded values against time, one plot per
// unit stacked on one shared time axis in seconds, each with its own
// autoscaled value axis and its legend above it, clear of the data; bits as
// 0/1 steps, one lane each, named in full at its left. Where a history is
// reduced to buckets, each bucket is an upright span from its minimum to
// its maximum at its last sample's time, so no spike goes missing; where
// the recording was paused the trace stops and starts again. Follows the
// newest sample until the user zooms (wheel, + and -) or pans (drag, Left
// and Right, Page Up and Page Down); Home or a double-click follows again.
// A cursor under the mouse, or moved by "," and "." (Shift+Left and
// Shift+Right) until Escape, shows every value at its time in a readout kept
// inside the widget; Enter on the keyboard's cursor picks its time as a click
// does. Its colours keep their contrast on the palette's ground. It only
// draws: it neither reads the drive nor owns the samples, and repaints when
// its owner calls update().
#pragma once

#include "monitor/plot_scale.h"
#include "monitor/sample_history.h"

#include <QColor>
#include <QImage>
#include <QPalette>
#include <QRectF>
#include <QString>
#include <QStringList>
#include <QWidget>

#include <functional>
#include <optional>
#include <vector>

class QKeyEvent;
class QPainter;

namespace kt::monitor {

// A value as the cursor writes it where its trace does not say: a bit as 0
// or 1, any other value with at most 3 decimals and no trailing zeros: 12.5,
// 3, 0.1, -2.25.
QString MonitorValueText(double value, bool bit);

struct PlotTrace {
    QString name;
    // Traces of one unit share a plot, which it titles: a unit, or where
    // the values have none whatever else makes them comparable.
    QString unit;
    bool bit = false;
    // Owned by the caller; it outlives the view or is replaced by SetTraces.
    const SampleHistory* history = nullptr;
    // How the cursor writes a value (MonitorValueText when not given), and
    // the unit it writes after it; none when empty.
    std::function<QString(double)> text = {};
    QString readingUnit = {};
};

class PlotView : public QWidget {
    Q_OBJECT

public:
    static constexpr qint64 kDefaultSpanMs = 30 * 1000;
    static constexpr qint64 kMinSpanMs = 20;
    static constexpr qint64 kMaxSpanMs = 2 * SampleHistory::kSpanMs;

    struct Range {
        qint64 first;
        qint64 last;
    };
    // Where things go for the widget's present size: the plots' data areas,
    // in SetTraces' order of their first traces, between left and right;
    // above each value plot its legend and its items (an empty rectangle and
    // none for bits).
    struct Layout {
        double left = 0;
        double right = 0;
        std::vector<QRectF> plots;
        std::vector<QRectF> legends;
        std::vector<LegendLayout> legendItems;
        double width() const { return right - left; }
    };

    explicit PlotView(QWidget* parent = nullptr);

    // Traces of one unit share a plot, in the order their first trace comes;
    // bits have plots of their own. Colours go by position in traces.
    void SetTraces(std::vector<PlotTrace> traces);
    const std::vector<PlotTrace>& Traces() const { return m_traces; }
    // Shown, centred, while no trace has a sample.
    void SetEmptyText(const QString& text);

    void SetFollowing(bool following);
    bool Following() const { return m_following; }
    // Clamped to [kMinSpanMs, kMaxSpanMs]. When not following the right edge
    // stays where it is.
    void SetVisibleSpan(qint64 ms);
    qint64 VisibleSpan() const { return m_span; }
    // The first and last millisecond shown. Following, the last is the
    // newest sample's time (0 before any sample).
    Range VisibleRange() const;
    // Leaves following with the right edge at end, kept near the recording.
    void ShowUntil(qint64 end);

    // "name = value unit" for every trace (the trace's text and reading
    // unit), the value of its sample at or before msecs, "name = —" when it
    // has none. Where a reduced bucket holds msecs: its last value, then
    // " (min a, max b)".
    QStringList CursorValues(qint64 msecs) const;
    // The cursor's time: under the mouse, else the keyboard's cursor's;
    // none while neither is on the plots.
    std::optional<qint64> CursorMsecs() const;
    // A fixed line at a time, such as where a replayed run stands; none
    // hides it.
    void SetMarker(std::optional<qint64> msecs);
    std::optional<qint64> Marker() const { return m_marker; }

    Layout Geometry() const { return MakeLayout(); }
    // Where the cursor's readout stands, none while there is no cursor.
    std::optional<QRectF> ReadoutArea() const;

    // What the plot draws in on a palette's ground: text and the muted text
    // of names and marks at 4.5:1 at least, the frames, cursor and marker at
    // 3:1; on a palette of high contrast (its text at 7:1) the text's own
    // colour for all but the grid.
    struct Colours {
        QColor ground;
        QColor text;
        QColor muted;
        QColor frame;
        QColor grid;
        QColor mark;
    };
    static Colours ColoursFor(const QPalette& palette);
    // The colour of the trace at index in SetTraces' list, as a line (3:1 on
    // the palette's ground) and as text (4.5:1).
    static QColor TraceColor(int index, const QPalette& palette);
    static QColor TraceTextColor(int index, const QPalette& palette);
    qint64 PaintCount() const { return m_paintCount; }

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

signals:
    // The mouse, or the keyboard's cursor, moved over the plots to the time
    // msecs.
    void cursorMoved(qint64 msecs);
    void cursorLeft();
    void followingChanged(bool following);
    // A click on the plots that did not drag them, or Enter on the
    // keyboard's cursor, at the time msecs.
    void timeClicked(qint64 msecs);

protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void leaveEvent(QEvent* event) override;

private:
    struct Plot {
        QString unit;
        bool bit = false;
        std::vector<int> traces;
    };
    // One trace to draw in a plot: its values from lo to hi fill the part
    // of the plot's height from top to bottom (fractions, 0 at the top).
    struct Drawn {
        const SampleHistory* history;
        bool step;
        QColor color;
        double lo;
        double hi;
        double top;
        double bottom;
    };

    // Where the cursor stands: the mouse's, else the keyboard's in view.
    struct CursorAt {
        double x;
        qint64 msecs;
    };

    // The cursor's lines ("t = ...", then a line per trace) and their box.
    struct Readout {
        QStringList lines;
        QRectF box;
    };

    Layout MakeLayout() const;
    std::optional<CursorAt> Cursor(const Layout& layout) const;
    std::optional<Readout> MakeReadout(const Layout& layout) const;
    // Scales the span by factor, the time at keeps its place (a fraction of
    // the width from the left).
    void ZoomAround(qint64 at, double fraction, double factor);
    // Shows the keyboard's cursor at msecs, kept on the recording and in view.
    void MoveKeyCursor(qint64 msecs);
    void HideKeyCursor();
    // What the keys do, for a screen reader while no cursor reads.
    static QString KeysHelp();
    bool KeyPressed(const QKeyEvent& event);
    // The bit lane's name under a point of the left margin, empty elsewhere.
    QString LaneNameAt(QPointF position) const;
    void DrawTraces(QPainter& painter, const QRectF& area, const std::vector<Drawn>& traces,
                    Range range);
    qint64 NewestMsecs() const;
    qint64 OldestMsecs() const;
    bool HasSamples() const;
    qint64 TimeAt(double x, const Layout& layout) const;

    std::vector<PlotTrace> m_traces;
    std::vector<Plot> m_plots;
    QString m_emptyText;
    bool m_following = true;
    qint64 m_span = kDefaultSpanMs;
    // The right edge while not following.
    qint64 m_end = 0;
    std::optional<double> m_cursorX;
    std::optional<qint64> m_keyMsecs;
    std::optional<double> m_dragX;
    qint64 m_dragEnd = 0;
    bool m_dragged = false;
    std::optional<qint64> m_marker;
    qint64 m_paintCount = 0;
    // Kept between paints, so a repaint does not allocate them again.
    QImage m_layer;
    std::vector<double> m_low;
    std::vector<double> m_high;
};

} // namespace kt::monitor
