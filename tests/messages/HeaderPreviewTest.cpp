#include "messages/HeaderPreview.h"
#include "messages/RecordStore.h"
#include "tests/support/QtPrinting.h"

#include <gtest/gtest.h>

namespace {

MessageRecord record(const char *mark, const char *subject = "Hello there")
{
    MessageRecord r;
    r.extraA = QStringLiteral("uid-1");
    r.extraB = QStringLiteral("<m1@example.org>");
    r.date = QStringLiteral("Mon, 7 Dec 2026 10:00:00 +0000");
    r.from = QStringLiteral("Alice <alice@example.org>");
    r.subject = QString::fromUtf8(subject);
    r.size = QStringLiteral("1234");
    r.mark = QString::fromLatin1(mark);
    return r;
}

TEST(HeaderPreview, TextAndMarkFollowTheExactMark)
{
    const QString body = QStringLiteral("FROM        : Alice <alice@example.org>\r\n"
                                        "SUBJECT     : Hello there\r\n"
                                        "DATE        : Mon, 7 Dec 2026 10:00:00 +0000\r\n"
                                        "SIZE        : 1234");
    const struct { const char *mark; bool marked; } cases[] = {
        {"DOFILTER", true}, {"NOFILTER", false}, {"FMARK", false}, {"dofilter", false}, {"DOFILTER ", false}, {"", false},
    };
    for (const auto &c : cases) {
        const HeaderPreview preview = headerPreview(record(c.mark));
        EXPECT_EQ(preview.marked, c.marked) << c.mark;
        EXPECT_EQ(preview.text, (c.marked ? QStringLiteral("MESSAGE MARKED FOR DELETION\r\n") : QString()) + body) << c.mark;
    }
}

TEST(HeaderPreview, ValuesWholeAndEmptySubjectKeepsItsLine)
{
    const HeaderPreview empty = headerPreview(record("NOFILTER", ""));
    EXPECT_TRUE(empty.text.contains(QStringLiteral("\r\nSUBJECT     : \r\nDATE")));
    EXPECT_FALSE(empty.text.endsWith(u'\n'));

    const char *longSubject = "A subject much longer than fifteen characters, with # and ## inside";
    MessageRecord ruled = record("DOFILTER", longSubject);
    ruled.rule = QStringLiteral("msgsubjectcontains=# and ##");
    const HeaderPreview full = headerPreview(ruled);
    EXPECT_TRUE(full.text.contains(QStringLiteral("SUBJECT     : ") + QString::fromUtf8(longSubject) + QStringLiteral("\r\n")));
    EXPECT_TRUE(full.text.endsWith(QStringLiteral("SIZE        : 1234\r\nRULE        : msgsubjectcontains=# and ##")));
    // Every label is 14 characters, so every value starts in column 15.
    for (const QString &line : full.text.split(QStringLiteral("\r\n")).mid(1))
        EXPECT_EQ(line.indexOf(QStringLiteral(": ")), 12) << line.toStdString();
}

TEST(Marking, CheckUncheckRoundTripKeepsEveryOtherField)
{
    RecordStore store;
    store.append(record("FMARK", "first"));
    store.append(record("FMARK", "Ticket ##2211 # 100%"));
    store.append(record("FMARK", "third"));
    const QString before0 = store.line(0), before2 = store.line(2);

    store.rewriteMark(1, true);
    EXPECT_EQ(store.read(1).mark, QStringLiteral("DOFILTER"));
    const QString checkedLine = store.line(1);
    store.rewriteMark(1, true);  // the same state again changes nothing
    EXPECT_EQ(store.line(1), checkedLine);
    store.rewriteMark(1, false);

    const MessageRecord back = store.read(1);
    MessageRecord expected = record("NOFILTER", "Ticket ##2211 # 100%");
    EXPECT_EQ(back.toLine(), expected.toLine());
    EXPECT_EQ(store.count(), 3);
    EXPECT_EQ(store.line(0), before0);
    EXPECT_EQ(store.line(2), before2);

    // The filter's verdict names its rule; the user's uncheck keeps the
    // rule, a later pass in which no rule holds drops it.
    auto verdict = [&store](const QString &rule) {
        MessageRecord judged = store.read(1);
        judged.setVerdict(!rule.isEmpty(), rule);
        store.rewrite(1, judged);
    };
    verdict(QStringLiteral("msgsubjectcontains=##2211"));
    EXPECT_TRUE(store.read(1).isMarked());
    store.rewriteMark(1, false);
    EXPECT_EQ(store.read(1).rule, QStringLiteral("msgsubjectcontains=##2211"));
    EXPECT_EQ(store.read(1).subject, QStringLiteral("Ticket ##2211 # 100%"));
    verdict(QString());
    EXPECT_EQ(store.line(1), expected.toLine());
}

} // namespace
