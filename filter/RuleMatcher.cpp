#include "filter/RuleMatcher.h"

#include "filter/HeaderNumber.h"
#include "filter/WholeNumber.h"

#include <algorithm>

RuleMatcher::RuleMatcher(const QList<RuleCondition> &conditions) : m_conditions(conditions)
{
    for (qsizetype position = 0; position < conditions.size(); ++position) {
        const RuleCondition &condition = conditions.at(position);
        (condition.keep ? m_keeping : m_marking).add(condition, position);
    }
    std::sort(m_marking.sizeLimits.begin(), m_marking.sizeLimits.end());
    std::sort(m_keeping.sizeLimits.begin(), m_keeping.sizeLimits.end());
}

void RuleMatcher::RuleSet::add(const RuleCondition &condition, qsizetype position)
{
    const QString value = condition.value.toLower();
    switch (condition.key) {
    case RuleKey::SubjectContains:
    case RuleKey::FromContains: {
        FieldRules &rules = condition.key == RuleKey::FromContains ? from : subject;
        if (value.isEmpty()) {
            if (!rules.containsEmpty)
                rules.containsEmpty = position;
        } else if (!rules.containsValues.contains(value)) {
            rules.containsValues.insert(value);
            rules.contains.emplace_back(value);
            rules.containsPosition.push_back(position);
        }
        return;
    }
    case RuleKey::SubjectIs:
    case RuleKey::FromIs: {
        QHash<QString, qsizetype> &equals = (condition.key == RuleKey::FromIs ? from : subject).equals;
        if (!equals.contains(value))
            equals.insert(value, position);
        return;
    }
    case RuleKey::SizeGreaterThan:
        // A value that is no number makes its condition never hold.
        if (const std::optional<qint64> limit = parseWholeNumber(condition.value))
            sizeLimits.emplace_back(*limit, position);
        return;
    default:
        break;
    }
    OtherRule rule{position, condition.key, condition.headers, value, QRegularExpression(), 0};
    if (condition.key == RuleKey::SubjectMatches || condition.key == RuleKey::FromMatches ||
        condition.key == RuleKey::HeaderMatches) {
        rule.expression = QRegularExpression(condition.value, QRegularExpression::CaseInsensitiveOption);
        rule.expression.optimize();
        if (!rule.expression.isValid())
            return;
    }
    if (condition.key == RuleKey::HeaderGreaterThan) {
        const std::optional<double> number = parseHeaderNumber(condition.value);
        if (!number)
            return;
        rule.number = *number;
    }
    others.push_back(std::move(rule));
}

bool RuleMatcher::OtherRule::holds(const MessageRecord &message) const
{
    switch (key) {
    case RuleKey::SubjectMatches:
        return expression.match(message.subject).hasMatch();
    case RuleKey::FromMatches:
        return expression.match(message.from).hasMatch();
    default:
        break;
    }
    for (const QString &name : headers)
        for (const QString &value : message.headerValues(name)) {
            bool found = false;
            switch (key) {
            case RuleKey::HeaderContains:
            case RuleKey::HeaderLacks:
                // As with From and Subject, an empty value is in every non-empty header.
                found = !value.isEmpty() && value.toLower().contains(lowerValue);
                break;
            case RuleKey::HeaderIs:
                found = value.toLower() == lowerValue;
                break;
            case RuleKey::HeaderMatches:
                found = expression.match(value).hasMatch();
                break;
            case RuleKey::HeaderGreaterThan: {
                const std::optional<double> n = parseHeaderNumber(value);
                found = n && *n > number;
                break;
            }
            default:
                break;
            }
            if (found)
                return key != RuleKey::HeaderLacks;
        }
    return key == RuleKey::HeaderLacks;
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

std::optional<qsizetype> RuleMatcher::RuleSet::firstHolding(const MessageRecord &message) const
{
    std::optional<qsizetype> first;
    auto consider = [&first](std::optional<qsizetype> position) {
        if (position)
            first = std::min(*position, first.value_or(*position));
    };
    if (!sizeLimits.empty()) {
        if (const std::optional<qint64> messageSize = parseWholeNumber(message.size))
            for (auto it = sizeLimits.begin(); it != sizeLimits.end() && it->first < *messageSize; ++it)
                consider(it->second);
    }
    consider(from.firstHolding(message.from));
    consider(subject.firstHolding(message.subject));
    for (const OtherRule &rule : others) {
        if (first && rule.position > *first)
            break;  // in file order: none later can be earlier
        if (rule.holds(message)) {
            consider(rule.position);
            break;
        }
    }
    return first;
}

RuleMatcher::Verdict RuleMatcher::judge(const MessageRecord &message) const
{
    if (const std::optional<qsizetype> keep = m_keeping.firstHolding(message))
        return {false, m_conditions.at(*keep)};
    if (const std::optional<qsizetype> mark = m_marking.firstHolding(message))
        return {true, m_conditions.at(*mark)};
    return {};
}

std::optional<RuleCondition> RuleMatcher::firstHolding(const QString &from, const QString &subject,
                                                       const QString &size) const
{
    MessageRecord message;
    message.from = from;
    message.subject = subject;
    message.size = size;
    if (const std::optional<qsizetype> mark = m_marking.firstHolding(message))
        return m_conditions.at(*mark);
    return std::nullopt;
}
