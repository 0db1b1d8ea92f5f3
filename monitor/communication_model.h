// The link's exchanges as table rows, one per event, newest last: time, port,
// direction, bytes in hex and what they mean, in the link log's words and
// with its (the catalogue's) value names, never names of its own; resends
// and failures marked. Keeps at most kMaxRows, dropping the oldest first. A
// model for a view; it neither observes the link nor knows about windows.
#pragma once

#include "link/link_observer.h"

#include <QAbstractTableModel>
#include <QColor>
#include <QString>
#include <QStringList>

#include <array>
#include <deque>

namespace kt::monitor {

class CommunicationModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { kTime, kPort, kDirection, kBytes, kMeaning, kColumnCount };
    // How a row stands out: resends and failures are coloured.
    enum class Mark { None, Resend, Failure };
    static constexpr int kMaxRows = 10'000;

    explicit CommunicationModel(QObject* parent = nullptr);

    void Add(const link::LinkEvent& event);
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
    static Row MakeRow(const link::LinkEvent& event);

    std::deque<Row> m_rows;
};

} // namespace kt::monitor
