#include "mail/HeaderCache.h"

std::optional<HeaderValues> HeaderCache::find(const QString &mailbox, const QString &uid, qint64 size) const
{
    if (uid.isEmpty())
        return std::nullopt;
    const auto it = m_entries.constFind(key(mailbox, uid));
    if (it == m_entries.constEnd() || it->size != size)
        return std::nullopt;
    return it->values;
}

void HeaderCache::store(const QString &mailbox, const QString &uid, qint64 size, const HeaderValues &values)
{
    if (uid.isEmpty())
        return;
    // A bound on memory: starting afresh costs one more TOP per message, once.
    if (m_entries.size() >= MaxEntries && !m_entries.contains(key(mailbox, uid)))
        m_entries.clear();
    m_entries.insert(key(mailbox, uid), {size, values});
}
