#include "messages/MarkedRecordIndex.h"
#include "messages/RecordStore.h"
#include "tests/support/QtPrinting.h"

#include <QRandomGenerator>
#include <gtest/gtest.h>

namespace {

qsizetype scanCount(const RecordStore &store, const QString &from, const QString &subject)
{
    qsizetype n = 0;
    for (qsizetype j = 0; j < store.count(); ++j) {
        const MessageRecord r = store.read(j);
        n += r.isMarked() && r.from == from && r.subject == subject;
    }
    return n;
}

// The index answers as a scan of every record would, also while marks
// change between look-ups and when the store is refilled.
TEST(MarkedRecordIndex, AgreesWithAScanThroughChanges)
{
    const QStringList froms{"Deals", "deals", "Deals ", "Bob #1", ""};
    const QStringList subjects{"Offer", "offer", "Offer##", "", "Re: x"};
    QRandomGenerator rng(11);
    RecordStore store;
    MarkedRecordIndex index;
    for (int round = 0; round < 20; ++round) {
        store.clear();
        for (int i = 0; i < 40; ++i) {
            MessageRecord r;
            r.from = froms[rng.bounded(int(froms.size()))];
            r.subject = subjects[rng.bounded(int(subjects.size()))];
            r.mark = rng.bounded(3) == 0 ? QStringLiteral("FMARK") : QStringLiteral("NOFILTER");
            store.append(r);
        }
        for (int step = 0; step < 50; ++step) {
            store.rewriteMark(rng.bounded(int(store.count())), rng.bounded(2) == 1);
            const QString &from = froms[rng.bounded(int(froms.size()))];
            const QString &subject = subjects[rng.bounded(int(subjects.size()))];
            ASSERT_EQ(index.count(store, from, subject), scanCount(store, from, subject))
                << round << "/" << step << " " << from.toStdString() << " | " << subject.toStdString();
        }
    }
}

TEST(MarkedRecordIndex, SeparateStoresAreNotConfused)
{
    RecordStore a, b;
    MessageRecord r;
    r.from = QStringLiteral("x");
    r.subject = QStringLiteral("y");
    r.mark = QStringLiteral("DOFILTER");
    a.append(r);
    b.append(r);
    b.append(r);
    MarkedRecordIndex index;
    EXPECT_EQ(index.count(a, QStringLiteral("x"), QStringLiteral("y")), 1);
    EXPECT_EQ(index.count(b, QStringLiteral("x"), QStringLiteral("y")), 2);
    b.rewriteMark(0, false);
    EXPECT_EQ(index.count(b, QStringLiteral("x"), QStringLiteral("y")), 1);
    EXPECT_EQ(index.count(b, QStringLiteral("X"), QStringLiteral("y")), 0);
}

} // namespace
