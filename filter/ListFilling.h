#pragma once

class RecordStore;
class MessageListSink;

// Fills the visible list from the records, in record order: one summary line
// per record, checked exactly when the record is marked.
void fillMessageList(const RecordStore &records, MessageListSink &list);
