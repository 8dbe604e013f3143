// The rule file reader and the rules built from it: any file either yields
// conditions or a problem, never both, and judging a message never fails.
#include "filter/RuleFile.h"
#include "filter/RuleLine.h"
#include "filter/RuleMatcher.h"
#include "filter/WholeNumber.h"
#include "tests/fuzz/FuzzTargets.h"

void fuzz::ruleFile(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const RuleBlock block = readRuleBlock(bytes);
    FUZZ_CHECK(block.usable() || block.conditions.isEmpty());
    FUZZ_CHECK(block.problem != RuleBlock::Problem::BadLine || (block.badLine > 0 && !block.badLineReason.isEmpty()));
    for (const RuleCondition &c : block.conditions) {
        // Only the first five forms end their value at a second '='.
        FUZZ_CHECK(c.key > RuleKey::SizeGreaterThan || c.keep || !c.value.contains(u'='));
        FUZZ_CHECK(!c.value.contains(u'\r'));
        FUZZ_CHECK((c.key >= RuleKey::HeaderContains) == !c.headers.isEmpty());
        (void)parseWholeNumber(c.value);
        (void)conditionText(c);
    }
    const RuleMatcher matcher(block.conditions);
    const QStringList lines = splitRuleFileLines(bytes);
    const QString some = lines.value(0);
    (void)matcher.matches(some, lines.value(1), lines.value(2));
    (void)matcher.matches(QString(), QString(), QString());
    MessageRecord message;
    message.from = some;
    message.subject = lines.value(1);
    message.size = lines.value(2);
    for (const QString &name : headersTestedBy(block.conditions))
        message.headers.append({name, lines.value(3)});
    const RuleMatcher::Verdict verdict = matcher.judge(message);
    FUZZ_CHECK(!verdict.marked || (verdict.rule && !verdict.rule->keep));
    // A matcher with no conditions holds for nothing.
    FUZZ_CHECK(!block.conditions.isEmpty() || !matcher.matches(some, some, some));
}
