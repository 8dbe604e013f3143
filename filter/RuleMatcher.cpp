#include "filter/RuleMatcher.h"

#include "filter/WholeNumber.h"

#include <algorithm>

RuleMatcher::RuleMatcher(const QList<RuleCondition> &conditions) : m_conditions(conditions)
{
    for (qsizetype position = 0; position < conditions.size(); ++position) {
        const RuleCondition &condition = conditions.at(position);
        const QString value = condition.value.toLower();
        switch (condition.key) {
        case RuleKey::SubjectContains:
        case RuleKey::FromContains: {
            FieldRules &rules = condition.key == RuleKey::FromContains ? m_from : m_subject;
            if (value.isEmpty()) {
                if (!rules.containsEmpty)
                    rules.containsEmpty = position;
            } else if (!rules.containsValues.contains(value)) {
                rules.containsValues.insert(value);
                rules.contains.emplace_back(value);
                rules.containsPosition.push_back(position);
            }
            break;
        }
        case RuleKey::SubjectIs:
        case RuleKey::FromIs: {
            QHash<QString, qsizetype> &equals = (condition.key == RuleKey::FromIs ? m_from : m_subject).equals;
            if (!equals.contains(value))
                equals.insert(value, position);
            break;
        }
        case RuleKey::SizeGreaterThan:
            // A value that is no number makes its condition never hold.
            if (const std::optional<qint64> limit = parseWholeNumber(condition.value))
                m_sizeLimits.emplace_back(*limit, position);
            break;
        }
    }
    std::sort(m_sizeLimits.begin(), m_sizeLimits.end());
}

std::optional<qsizetype> RuleMatcher::FieldRules::firstHolding(const QString &field) const
{
    if (contains.empty() && equals.isEmpty() && !containsEmpty)
        return std::nullopt;
    const QString lower = field.toLower();
    std::optional<qsizetype> first;
    auto consider = [&first](qsizetype position) { first = std::min(position, first.value_or(position)); };
    if (containsEmpty && !lower.isEmpty())
        consider(*containsEmpty);
    if (const auto it = equals.constFind(lower); it != equals.constEnd())
        consider(it.value());
    // The matchers are in file order: the first that finds its value is the
    // earliest of them, and none after it can be earlier.
    for (size_t i = 0; i < contains.size() && (!first || containsPosition[i] < *first); ++i)
        if (contains[i].indexIn(lower) >= 0) {
            consider(containsPosition[i]);
            break;
        }
    return first;
}

std::optional<RuleCondition> RuleMatcher::firstHolding(const QString &from, const QString &subject,
                                                       const QString &size) const
{
    std::optional<qsizetype> first;
    auto consider = [&first](std::optional<qsizetype> position) {
        if (position)
            first = std::min(*position, first.value_or(*position));
    };
    if (!m_sizeLimits.empty()) {
        if (const std::optional<qint64> messageSize = parseWholeNumber(size))
            for (auto it = m_sizeLimits.begin(); it != m_sizeLimits.end() && it->first < *messageSize; ++it)
                consider(it->second);
    }
    consider(m_from.firstHolding(from));
    consider(m_subject.firstHolding(subject));
    if (!first)
        return std::nullopt;
    return m_conditions.at(*first);
}
