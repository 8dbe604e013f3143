#include "filter/FilterPass.h"
#include "filter/ListingRules.h"
#include "filter/MessageListSink.h"
#include "messages/RecordStore.h"

#include <QFile>
#include <QTemporaryDir>
#include "tests/support/QtPrinting.h"

#include <gtest/gtest.h>

namespace {

struct Line { QString text; bool checked; };

struct RecordingList : MessageListSink
{
    QList<Line> lines;
    int clears = 0;
    void clearLines() override { lines.clear(); ++clears; }
    void appendLine(const QString &text, bool checked) override { lines.append({text, checked}); }
};

MessageRecord record(const char *from, const char *subject, const char *size, const char *uid = "u")
{
    MessageRecord r;
    r.extraA = QString::fromUtf8(uid);
    r.extraB = QStringLiteral("<id@x>");
    r.date = QStringLiteral("Mon, 7 Dec 2026 10:00:00 +0000");
    r.from = QString::fromUtf8(from);
    r.subject = QString::fromUtf8(subject);
    r.size = QString::fromUtf8(size);
    return r;
}

class FilterPass : public ::testing::Test
{
protected:
    QTemporaryDir dir;
    QString path = dir.filePath(QStringLiteral("filters.txt"));
    RecordStore records;
    RecordingList list;

    void writeRules(const QByteArray &bytes)
    {
        QFile file(path);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
    }
    // As a listing does it: the rules read first, then the pass.
    QString pass()
    {
        ListingRules rules;
        rules.read(path);
        return rules.apply(records, list);
    }
    QStringList marks() const
    {
        QStringList out;
        for (qsizetype i = 0; i < records.count(); ++i)
            out << records.read(i).mark;
        return out;
    }
};

TEST_F(FilterPass, MarksAndFillsInRecordOrder)
{
    writeRules("[rfstart]\r\nmsgsubjectcontains=offer\r\nmsgsizeisgreaterthan=70000\r\n[rfend]\r\n");
    records.append(record("Alice", "Hello", "1200", "u1"));
    records.append(record("Shop #1", "Special OFFER #7", "900", "u2"));
    records.append(record("newsletter-sender-01", "Big attachment", "70001", "u3"));
    records.append(record("Bob", "Re: Hello", "70000", "u4"));

    EXPECT_EQ(pass(), QString());

    EXPECT_EQ(marks(), QStringList({"NOFILTER", "DOFILTER", "DOFILTER", "NOFILTER"}));
    ASSERT_EQ(list.lines.size(), 4);
    const bool checked[] = {false, true, true, false};
    for (int k = 0; k < 4; ++k) {
        const MessageRecord r = records.read(k);
        EXPECT_EQ(list.lines[k].text, QStringLiteral("FROM ") + r.from.left(15) + QStringLiteral("   SUBJECT ") + r.subject.left(15));
        EXPECT_EQ(list.lines[k].checked, checked[k]) << k;
    }
    // Marking rewrites the mark and nothing else.
    const MessageRecord second = records.read(1);
    EXPECT_EQ(second.extraA, QStringLiteral("u2"));
    EXPECT_EQ(second.from, QStringLiteral("Shop #1"));
    EXPECT_EQ(second.subject, QStringLiteral("Special OFFER #7"));
    EXPECT_EQ(second.size, QStringLiteral("900"));
}

TEST_F(FilterPass, OverwritesEveryEarlierMark)
{
    writeRules("[rfstart]\r\nmsgfromis=bob\r\n[rfend]\r\n");
    records.append(record("Alice", "x", "1"));
    records.append(record("Bob", "x", "1"));
    records.rewriteMark(0, true);  // a manual mark of an earlier run
    pass();
    EXPECT_EQ(marks(), QStringList({"NOFILTER", "DOFILTER"}));

    writeRules("[rfstart]\r\n[rfend]\r\n");
    pass();
    EXPECT_EQ(marks(), QStringList({"NOFILTER", "NOFILTER"}));
    ASSERT_EQ(list.lines.size(), 2);
    EXPECT_FALSE(list.lines[0].checked || list.lines[1].checked);
}

TEST_F(FilterPass, NoRecordsClearsTheList)
{
    list.appendLine(QStringLiteral("old"), true);
    runFilterPass(records, list, RuleBlock());
    EXPECT_TRUE(list.lines.isEmpty());
    EXPECT_EQ(list.clears, 1);
}

TEST_F(FilterPass, UnusableRuleFileMarksNothingAndSaysWhy)
{
    const struct { const char *name; QByteArray file; bool write; const char *notice; } cases[] = {
        {"missing", "", false, "No rules applied: no filters.txt in "},
        {"no start", "msgfromis=alice\r\n", true, "No rules applied: filters.txt has no [rfstart] line"},
        {"no end", "[rfstart]\r\nmsgfromis=alice\r\nmsgsubjectcontains=\r\n", true,
         "No rules applied: filters.txt has no [rfend] line"},
        {"a broken keep rule", "[rfstart]\nmsgfromis=alice\nkeep:msgfrommatches=(\n[rfend]\n", true,
         "No rules applied: filters.txt line 3: the regular expression \"(\" is not valid"},
    };
    for (const auto &c : cases) {
        QFile::remove(path);
        if (c.write)
            writeRules(c.file);
        records.clear();
        records.append(record("alice", "hi", "99999"));
        records.append(record("bob", "", "1"));
        EXPECT_TRUE(pass().startsWith(QString::fromUtf8(c.notice))) << c.name;
        EXPECT_EQ(marks(), QStringList({"NOFILTER", "NOFILTER"})) << c.name;
        ASSERT_EQ(list.lines.size(), 2) << c.name;
        EXPECT_FALSE(list.lines[0].checked || list.lines[1].checked) << c.name;
    }
}

TEST_F(FilterPass, KeepRulesWinOverEveryMarkingRuleAndAreNamed)
{
    writeRules("[rfstart]\nheaderis:x-spam-flag=YES\nmsgsubjectmatches=^\\[spam\\]\n"
               "keep:headercontains:to,cc=me@home.example\nkeep:msgfromcontains=@friends.example\n[rfend]\n");
    const struct { const char *from; const char *subject; QList<std::pair<QString, QString>> headers; const char *rule; bool marked; } cases[] = {
        {"shop@x", "[SPAM] deal", {}, "msgsubjectmatches=^\\[spam\\]", true},
        {"shop@x", "deal", {{"x-spam-flag", "yes"}}, "headeris:x-spam-flag=YES", true},
        {"ann@friends.example", "[SPAM] funny", {{"x-spam-flag", "YES"}}, "keep:msgfromcontains=@friends.example", false},
        {"shop@x", "[SPAM] deal", {{"cc", "Me <ME@home.example>"}, {"x-spam-flag", "YES"}},
         "keep:headercontains:to,cc=me@home.example", false},
        {"shop@x", "deal", {{"x-spam-flag", "NO"}, {"to", "other@x"}}, "", false},
    };
    for (const auto &c : cases) {
        MessageRecord r = record(c.from, c.subject, "10");
        r.headers = c.headers;
        records.append(r);
    }
    pass();
    for (qsizetype k = 0; k < records.count(); ++k) {
        EXPECT_EQ(records.read(k).rule, QString::fromUtf8(cases[k].rule)) << k;
        EXPECT_EQ(records.read(k).isMarked(), cases[k].marked) << k;
        EXPECT_EQ(list.lines[k].checked, cases[k].marked) << k;
    }
}

TEST_F(FilterPass, ValuesHoldingHashesStayInTheirFields)
{
    // A '#' inside the sender must not push the size into another field.
    writeRules("[rfstart]\r\nmsgsizeisgreaterthan=1000\r\nmsgsubjectis=##\r\n[rfend]\r\n");
    records.append(record("a##b", "##", "10"));
    records.append(record("c#", "#x#", "5000"));
    pass();
    EXPECT_EQ(marks(), QStringList({"DOFILTER", "DOFILTER"}));
    EXPECT_EQ(list.lines[0].text, QStringLiteral("FROM a##b   SUBJECT ##"));
}

TEST_F(FilterPass, LargeMailboxKeepsPositions)
{
    writeRules("[rfstart]\r\nmsgsubjectis=spam\r\n[rfend]\r\n");
    for (int i = 0; i < 40000; ++i)
        records.append(record("x", i % 1000 == 999 ? "SPAM" : "ham", "1"));
    pass();
    ASSERT_EQ(list.lines.size(), 40000);
    int checked = 0;
    for (int i = 0; i < 40000; ++i) {
        checked += list.lines[i].checked;
        ASSERT_EQ(list.lines[i].checked, i % 1000 == 999) << i;
    }
    EXPECT_EQ(checked, 40);
}

} // namespace
