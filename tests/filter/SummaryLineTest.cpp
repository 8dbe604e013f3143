#include "filter/ListFilling.h"
#include "filter/MessageListSink.h"
#include "filter/SummaryLine.h"
#include "messages/RecordStore.h"

#include "tests/support/QtPrinting.h"

#include <gtest/gtest.h>

namespace {

TEST(SummaryLine, CutsEachValueToFifteenCharacters)
{
    const struct { const char *from; const char *subject; const char *line; } cases[] = {
        {"Alice", "Hello", "FROM Alice   SUBJECT Hello"},
        {"newsletter-sender-01", "x", "FROM newsletter-send   SUBJECT x"},
        {"", "", "FROM    SUBJECT "},
        {"exactly15chars!", "sixteen chars!!!", "FROM exactly15chars!   SUBJECT sixteen chars!!"},
        {"Jürgen Müller <juergen@example.de>", "Grüße aus Köln", "FROM Jürgen Müller <   SUBJECT Grüße aus Köln"},
    };
    for (const auto &c : cases)
        EXPECT_EQ(summaryLine(QString::fromUtf8(c.from), QString::fromUtf8(c.subject)), QString::fromUtf8(c.line));
}

TEST(SummaryLine, NeverSplitsASurrogatePair)
{
    // 14 letters, then an emoji (two UTF-16 units), then more.
    const QString subject = QStringLiteral("abcdefghijklmn") + QString::fromUtf8("🎉") + QStringLiteral("xyz");
    EXPECT_EQ(firstCharacters(subject, 15), QStringLiteral("abcdefghijklmn") + QString::fromUtf8("🎉"));
    EXPECT_EQ(firstCharacters(QString::fromUtf8("🎉🎉🎉"), 2), QString::fromUtf8("🎉🎉"));
    EXPECT_EQ(firstCharacters(QStringLiteral("ab"), 15), QStringLiteral("ab"));
}

struct RecordingList : MessageListSink
{
    QStringList lines;
    QList<bool> checks;
    int clears = 0;
    void clearLines() override { lines.clear(); checks.clear(); ++clears; }
    void appendLine(const QString &text, bool checked) override { lines << text; checks << checked; }
};

TEST(ListFilling, OneLinePerRecordInOrderCheckedWhenMarked)
{
    RecordStore store;
    for (int i = 0; i < 3; ++i) {
        MessageRecord r;
        r.from = QStringLiteral("from%1").arg(i);
        r.subject = QStringLiteral("subject%1").arg(i);
        r.mark = i == 1 ? QStringLiteral("DOFILTER") : QStringLiteral("NOFILTER");
        store.append(r);
    }
    RecordingList list;
    list.lines << QStringLiteral("stale");
    fillMessageList(store, list);
    EXPECT_EQ(list.clears, 1);
    ASSERT_EQ(list.lines.size(), 3);
    EXPECT_EQ(list.lines[2], QStringLiteral("FROM from2   SUBJECT subject2"));
    EXPECT_EQ(list.checks, (QList<bool>{false, true, false}));
}

} // namespace
