#include "mail/Pop3Client.h"
#include "tests/support/ScriptedSession.h"

#include <gtest/gtest.h>

namespace {

struct Session : ScriptedSession
{
    explicit Session(const QStringList &options, int timeout = 3) : ScriptedSession(options, timeout) {}
};

QStringList numbered(const QString &prefix, const QList<int> &numbers)
{
    QStringList out;
    for (int n : numbers)
        out << prefix.arg(n);
    return out;
}

QList<int> range(int from, int to, int skipEvery = 0)
{
    QList<int> out;
    for (int n = from; n <= to; ++n)
        if (skipEvery == 0 || n % skipEvery != 0)
            out << n;
    return out;
}

// Answers cut and merged at random byte boundaries still land on their
// commands: every message gets its own headers, the failing one its error.
TEST(Pipelining, AnswersMatchTheirCommandsAcrossOddChunks)
{
    for (int seed : {1, 2, 3}) {
        Session s({QStringLiteral("--messages"), QStringLiteral("300"), QStringLiteral("--pipelining"),
                   QStringLiteral("--odd-chunks"), QString::number(seed), QStringLiteral("--fail-top"), QStringLiteral("7")});
        s.client.Connect();
        ASSERT_EQ(s.client.ResultCode(), 0) << qPrintable(s.client.ErrorText());
        EXPECT_TRUE(s.client.IsPipelining());
        ASSERT_EQ(s.client.MsgCount(), 300);
        for (qsizetype i = 1; i <= 300; ++i) {
            s.client.SetCurrentMsg(i);
            if (i == 7) {
                EXPECT_NE(s.client.ResultCode(), 0);
                EXPECT_TRUE(s.client.ErrorText().contains(QStringLiteral("locked")));
                continue;
            }
            ASSERT_EQ(s.client.ResultCode(), 0) << i << qPrintable(s.client.ErrorText());
            ASSERT_EQ(s.client.MsgSubject(), QStringLiteral("Subject %1").arg(i)) << seed;
            ASSERT_EQ(s.client.MsgFrom(), QStringLiteral("Sender %1 <s%1@example.com>").arg(i));
            ASSERT_EQ(s.client.MsgExtraA(), QStringLiteral("uid-%1").arg(i));
            if (i % 3 == 0)
                s.client.DeleteCurrentMsg();
        }
        s.client.Disconnect();
        EXPECT_EQ(s.client.ResultCode(), 0) << qPrintable(s.client.ErrorText());
        EXPECT_EQ(s.client.DeletionsAccepted(), 100);

        // QUIT came last, after every deletion; the server removed exactly those.
        const QStringList sent = s.server.commands();
        EXPECT_EQ(sent.last(), QStringLiteral("QUIT"));
        EXPECT_EQ(sent.count(QStringLiteral("DELE 300")), 1);
        s.client.Connect();
        ASSERT_EQ(s.client.MsgCount(), 200);
        // A new client (no cached headers) reads what is left from the server.
        Pop3Client fresh;
        fresh.HostName = s.server.host();
        fresh.UserName = QStringLiteral("tester");
        fresh.Password = QStringLiteral("secret");
        fresh.Connect();
        QStringList left;
        for (qsizetype i = 1; i <= fresh.MsgCount(); ++i) {
            fresh.SetCurrentMsg(i);
            left << (fresh.ResultCode() == 0 ? fresh.MsgSubject() : QStringLiteral("error %1").arg(i));
        }
        QStringList expected = numbered(QStringLiteral("Subject %1"), range(1, 300, 3));
        // After the expunge, message 7 of the old numbering is number 5; the server fails TOP 7 now.
        expected[6] = QStringLiteral("error 7");
        EXPECT_EQ(left, expected);
    }
}

TEST(Pipelining, WithoutTheCapabilityOneCommandAtATime)
{
    Session s({QStringLiteral("--messages"), QStringLiteral("5")});
    s.client.Connect();
    ASSERT_EQ(s.client.ResultCode(), 0);
    EXPECT_FALSE(s.client.IsPipelining());
    for (qsizetype i = 1; i <= 5; ++i) {
        s.client.SetCurrentMsg(i);
        s.client.DeleteCurrentMsg();
    }
    s.client.Disconnect();
    EXPECT_EQ(s.client.DeletionsAccepted(), 5);
    QStringList session = s.server.commands();
    session = session.mid(session.indexOf(QStringLiteral("UIDL")) + 1);
    EXPECT_EQ(session, QStringList({"TOP 1 0", "DELE 1", "TOP 2 0", "DELE 2", "TOP 3 0", "DELE 3", "TOP 4 0",
                                    "DELE 4", "TOP 5 0", "DELE 5", "QUIT"}));
}

// A server that offers PIPELINING but answers only the first command of each
// batch: the client gives up on pipelining for it and works one at a time.
TEST(Pipelining, ServerThatDropsPipelinedCommandsIsServedOneAtATime)
{
    Session s({QStringLiteral("--messages"), QStringLiteral("4"), QStringLiteral("--pipelining"),
               QStringLiteral("--answer-first-only")}, 1);
    s.client.Connect();
    ASSERT_EQ(s.client.ResultCode(), 0) << qPrintable(s.client.ErrorText());
    EXPECT_FALSE(s.client.IsPipelining());
    EXPECT_EQ(s.readAll(), numbered(QStringLiteral("Subject %1"), range(1, 4)));
    s.client.Disconnect();
    EXPECT_EQ(s.client.ResultCode(), 0);
}

// An answer nobody asked for shifts every later answer by one: the client
// notices at the next header block, closes without QUIT and so deletes nothing.
TEST(Pipelining, UnaskedAnswerClosesTheSessionBeforeAnyMisreading)
{
    Session s({QStringLiteral("--messages"), QStringLiteral("12"), QStringLiteral("--pipelining"),
               QStringLiteral("--extra-reply-after-top"), QStringLiteral("5")});
    s.client.Connect();
    ASSERT_TRUE(s.client.IsPipelining());
    for (qsizetype i = 1; i <= 12; ++i) {
        s.client.SetCurrentMsg(i);
        if (i <= 5) {
            ASSERT_EQ(s.client.ResultCode(), 0) << i;
            EXPECT_EQ(s.client.MsgSubject(), QStringLiteral("Subject %1").arg(i));
            s.client.DeleteCurrentMsg();
        } else {
            EXPECT_NE(s.client.ResultCode(), 0) << i << " must not be read as " << s.client.MsgSubject().toStdString();
        }
    }
    EXPECT_TRUE(s.client.ErrorText().contains(QStringLiteral("out of step")) ||
                s.client.ErrorText().contains(QStringLiteral("Not connected"))) << qPrintable(s.client.ErrorText());
    s.client.Disconnect();
    EXPECT_NE(s.client.ResultCode(), 0);
    EXPECT_TRUE(s.client.ErrorText().contains(QStringLiteral("deleted nothing")));
    EXPECT_FALSE(s.server.commands().contains(QStringLiteral("QUIT")));
}

// The first headers are asked for on the count STAT gives, before the listing
// is in: this server sends no listing until a TOP has arrived.
TEST(Pipelining, FirstHeadersGoOutBeforeTheListingIsIn)
{
    Session s({QStringLiteral("--messages"), QStringLiteral("30"), QStringLiteral("--pipelining"),
               QStringLiteral("--list-after-top")});
    s.client.Connect();
    ASSERT_EQ(s.client.ResultCode(), 0) << qPrintable(s.client.ErrorText());
    EXPECT_EQ(s.readAll(), numbered(QStringLiteral("Subject %1"), range(1, 30)));
    s.client.Disconnect();
    EXPECT_EQ(s.server.commands().filter(QStringLiteral("TOP ")), numbered(QStringLiteral("TOP %1 0"), range(1, 30)));
}

TEST(HeaderCache, FindsOnlyTheSameMailboxUniqueIdAndSize)
{
    HeaderCache cache;
    HeaderValues v;
    v.from = QStringLiteral("a");
    v.subject = QStringLiteral("b");
    cache.store(QStringLiteral("host:110\nuser"), QStringLiteral("u1"), 100, v);
    cache.store(QStringLiteral("host:110\nuser"), QString(), 100, v);  // no unique-id: not kept
    EXPECT_EQ(cache.size(), 1);
    EXPECT_TRUE(cache.find(QStringLiteral("host:110\nuser"), QStringLiteral("u1"), 100).has_value());
    EXPECT_EQ(cache.find(QStringLiteral("host:110\nuser"), QStringLiteral("u1"), 100)->subject, QStringLiteral("b"));
    EXPECT_FALSE(cache.find(QStringLiteral("host:110\nuser"), QStringLiteral("u2"), 100));
    EXPECT_FALSE(cache.find(QStringLiteral("host:110\nuser"), QStringLiteral("U1"), 100));
    EXPECT_FALSE(cache.find(QStringLiteral("host:110\nuser"), QStringLiteral("u1"), 101));
    EXPECT_FALSE(cache.find(QStringLiteral("host:110\nother"), QStringLiteral("u1"), 100));
    EXPECT_FALSE(cache.find(QStringLiteral("host:995\nuser"), QStringLiteral("u1"), 100));
    EXPECT_FALSE(cache.find(QStringLiteral("host:110\nuser"), QString(), 100));
}

TEST(HeaderCache, LaterSessionsSendNoTopForKnownMessages)
{
    for (const bool pipelining : {false, true}) {
        QStringList options{QStringLiteral("--messages"), QStringLiteral("6"), QStringLiteral("--uid"),
                            QStringLiteral("4=twin"), QStringLiteral("--uid"), QStringLiteral("5=twin")};
        if (pipelining)
            options << QStringLiteral("--pipelining");
        Session s(options);
        s.client.Connect();
        const QStringList first = s.readAll();
        s.client.Disconnect();
        const qsizetype topsBefore = s.server.commands().filter(QStringLiteral("TOP ")).size();
        EXPECT_EQ(topsBefore, 6);

        s.client.Connect();
        EXPECT_EQ(s.readAll(), first);
        s.client.SetCurrentMsg(2);
        EXPECT_EQ(s.client.MsgExtraA(), QStringLiteral("uid-2"));
        EXPECT_EQ(s.client.MsgFrom(), QStringLiteral("Sender 2 <s2@example.com>"));
        s.client.Disconnect();
        // Only the two messages that share a unique-id are read again.
        const QStringList tops = s.server.commands().filter(QStringLiteral("TOP ")).mid(topsBefore);
        EXPECT_EQ(tops, QStringList({"TOP 4 0", "TOP 5 0"})) << pipelining;

        // Rules that begin to test a further header need it read: the cache
        // holds only what was asked for, so every header is read once more,
        // and then no more.
        s.client.setFurtherHeaders({QStringLiteral("x-spam-flag")});
        for (const qsizetype expected : {6, 2}) {
            const qsizetype before = s.server.commands().filter(QStringLiteral("TOP ")).size();
            s.client.Connect();
            EXPECT_EQ(s.readAll(), first);
            s.client.Disconnect();
            EXPECT_EQ(s.server.commands().filter(QStringLiteral("TOP ")).size() - before, expected) << pipelining;
        }
    }
}

} // namespace
