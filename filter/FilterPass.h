#pragma once

#include "filter/RuleFile.h"

class RecordStore;
class MessageListSink;

// The filter pass: marks every record "DOFILTER" when a rule of the rule file
// holds for it and "NOFILTER" otherwise, then fills the visible list from the
// records (line k shows record k, checked exactly when it is marked).
//
// The rules are read once, before the session (so that the headers they test
// are read with the others), and every record is judged by them even if the
// file is saved meanwhile. When the file cannot be used, no record is marked;
// the caller tells the user once.
void runFilterPass(RecordStore &records, MessageListSink &list, const RuleBlock &rules);

// The marking walk alone, with rules already read.
void markRecords(RecordStore &records, const RuleBlock &rules);
