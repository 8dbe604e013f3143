#pragma once

#include "messages/MarkedRecordIndex.h"

#include <QHash>
#include <QString>

class RecordStore;

// Which server messages "Delete Now on Server" removes, decided from what the
// list shows at the moment each message is reached:
// - a message the list shows (its unique-id names exactly one listed line)
//   goes exactly when that line is checked and the message's From and Subject,
//   as read from the server in this session, are still the line's;
// - any other message (new since the listing, or a server without unique-ids)
//   goes when its From and Subject equal those of some checked line.
// So a look-alike whose own line the user unchecked stays, and a server that
// hands a unique-id to another message since the listing loses nothing unchecked.
class DeletionChoice
{
public:
    explicit DeletionChoice(const RecordStore &records);

    bool chosen(const QString &uid, const QString &from, const QString &subject);
    // False when chosen() is false now whatever the message's headers say: a
    // listed message whose line is unchecked.
    bool mayChoose(const QString &uid) const;

private:
    qsizetype lineOf(const QString &uid) const;  // -1: not a listed line's

    const RecordStore &m_records;
    QHash<QString, qsizetype> m_lineOfUid; // unique-ids that name exactly one line
    MarkedRecordIndex m_marked;
};
