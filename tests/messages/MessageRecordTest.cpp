#include "messages/RecordStore.h"

#include "tests/support/QtPrinting.h"

#include <gtest/gtest.h>

namespace {

MessageRecord sample(const QString &subject)
{
    MessageRecord r;
    r.extraA = QStringLiteral("uid-1");
    r.extraB = QStringLiteral("<id@example.org>");
    r.date = QStringLiteral("Mon, 7 Dec 2026 10:00:00 +0000");
    r.from = QStringLiteral("Alice <alice@example.org>");
    r.subject = subject;
    r.size = QStringLiteral("123");
    return r;
}

TEST(MessageRecord, PlainRecordHasTheSevenFieldTextForm)
{
    const QString line = sample(QStringLiteral("Hello")).toLine();
    EXPECT_EQ(line, QStringLiteral("uid-1##<id@example.org>##Mon, 7 Dec 2026 10:00:00 +0000##"
                                   "Alice <alice@example.org>##Hello##123##FMARK"));
}

TEST(MessageRecord, EmptyValuesGiveEmptyFields)
{
    MessageRecord r;
    EXPECT_EQ(r.toLine(), QStringLiteral("############FMARK"));
    EXPECT_EQ(splitRecordLine(r.toLine()).size(), 7);
}

// Values with '#' and '%' keep the record at seven fields and round-trip.
TEST(MessageRecord, ValuesWithHashesRoundTrip)
{
    const QStringList subjects{
        QStringLiteral("Ticket ##2211"), QStringLiteral("abc#"), QStringLiteral("#abc"),
        QStringLiteral("#"), QStringLiteral("##"), QStringLiteral("100% off #1"),
        QStringLiteral("%23 literally"), QStringLiteral("%"), QStringLiteral("a%2"),
        QStringLiteral("%%23#%"), QStringLiteral("%2523"), QStringLiteral("plain text"),
    };
    for (const QString &subject : subjects) {
        MessageRecord r = sample(subject);
        r.from = subject + QStringLiteral("#");
        r.size = QStringLiteral("#") + subject;
        const QString line = r.toLine();
        EXPECT_EQ(splitRecordLine(line).size(), 7) << qPrintable(subject);
        const MessageRecord back = MessageRecord::fromLine(line);
        EXPECT_EQ(back.subject, subject);
        EXPECT_EQ(back.from, r.from);
        EXPECT_EQ(back.size, r.size);
        EXPECT_EQ(back.mark, QStringLiteral("FMARK"));
    }
}

TEST(MessageRecord, OnlyExactDofilterIsMarked)
{
    const struct { const char *mark; bool marked; } cases[] = {
        {"DOFILTER", true}, {"dofilter", false}, {"DOFILTER ", false}, {"NOFILTER", false}, {"FMARK", false}, {"", false},
    };
    for (const auto &c : cases) {
        MessageRecord r;
        r.mark = QString::fromLatin1(c.mark);
        EXPECT_EQ(r.isMarked(), c.marked) << c.mark;
    }
}

TEST(MessageRecord, ShortLineReadsMissingFieldsAsEmpty)
{
    const MessageRecord r = MessageRecord::fromLine(QStringLiteral("a##b##c"));
    EXPECT_EQ(r.date, QStringLiteral("c"));
    EXPECT_TRUE(r.from.isEmpty());
    EXPECT_TRUE(r.mark.isEmpty());
}

TEST(RecordStore, RewriteChangesOnlyTheMarkOfOneLine)
{
    RecordStore store;
    for (const char *s : {"one", "two ## with hashes", "three"})
        store.append(sample(QString::fromUtf8(s)));
    const QString before0 = store.line(0), before2 = store.line(2);

    store.rewriteMark(1, true);
    EXPECT_EQ(store.count(), 3);
    EXPECT_EQ(store.line(0), before0);
    EXPECT_EQ(store.line(2), before2);
    MessageRecord r = store.read(1);
    EXPECT_EQ(r.mark, QStringLiteral("DOFILTER"));
    EXPECT_EQ(r.subject, QStringLiteral("two ## with hashes"));
    EXPECT_EQ(r.size, QStringLiteral("123"));

    store.rewriteMark(1, false);
    r = store.read(1);
    EXPECT_EQ(r.mark, QStringLiteral("NOFILTER"));
    MessageRecord expected = sample(QStringLiteral("two ## with hashes"));
    expected.mark = QStringLiteral("NOFILTER");
    EXPECT_EQ(store.line(1), expected.toLine());
}

TEST(RecordStore, RewriteOutOfRangeOrOfShortLineIsSafe)
{
    RecordStore store;
    store.rewriteMark(0, true);
    EXPECT_EQ(store.count(), 0);
    store.append(sample(QStringLiteral("x")));
    store.rewriteMark(-1, true);
    store.rewriteMark(5, true);
    EXPECT_EQ(store.read(0).mark, QStringLiteral("FMARK"));
}

TEST(RecordStore, ClearAndAppendKeepOrder)
{
    RecordStore store;
    store.append(sample(QStringLiteral("first")));
    store.clear();
    EXPECT_EQ(store.count(), 0);
    for (int i = 0; i < 100; ++i)
        store.append(sample(QString::number(i)));
    for (int i = 0; i < 100; ++i)
        EXPECT_EQ(store.read(i).subject, QString::number(i));
}

TEST(MessageRecord, UnescapeLeavesForeignPercentCodesAlone)
{
    const struct { const char *text; const char *value; } cases[] = {
        {"%41", "%41"}, {"50%", "50%"}, {"%2", "%2"}, {"%%23", "%#"}, {"%2523", "%23"}, {"a%23b%25c", "a#b%c"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(unescapeRecordValue(QString::fromLatin1(c.text)), QString::fromLatin1(c.value)) << c.text;
}

} // namespace
