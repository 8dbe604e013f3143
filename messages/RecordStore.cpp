#include "messages/RecordStore.h"

void RecordStore::rewriteMark(qsizetype k, bool marked)
{
    if (k < 0 || k >= m_lines.size())
        return;
    QStringList fields = splitRecordLine(m_lines[k]);
    while (fields.size() < MessageRecord::FieldCount)
        fields.append(QString());
    fields[MessageRecord::Mark] = marked ? MessageRecord::Marked : MessageRecord::NotMarked;
    m_lines[k] = fields.join(MessageRecord::Separator);
}
