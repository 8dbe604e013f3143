#pragma once

#include "messages/MessageRecord.h"

#include <QList>

// The hidden, ordered store of message records. Line k belongs to line k of
// the visible message list. Records are held as their fields, so that the
// passes over every record (the rules, the list filling, the deletion) read
// them without splitting a line each; line(k) builds the text form on demand.
class RecordStore
{
public:
    void clear() { m_records.clear(); changed(); }
    void append(const MessageRecord &record) { m_records.append(record); changed(); }
    qsizetype count() const { return m_records.size(); }
    QString line(qsizetype k) const { return m_records.at(k).toLine(); }
    const MessageRecord &read(qsizetype k) const { return m_records.at(k); }

    // Replaces only the mark field of record k; every other field, every other
    // line and the count stay as they are. Out-of-range k is ignored.
    void rewriteMark(qsizetype k, bool marked);
    // Record k as given (the filter's verdict, say); out-of-range k is ignored.
    void rewrite(qsizetype k, const MessageRecord &record);

    // Changes with every change of the store, and no two stores share a
    // version, so that what is derived from a store knows when to derive again.
    quint64 version() const { return m_version; }

private:
    void changed();

    QList<MessageRecord> m_records;
    quint64 m_version = 0;
};
