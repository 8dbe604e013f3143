#include "messages/MessageRecord.h"

QStringList splitRecordLine(const QString &line)
{
    return line.split(MessageRecord::Separator, Qt::KeepEmptyParts);
}

QString escapeRecordValue(const QString &value)
{
    if (!value.contains(u'%') && !value.contains(u'#'))
        return value;
    QString out;
    out.reserve(value.size() + 8);
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
    qsizetype percent = text.indexOf(u'%');
    if (percent < 0)
        return text;
    QString out;
    out.reserve(text.size());
    qsizetype done = 0;
    for (; percent >= 0; percent = text.indexOf(u'%', percent + 1)) {
        const QStringView code = QStringView(text).mid(percent + 1, 2);
        const QChar decoded = code == u"25" ? QChar(u'%') : code == u"23" ? QChar(u'#') : QChar();
        if (decoded.isNull())
            continue; // not one of ours: kept as written
        out += QStringView(text).mid(done, percent - done);
        out += decoded;
        done = percent + 3;
        percent += 2;
    }
    out += QStringView(text).mid(done);
    return out;
}

QString MessageRecord::toLine() const
{
    QStringList fields{extraA, extraB, date, from, subject, size, mark};
    if (!rule.isEmpty())
        fields << rule;
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
    r.rule = field(Rule);
    return r;
}

QStringList MessageRecord::headerValues(const QString &name) const
{
    if (name == QLatin1String("from"))
        return {from};
    if (name == QLatin1String("subject"))
        return {subject};
    if (name == QLatin1String("date"))
        return {date};
    if (name == QLatin1String("message-id"))
        return {extraB};
    QStringList values;
    for (const auto &[headerName, value] : headers)
        if (headerName == name)
            values.append(value);
    return values;
}
