#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

// Header values of one message as read from the header block of a TOP reply.
struct HeaderValues
{
    QString from;
    QString subject;
    QString date;
    QString messageId;
};

// Characters kept of one header value. A longer value is cut there and ends
// in a note with its full length and a digest of it, so that memory stays
// bounded per message and two cut values are equal only when the whole
// values were.
constexpr qsizetype MaxKeptValueChars = 2000;
QString keptHeaderValue(const QString &value);

// Unfolds the header block (up to the first empty line) and takes the first
// From, Subject, Date and Message-ID. From and Subject have their RFC 2047
// encoded words decoded; every value has control characters turned into blanks
// and is cut to MaxKeptValueChars.
HeaderValues parseHeaderBlock(const QByteArrayList &lines);

// Raw header bytes to text: encoded words decoded, other bytes read as UTF-8
// when they are valid UTF-8, else as windows-1252.
QString decodeHeaderText(const QByteArray &raw);
