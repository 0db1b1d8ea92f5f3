// The link's exchanges as table rows, one per event, newest last: seconds
// since the log started, port, direction, bytes in hex and what they mean,
// in the link log's words and with its (the catalogue's) value names, never
// names of its own; a read reply with its value as the catalogue scales and
// writes it; resends and failures marked. Keeps at most kMaxRows, dropping
// the oldest first. A model for a view; it neither observes the link nor
// knows about windows.
#pragma once

#include "link/link_observer.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QString>
#include <QStringList>

#include <array>
#include <deque>
#include <optional>

namespace kt::monitor {

class CommunicationModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { kTime, kPort, kDirection, kBytes, kMeaning, kColumnCount };
    // How a row stands out: resends and failures are coloured.
    enum class Mark { None, Resend, Failure };
    static constexpr int kMaxRows = 10'000;

    explicit CommunicationModel(QObject* parent = nullptr);

    // The link's time (LinkEvent::msecs) the log starts at; until it is
    // set, the first event's.
    void SetOrigin(qint64 msecs) { m_origin = msecs; }
    void Add(const link::LinkEvent& event);
    // Drops the rows; the log's start stays.
    void Clear();

    // The row as LinkLog writes it, for copies and saved files.
    QString Line(int row) const;
    QStringList Lines() const;
    QString Cell(int row, Column column) const;
    Mark RowMark(int row) const;
    static Mark MarkOf(const link::LinkEvent& event);
    // A tint over the palette's own base, so the palette's text stays
    // readable on light and dark themes alike.
    static QColor Tint(Mark mark);

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    QVariant headerData(int section, Qt::Orientation orientation,
                        int role = Qt::DisplayRole) const override;

private:
    // Texts made once: a view asks for them at every repaint.
    struct Row {
        std::array<QString, kColumnCount> cells;
        QString line;
        Mark mark = Mark::None;
    };
    Row MakeRow(const link::LinkEvent& event) const;

    std::deque<Row> m_rows;
    std::optional<qint64> m_origin;
};

} // namespace kt::monitor
