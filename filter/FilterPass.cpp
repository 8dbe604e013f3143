#include "filter/FilterPass.h"

#include "filter/ListFilling.h"
#include "filter/MessageListSink.h"
#include "filter/RuleMatcher.h"
#include "messages/RecordStore.h"

void markRecords(RecordStore &records, const RuleBlock &rules)
{
    const RuleMatcher matcher(rules.usable() ? rules.conditions : QList<RuleCondition>());
    for (qsizetype i = 0; i < records.count(); ++i) {
        MessageRecord record = records.read(i);
        const std::optional<RuleCondition> hit = matcher.firstHolding(record.from, record.subject, record.size);
        record.setVerdict(hit ? conditionText(*hit) : QString());
        records.rewrite(i, record);
    }
}

RuleBlock::Problem runFilterPass(RecordStore &records, MessageListSink &list, const QString &ruleFilePath)
{
    list.clearLines();
    if (records.count() == 0)
        return RuleBlock::Problem::None;
    const RuleBlock rules = readRuleFile(ruleFilePath);
    markRecords(records, rules);
    fillMessageList(records, list);
    return rules.problem;
}
