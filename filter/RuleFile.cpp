#include "filter/RuleFile.h"

#include "messages/TextDecoding.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <optional>

namespace {
const QString BlockStart = QStringLiteral("[rfstart]");
const QString BlockEnd = QStringLiteral("[rfend]");
} // namespace

bool IsEmpty(const QString &text) { return text.isEmpty(); }

bool IsComment(const QString &text) { return text == QLatin1String("#"); }

QString trimSpaces(const QString &text)
{
    qsizetype begin = 0;
    qsizetype end = text.size();
    while (begin < end && text.at(begin) == u' ')
        ++begin;
    while (end > begin && text.at(end - 1) == u' ')
        --end;
    return text.mid(begin, end - begin);
}

namespace {
// Cuts text at every CR LF, CR or LF, with whatever each piece is.
template <typename Text, typename Decode>
QStringList splitAtLineEnds(const Text &text, Decode decode)
{
    QStringList lines;
    qsizetype start = 0;
    const qsizetype size = text.size();
    while (start < size) {
        qsizetype end = start;
        while (end < size && text.at(end) != '\r' && text.at(end) != '\n')
            ++end;
        lines.append(decode(text.mid(start, end - start)));
        start = end + 1;
        if (end + 1 < size && text.at(end) == '\r' && text.at(end + 1) == '\n')
            ++start;
    }
    return lines;
}
} // namespace

QStringList splitRuleFileLines(const QByteArray &bytes)
{
    // Editors that offer UTF-16 write its byte-order mark; the file is then
    // text as a whole. Otherwise each line is decoded on its own.
    const bool littleEndian = bytes.startsWith("\xff\xfe"), bigEndian = bytes.startsWith("\xfe\xff");
    if (littleEndian || bigEndian) {
        QStringDecoder utf16(littleEndian ? QStringDecoder::Utf16LE : QStringDecoder::Utf16BE);
        const QString text = utf16.decode(bytes.mid(2));
        return splitAtLineEnds(text, [](const QString &line) { return line; });
    }
    const QByteArray body = bytes.startsWith("\xef\xbb\xbf") ? bytes.mid(3) : bytes;
    return splitAtLineEnds(body, [](const QByteArray &line) { return decodeEightBitText(line); });
}

namespace {
const struct { const char *name; RuleKey key; } RuleKeyNames[] = {
    {"msgsubjectcontains", RuleKey::SubjectContains},
    {"msgfromcontains", RuleKey::FromContains},
    {"msgsubjectis", RuleKey::SubjectIs},
    {"msgfromis", RuleKey::FromIs},
    {"msgsizeisgreaterthan", RuleKey::SizeGreaterThan},
};
} // namespace

std::optional<RuleKey> ruleKeyNamed(const QString &key)
{
    for (const auto &k : RuleKeyNames)
        if (key == QLatin1String(k.name))
            return k.key;
    return std::nullopt;
}

QString conditionText(const RuleCondition &condition)
{
    for (const auto &k : RuleKeyNames)
        if (k.key == condition.key)
            return QLatin1String(k.name) + u'=' + condition.value;
    return condition.value;
}

RuleBlock readRuleBlock(const QByteArray &fileBytes)
{
    const QStringList lines = splitRuleFileLines(fileBytes);
    qsizetype next = 0;
    while (next < lines.size() && trimSpaces(lines.at(next)) != BlockStart)
        ++next;
    if (next == lines.size())
        return {RuleBlock::Problem::NoBlockStart, {}};

    RuleBlock block;
    for (++next; next < lines.size(); ++next) {
        const QString line = trimSpaces(lines.at(next));
        if (line == BlockEnd)
            return block;
        if (IsEmpty(line) || IsComment(line))
            continue;
        const qsizetype firstEquals = line.indexOf(u'=');
        if (firstEquals < 0)
            continue; // a key with no '=' has no value to test
        const std::optional<RuleKey> key = ruleKeyNamed(line.left(firstEquals).toLower());
        if (!key)
            continue;
        const qsizetype secondEquals = line.indexOf(u'=', firstEquals + 1);
        const qsizetype valueEnd = secondEquals < 0 ? line.size() : secondEquals;
        block.conditions.append({*key, line.mid(firstEquals + 1, valueEnd - firstEquals - 1)});
    }
    // A block that never ends may be a file saved half-way: none of it is used.
    return {RuleBlock::Problem::NoBlockEnd, {}};
}

RuleBlock readRuleFile(const QString &path)
{
    QFile file(path);
    if (!file.exists())
        return {RuleBlock::Problem::FileMissing, {}};
    if (QFileInfo(path).isDir() || !file.open(QIODevice::ReadOnly))
        return {RuleBlock::Problem::FileUnreadable, {}};
    const QByteArray bytes = file.readAll();
    if (file.error() != QFileDevice::NoError)
        return {RuleBlock::Problem::FileUnreadable, {}};
    return readRuleBlock(bytes);
}

QString ruleProblemText(RuleBlock::Problem problem, const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    switch (problem) {
    case RuleBlock::Problem::None:
        return QString();
    case RuleBlock::Problem::FileMissing:
        return QStringLiteral("No rules applied: no %1 in %2; Create Filters makes one")
            .arg(name, QDir::toNativeSeparators(QFileInfo(path).absolutePath()));
    case RuleBlock::Problem::FileUnreadable:
        return QStringLiteral("No rules applied: %1 could not be read").arg(name);
    case RuleBlock::Problem::NoBlockStart:
        return QStringLiteral("No rules applied: %1 has no [rfstart] line").arg(name);
    case RuleBlock::Problem::NoBlockEnd:
        return QStringLiteral("No rules applied: %1 has no [rfend] line").arg(name);
    }
    return QString();
}
