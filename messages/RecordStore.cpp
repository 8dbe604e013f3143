#include "messages/RecordStore.h"

#include <atomic>

void RecordStore::changed()
{
    static std::atomic<quint64> lastVersion{0};
    m_version = ++lastVersion;
}

void RecordStore::rewriteMark(qsizetype k, bool marked)
{
    if (k < 0 || k >= m_records.size())
        return;
    MessageRecord record = m_records.at(k);
    record.mark = marked ? MessageRecord::Marked : MessageRecord::NotMarked;
    rewrite(k, record);
}

void RecordStore::rewrite(qsizetype k, const MessageRecord &record)
{
    if (k >= 0 && k < m_records.size() && !(record == m_records.at(k))) {
        m_records[k] = record;
        changed();
    }
}
