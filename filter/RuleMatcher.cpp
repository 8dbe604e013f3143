#include "filter/RuleMatcher.h"

#include "filter/WholeNumber.h"

RuleMatcher::RuleMatcher(const QList<RuleCondition> &conditions)
{
    for (const RuleCondition &condition : conditions) {
        const QString value = condition.value.toLower();
        switch (condition.key) {
        case RuleKey::SubjectContains:
        case RuleKey::FromContains: {
            FieldRules &rules = condition.key == RuleKey::FromContains ? m_from : m_subject;
            if (value.isEmpty())
                rules.containsEmpty = true;
            else if (!rules.containsValues.contains(value)) {
                rules.containsValues.insert(value);
                rules.contains.emplace_back(value);
            }
            break;
        }
        case RuleKey::SubjectIs:
            m_subject.equals.insert(value);
            break;
        case RuleKey::FromIs:
            m_from.equals.insert(value);
            break;
        case RuleKey::SizeGreaterThan:
            // A value that is no number makes its condition never hold.
            if (const std::optional<qint64> limit = parseWholeNumber(condition.value))
                m_smallestSizeLimit = std::min(*limit, m_smallestSizeLimit.value_or(*limit));
            break;
        }
    }
}

bool RuleMatcher::FieldRules::hold(const QString &field) const
{
    if (contains.empty() && equals.isEmpty() && !containsEmpty)
        return false;
    const QString lower = field.toLower();
    if (containsEmpty && !lower.isEmpty())
        return true;
    if (equals.contains(lower))
        return true;
    for (const QStringMatcher &matcher : contains)
        if (matcher.indexIn(lower) >= 0)
            return true;
    return false;
}

bool RuleMatcher::matches(const QString &from, const QString &subject, const QString &size) const
{
    if (m_smallestSizeLimit) {
        const std::optional<qint64> messageSize = parseWholeNumber(size);
        if (messageSize && *messageSize > *m_smallestSizeLimit)
            return true;
    }
    return m_from.hold(from) || m_subject.hold(subject);
}
