#pragma once

#include "filter/RuleFile.h"

#include <QSet>
#include <QStringMatcher>

#include <optional>
#include <vector>

// Judges messages by the conditions of one rule block. A message is matched
// when at least one condition holds (conditions combine by "or", so their
// order does not matter). Text comparisons ignore letter case by comparing
// lower-cased forms, accented letters included.
class RuleMatcher
{
public:
    explicit RuleMatcher(const QList<RuleCondition> &conditions);

    bool matches(const QString &from, const QString &subject, const QString &size) const;

private:
    struct FieldRules
    {
        std::vector<QStringMatcher> contains;
        QSet<QString> containsValues;  // each value is searched for once
        bool containsEmpty = false;  // an empty value occurs in every non-empty field
        QSet<QString> equals;

        bool hold(const QString &field) const;
    };

    FieldRules m_from;
    FieldRules m_subject;
    // "size greater than v" for several v holds exactly when it holds for the smallest.
    std::optional<qint64> m_smallestSizeLimit;
};
