#include "filter/SummaryLine.h"

QString firstCharacters(const QString &text, qsizetype n)
{
    qsizetype units = 0;
    for (qsizetype taken = 0; taken < n && units < text.size(); ++taken)
        units += (text[units].isHighSurrogate() && units + 1 < text.size() && text[units + 1].isLowSurrogate()) ? 2 : 1;
    return text.left(units);
}

QString summaryLine(const QString &from, const QString &subject)
{
    constexpr qsizetype Shown = 15;
    return QStringLiteral("FROM ") + firstCharacters(from, Shown) + QStringLiteral("   SUBJECT ")
         + firstCharacters(subject, Shown);
}
