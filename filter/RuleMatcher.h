#pragma once

#include "filter/RuleFile.h"

#include <QHash>
#include <QSet>
#include <QStringMatcher>

#include <optional>
#include <utility>
#include <vector>

// Judges messages by the conditions of one rule block. A message is matched
// when at least one condition holds (conditions combine by "or", so their
// order does not matter for the verdict). Text comparisons ignore letter case
// by comparing lower-cased forms, accented letters included.
class RuleMatcher
{
public:
    explicit RuleMatcher(const QList<RuleCondition> &conditions);

    bool matches(const QString &from, const QString &subject, const QString &size) const
    {
        return firstHolding(from, subject, size).has_value();
    }
    // The condition, first in file order, that holds for the message, so the
    // user can be told why a message was marked.
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

    QList<RuleCondition> m_conditions;
    FieldRules m_from;
    FieldRules m_subject;
    std::vector<std::pair<qint64, qsizetype>> m_sizeLimits;  // by limit, smallest first
};
