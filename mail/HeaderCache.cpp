#include "mail/HeaderCache.h"

std::optional<HeaderValues> HeaderCache::find(const QString &mailbox, const QString &uid, qint64 size) const
{
    const auto box = m_mailboxes.constFind(mailbox);
    if (uid.isEmpty() || box == m_mailboxes.constEnd())
        return std::nullopt;
    const auto it = box->constFind(uid);
    if (it == box->constEnd() || it->size != size)
        return std::nullopt;
    return it->values;
}

void HeaderCache::store(const QString &mailbox, const QString &uid, qint64 size, const HeaderValues &values)
{
    if (uid.isEmpty())
        return;
    Mailbox &box = m_mailboxes[mailbox];
    const auto it = box.find(uid);
    if (it != box.end()) {
        *it = {size, values};
        return;
    }
    // A bound on memory: starting afresh costs one more TOP per message, once.
    if (m_size >= MaxEntries) {
        m_mailboxes.clear();
        m_size = 0;
        m_mailboxes[mailbox].insert(uid, {size, values});
    } else {
        box.insert(uid, {size, values});
    }
    ++m_size;
}
