// The deletion flow against a plain model of what it must do, over a few
// hundred random mailboxes (full of look-alikes), rule files and check changes
// (also during the flow's pauses). The model: the walk reads (and pauses at)
// exactly the messages whose own line is checked when it reaches them; such a
// message goes exactly when its line is still checked after its pause; and
// nothing goes when the session does not end with a confirmed QUIT.
#include "filter/ListingRules.h"
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

// A window without widgets whose pauses let a simulated user change marks.
struct ProofView : HeadlessView
{
    QString rules;
    QRandomGenerator *rng = nullptr;
    int changePercent = 0;          // chance of a check change at each pause
    const Pop3Client *client = nullptr;
    struct Pause { QString uid; QSet<QString> markedAfter; };
    QList<Pause> pauses;             // the message of each pause, and the lines checked after it
    bool listing = true;             // the pauses of a listing are not the deletion's

    void clearMessageList() override { listing = true; }

    ListingRules listingRules;
    QStringList readRules() override { return listingRules.read(rules); }
    QString displayThroughFilter() override
    {
        NoList list;
        return listingRules.apply(store, list);
    }
    QSet<QString> marked() const
    {
        QSet<QString> out;
        for (qsizetype j = 0; j < store.count(); ++j)
            if (const MessageRecord r = store.read(j); r.isMarked())
                out.insert(r.extraA);
        return out;
    }
    void yieldToEvents() override
    {
        if (store.count() > 0 && int(rng->bounded(100)) < changePercent)
            store.rewriteMark(rng->bounded(int(store.count())), rng->bounded(2) == 1);
        if (!listing)
            pauses << Pause{client->MsgExtraA(), marked()};
    }
};

QByteArray randomRules(QRandomGenerator &rng)
{
    const char *lines[] = {"msgsubjectcontains=offer", "msgsubjectis=Offer", "msgfromcontains=DEALS", "msgfromis=bob <bob@example.org>",
                           "msgsizeisgreaterthan=1500", "msgsubjectcontains=##", "msgfromcontains=#1", "msgsubjectis=",
                           "msgsubjectcontains=grüße", "#", "MSGSUBJECTCONTAINS=RE:", "msgsubjectmatches=^(re|offer)\\b",
                           "headerisgreaterthan:x-spam-score=5", "headermatches:received=hop[13]", "headerlacks:to,cc=me@example.org",
                           "keep:headercontains:cc=boss@", "headeris:X-Spam-Flag=yes", "keep:msgfromcontains=ann@example.org"};
    QByteArray file = "[rfstart]\r\n";
    for (int k = 0, n = int(rng.bounded(5)); k < n; ++k)
        file += QByteArray(lines[rng.bounded(int(std::size(lines)))]) + "\r\n";
    if (rng.bounded(25) == 0)
        file += "msgfrommatches=(\r\n";  // a line that is no rule spoils the file
    return file + (rng.bounded(20) == 0 ? "" : "[rfend]\r\n");  // now and then a broken file
}

// What the listing must have marked, worked out from the rule lines and the
// mailbox's known shape: flagged spam is checked, friends never are.
void expectFlaggedSpamCheckedAndFriendsKept(const QByteArray &rules, const RecordStore &store, quint32 seed)
{
    const bool usable = rules.contains("[rfend]") && !rules.contains("msgfrommatches=(");
    const bool flagRule = usable && rules.contains("headeris:X-Spam-Flag=yes");
    const bool keepFriends = usable && rules.contains("keep:msgfromcontains=ann@example.org");
    for (qsizetype j = 0; j < store.count(); ++j) {
        const MessageRecord r = store.read(j);
        const bool friendly = r.from.contains(QStringLiteral("ann@example.org"));
        const bool flagged = r.extraA.section(u'-', 1).toInt() % 3 == 0;  // "r<seed>-<n>"
        if (keepFriends && friendly) {
            EXPECT_FALSE(r.isMarked()) << "seed " << seed << ", " << r.extraA.toStdString();
            EXPECT_TRUE(r.rule.startsWith(QStringLiteral("keep:"))) << "seed " << seed;
        } else if (flagRule && flagged && !r.rule.startsWith(QStringLiteral("keep:"))) {
            EXPECT_TRUE(r.isMarked()) << "seed " << seed << ", " << r.extraA.toStdString();
        }
        if (!usable) {
            EXPECT_FALSE(r.isMarked()) << "seed " << seed;
        }
    }
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
        const QByteArray rules = randomRules(rng);
        file.write(rules);
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
        view.client = &client;

        flows.checkMails();
        ASSERT_EQ(view.boxes, 0) << seed;
        expectFlaggedSpamCheckedAndFriendsKept(rules, view.store, seed);
        QStringList uids;
        for (qsizetype j = 0; j < view.store.count(); ++j)
            uids << view.store.read(j).extraA;
        // The user changes some checks before pressing the button...
        for (int k = 0, n = int(rng.bounded(4)); k < n; ++k)
            view.store.rewriteMark(rng.bounded(int(view.store.count())), rng.bounded(2) == 1);
        // ...and now and then during the flow's pauses.
        view.changePercent = int(rng.bounded(3)) * 20;
        view.pauses.clear();
        view.listing = false;
        const QSet<QString> before = view.marked();
        flows.deleteOnServer();

        // Checks change only in pauses, so what was checked when the walk
        // reached a message is what the pause before it left.
        QStringList expectedLeft;
        int chosen = 0;
        QSet<QString> checked = before;
        qsizetype pause = 0;
        for (qsizetype i = 0; i < uids.size(); ++i) {
            const bool visited = pause < view.pauses.size() && view.pauses[pause].uid == uids[i];
            ASSERT_EQ(visited, checked.contains(uids[i])) << "seed " << seed << ", message " << i + 1;
            if (visited)
                checked = view.pauses[pause++].markedAfter;
            chosen += visited && checked.contains(uids[i]);
            const bool goes = !dropQuit && visited && checked.contains(uids[i]);
            if (!goes)
                expectedLeft << uids[i];
            deletedTotal += goes;
        }
        changedDuringFlow += checked != before;
        QStringList left;
        for (qsizetype j = 0; j < view.store.count(); ++j)
            left << view.store.read(j).extraA;
        ASSERT_EQ(left, expectedLeft) << "seed " << seed;
        // An unconfirmed QUIT is reported when the server had something to delete.
        EXPECT_EQ(view.boxes, dropQuit && chosen > 0 ? 1 : 0) << seed;
        ++cases;
    }
    EXPECT_EQ(cases, 300);
    EXPECT_GT(deletedTotal, 100) << "the cases must delete something";
    EXPECT_GT(changedDuringFlow, 30) << "and change checks during the flow";
    std::printf("deletion proof: %d cases, %d messages deleted, %d with check changes during the flow\n", cases,
                deletedTotal, changedDuringFlow);
}

// Some servers give out unique-ids that are only the message numbers of the
// session. When a message leaves between the listing and the deletion, the
// ids move to other messages: only what the user checked may go.
TEST(DeletionProof, UniqueIdsThatMoveLoseNothingUnchecked)
{
    ScriptedServer server({QStringLiteral("--messages"), QStringLiteral("3"), QStringLiteral("--numbered-uids")});
    HeadlessView view;
    view.host = server.host();
    Pop3Client client;
    MailboxFlows flows(view, client);
    flows.checkMails();
    ASSERT_EQ(view.store.count(), 3);
    view.store.rewriteMark(0, true);  // only the first line is checked

    // Another mail program removes message 1; "2" and "3" become "1" and "2".
    Pop3Client elsewhere;
    elsewhere.HostName = server.host();
    elsewhere.UserName = view.user;
    elsewhere.Password = view.password;
    elsewhere.Connect();
    elsewhere.SetCurrentMsg(1);
    elsewhere.DeleteCurrentMsg();
    elsewhere.Disconnect();
    ASSERT_EQ(elsewhere.ResultCode(), 0);

    flows.deleteOnServer();
    EXPECT_EQ(view.boxes, 0);
    EXPECT_EQ(server.commands().filter(QStringLiteral("DELE")), QStringList({"DELE 1"})) << "only the other program's";
    QStringList left;
    for (qsizetype j = 0; j < view.store.count(); ++j)
        left << view.store.read(j).subject;
    EXPECT_EQ(left, QStringList({"Subject 2", "Subject 3"}));
}

} // namespace
