#include "filter/FilterPass.h"

#include "filter/ListFilling.h"
#include "filter/MessageListSink.h"
#include "filter/RuleLine.h"
#include "filter/RuleMatcher.h"
#include "messages/RecordStore.h"

void markRecords(RecordStore &records, const RuleBlock &rules)
{
    const RuleMatcher matcher(rules.usable() ? rules.conditions : QList<RuleCondition>());
    for (qsizetype i = 0; i < records.count(); ++i) {
        MessageRecord record = records.read(i);
        const RuleMatcher::Verdict verdict = matcher.judge(record);
        record.setVerdict(verdict.marked, verdict.rule ? conditionText(*verdict.rule) : QString());
        records.rewrite(i, record);
    }
}

void runFilterPass(RecordStore &records, MessageListSink &list, const RuleBlock &rules)
{
    list.clearLines();
    if (records.count() == 0)
        return;
    markRecords(records, rules);
    fillMessageList(records, list);
}
