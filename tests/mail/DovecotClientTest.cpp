#include "mail/Pop3Client.h"
#include "tests/support/TestServers.h"

#include <QDir>
#include <QRegularExpression>
#include <QTcpServer>
#include <gtest/gtest.h>

namespace {

Pop3Client *connected(Pop3Client &client, const QString &host, const QString &user, const QString &password)
{
    client.HostName = host;
    client.UserName = user;
    client.Password = password;
    client.Connect();
    return &client;
}

TEST(Dovecot, StlsIsUsedWhenOffered)
{
    const auto &f = DovecotFixture::get();
    Pop3Client client;
    connected(client, QStringLiteral("localhost:%1").arg(f.pop3Port), QStringLiteral("alice"), f.password);
    ASSERT_EQ(client.ResultCode(), 0) << qPrintable(client.ErrorText());
    EXPECT_TRUE(client.StatusText().contains(QStringLiteral("(TLS)"))) << qPrintable(client.StatusText());
    EXPECT_EQ(client.MsgCount(), 14);
    client.Disconnect();
    EXPECT_EQ(client.ResultCode(), 0);
}

TEST(Dovecot, ImplicitTls)
{
    const auto &f = DovecotFixture::get();
    Pop3Client client;
    for (const QString &host : {QStringLiteral("pop3s://localhost:%1").arg(f.pop3sPort)}) {
        connected(client, host, QStringLiteral("alice"), f.password);
        ASSERT_EQ(client.ResultCode(), 0) << qPrintable(client.ErrorText());
        EXPECT_TRUE(client.StatusText().contains(QStringLiteral("(TLS)")));
        client.SetCurrentMsg(1);
        EXPECT_EQ(client.MsgSubject(), QStringLiteral("Minutes of Monday's team meeting"));
        client.Disconnect();
    }
}

// Refused certificates, on the implicit-TLS port and through STLS: a failed
// log-in that names the reason, and the password never leaves the program
// (Dovecot logs every session that tried to authenticate).
TEST(Dovecot, BadCertificatesAreRefusedAndThePasswordStaysHome)
{
    const auto &f = DovecotFixture::get();
    const struct { const char *address; const char *reason; } cases[] = {
        {"127.0.0.2", "host name"},      // a good certificate, for another name
        {"127.0.0.3", "self-signed"},    // not signed by anyone we trust
        {"127.0.0.4", "expired"},        // signed by the trusted CA, expired in 2020
    };
    for (const auto &c : cases) {
        for (const bool implicitTls : {true, false}) {
            const QString host = implicitTls ? QStringLiteral("pop3s://%1:%2").arg(QLatin1String(c.address)).arg(f.pop3sPort)
                                             : QStringLiteral("%1:%2").arg(QLatin1String(c.address)).arg(f.pop3Port);
            Pop3Client client;
            connected(client, host, QStringLiteral("alice"), f.password);
            EXPECT_NE(client.ResultCode(), 0) << qPrintable(host);
            EXPECT_TRUE(client.ErrorText().contains(QStringLiteral("certificate was refused"))) << qPrintable(client.ErrorText());
            EXPECT_TRUE(client.ErrorText().contains(QLatin1String(c.reason), Qt::CaseInsensitive)) << qPrintable(client.ErrorText());
            if (!implicitTls) {
                EXPECT_TRUE(client.ErrorText().contains(QStringLiteral("password was not sent"))) << qPrintable(client.ErrorText());
            }
            EXPECT_FALSE(client.ErrorText().contains(f.password));
            EXPECT_TRUE(client.StatusText().startsWith(QStringLiteral("Not connected")));
        }
    }
    // Not one of those sessions reached the log-in.
    for (const QString &line : f.log().split(u'\n'))
        for (const char *address : {"127.0.0.2", "127.0.0.3", "127.0.0.4"})
            if (line.contains(QStringLiteral("lip=%1,").arg(QLatin1String(address)))) {
                EXPECT_FALSE(line.contains(QStringLiteral("Login:")) || line.contains(QStringLiteral("auth failed")))
                    << qPrintable(line);
            }
}

TEST(Dovecot, HeadersOfTheSampleMailbox)
{
    const auto &f = DovecotFixture::get();
    Pop3Client client;
    connected(client, f.host(), QStringLiteral("alice"), f.password);
    ASSERT_EQ(client.ResultCode(), 0) << qPrintable(client.ErrorText());
    const struct { int n; const char *from; const char *subject; } expected[] = {
        {3, "Billing <billing@hosting.example>", "Invoice #4711 for November"},
        {4, "Jürgen Müller <juergen@example.de>", "Grüße aus Köln"},
        {5, "International Lottery <winner@lottery-intl.example>", "🎉 You have WON $1,000,000!"},
        {8, "Support Desk <support@tracker.example>", "Ticket ##2211 updated: printer on floor 3"},
        {10, "Dave Jones <dave.jones@example.com>",
         "Re: Plans for the weekend, and a very long subject line that was folded by the sender's mail program"},
        {11, "Продвижение бизнеса <promo@biz-offers.example>", "Ваш бизнес на вершине"},
        {14, "eve@example.org", ""},
    };
    for (const auto &e : expected) {
        client.SetCurrentMsg(e.n);
        ASSERT_EQ(client.ResultCode(), 0) << e.n << qPrintable(client.ErrorText());
        EXPECT_EQ(client.MsgFrom(), QString::fromUtf8(e.from)) << e.n;
        EXPECT_EQ(client.MsgSubject(), QString::fromUtf8(e.subject)) << e.n;
        EXPECT_FALSE(client.MsgExtraA().isEmpty());
        EXPECT_FALSE(client.MsgDate().isEmpty());
    }
    client.SetCurrentMsg(9);
    EXPECT_GT(client.MsgSize().toLongLong(), 1'000'000);
    client.SetCurrentMsg(15);
    EXPECT_NE(client.ResultCode(), 0);
    client.Disconnect();
}

TEST(Dovecot, WrongPasswordRefusedPortEmptyMailbox)
{
    const auto &f = DovecotFixture::get();
    Pop3Client client;
    connected(client, f.host(), QStringLiteral("alice"), QStringLiteral("not-the-password"));
    EXPECT_NE(client.ResultCode(), 0);
    EXPECT_TRUE(client.ErrorText().contains(QStringLiteral("user name or password"))) << qPrintable(client.ErrorText());
    EXPECT_FALSE(client.ErrorText().contains(QStringLiteral("not-the-password")));

    QTcpServer closed;
    ASSERT_TRUE(closed.listen(QHostAddress::LocalHost));
    const quint16 unused = closed.serverPort();
    closed.close();
    connected(client, QStringLiteral("127.0.0.1:%1").arg(unused), QStringLiteral("alice"), f.password);
    EXPECT_NE(client.ResultCode(), 0);
    EXPECT_TRUE(client.ErrorText().contains(QStringLiteral("refused the connection"))) << qPrintable(client.ErrorText());

    connected(client, f.host(), QStringLiteral("empty"), f.password);
    EXPECT_EQ(client.ResultCode(), 0) << qPrintable(client.ErrorText());
    EXPECT_EQ(client.MsgCount(), 0);
}

TEST(Dovecot, ManyMessagesAndTopOnly)
{
    const auto &f = DovecotFixture::get();
    Pop3Client client;
    connected(client, f.host(), QStringLiteral("many"), f.password);
    ASSERT_EQ(client.ResultCode(), 0) << qPrintable(client.ErrorText());
    ASSERT_EQ(client.MsgCount(), 600);
    QStringList uids;
    for (qsizetype i = 1; i <= client.MsgCount(); ++i) {
        client.SetCurrentMsg(i);
        ASSERT_EQ(client.ResultCode(), 0) << i << qPrintable(client.ErrorText());
        ASSERT_TRUE(client.MsgSubject().endsWith(QStringLiteral(" %1").arg(i))) << qPrintable(client.MsgSubject());
        uids << client.MsgExtraA();
    }
    uids.removeDuplicates();
    EXPECT_EQ(uids.size(), 600);
    client.Disconnect();
    ASSERT_EQ(client.ResultCode(), 0);

    // Dovecot's own account of the session: every message read by TOP, none by RETR.
    const QString logout = f.sessionEnds(QStringLiteral("many"), 1).value(0);
    EXPECT_TRUE(logout.contains(QStringLiteral("top=600/"))) << qPrintable(logout);
    EXPECT_TRUE(logout.contains(QStringLiteral("retr=0/0"))) << qPrintable(logout);
    EXPECT_TRUE(logout.contains(QStringLiteral("del=0/600"))) << qPrintable(logout);
}

} // namespace
