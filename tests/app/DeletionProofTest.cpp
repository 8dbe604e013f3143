// The deletion flow against a plain model of what it must do, over a few
// hundred random mailboxes, rule files and check changes (also during the
// flow's pauses). The model: message i goes exactly when, at the moment it is
// compared, some record marked for deletion has its From and Subject; and
// nothing goes when the session does not end with a confirmed QUIT.
#include "filter/FilterPass.h"
#include "filter/MessageListSink.h"
#include "mail/MailboxFlows.h"
#include "mail/Pop3Client.h"
#include "messages/RecordStore.h"
#include "tests/support/HeadlessView.h"
#include "tests/support/TestServers.h"

#include <QFile>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct NoList : MessageListSink
{
    void clearLines() override {}
    void appendLine(const QString &, bool) override {}
};

using Pair = std::pair<QString, QString>;

// A window without widgets whose pauses let a simulated user change marks.
struct ProofView : HeadlessView
{
    QString rules;
    QRandomGenerator *rng = nullptr;
    int changePercent = 0;          // chance of a check change at each pause
    QList<QSet<Pair>> markedAtPause; // what was marked after each pause

    QString displayThroughFilter() override
    {
        NoList list;
        runFilterPass(store, list, rules);
        return QString();
    }
    QSet<Pair> marked() const
    {
        QSet<Pair> out;
        for (qsizetype j = 0; j < store.count(); ++j)
            if (const MessageRecord r = store.read(j); r.isMarked())
                out.insert({r.from, r.subject});
        return out;
    }
    void yieldToEvents() override
    {
        if (store.count() > 0 && int(rng->bounded(100)) < changePercent)
            store.rewriteMark(rng->bounded(int(store.count())), rng->bounded(2) == 1);
        markedAtPause << marked();
    }
};

QByteArray randomRules(QRandomGenerator &rng)
{
    const char *lines[] = {"msgsubjectcontains=offer", "msgsubjectis=Offer", "msgfromcontains=DEALS", "msgfromis=bob <bob@example.org>",
                           "msgsizeisgreaterthan=1500", "msgsubjectcontains=##", "msgfromcontains=#1", "msgsubjectis=",
                           "msgsubjectcontains=grüße", "#", "msgfromis =bob <bob@example.org>", "MSGSUBJECTCONTAINS=RE:"};
    QByteArray file = "[rfstart]\r\n";
    for (int k = 0, n = int(rng.bounded(4)); k < n; ++k)
        file += QByteArray(lines[rng.bounded(int(std::size(lines)))]) + "\r\n";
    return file + (rng.bounded(20) == 0 ? "" : "[rfend]\r\n");  // now and then a broken file
}

TEST(DeletionProof, FlowDeletesExactlyWhatTheModelSays)
{
    ScriptedServer server({QStringLiteral("--messages"), QStringLiteral("1")});
    QTemporaryDir dir;
    const QString rulePath = dir.filePath(QStringLiteral("filters.txt"));
    int cases = 0, deletedTotal = 0, changedDuringFlow = 0;
    for (quint32 seed = 1; seed <= 300; ++seed) {
        QRandomGenerator rng(seed);
        QFile file(rulePath);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(randomRules(rng));
        file.close();

        ProofView view;
        view.host = server.host();
        const bool dropQuit = seed % 10 == 0;
        view.user = QStringLiteral("rand-%1%2").arg(seed).arg(dropQuit ? QStringLiteral("-dropquit") : QString());
        view.rules = rulePath;
        view.rng = &rng;
        Pop3Client client;
        client.Timeout = 3;
        MailboxFlows flows(view, client);

        flows.checkMails();
        ASSERT_EQ(view.boxes, 0) << seed;
        QList<Pair> messages;
        QStringList uids;
        for (qsizetype j = 0; j < view.store.count(); ++j) {
            const MessageRecord r = view.store.read(j);
            messages << Pair{r.from, r.subject};
            uids << r.extraA;
        }
        // The user changes some checks before pressing the button...
        for (int k = 0, n = int(rng.bounded(4)); k < n; ++k)
            view.store.rewriteMark(rng.bounded(int(view.store.count())), rng.bounded(2) == 1);
        // ...and now and then during the flow's pauses.
        view.changePercent = int(rng.bounded(3)) * 20;
        view.markedAtPause.clear();
        const QSet<Pair> before = view.marked();
        flows.deleteOnServer();

        QStringList expectedLeft;
        for (qsizetype i = 0; i < messages.size(); ++i) {
            ASSERT_LT(i, view.markedAtPause.size()) << seed;
            const bool goes = !dropQuit && view.markedAtPause[i].contains(messages[i]);
            if (!goes)
                expectedLeft << uids[i];
            deletedTotal += goes;
        }
        changedDuringFlow += view.markedAtPause.value(qsizetype(messages.size()) - 1) != before;
        QStringList left;
        for (qsizetype j = 0; j < view.store.count(); ++j)
            left << view.store.read(j).extraA;
        ASSERT_EQ(left, expectedLeft) << "seed " << seed;
        EXPECT_EQ(view.boxes, dropQuit ? 1 : 0) << seed;  // the unconfirmed QUIT is reported
        ++cases;
    }
    EXPECT_EQ(cases, 300);
    EXPECT_GT(deletedTotal, 100) << "the cases must delete something";
    EXPECT_GT(changedDuringFlow, 30) << "and change checks during the flow";
    std::printf("deletion proof: %d cases, %d messages deleted, %d with check changes during the flow\n", cases,
                deletedTotal, changedDuringFlow);
}

} // namespace
