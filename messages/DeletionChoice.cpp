#include "messages/DeletionChoice.h"

#include "messages/RecordStore.h"

DeletionChoice::DeletionChoice(const RecordStore &records) : m_records(records)
{
    for (qsizetype j = 0; j < records.count(); ++j) {
        const MessageRecord &line = records.read(j);
        m_linesOf[identityOf(line.extraA, line.extraB, line.date, line.size)].append(j);
    }
}

QString DeletionChoice::identityOf(const QString &uid, const QString &messageId, const QString &date, const QString &size)
{
    // A unique-id holds no control characters, so the two kinds never meet.
    return uid.isEmpty() ? QStringLiteral("\n%1\n%2\n%3").arg(messageId, date, size) : uid;
}

QList<qsizetype> DeletionChoice::checkedLinesOf(const QString &identity) const
{
    const QList<qsizetype> lines = m_linesOf.value(identity);
    for (const qsizetype j : lines)
        if (!m_records.read(j).isMarked())
            return {};
    return lines;
}

bool DeletionChoice::chosen(const Message &message)
{
    // Lines of one identity that are alike (a campaign on a server without
    // unique-ids) each take one message.
    for (const qsizetype j : checkedLinesOf(identityOf(message.uid, message.messageId, message.date, message.size))) {
        const MessageRecord &line = m_records.read(j);
        if (!m_matched.contains(j) && line.from == message.from && line.subject == message.subject) {
            m_matched.insert(j);
            return true;
        }
    }
    return false;
}

qsizetype DeletionChoice::keptAsChanged() const
{
    qsizetype kept = 0;
    for (qsizetype j = 0; j < m_records.count(); ++j)
        kept += m_records.read(j).isMarked() && !m_matched.contains(j);
    return kept;
}

bool DeletionChoice::mayChoose(const QString &uid) const
{
    // Without a unique-id the identity is in the header, which must be read.
    return uid.isEmpty() || !checkedLinesOf(uid).isEmpty();
}
