#pragma once

#include <QString>

// "FROM " + first 15 characters of the sender + "   SUBJECT " + first 15 of the subject.
QString summaryLine(const QString &from, const QString &subject);

// The first n characters (code points: a surrogate pair is never split).
QString firstCharacters(const QString &text, qsizetype n);
