#include "filter/RuleLine.h"

#include "filter/WholeNumber.h"
#include "filter/HeaderNumber.h"

#include <QRegularExpression>

#include <algorithm>

namespace {
const struct { const char *name; RuleKey key; bool namesHeaders; } RuleKeyNames[] = {
    {"msgsubjectcontains", RuleKey::SubjectContains, false},
    {"msgfromcontains", RuleKey::FromContains, false},
    {"msgsubjectis", RuleKey::SubjectIs, false},
    {"msgfromis", RuleKey::FromIs, false},
    {"msgsizeisgreaterthan", RuleKey::SizeGreaterThan, false},
    {"msgsubjectmatches", RuleKey::SubjectMatches, false},
    {"msgfrommatches", RuleKey::FromMatches, false},
    {"headercontains", RuleKey::HeaderContains, true},
    {"headeris", RuleKey::HeaderIs, true},
    {"headermatches", RuleKey::HeaderMatches, true},
    {"headerisgreaterthan", RuleKey::HeaderGreaterThan, true},
    {"headerlacks", RuleKey::HeaderLacks, true},
};
const QString KeepPrefix = QStringLiteral("keep:");

bool isFirstForm(RuleKey key) { return key <= RuleKey::SizeGreaterThan; }

// RFC 5322 field names: printable ASCII except the colon.
bool isHeaderName(const QString &name)
{
    if (name.isEmpty())
        return false;
    for (const QChar c : name)
        if (c.unicode() < 33 || c.unicode() > 126 || c == u':')
            return false;
    return true;
}

ConditionLine refuse(const QString &why) { return {std::nullopt, why}; }
} // namespace

ConditionLine readConditionLine(const QString &line)
{
    const qsizetype firstEquals = line.indexOf(u'=');
    if (firstEquals < 0 && line.startsWith(u'['))
        return refuse(QStringLiteral("\"%1\" is no marker: the block ends at a line \"[rfend]\", in small letters").arg(line));
    if (firstEquals < 0)
        return refuse(QStringLiteral("\"%1\" has no \"=\" between the rule and its value").arg(line));
    QString keyText = line.left(firstEquals).toLower();
    RuleCondition condition(RuleKey::SubjectContains, QString());
    if (keyText.startsWith(KeepPrefix)) {
        condition.keep = true;
        keyText.remove(0, KeepPrefix.size());
    }
    const qsizetype colon = keyText.indexOf(u':');
    const QString keyName = colon < 0 ? keyText : keyText.left(colon);
    const auto known = std::find_if(std::begin(RuleKeyNames), std::end(RuleKeyNames),
                                    [&](const auto &k) { return keyName == QLatin1String(k.name); });
    if (known == std::end(RuleKeyNames))
        return refuse(QStringLiteral("\"%1\" is not a rule (rules are msgsubjectcontains, msgfromcontains, msgsubjectis, "
                                     "msgfromis, msgsizeisgreaterthan, msgsubjectmatches, msgfrommatches, headercontains, "
                                     "headeris, headermatches, headerisgreaterthan, headerlacks, each may follow keep:)")
                          .arg(line.left(firstEquals)));
    condition.key = known->key;
    if (known->namesHeaders) {
        if (colon < 0)
            return refuse(QStringLiteral("%1 needs the header it tests, as in %1:x-spam-flag=").arg(keyName));
        for (const QString &name : keyText.mid(colon + 1).split(u',')) {
            const QString trimmed = trimSpaces(name);
            if (!isHeaderName(trimmed))
                return refuse(QStringLiteral("\"%1\" is not a header name").arg(trimmed));
            condition.headers.append(trimmed);
        }
    } else if (colon >= 0) {
        return refuse(QStringLiteral("%1 tests no header, so \"%2\" after it is not understood")
                          .arg(keyName, keyText.mid(colon)));
    }

    // The first five forms keep their old reading, in which a value ends at a
    // second '='; every newer form may hold '=' (a regular expression may).
    qsizetype valueEnd = line.size();
    if (isFirstForm(condition.key) && !condition.keep)
        if (const qsizetype second = line.indexOf(u'=', firstEquals + 1); second >= 0)
            valueEnd = second;
    condition.value = line.mid(firstEquals + 1, valueEnd - firstEquals - 1);

    switch (condition.key) {
    case RuleKey::SizeGreaterThan:
        if (!parseWholeNumber(condition.value))
            return refuse(QStringLiteral("the size \"%1\" is not a whole number of bytes").arg(condition.value));
        break;
    case RuleKey::HeaderGreaterThan:
        if (!parseHeaderNumber(condition.value))
            return refuse(QStringLiteral("\"%1\" is not a number").arg(condition.value));
        break;
    case RuleKey::SubjectMatches:
    case RuleKey::FromMatches:
    case RuleKey::HeaderMatches: {
        const QRegularExpression expression(condition.value);
        if (!expression.isValid())
            return refuse(QStringLiteral("the regular expression \"%1\" is not valid: %2 at character %3")
                              .arg(condition.value, expression.errorString())
                              .arg(expression.patternErrorOffset() + 1));
        break;
    }
    default:
        break;
    }
    return {condition, QString()};
}

QString conditionText(const RuleCondition &condition)
{
    for (const auto &k : RuleKeyNames)
        if (k.key == condition.key) {
            QString text = condition.keep ? KeepPrefix : QString();
            text += QLatin1String(k.name);
            if (k.namesHeaders)
                text += u':' + condition.headers.join(u',');
            return text + u'=' + condition.value;
        }
    return condition.value;
}

QStringList headersTestedBy(const QList<RuleCondition> &conditions)
{
    // From, Subject, Date and Message-ID are in every record already.
    static const QStringList held = {QStringLiteral("from"), QStringLiteral("subject"), QStringLiteral("date"),
                                     QStringLiteral("message-id")};
    QStringList names;
    for (const RuleCondition &condition : conditions)
        for (const QString &name : condition.headers)
            if (!held.contains(name) && !names.contains(name))
                names.append(name);
    return names;
}
