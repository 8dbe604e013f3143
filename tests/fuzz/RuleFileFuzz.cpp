// The rule file reader and the rules built from it: any file either yields
// conditions or a problem, never both, and judging a message never fails.
#include "filter/RuleFile.h"
#include "filter/RuleMatcher.h"
#include "filter/WholeNumber.h"
#include "tests/fuzz/FuzzTargets.h"

void fuzz::ruleFile(const uint8_t *data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char *>(data), qsizetype(size));
    const RuleBlock block = readRuleBlock(bytes);
    FUZZ_CHECK(block.usable() || block.conditions.isEmpty());
    for (const RuleCondition &c : block.conditions) {
        FUZZ_CHECK(!c.value.contains(u'='));
        FUZZ_CHECK(!c.value.contains(u'\r'));
        (void)parseWholeNumber(c.value);
    }
    const RuleMatcher matcher(block.conditions);
    const QStringList lines = splitRuleFileLines(bytes);
    const QString some = lines.value(0);
    (void)matcher.matches(some, lines.value(1), lines.value(2));
    (void)matcher.matches(QString(), QString(), QString());
    // A matcher with no conditions holds for nothing.
    FUZZ_CHECK(!block.conditions.isEmpty() || !matcher.matches(some, some, some));
}
