#pragma once

#include <QHash>
#include <QString>

#include <utility>

class RecordStore;

// How many records marked for deletion carry a given From and Subject
// (exact, case-sensitive). Built from the store on first use and again
// whenever the store has changed since, so a check box changed between two
// look-ups counts from the next look-up on, as with a scan of every record.
class MarkedRecordIndex
{
public:
    qsizetype count(const RecordStore &records, const QString &from, const QString &subject);

private:
    QHash<std::pair<QString, QString>, qsizetype> m_counts;
    const RecordStore *m_store = nullptr;
    quint64 m_version = 0;
};
