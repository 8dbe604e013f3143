#include "mail/MailboxFlows.h"
#include "mail/Pop3Client.h"
#include "tests/support/HeadlessView.h"
#include "tests/support/ScriptedSession.h"

#include <QElapsedTimer>
#include <QFile>
#include <gtest/gtest.h>

namespace {

// AddressSanitizer keeps freed memory in quarantine (up to 256 MB), so the
// resident size says nothing about what the program holds in that build.
#if defined(__SANITIZE_ADDRESS__)
constexpr qint64 MemoryGrowthLimitMb = 300;
#else
constexpr qint64 MemoryGrowthLimitMb = 40;
#endif

// Resident memory now, in MB.
qint64 residentMb()
{
    QFile statm(QStringLiteral("/proc/self/statm"));
    if (!statm.open(QIODevice::ReadOnly))
        return 0;
    const QList<QByteArray> fields = statm.readAll().split(' ');
    return fields.value(1).toLongLong() * 4096 / (1024 * 1024);
}

struct Outcome
{
    QStringList results;   // per message: the subject, or "error: " + ErrorText
    QString disconnect;    // "" when QUIT was confirmed, else ErrorText
    qint64 seconds = 0;
    qint64 memoryGrowthMb = 0;
};

Outcome readAndDelete(const QStringList &options, bool deleteAll = false, int timeout = 1)
{
    ScriptedSession session(options, timeout);
    Pop3Client &client = session.client;
    const qint64 before = residentMb();
    QElapsedTimer clock;
    clock.start();
    Outcome out;
    client.Connect();
    if (client.ResultCode() != 0) {
        out.results << QStringLiteral("error: ") + client.ErrorText();
        return out;
    }
    for (qsizetype i = 1; i <= client.MsgCount(); ++i) {
        client.SetCurrentMsg(i);
        out.results << (client.ResultCode() == 0 ? client.MsgSubject() : QStringLiteral("error: ") + client.ErrorText());
        if (client.ResultCode() == 0 && deleteAll)
            client.DeleteCurrentMsg();
        out.memoryGrowthMb = std::max(out.memoryGrowthMb, residentMb() - before);
    }
    client.Disconnect();
    out.disconnect = client.ResultCode() == 0 ? QString() : client.ErrorText();
    out.seconds = clock.elapsed() / 1000;
    return out;
}

TEST(HostileServer, TenMegabyteLineWithoutLineEnd)
{
    const Outcome out = readAndDelete({QStringLiteral("--messages"), QStringLiteral("3"), QStringLiteral("--long-line-top"),
                                       QStringLiteral("2")});
    ASSERT_EQ(out.results.size(), 3);
    EXPECT_EQ(out.results[0], QStringLiteral("Subject 1"));
    EXPECT_TRUE(out.results[1].contains(QStringLiteral("closed the connection"))) << qPrintable(out.results[1]);
    EXPECT_TRUE(out.results[2].startsWith(QStringLiteral("error: Not connected")));
    EXPECT_TRUE(out.disconnect.contains(QStringLiteral("deleted nothing")));
    EXPECT_LT(out.memoryGrowthMb, MemoryGrowthLimitMb) << "the line is consumed, not kept";
}

TEST(HostileServer, EndlessAnswerIsCutOffAtTheOverallLimit)
{
    const Outcome out = readAndDelete({QStringLiteral("--messages"), QStringLiteral("2"), QStringLiteral("--endless-top"),
                                       QStringLiteral("1")});
    ASSERT_EQ(out.results.size(), 2);
    EXPECT_TRUE(out.results[0].contains(QStringLiteral("went on for more than 12 seconds"))) << qPrintable(out.results[0]);
    EXPECT_LE(out.seconds, 16) << "twelve time-outs at most, then the connection is closed";
    EXPECT_LT(out.memoryGrowthMb, MemoryGrowthLimitMb) << "only the first 256 kB of a header are kept";
}

TEST(HostileServer, NulBytesInvalidUtf8AndUnknownCharsets)
{
    ScriptedServer server({QStringLiteral("--messages"), QStringLiteral("2"), QStringLiteral("--nul-header"), QStringLiteral("1")});
    Pop3Client client;
    client.HostName = server.host();
    client.UserName = QStringLiteral("tester");
    client.Password = QStringLiteral("secret");
    client.Connect();
    client.SetCurrentMsg(1);
    ASSERT_EQ(client.ResultCode(), 0) << qPrintable(client.ErrorText());
    EXPECT_EQ(client.MsgFrom(), QStringLiteral("Nul Sender <n@example.com>"));
    EXPECT_EQ(client.MsgSubject(), QString::fromUtf8("bad ÿþ bytes and =?x-unknown?Q?abc?="));
    client.SetCurrentMsg(2);
    EXPECT_EQ(client.MsgSubject(), QStringLiteral("Subject 2"));
}

// Header text kept is bounded per value, so a mailbox of huge subjects costs
// memory by the number of messages, not by what the server sends.
TEST(HostileServer, HugeSubjectsAreKeptCut)
{
    ScriptedServer server({QStringLiteral("--messages"), QStringLiteral("400"), QStringLiteral("--subject-bytes"),
                           QStringLiteral("200000"), QStringLiteral("--pipelining")});
    HeadlessView view;
    view.host = server.host();
    Pop3Client client;
    client.Timeout = 5;
    MailboxFlows flows(view, client);
    const qint64 before = residentMb();
    flows.checkMails();
    const qint64 growth = residentMb() - before;
    ASSERT_EQ(view.store.count(), 400);
    EXPECT_EQ(view.boxes, 0);
    for (qsizetype j = 0; j < view.store.count(); ++j)
        ASSERT_LE(view.store.read(j).subject.size(), MaxKeptValueChars + 100) << j;
    EXPECT_LT(growth, MemoryGrowthLimitMb) << "400 subjects of 200 kB each";
    std::printf("400 messages with 200 kB subjects: resident memory grew by %lld MB\n", growth);
}

TEST(HostileServer, HundredThousandMessages)
{
    for (const bool pipelining : {false, true}) {
        QStringList options{QStringLiteral("--messages"), QStringLiteral("100000")};
        if (pipelining)
            options << QStringLiteral("--pipelining");
        ScriptedServer server(options);
        Pop3Client client;
        client.HostName = server.host();
        client.UserName = QStringLiteral("tester");
        client.Password = QStringLiteral("secret");
        client.Connect();
        ASSERT_EQ(client.ResultCode(), 0) << qPrintable(client.ErrorText());
        ASSERT_EQ(client.MsgCount(), 100000);
        for (qsizetype n : {qsizetype(1), qsizetype(32768), qsizetype(70000), qsizetype(100000)}) {
            client.SetCurrentMsg(n);
            ASSERT_EQ(client.ResultCode(), 0) << n;
            EXPECT_EQ(client.MsgSubject(), QStringLiteral("Subject %1").arg(n));
            EXPECT_EQ(client.MsgExtraA(), QStringLiteral("uid-%1").arg(n));
        }
        client.Disconnect();
        EXPECT_EQ(client.ResultCode(), 0);
    }
}

// Connections that break while deletions are pending: the server deletes
// nothing, the client says so, and the next session finds every message.
TEST(HostileServer, ConnectionLostBeforeQuitDeletesNothing)
{
    const struct { const char *name; QStringList options; } cases[] = {
        {"mid-TOP", {"--messages", "4", "--drop-top", "3"}},
        {"mid-TOP, pipelined", {"--messages", "4", "--drop-top", "3", "--pipelining"}},
        {"on DELE", {"--messages", "4", "--drop-dele", "2"}},
        {"on DELE, pipelined", {"--messages", "4", "--drop-dele", "2", "--pipelining"}},
        {"before QUIT's answer", {"--messages", "4", "--drop-quit"}},
        {"before QUIT's answer, pipelined", {"--messages", "4", "--drop-quit", "--pipelining", "--odd-chunks", "4"}},
    };
    for (const auto &c : cases) {
        ScriptedServer server(c.options);
        Pop3Client client;
        client.HostName = server.host();
        client.UserName = QStringLiteral("tester");
        client.Password = QStringLiteral("secret");
        client.Timeout = 2;
        client.Connect();
        for (qsizetype i = 1; i <= 4; ++i) {
            client.SetCurrentMsg(i);
            if (client.ResultCode() == 0)
                client.DeleteCurrentMsg();
        }
        client.Disconnect();
        EXPECT_NE(client.ResultCode(), 0) << c.name;
        EXPECT_TRUE(client.ErrorText().contains(QStringLiteral("deleted nothing"))) << c.name << ": " << qPrintable(client.ErrorText());
        EXPECT_FALSE(client.StatusText().startsWith(QStringLiteral("Disconnected from 127.0.0.1")) &&
                     client.StatusText() == QStringLiteral("Disconnected from 127.0.0.1")) << c.name;
        client.Connect();
        EXPECT_EQ(client.MsgCount(), 4) << c.name;
    }
}

} // namespace
