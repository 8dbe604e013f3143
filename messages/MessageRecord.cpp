#include "messages/MessageRecord.h"

QStringList splitRecordLine(const QString &line)
{
    return line.split(MessageRecord::Separator, Qt::KeepEmptyParts);
}

QString escapeRecordValue(const QString &value)
{
    QString out;
    out.reserve(value.size());
    for (QChar c : value) {
        if (c == u'%')
            out += u"%25";
        else if (c == u'#')
            out += u"%23";
        else
            out += c;
    }
    return out;
}

QString unescapeRecordValue(const QString &text)
{
    QString out;
    out.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QStringView rest = QStringView(text).mid(i, 3);
        if (rest == u"%25") {
            out += u'%';
            i += 2;
        } else if (rest == u"%23") {
            out += u'#';
            i += 2;
        } else {
            out += text[i];
        }
    }
    return out;
}

QString MessageRecord::toLine() const
{
    const QStringList fields{extraA, extraB, date, from, subject, size, mark};
    QStringList escaped;
    escaped.reserve(fields.size());
    for (const QString &f : fields)
        escaped << escapeRecordValue(f);
    return escaped.join(Separator);
}

MessageRecord MessageRecord::fromLine(const QString &line)
{
    const QStringList parts = splitRecordLine(line);
    auto field = [&](int index) {
        return index < parts.size() ? unescapeRecordValue(parts[index]) : QString();
    };
    MessageRecord r;
    r.extraA = field(ExtraA);
    r.extraB = field(ExtraB);
    r.date = field(Date);
    r.from = field(From);
    r.subject = field(Subject);
    r.size = field(Size);
    r.mark = field(Mark);
    return r;
}
