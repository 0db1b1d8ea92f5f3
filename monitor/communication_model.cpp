#include "monitor/communication_model.h"

#include "drivemap/drive_catalogue.h"
#include "link/frm_motor_com.h"
#include "link/link_log.h"
#include "link/packet.h"

#include <QColor>

namespace kt::monitor {

using link::LinkEvent;
using link::LinkLog;

namespace {

// "read Identification (282), 2 bytes": the words LinkLog gives the exchange
// the event belongs to, taken from its failure line so that the wording is
// LinkLog's alone.
QString Exchange(const LinkEvent& event) {
    LinkEvent failed = event;
    failed.kind = LinkEvent::Kind::Ended;
    failed.code = link::kFailed;
    failed.bytes.clear();
    const std::string line = LinkLog::Line(failed);
    static const std::string kMarker = "FAILED: ";
    const auto at = line.find(kMarker);
    QString words = at == std::string::npos
                        ? QString()
                        : QString::fromStdString(line.substr(at + kMarker.size()));
    // The log counts in "bytes" whatever the count; a window speaks English.
    if (event.dataCount == 1 && words.endsWith(QLatin1String(" 1 bytes")))
        words.chop(1);
    return words;
}

// " = 25", " = 47.96733 V", " = 3: Fault in motor power stage.": a read
// reply's value, scaled and written as the catalogue does everywhere, in
// its unit. Nothing for a reply that holds no value the catalogue knows.
QString ReplyValue(const LinkEvent& event) {
    if (event.kind != LinkEvent::Kind::Reply || event.function != drivemap::kAccess || event.write)
        return {};
    const std::optional<drivemap::ValueRef> ref =
        drivemap::AtAddress(event.address, event.dataCount);
    if (!ref || ref->value->size != event.dataCount || event.bytes.size() != event.dataCount + 2)
        return {};
    if (!link::Packet::ReadReplyValid(event.bytes))
        return QStringLiteral(", wrong checksum");
    const auto* data = reinterpret_cast<const std::uint8_t*>(event.bytes.constData());
    const double reading = drivemap::Decode(*ref->value, {data, event.dataCount});
    QString text = QStringLiteral(" = ") + QString::fromStdString(drivemap::Format(*ref, reading));
    if (!ref->value->unit.empty())
        text += QLatin1Char(' ') + QString::fromUtf8(ref->value->unit);
    return text;
}

QString Direction(const LinkEvent& event) {
    switch (event.kind) {
    case LinkEvent::Kind::Request:
    case LinkEvent::Kind::Resend:
        return QStringLiteral(">");
    case LinkEvent::Kind::Reply:
        return QStringLiteral("<");
    case LinkEvent::Kind::Timeout:
    case LinkEvent::Kind::LineError:
        return QStringLiteral("!");
    case LinkEvent::Kind::Ended:
        break;
    }
    return event.code == link::kSent ? QStringLiteral("=") : QStringLiteral("!");
}

QString Meaning(const LinkEvent& event) {
    const QString exchange = Exchange(event);
    switch (event.kind) {
    case LinkEvent::Kind::Request:
        return exchange;
    case LinkEvent::Kind::Reply:
        return exchange + ReplyValue(event);
    case LinkEvent::Kind::Resend:
        return QStringLiteral("resend %1: %2").arg(event.attempt).arg(exchange);
    case LinkEvent::Kind::Timeout:
        return (event.bytes.isEmpty() ? QStringLiteral("time-out, nothing received: %1")
                                      : QStringLiteral("time-out, received only these: %1"))
            .arg(exchange);
    case LinkEvent::Kind::LineError:
        return QStringLiteral("line error %1: %2").arg(event.code).arg(exchange);
    case LinkEvent::Kind::Ended:
        break;
    }
    return (event.code == link::kSent ? QStringLiteral("done: %1") : QStringLiteral("failed: %1"))
        .arg(exchange);
}

} // namespace

CommunicationModel::CommunicationModel(QObject* parent) : QAbstractTableModel(parent) {}

CommunicationModel::Mark CommunicationModel::MarkOf(const LinkEvent& event) {
    switch (event.kind) {
    case LinkEvent::Kind::Request:
    case LinkEvent::Kind::Reply:
        return Mark::None;
    case LinkEvent::Kind::Resend:
        return Mark::Resend;
    case LinkEvent::Kind::Timeout:
    case LinkEvent::Kind::LineError:
        return Mark::Failure;
    case LinkEvent::Kind::Ended:
        break;
    }
    return event.code == link::kSent ? Mark::None : Mark::Failure;
}

QColor CommunicationModel::Tint(Mark mark) {
    switch (mark) {
    case Mark::Resend:
        return QColor(255, 140, 0, 90);
    case Mark::Failure:
        return QColor(230, 30, 30, 100);
    case Mark::None:
        break;
    }
    return {};
}

CommunicationModel::Row CommunicationModel::MakeRow(const LinkEvent& event) const {
    Row row;
    row.cells[kTime] = QStringLiteral("%1 s").arg(
        static_cast<double>(event.msecs - m_origin.value_or(event.msecs)) / 1000.0, 0, 'f', 3);
    row.cells[kPort] =
        event.portNumber > 0 ? QString::number(event.portNumber) : QStringLiteral("search");
    row.cells[kDirection] = Direction(event);
    row.cells[kBytes] = QString::fromStdString(LinkLog::Hex(event.bytes));
    row.cells[kMeaning] = Meaning(event);
    row.line = QString::fromStdString(LinkLog::Line(event));
    row.mark = MarkOf(event);
    return row;
}

void CommunicationModel::Add(const LinkEvent& event) {
    if (!m_origin)
        m_origin = event.msecs;
    Row row = MakeRow(event);
    if (m_rows.size() >= static_cast<std::size_t>(kMaxRows)) {
        beginRemoveRows({}, 0, 0);
        m_rows.pop_front();
        endRemoveRows();
    }
    const int at = static_cast<int>(m_rows.size());
    beginInsertRows({}, at, at);
    m_rows.push_back(std::move(row));
    endInsertRows();
}

void CommunicationModel::Clear() {
    beginResetModel();
    m_rows.clear();
    endResetModel();
}

QString CommunicationModel::Line(int row) const {
    return row >= 0 && row < rowCount() ? m_rows[static_cast<std::size_t>(row)].line : QString();
}

QStringList CommunicationModel::Lines() const {
    QStringList lines;
    lines.reserve(rowCount());
    for (const Row& row : m_rows)
        lines.append(row.line);
    return lines;
}

QString CommunicationModel::Cell(int row, Column column) const {
    if (row < 0 || row >= rowCount() || column < 0 || column >= kColumnCount)
        return {};
    return m_rows[static_cast<std::size_t>(row)].cells[static_cast<std::size_t>(column)];
}

CommunicationModel::Mark CommunicationModel::RowMark(int row) const {
    return row >= 0 && row < rowCount() ? m_rows[static_cast<std::size_t>(row)].mark : Mark::None;
}

int CommunicationModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : static_cast<int>(m_rows.size());
}

int CommunicationModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant CommunicationModel::data(const QModelIndex& index, int role) const {
    if (!index.isValid() || index.row() >= rowCount() || index.column() >= kColumnCount)
        return {};
    const Row& row = m_rows[static_cast<std::size_t>(index.row())];
    switch (role) {
    case Qt::DisplayRole:
        return row.cells[static_cast<std::size_t>(index.column())];
    case Qt::BackgroundRole:
        if (row.mark != Mark::None)
            return Tint(row.mark);
        break;
    case Qt::ToolTipRole:
        return row.line;
    case Qt::TextAlignmentRole:
        if (index.column() == kTime)
            return QVariant::fromValue(Qt::AlignRight | Qt::AlignVCenter);
        break;
    default:
        break;
    }
    return {};
}

QVariant CommunicationModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (role != Qt::DisplayRole || orientation != Qt::Horizontal)
        return QAbstractTableModel::headerData(section, orientation, role);
    switch (section) {
    case kTime:
        return tr("Time");
    case kPort:
        return tr("Port");
    case kDirection:
        return tr("Dir");
    case kBytes:
        return tr("Bytes");
    case kMeaning:
        return tr("Meaning");
    default:
        return {};
    }
}

} // namespace kt::monitor
