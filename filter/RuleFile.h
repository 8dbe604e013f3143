#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

// The five things a rule can test.
enum class RuleKey { SubjectContains, FromContains, SubjectIs, FromIs, SizeGreaterThan };

// One condition line of the rule block: its key and its value as written.
struct RuleCondition
{
    RuleKey key;
    QString value;
    bool operator==(const RuleCondition &) const = default;
};

// What one reading of the rule file found. A file that could not be used
// yields no conditions at all, never a part of them.
struct RuleBlock
{
    enum class Problem { None, FileMissing, FileUnreadable, NoBlockStart, NoBlockEnd };

    Problem problem = Problem::None;
    QList<RuleCondition> conditions;

    bool usable() const { return problem == Problem::None; }
};

// The line tests, made on a trimmed line: only "" is empty, only "#" is a comment.
bool IsEmpty(const QString &text);
bool IsComment(const QString &text);

// Removes spaces (and only spaces: tabs stay) at both ends.
QString trimSpaces(const QString &text);

// Splits the file into lines ended by CR LF, CR or LF. A UTF-8 byte-order
// mark is skipped; a file that starts with a UTF-16 byte-order mark is read as
// UTF-16. Otherwise each line is decoded on its own, as UTF-8 when valid, else
// as windows-1252.
QStringList splitRuleFileLines(const QByteArray &bytes);

// The key a condition line names, from its text before the first '='.
std::optional<RuleKey> ruleKeyNamed(const QString &key);
// The condition as a rule line: "msgsizeisgreaterthan=1000000".
QString conditionText(const RuleCondition &condition);

// The conditions of the first [rfstart] ... [rfend] block, in file order.
RuleBlock readRuleBlock(const QByteArray &fileBytes);
RuleBlock readRuleFile(const QString &path);

// Plain words for the user, naming the file; empty for Problem::None.
QString ruleProblemText(RuleBlock::Problem problem, const QString &path);
