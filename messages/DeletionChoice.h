#pragma once

#include <QHash>
#include <QList>
#include <QSet>
#include <QString>

class RecordStore;

// Which server messages "Delete Now on Server" removes, decided from what the
// list shows at the moment each message is reached. A message goes only when
// it is provably the message of a checked line:
// - its identity names listed lines that are all checked, and
// - its From and Subject, read from the server in this session, are still
//   those of such a line.
// The identity is the server's unique-id; a server without unique-ids gets
// the Message-ID, Date and size instead, all three from the header just read.
//
// Anything else stays: a message that was never listed, one whose unique-id
// moved to another message (a server that renumbers its ids), one whose
// header no longer matches its line. Each checked line that no message
// proved to be its own is counted, so the user can be told how many checked
// messages were kept because they changed on the server since the listing.
class DeletionChoice
{
public:
    // A message as read from the server in the deletion session.
    struct Message
    {
        QString uid;  // "" when the server gives none
        QString messageId, date, size, from, subject;
    };

    explicit DeletionChoice(const RecordStore &records);

    bool chosen(const Message &message);
    // False when chosen() is false now whatever the message's headers say:
    // its unique-id names no checked line.
    bool mayChoose(const QString &uid) const;
    // Lines checked now that no message chosen so far was the message of.
    qsizetype keptAsChanged() const;

private:
    static QString identityOf(const QString &uid, const QString &messageId, const QString &date, const QString &size);
    // The lines of that identity, when every one of them is checked.
    QList<qsizetype> checkedLinesOf(const QString &identity) const;

    const RecordStore &m_records;
    QHash<QString, QList<qsizetype>> m_linesOf;  // identity -> listed lines
    QSet<qsizetype> m_matched;  // lines whose message was chosen
};
