#pragma once

#include "messages/MessageRecord.h"

// The text of the header preview box for one record: From, Subject, Date and
// Size under 14-character labels, lines joined by CR LF and no line break after
// the size; a marked record gets the line "MESSAGE MARKED FOR DELETION" first,
// and a record a rule marked names that rule on a last line after the size.
struct HeaderPreview
{
    QString text;
    bool marked = false;  // shown white on red
};

HeaderPreview headerPreview(const MessageRecord &record);
