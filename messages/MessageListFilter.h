#pragma once

#include <QSortFilterProxyModel>

class MessageListModel;

// The list as the user has arranged it: sorted by a column, and narrowed to
// the lines whose From, Subject or Rule contain the search text (letter case
// ignored, by case folding). Sorting and searching use the model's keys,
// worked out once per listing, so that tens of thousands of lines build no
// value per comparison.
class MessageListFilter : public QSortFilterProxyModel
{
    Q_OBJECT
public:
    explicit MessageListFilter(MessageListModel &model, QObject *parent = nullptr);

    void setSearchText(const QString &text);
    // Source rows of the lines shown, in the order shown.
    QList<int> shownRows() const;

protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex &sourceParent) const override;
    bool lessThan(const QModelIndex &left, const QModelIndex &right) const override;

private:
    MessageListModel &m_model;
    QString m_search;
    QString m_foldedSearch;
};
