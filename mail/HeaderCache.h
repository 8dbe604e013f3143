#pragma once

#include "mail/HeaderText.h"

#include <QHash>
#include <QString>

#include <optional>

// Header values already read, kept for the life of the program so that a
// later session sends no TOP for a message it has seen. A message is known by
// its mailbox (server and user) and its unique-id (UIDL), which a server keeps
// for a message across sessions; the size from LIST must match as well, as a
// guard against a server that hands out a unique-id again.
class HeaderCache
{
public:
    static constexpr qsizetype MaxEntries = 500000;

    std::optional<HeaderValues> find(const QString &mailbox, const QString &uid, qint64 size) const;
    void store(const QString &mailbox, const QString &uid, qint64 size, const HeaderValues &values);
    // Whether anything of this mailbox is kept.
    bool holds(const QString &mailbox) const { return m_mailboxes.contains(mailbox); }
    qsizetype size() const { return m_size; }

private:
    struct Entry
    {
        qint64 size;
        HeaderValues values;
    };
    using Mailbox = QHash<QString, Entry>;  // by unique-id

    QHash<QString, Mailbox> m_mailboxes;
    qsizetype m_size = 0;
};
