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
    QString line = fields.join(MessageRecord::Separator);
    if (line != m_lines[k]) {
        m_lines[k] = std::move(line);
        changed();
    }
}

void RecordStore::rewriteVerdict(qsizetype k, const QString &rule)
{
    if (k < 0 || k >= m_lines.size())
        return;
    MessageRecord record = read(k);
    record.mark = rule.isEmpty() ? MessageRecord::NotMarked : MessageRecord::Marked;
    record.rule = rule;
    QString line = record.toLine();
    if (line != m_lines[k]) {
        m_lines[k] = std::move(line);
        changed();
    }
}
