#pragma once

#include <QString>
#include <QList>
#include <QStringList>

#include <utility>

// One mailbox message as the program keeps it: seven text fields joined by
// "##" (extra A, extra B, date, from, subject, size, mark), and an eighth, the
// rule that marked the message, only when a rule did.
//
// Values may hold '#', which would shift every later field when the line is
// split on "##". Values are therefore escaped when the line is built ('%' ->
// "%25", '#' -> "%23") and unescaped when a field is read, so a line always
// splits into exactly seven fields and every value round-trips.
struct MessageRecord
{
    enum Field { ExtraA, ExtraB, Date, From, Subject, Size, Mark, Rule };

    QString extraA;
    QString extraB;
    QString date;
    QString from;
    QString subject;
    QString size;
    QString mark = QStringLiteral("FMARK");
    QString rule;  // the rule that decided, as a rule line ("msgfromcontains=promo@",
                   // "keep:msgfromis=mum"); empty when no rule holds
    // The further headers the rules test (To, X-Spam-Score ...), as (name in
    // lower case, value); not part of the line form.
    QList<std::pair<QString, QString>> headers;

    static inline const QString Separator = QStringLiteral("##");
    static inline const QString Marked = QStringLiteral("DOFILTER");
    static inline const QString NotMarked = QStringLiteral("NOFILTER");

    QString toLine() const;
    // Reads a line built by toLine(); missing fields come back empty.
    static MessageRecord fromLine(const QString &line);

    // The filter's verdict, and the rule that decided it ("" when none did).
    void setVerdict(bool marked, const QString &ruleThatDecided)
    {
        mark = marked ? Marked : NotMarked;
        rule = ruleThatDecided;
    }
    // Every value of the header named (lower case); From, Subject, Date and
    // Message-ID are the record's own fields.
    QStringList headerValues(const QString &name) const;

    // Only an exact "DOFILTER" counts as marked for deletion.
    bool isMarked() const { return mark == Marked; }

    bool operator==(const MessageRecord &) const = default;
};

// The raw "##" split: plain left-to-right, non-overlapping, empty pieces kept.
QStringList splitRecordLine(const QString &line);

QString escapeRecordValue(const QString &value);
QString unescapeRecordValue(const QString &text);
