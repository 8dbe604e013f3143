#include "filter/ListFilling.h"

#include "filter/MessageListSink.h"
#include "filter/SummaryLine.h"
#include "messages/RecordStore.h"

void fillMessageList(const RecordStore &records, MessageListSink &list)
{
    list.clearLines();
    for (qsizetype j = 0; j < records.count(); ++j) {
        const MessageRecord record = records.read(j);
        list.appendLine(summaryLine(record.from, record.subject), record.isMarked());
    }
    list.linesDone();
}
