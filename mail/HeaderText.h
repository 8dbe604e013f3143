#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QList>
#include <QString>
#include <QStringList>

#include <utility>

// Header values of one message as read from the header block of a TOP reply.
struct HeaderValues
{
    QString from;
    QString subject;
    QString date;
    QString messageId;
    // Further headers asked for (names in lower case), every occurrence, as
    // (name, value), and which names were asked for.
    QList<std::pair<QString, QString>> fields;
    QStringList fieldsAskedFor;
};

// Occurrences kept of one further header (a message may carry dozens of Received).
constexpr qsizetype MaxKeptOccurrences = 50;

// Characters kept of one header value. A longer value is cut there and ends
// in a note with its full length and a digest of it, so that memory stays
// bounded per message and two cut values are equal only when the whole
// values were.
constexpr qsizetype MaxKeptValueChars = 2000;
QString keptHeaderValue(const QString &value);

// Unfolds the header block (up to the first empty line) and takes the first
// From, Subject, Date and Message-ID, and every occurrence of the further
// headers named (in lower case). From, Subject and the further headers have
// their RFC 2047 encoded words decoded; every value has control characters
// turned into blanks and is cut to MaxKeptValueChars.
HeaderValues parseHeaderBlock(const QByteArrayList &lines, const QStringList &furtherNames = {});

// Raw header bytes to text: encoded words decoded, other bytes read as UTF-8
// when they are valid UTF-8, else as windows-1252.
QString decodeHeaderText(const QByteArray &raw);
