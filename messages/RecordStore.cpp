#include "messages/RecordStore.h"

#include <atomic>

void RecordStore::changed()
{
    static std::atomic<quint64> lastVersion{0};
    m_version = ++lastVersion;
}

void RecordStore::rewriteMark(qsizetype k, bool marked)
{
    if (k < 0 || k >= m_lines.size())
        return;
    QStringList fields = splitRecordLine(m_lines[k]);
    while (fields.size() <= MessageRecord::Mark)
        fields.append(QString());
    fields[MessageRecord::Mark] = marked ? MessageRecord::Marked : MessageRecord::NotMarked;
    replaceLine(k, fields.join(MessageRecord::Separator));
}

void RecordStore::rewrite(qsizetype k, const MessageRecord &record)
{
    if (k >= 0 && k < m_lines.size())
        replaceLine(k, record.toLine());
}

void RecordStore::replaceLine(qsizetype k, QString line)
{
    if (line != m_lines[k]) {
        m_lines[k] = std::move(line);
        changed();
    }
}
