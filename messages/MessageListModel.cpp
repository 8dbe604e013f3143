#include "messages/MessageListModel.h"

#include "messages/RecordStore.h"

#include <QDateTime>
#include <QLocale>

#include <limits>

namespace {
// "Mon, 7 Dec 2026 10:00:00 +0000 (UTC)": a comment after the zone is common.
QDateTime readDate(const QString &text)
{
    QString date = text.trimmed();
    if (const qsizetype comment = date.indexOf(u'('); comment > 0)
        date.truncate(comment);
    return QDateTime::fromString(date.trimmed(), Qt::RFC2822Date);
}
// Narrow enough for its column: "812 B", "47 K", "3.4 M".
QString shortSize(qint64 bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 B").arg(bytes);
    if (bytes < 1024 * 1024)
        return QStringLiteral("%1 K").arg((bytes + 512) / 1024);
    return QStringLiteral("%1 M").arg(QLocale().toString(bytes / (1024.0 * 1024.0), 'f', 1));
}
} // namespace

MessageListModel::MessageListModel(RecordStore &records, QObject *parent) : QAbstractTableModel(parent), m_records(records) {}

void MessageListModel::showRows(qsizetype rows)
{
    beginResetModel();
    m_rows = int(qBound<qsizetype>(0, rows, m_records.count()));
    m_dateKeys.clear();
    for (std::vector<QString> &folded : m_folded)
        folded.clear();
    m_checked = 0;
    for (int row = 0; row < m_rows; ++row)
        m_checked += m_records.read(row).isMarked();
    endResetModel();
}

void MessageListModel::setChecked(const QList<int> &rows, bool checked)
{
    int first = m_rows, last = -1;
    for (const int row : rows) {
        if (row < 0 || row >= m_rows || m_records.read(row).isMarked() == checked)
            continue;
        m_records.rewriteMark(row, checked);
        m_checked += checked ? 1 : -1;
        first = qMin(first, row);
        last = qMax(last, row);
    }
    if (last >= first)
        emit dataChanged(index(first, 0), index(last, ColumnCount - 1), {Qt::CheckStateRole});
}

qint64 MessageListModel::dateKey(int row) const
{
    if (m_dateKeys.empty()) {
        m_dateKeys.resize(size_t(m_rows));
        for (int k = 0; k < m_rows; ++k) {
            const QDateTime date = readDate(m_records.read(k).date);
            m_dateKeys[size_t(k)] = date.isValid() ? date.toSecsSinceEpoch() : std::numeric_limits<qint64>::min();
        }
    }
    return m_dateKeys.at(size_t(row));
}

qint64 MessageListModel::sizeKey(int row) const { return m_records.read(row).size.toLongLong(); }

const QString &MessageListModel::foldedText(int row, int column) const
{
    std::vector<QString> &folded = m_folded[column];
    if (folded.empty()) {
        folded.reserve(size_t(m_rows));
        for (int k = 0; k < m_rows; ++k) {
            const MessageRecord &r = m_records.read(k);
            folded.push_back((column == From ? r.from : column == Subject ? r.subject : r.rule).toCaseFolded());
        }
    }
    return folded.at(size_t(row));
}

int MessageListModel::rowCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : m_rows; }

int MessageListModel::columnCount(const QModelIndex &parent) const { return parent.isValid() ? 0 : ColumnCount; }

QString MessageListModel::text(int row, int column) const
{
    const MessageRecord &r = m_records.read(row);
    switch (column) {
    case From: return r.from;
    case Subject: return r.subject;
    case Date: {
        const QDateTime date = readDate(r.date);
        return date.isValid() ? date.toLocalTime().toString(QStringLiteral("yyyy-MM-dd HH:mm")) : r.date;
    }
    case Size: return shortSize(r.size.toLongLong());
    case Rule: return r.rule;
    default: return QString();
    }
}

QVariant MessageListModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= m_rows)
        return {};
    const int row = index.row();
    switch (role) {
    case Qt::DisplayRole:
        return text(row, index.column());
    case Qt::ToolTipRole: {
        // The whole value, as the header gave it.
        const MessageRecord &r = m_records.read(row);
        switch (index.column()) {
        case Date: return r.date;
        case Size: return QStringLiteral("%1 bytes").arg(r.size);
        default: return text(row, index.column());
        }
    }
    case Qt::CheckStateRole:
        if (index.column() == From)
            return m_records.read(row).isMarked() ? Qt::Checked : Qt::Unchecked;
        return {};
    case Qt::TextAlignmentRole:
        if (index.column() == Size)
            return int(Qt::AlignRight | Qt::AlignVCenter);
        return {};
    default:
        return {};
    }
}

bool MessageListModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || index.row() >= m_rows || index.column() != From || role != Qt::CheckStateRole)
        return false;
    const bool checked = value.toInt() == Qt::Checked;
    if (m_records.read(index.row()).isMarked() != checked) {
        m_records.rewriteMark(index.row(), checked);
        m_checked += checked ? 1 : -1;
        emit dataChanged(this->index(index.row(), 0), this->index(index.row(), ColumnCount - 1), {Qt::CheckStateRole});
    }
    return true;
}

Qt::ItemFlags MessageListModel::flags(const QModelIndex &index) const
{
    if (!index.isValid())
        return Qt::NoItemFlags;
    const Qt::ItemFlags flags = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    return index.column() == From ? flags | Qt::ItemIsUserCheckable : flags;
}

QVariant MessageListModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation != Qt::Horizontal || role != Qt::DisplayRole)
        return QAbstractTableModel::headerData(section, orientation, role);
    static const char *const names[] = {"From", "Subject", "Date", "Size", "Rule"};
    return section >= 0 && section < ColumnCount ? QString::fromLatin1(names[section]) : QVariant();
}
