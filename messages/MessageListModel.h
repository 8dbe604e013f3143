#pragma once

#include <QAbstractTableModel>

#include <vector>

class RecordStore;

// The visible message list as a table over the records: row k is record k,
// its check box (in the From column) the record's mark. A check changed here
// is written into the record at once, so the records stay the one place
// that holds a mark. Only the rows the filter pass has shown exist; until
// then the table is empty, whatever the store holds.
class MessageListModel : public QAbstractTableModel
{
    Q_OBJECT
public:
    enum Column { From, Subject, Date, Size, Rule, ColumnCount };

    explicit MessageListModel(RecordStore &records, QObject *parent = nullptr);

    // Shows the first rows records (0 to clear the table).
    void showRows(qsizetype rows);
    // Sets the check of every row given, with one change signal.
    void setChecked(const QList<int> &rows, bool checked);
    qsizetype checkedCount() const { return m_checked; }
    // What sorting compares, without a QVariant per comparison: seconds since
    // 1970 for Date (the smallest number for a date that cannot be read),
    // bytes for Size.
    qint64 dateKey(int row) const;
    qint64 sizeKey(int row) const;
    // From, Subject or Rule of a row, case-folded, as searching and sorting
    // compare it (worked out once per listing and column).
    const QString &foldedText(int row, int column) const;

    int rowCount(const QModelIndex &parent = {}) const override;
    int columnCount(const QModelIndex &parent = {}) const override;
    QVariant data(const QModelIndex &index, int role) const override;
    bool setData(const QModelIndex &index, const QVariant &value, int role) override;
    Qt::ItemFlags flags(const QModelIndex &index) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;

private:
    QString text(int row, int column) const;

    RecordStore &m_records;
    int m_rows = 0;
    qsizetype m_checked = 0;  // kept up to date, so a check costs no count of the whole list
    mutable std::vector<qint64> m_dateKeys;  // worked out once per listing, on first use
    mutable std::vector<QString> m_folded[ColumnCount];
};
