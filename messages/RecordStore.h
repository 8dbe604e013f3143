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
    // The filter's verdict on record k: marked, and by which rule, when rule
    // is not empty; not marked otherwise.
    void rewriteVerdict(qsizetype k, const QString &rule);

    // Changes with every change of the store, and no two stores share a
    // version, so that what is derived from a store knows when to derive again.
    quint64 version() const { return m_version; }

private:
    void changed();

    QStringList m_lines;
    quint64 m_version = 0;
};
