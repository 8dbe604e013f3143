#pragma once

#include "filter/RuleFile.h"

class RecordStore;
class MessageListSink;

// The rule file as one listing uses it: read before the session, so that the
// headers its rules test are read with the others, and applied after it.
class ListingRules
{
public:
    // Returns the headers, beyond those every record holds, that the rules test.
    QStringList read(const QString &path);
    // The filter pass; returns the notice for the user when the rules could
    // not be used ("" otherwise).
    QString apply(RecordStore &records, MessageListSink &list) const;
    const RuleBlock &block() const { return m_block; }

private:
    QString m_path;
    RuleBlock m_block;
};
