#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

// What a rule can test: the five first forms on From, Subject and size, then
// regular expressions, and tests of any header named in the rule.
enum class RuleKey {
    SubjectContains, FromContains, SubjectIs, FromIs, SizeGreaterThan,
    SubjectMatches, FromMatches,
    HeaderContains, HeaderIs, HeaderMatches, HeaderGreaterThan, HeaderLacks,
};

// One condition line of the rule block: its key and its value as written.
struct RuleCondition
{
    RuleCondition(RuleKey key, QString value, QStringList headers = {}, bool keep = false)
        : key(key), value(std::move(value)), headers(std::move(headers)), keep(keep)
    {
    }

    RuleKey key;
    QString value;
    QStringList headers;  // the header keys only: the names tested, lower-cased
    bool keep = false;    // "keep:" first: a message it holds for is never marked
    bool operator==(const RuleCondition &) const = default;
};

// What one reading of the rule file found. A file that could not be used
// yields no conditions at all, never a part of them.
struct RuleBlock
{
    enum class Problem { None, FileMissing, FileUnreadable, NoBlockStart, NoBlockEnd, BadLine };

    RuleBlock() = default;
    RuleBlock(Problem problem, QList<RuleCondition> conditions) : problem(problem), conditions(std::move(conditions)) {}

    Problem problem = Problem::None;
    QList<RuleCondition> conditions;
    qsizetype badLine = 0;  // BadLine: the line's number in the file, from 1
    QString badLineReason;

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

// The conditions of the first [rfstart] ... [rfend] block, in file order.
RuleBlock readRuleBlock(const QByteArray &fileBytes);
RuleBlock readRuleFile(const QString &path);

// Plain words for the user, naming the file (and the line); empty for Problem::None.
QString ruleProblemText(const RuleBlock &block, const QString &path);
