#include "messages/DeletionChoice.h"

#include "messages/RecordStore.h"

DeletionChoice::DeletionChoice(const RecordStore &records) : m_records(records)
{
    constexpr qsizetype Repeated = -1;
    for (qsizetype j = 0; j < records.count(); ++j) {
        const QString uid = records.read(j).extraA;
        if (uid.isEmpty())
            continue;
        auto it = m_lineOfUid.find(uid);
        if (it == m_lineOfUid.end())
            m_lineOfUid.insert(uid, j);
        else
            *it = Repeated;
    }
    m_lineOfUid.removeIf([](const auto &entry) { return entry.value() == Repeated; });
}

qsizetype DeletionChoice::lineOf(const QString &uid) const
{
    return uid.isEmpty() ? -1 : m_lineOfUid.value(uid, -1);
}

bool DeletionChoice::chosen(const QString &uid, const QString &from, const QString &subject)
{
    const qsizetype own = lineOf(uid);
    if (own < 0)
        return m_marked.count(m_records, from, subject) > 0;
    const MessageRecord line = m_records.read(own);
    return line.isMarked() && line.from == from && line.subject == subject;
}

bool DeletionChoice::mayChoose(const QString &uid) const
{
    const qsizetype own = lineOf(uid);
    return own < 0 || m_records.read(own).isMarked();
}
