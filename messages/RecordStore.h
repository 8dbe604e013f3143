#pragma once

#include "messages/MessageRecord.h"

#include <QStringList>

// The hidden, ordered store of record lines. Line k belongs to line k of the
// visible message list.
class RecordStore
{
public:
    void clear() { m_lines.clear(); changed(); }
    void append(const MessageRecord &record) { m_lines.append(record.toLine()); changed(); }
    qsizetype count() const { return m_lines.size(); }
    QString line(qsizetype k) const { return m_lines.at(k); }
    MessageRecord read(qsizetype k) const { return MessageRecord::fromLine(m_lines.at(k)); }

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
    void replaceLine(qsizetype k, QString line);

    QStringList m_lines;
    quint64 m_version = 0;
};
