#include "messages/MessageListFilter.h"

#include "messages/MessageListModel.h"

MessageListFilter::MessageListFilter(MessageListModel &model, QObject *parent)
    : QSortFilterProxyModel(parent), m_model(model)
{
    setSourceModel(&model);
}

void MessageListFilter::setSearchText(const QString &text)
{
    if (text == m_search)
        return;
    m_search = text;
    m_foldedSearch = text.toCaseFolded();
    invalidateFilter();
}

QList<int> MessageListFilter::shownRows() const
{
    QList<int> rows;
    rows.reserve(rowCount());
    for (int row = 0; row < rowCount(); ++row)
        rows.append(mapToSource(index(row, 0)).row());
    return rows;
}

bool MessageListFilter::filterAcceptsRow(int sourceRow, const QModelIndex &) const
{
    if (m_search.isEmpty())
        return true;
    for (const int column : {MessageListModel::From, MessageListModel::Subject, MessageListModel::Rule})
        if (m_model.foldedText(sourceRow, column).contains(m_foldedSearch))
            return true;
    return false;
}

bool MessageListFilter::lessThan(const QModelIndex &left, const QModelIndex &right) const
{
    switch (left.column()) {
    case MessageListModel::Date:
        return m_model.dateKey(left.row()) < m_model.dateKey(right.row());
    case MessageListModel::Size:
        return m_model.sizeKey(left.row()) < m_model.sizeKey(right.row());
    default:
        return m_model.foldedText(left.row(), left.column()) < m_model.foldedText(right.row(), right.column());
    }
}
