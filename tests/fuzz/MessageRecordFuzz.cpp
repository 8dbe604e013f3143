// The record line: any values, '#' and '%' included, give a line of exactly
// seven fields (eight with a rule) from which the same values come back.
#include "messages/MessageRecord.h"
#include "tests/fuzz/FuzzTargets.h"

void fuzz::messageRecord(const uint8_t *data, size_t size)
{
    const QString text = QString::fromUtf8(reinterpret_cast<const char *>(data), qsizetype(size));
    const QStringList parts = text.split(QChar(0));
    MessageRecord r;
    r.extraA = parts.value(0);
    r.extraB = parts.value(1);
    r.date = parts.value(2);
    r.from = parts.value(3);
    r.subject = parts.value(4);
    r.size = parts.value(5);
    r.mark = parts.value(6);
    r.rule = parts.value(7);
    const QString line = r.toLine();
    FUZZ_CHECK(splitRecordLine(line).size() == (r.rule.isEmpty() ? MessageRecord::Rule : MessageRecord::Rule + 1));
    const MessageRecord back = MessageRecord::fromLine(line);
    FUZZ_CHECK(back.extraA == r.extraA && back.extraB == r.extraB && back.date == r.date);
    FUZZ_CHECK(back.from == r.from && back.subject == r.subject && back.size == r.size && back.mark == r.mark);
    FUZZ_CHECK(back.rule == r.rule);
    // A line not made by us (the raw input) must not break the reader either.
    (void)MessageRecord::fromLine(text);
}
