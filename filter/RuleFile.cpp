#include "filter/RuleFile.h"

#include "filter/RuleLine.h"

#include "messages/TextDecoding.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStringDecoder>

#include <algorithm>

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
// Nothing but white space: a line of tabs, say, which no editor shows.
bool isBlank(const QString &line)
{
    return std::all_of(line.begin(), line.end(), [](QChar c) { return c.isSpace(); });
}
} // namespace

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
        // Every line that begins with '#' is a note to oneself, as it always was.
        if (IsEmpty(line) || IsComment(line) || line.startsWith(u'#') || isBlank(line) || line == BlockStart)
            continue;
        const ConditionLine read = readConditionLine(line);
        if (!read.condition) {
            // A rule that cannot be read may be a keep rule: marking by the
            // others could check a message the user meant to keep.
            RuleBlock bad{RuleBlock::Problem::BadLine, {}};
            bad.badLine = next + 1;
            bad.badLineReason = read.problem;
            return bad;
        }
        block.conditions.append(*read.condition);
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

QString ruleProblemText(const RuleBlock &block, const QString &path)
{
    const QString name = QFileInfo(path).fileName();
    switch (block.problem) {
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
    case RuleBlock::Problem::BadLine:
        return QStringLiteral("No rules applied: %1 line %2: %3").arg(name).arg(block.badLine).arg(block.badLineReason);
    }
    return QString();
}
