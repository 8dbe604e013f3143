#pragma once

#include "filter/RuleFile.h"

class RecordStore;
class MessageListSink;

// The filter pass: marks every record "DOFILTER" when a rule of the rule file
// holds for it and "NOFILTER" otherwise, then fills the visible list from the
// records (line k shows record k, checked exactly when it is marked).
//
// The rule file is read once for the whole pass, so every record is judged by
// the same rules even if the file is saved meanwhile; with no records it is not
// read at all. When the file cannot be used, no record is marked and the
// problem is returned so that the caller can tell the user once.
RuleBlock::Problem runFilterPass(RecordStore &records, MessageListSink &list, const QString &ruleFilePath);

// The marking walk alone, with rules already read.
void markRecords(RecordStore &records, const RuleBlock &rules);
