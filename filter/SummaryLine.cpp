#include "filter/SummaryLine.h"

namespace {
QStringView firstCharactersOf(QStringView text, qsizetype n)
{
    qsizetype units = 0;
    for (qsizetype taken = 0; taken < n && units < text.size(); ++taken)
        units += (text[units].isHighSurrogate() && units + 1 < text.size() && text[units + 1].isLowSurrogate()) ? 2 : 1;
    return text.first(units);
}
} // namespace

QString firstCharacters(const QString &text, qsizetype n)
{
    return firstCharactersOf(text, n).toString();
}

QString summaryLine(const QString &from, const QString &subject)
{
    // Built in place: the list is filled with one such line per message.
    constexpr qsizetype Shown = 15;
    const QStringView shownFrom = firstCharactersOf(from, Shown), shownSubject = firstCharactersOf(subject, Shown);
    QString line;
    line.reserve(16 + shownFrom.size() + shownSubject.size());
    line.append(u"FROM ").append(shownFrom).append(u"   SUBJECT ").append(shownSubject);
    return line;
}
