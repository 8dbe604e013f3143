#include "mail/Pop3Client.h"
#include "tests/support/ScriptedSession.h"

#include <QElapsedTimer>
#include <gtest/gtest.h>

namespace {

struct Session : ScriptedSession
{
    explicit Session(const QStringList &options, int timeout = 2) : ScriptedSession(options, timeout) {}
};

TEST(ScriptedServer, HeadersOfEveryMessageWithSizesAndUids)
{
    Session s({QStringLiteral("--messages"), QStringLiteral("3")});
    s.client.Connect();
    ASSERT_EQ(s.client.ResultCode(), 0) << qPrintable(s.client.ErrorText());
    EXPECT_TRUE(s.client.StatusText().contains(QStringLiteral("without TLS")));
    ASSERT_EQ(s.client.MsgCount(), 3);
    s.client.SetCurrentMsg(2);
    ASSERT_EQ(s.client.ResultCode(), 0);
    EXPECT_EQ(s.client.MsgFrom(), QStringLiteral("Sender 2 <s2@example.com>"));
    EXPECT_EQ(s.client.MsgSubject(), QStringLiteral("Subject 2"));
    EXPECT_EQ(s.client.MsgExtraA(), QStringLiteral("uid-2"));
    EXPECT_EQ(s.client.MsgExtraB(), QStringLiteral("<m2@scripted.example>"));
    EXPECT_GT(s.client.MsgSize().toLongLong(), 50);
    s.client.Disconnect();
    EXPECT_EQ(s.client.ResultCode(), 0);
    const QStringList sent = s.server.commandsEndingWith(QStringLiteral("QUIT"));
    EXPECT_TRUE(sent.contains(QStringLiteral("TOP 2 0")));
    for (const QString &c : sent)
        EXPECT_FALSE(c.startsWith(QStringLiteral("RETR"))) << qPrintable(c);
    EXPECT_EQ(sent.last(), QStringLiteral("QUIT"));
}

// Failures on one message: a clear error for it, and the next message still works.
TEST(ScriptedServer, FailuresOnOneMessage)
{
    const struct { QStringList options; const char *errorPart; bool nextWorks; } cases[] = {
        {{QStringLiteral("--fail-top"), QStringLiteral("2")}, "locked", true},
        {{QStringLiteral("--oversized-top"), QStringLiteral("2")}, "too long", true},
        {{QStringLiteral("--drop-top"), QStringLiteral("2")}, "closed the connection", false},
        {{QStringLiteral("--stall-top"), QStringLiteral("2")}, "did not answer within 1 seconds", false},
    };
    for (const auto &c : cases) {
        Session s(c.options + QStringList{QStringLiteral("--messages"), QStringLiteral("3")}, 1);
        s.client.Connect();
        ASSERT_EQ(s.client.ResultCode(), 0) << qPrintable(s.client.ErrorText());
        QElapsedTimer clock;
        clock.start();
        s.client.SetCurrentMsg(2);
        EXPECT_LT(clock.elapsed(), 15000) << "no hang past the time-out";
        EXPECT_NE(s.client.ResultCode(), 0);
        EXPECT_TRUE(s.client.ErrorText().contains(QLatin1String(c.errorPart))) << qPrintable(s.client.ErrorText());
        EXPECT_TRUE(s.client.MsgFrom().isEmpty());
        s.client.SetCurrentMsg(3);
        if (c.nextWorks) {
            EXPECT_EQ(s.client.ResultCode(), 0) << qPrintable(s.client.ErrorText());
            EXPECT_EQ(s.client.MsgSubject(), QStringLiteral("Subject 3"));
        } else {
            EXPECT_NE(s.client.ResultCode(), 0);
            EXPECT_FALSE(s.client.ErrorText().isEmpty());
        }
    }
}

TEST(ScriptedServer, HugeHeaderIsCappedButReadToItsEnd)
{
    Session s({QStringLiteral("--messages"), QStringLiteral("3"), QStringLiteral("--huge-header"), QStringLiteral("2")}, 5);
    s.client.Connect();
    ASSERT_EQ(s.client.ResultCode(), 0);
    s.client.SetCurrentMsg(2);
    EXPECT_EQ(s.client.ResultCode(), 0);
    EXPECT_EQ(s.client.MsgSubject(), QStringLiteral("Subject 2"));
    s.client.SetCurrentMsg(3);
    EXPECT_EQ(s.client.MsgSubject(), QStringLiteral("Subject 3"));
}

TEST(ScriptedServer, LogInRefusalsInPlainWords)
{
    // Each refusal once through USER/PASS and once through AUTH PLAIN, which
    // a server offering SASL PLAIN gets instead; the refusal names the method.
    const struct { const char *serverText; const char *words; } cases[] = {
        {"[IN-USE] mailbox locked", "in use by another session"},
        {"[LOGIN-DELAY] wait", "Try again later"},
        {"[SYS/TEMP] oops", "temporary problem"},
        {"[AUTH] no", "refused the user name or password"},
        {"go away", "Wrong user name or password?"},
    };
    for (const bool saslPlain : {false, true}) {
        for (const auto &c : cases) {
            QStringList options{QStringLiteral("--login-error"), QString::fromLatin1(c.serverText)};
            if (saslPlain)
                options << QStringLiteral("--sasl-plain");
            Session s(options);
            s.client.Connect();
            EXPECT_NE(s.client.ResultCode(), 0);
            EXPECT_TRUE(s.client.ErrorText().contains(QLatin1String(c.words))) << qPrintable(s.client.ErrorText());
            EXPECT_TRUE(s.client.ErrorText().startsWith(QStringLiteral("The server refused the log-in with %1.")
                                                            .arg(saslPlain ? "AUTH PLAIN" : "USER/PASS")))
                << qPrintable(s.client.ErrorText());
            EXPECT_EQ(s.client.MsgCount(), 0);
            // "\0tester\0secret", base64-encoded: no USER, no PASS.
            EXPECT_EQ(s.server.commands().contains(QStringLiteral("AUTH PLAIN AHRlc3RlcgBzZWNyZXQ=")), saslPlain);
            EXPECT_EQ(s.server.commands().contains(QStringLiteral("USER tester")), !saslPlain);
        }
    }
}

TEST(ScriptedServer, ByteAtATimeRepliesGiveTheSameValues)
{
    Session s({QStringLiteral("--byte-at-a-time"), QStringLiteral("--messages"), QStringLiteral("2")});
    s.client.Connect();
    ASSERT_EQ(s.client.ResultCode(), 0);
    s.client.SetCurrentMsg(1);
    EXPECT_EQ(s.client.MsgFrom(), QStringLiteral("Sender 1 <s1@example.com>"));
}

TEST(ScriptedServer, DataInjectedAfterStlsAbortsWithoutSendingThePassword)
{
    Session s({QStringLiteral("--garbage-after-stls")});
    s.client.Connect();
    EXPECT_NE(s.client.ResultCode(), 0);
    EXPECT_TRUE(s.client.ErrorText().contains(QStringLiteral("unexpected data"))) << qPrintable(s.client.ErrorText());
    for (const QString &c : s.server.commands())
        EXPECT_FALSE(c.startsWith(QStringLiteral("PASS")) || c.startsWith(QStringLiteral("USER")));
}

TEST(ScriptedServer, QuitWithoutAnswerIsReportedAsNothingDeleted)
{
    Session s({QStringLiteral("--drop-quit")});
    s.client.Connect();
    ASSERT_EQ(s.client.ResultCode(), 0);
    s.client.SetCurrentMsg(1);
    s.client.DeleteCurrentMsg();
    EXPECT_EQ(s.client.ResultCode(), 0);
    s.client.Disconnect();
    EXPECT_NE(s.client.ResultCode(), 0);
    EXPECT_TRUE(s.client.ErrorText().contains(QStringLiteral("deleted nothing"))) << qPrintable(s.client.ErrorText());
}

TEST(ScriptedServer, ReconnectAfterFailureWorks)
{
    ScriptedServer server({});
    Pop3Client client;
    client.HostName = server.host();
    client.UserName = QStringLiteral("tester");
    client.Password = QStringLiteral("wrong");
    client.Connect();
    EXPECT_NE(client.ResultCode(), 0);
    client.Password = QStringLiteral("secret");
    client.Connect();
    EXPECT_EQ(client.ResultCode(), 0) << qPrintable(client.ErrorText());
    EXPECT_EQ(client.MsgCount(), 5);
    // Connect again without Disconnect: the old session is dropped, the new one works.
    client.Connect();
    EXPECT_EQ(client.ResultCode(), 0);
    client.SetCurrentMsg(5);
    EXPECT_EQ(client.MsgSubject(), QStringLiteral("Subject 5"));
}

TEST(ScriptedServer, BadInputIsRefusedBeforeAnythingIsSent)
{
    Pop3Client client;
    const struct { const char *host; const char *user; const char *password; } cases[] = {
        {"", "u", "p"}, {"bad host", "u", "p"}, {"127.0.0.1:1", "u\r\nDELE 1", "p"},
    };
    for (const auto &c : cases) {
        client.HostName = QString::fromLatin1(c.host);
        client.UserName = QString::fromLatin1(c.user);
        client.Password = QString::fromLatin1(c.password);
        client.Connect();
        EXPECT_NE(client.ResultCode(), 0) << c.host;
        EXPECT_FALSE(client.ErrorText().isEmpty());
        client.SetCurrentMsg(1);
        EXPECT_NE(client.ResultCode(), 0);
    }
}

} // namespace
