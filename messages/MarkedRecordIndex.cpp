#include "messages/MarkedRecordIndex.h"

#include "messages/RecordStore.h"

qsizetype MarkedRecordIndex::count(const RecordStore &records, const QString &from, const QString &subject)
{
    if (m_store != &records || m_version != records.version()) {
        m_counts.clear();
        for (qsizetype j = 0; j < records.count(); ++j) {
            const MessageRecord record = records.read(j);
            if (record.isMarked())
                ++m_counts[{record.from, record.subject}];
        }
        m_store = &records;
        m_version = records.version();
    }
    return m_counts.value({from, subject}, 0);
}
