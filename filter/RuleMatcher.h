#pragma once

#include "filter/RuleFile.h"
#include "messages/MessageRecord.h"

#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QStringMatcher>

#include <optional>
#include <utility>
#include <vector>

// Judges messages by the conditions of one rule block. A message is marked
// when at least one marking condition holds (they combine by "or", so their
// order does not matter for the verdict) and no keep condition holds: a keep
// rule wins over every marking rule. Text comparisons and regular expressions
// ignore letter case, accented letters included.
class RuleMatcher
{
public:
    explicit RuleMatcher(const QList<RuleCondition> &conditions);

    struct Verdict
    {
        bool marked = false;
        // The rule that decided: the first keep rule that holds (in file
        // order), else the first marking rule that holds; none when no rule does.
        std::optional<RuleCondition> rule;
    };
    Verdict judge(const MessageRecord &message) const;

    // The first five forms alone, on a message's From, Subject and size.
    bool matches(const QString &from, const QString &subject, const QString &size) const
    {
        return firstHolding(from, subject, size).has_value();
    }
    std::optional<RuleCondition> firstHolding(const QString &from, const QString &subject, const QString &size) const;

private:
    // Each condition is known by its position in the block.
    struct FieldRules
    {
        std::vector<QStringMatcher> contains;  // in file order
        std::vector<qsizetype> containsPosition;
        QSet<QString> containsValues;  // each value is searched for once
        std::optional<qsizetype> containsEmpty;  // an empty value occurs in every non-empty field
        QHash<QString, qsizetype> equals;

        // The first position that holds for the field, if any.
        std::optional<qsizetype> firstHolding(const QString &field) const;
    };
    // A regular expression, or a test of named headers.
    struct OtherRule
    {
        qsizetype position;
        RuleKey key;
        QStringList headers;
        QString lowerValue;
        QRegularExpression expression;
        double number = 0;

        bool holds(const MessageRecord &message) const;
    };
    // The conditions of one kind, marking or keep.
    struct RuleSet
    {
        FieldRules from;
        FieldRules subject;
        std::vector<std::pair<qint64, qsizetype>> sizeLimits;  // by limit, smallest first
        std::vector<OtherRule> others;  // in file order

        void add(const RuleCondition &condition, qsizetype position);
        std::optional<qsizetype> firstHolding(const MessageRecord &message) const;
    };

    QList<RuleCondition> m_conditions;
    RuleSet m_marking;
    RuleSet m_keeping;
};
