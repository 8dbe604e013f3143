#pragma once

#include "filter/RuleFile.h"

#include <optional>

// One condition line of the rule block, read: the condition, or in plain
// words why the line is no rule.
struct ConditionLine
{
    std::optional<RuleCondition> condition;
    QString problem;
};

// Reads a trimmed line of the block that is neither blank nor a comment.
//
//   msgsubjectcontains=offer          the first five forms, as they always were:
//                                     the value ends at a second '='
//   msgsubjectmatches=^\[SPAM\]       a regular expression, letter case ignored
//   headeris:x-spam-flag=YES          any header; several names with ','
//   headercontains:to,cc=me@          the value occurs in one of the headers
//   headermatches:received=\.ru\b
//   headerisgreaterthan:x-spam-score=5   the header's leading number is greater
//   headerlacks:to,cc=me@             none of the headers holds the value
//   keep:msgfromcontains=@friend.org  before any form: never mark what it holds for
//
// Every form but the first five takes the rest of the line as its value.
ConditionLine readConditionLine(const QString &line);

// The condition as a rule line: "msgsizeisgreaterthan=1000000",
// "keep:headercontains:to,cc=me@example.org".
QString conditionText(const RuleCondition &condition);
// The header names the rules test beyond those every message record holds.
QStringList headersTestedBy(const QList<RuleCondition> &conditions);
