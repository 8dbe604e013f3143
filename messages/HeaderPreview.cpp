#include "messages/HeaderPreview.h"

HeaderPreview headerPreview(const MessageRecord &record)
{
    HeaderPreview preview;
    preview.marked = record.isMarked();
    if (preview.marked)
        preview.text += QStringLiteral("MESSAGE MARKED FOR DELETION\r\n");
    preview.text += QStringLiteral("FROM        : ") + record.from + QStringLiteral("\r\n");
    preview.text += QStringLiteral("SUBJECT     : ") + record.subject + QStringLiteral("\r\n");
    preview.text += QStringLiteral("DATE        : ") + record.date + QStringLiteral("\r\n");
    preview.text += QStringLiteral("SIZE        : ") + record.size;
    if (!record.rule.isEmpty())
        preview.text += QStringLiteral("\r\nRULE        : ") + record.rule;
    return preview;
}
