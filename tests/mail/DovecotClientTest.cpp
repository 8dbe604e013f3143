#include "mail/Pop3Client.h"
#include "tests/support/TestServers.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
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
    // Dovecot offers SASL PLAIN, and AUTH PLAIN is used.
    EXPECT_EQ(client.StatusText(), QStringLiteral("Connected to localhost as alice (TLS, AUTH PLAIN)"));
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
        EXPECT_TRUE(client.StatusText().contains(QStringLiteral("(TLS, AUTH PLAIN)")));
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
    const qsizetype logStart = f.log().size();
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
    for (const QString &line : f.log().mid(logStart).split(u'\n'))
        for (const char *address : {"127.0.0.2", "127.0.0.3", "127.0.0.4"})
            if (line.contains(QStringLiteral("lip=%1,").arg(QLatin1String(address)))) {
                EXPECT_FALSE(line.contains(QStringLiteral("Login:")) || line.contains(QStringLiteral("auth failed")))
                    << qPrintable(line);
            }
}

// An unverified certificate is the user's decision, asked before any part of
// the log-in is sent, and a remembered one is known by its exact fingerprint.
TEST(Dovecot, UnverifiedCertificateIsTheUsersDecision)
{
    const auto &f = DovecotFixture::get();
    QTemporaryDir config;
    const QString pins = config.filePath(QStringLiteral("certificates.txt"));
    QList<CertificateQuestion> asked;
    CertificateAnswer answer = CertificateAnswer::Cancel;
    Pop3Client client;
    auto pinned = [&] {
        QFile file(pins);
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    };
    auto logIn = [&](const QString &host) {
        client.certificateTrust() = CertificateTrust();  // a new start of the program
        client.certificateTrust().useFile(pins);
        client.certificateJudge = [&](const CertificateQuestion &q) { asked << q; return answer; };
        connected(client, host, QStringLiteral("alice"), f.password);
        if (client.ResultCode() == 0)
            client.Disconnect();
    };
    auto logIns = [&](const char *address) {
        return int(f.log().split(u'\n').filter(QStringLiteral("Login: user=<alice>")).filter(QLatin1String(address)).size());
    };
    const struct { const char *address; QString host; const char *reason; } servers[] = {
        {"127.0.0.3", QStringLiteral("127.0.0.3:%1").arg(f.pop3Port), "signed its certificate itself"},  // STLS
        {"127.0.0.2", QStringLiteral("pop3s://127.0.0.2:%1").arg(f.pop3sPort), "made out for localhost"},
    };
    for (const auto &s : servers) {
        asked.clear();
        const int before = logIns(s.address);
        answer = CertificateAnswer::Cancel;
        logIn(s.host);
        ASSERT_EQ(asked.size(), 1) << s.address;
        EXPECT_TRUE(asked[0].reasons.join(u' ').contains(QLatin1String(s.reason))) << qPrintable(asked[0].reasons.join(u' '));
        EXPECT_EQ(asked[0].fingerprint.size(), 32 * 3 - 1);
        EXPECT_TRUE(asked[0].storedFingerprint.isEmpty());
        EXPECT_NE(client.ResultCode(), 0);
        EXPECT_EQ(logIns(s.address), before) << "nothing of the log-in before the answer";

        answer = CertificateAnswer::OnlyThisTime;
        logIn(s.host);
        EXPECT_EQ(client.ResultCode(), 0) << qPrintable(client.ErrorText());
        EXPECT_FALSE(pinned().contains(asked[0].fingerprint)) << "only this time: nothing written";

        answer = CertificateAnswer::Trust;
        logIn(s.host);
        EXPECT_EQ(client.ResultCode(), 0);
        answer = CertificateAnswer::Cancel;
        logIn(s.host);  // remembered: no question
        EXPECT_EQ(client.ResultCode(), 0);
        EXPECT_EQ(asked.size(), 3) << s.address;
        EXPECT_EQ(logIns(s.address), before + 3);
    }

    // Another certificate for a remembered server: refused loudly, both fingerprints named.
    QFile file(pins);
    const QByteArray text = pinned();
    const QByteArray real = asked[0].fingerprint;
    ASSERT_TRUE(text.contains(real));
    const QByteArray other = QByteArray(real).replace(0, 2, real.startsWith("AA") ? "BB" : "AA");
    auto writePins = [&](const QByteArray &bytes) {
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        file.close();
    };
    writePins(QByteArray(text).replace(real, other));
    asked.clear();
    logIn(servers[1].host);
    ASSERT_EQ(asked.size(), 1);
    EXPECT_EQ(asked[0].storedFingerprint, other);
    EXPECT_TRUE(client.ErrorText().contains(QStringLiteral("CHANGED")) && client.ErrorText().contains(QString::fromLatin1(other)) &&
                client.ErrorText().contains(QString::fromLatin1(real)))
        << qPrintable(client.ErrorText());

    // A damaged file is reported once and trusts nothing.
    writePins(text + "127.0.0.3:110 trust-everything\n");
    asked.clear();
    logIn(servers[0].host);
    EXPECT_EQ(asked.size(), 1);
    EXPECT_NE(client.ResultCode(), 0);
    EXPECT_TRUE(client.certificateTrust().takeReport().contains(QStringLiteral("damaged")));
    EXPECT_TRUE(client.certificateTrust().takeReport().isEmpty());
}

// AUTH PLAIN when the server offers it (Dovecot does), USER/PASS when not.
TEST(Dovecot, LogInMethodFollowsTheServersOffer)
{
    const auto &f = DovecotFixture::get();
    Pop3Client client;
    connected(client, f.host(), QStringLiteral("alice"), f.password);
    ASSERT_EQ(client.ResultCode(), 0) << qPrintable(client.ErrorText());
    EXPECT_EQ(client.LoginMethod(), QStringLiteral("AUTH PLAIN"));
    client.Disconnect();
    connected(client, f.host(), QStringLiteral("alice"), QStringLiteral("wrong"));
    EXPECT_TRUE(client.ErrorText().startsWith(QStringLiteral("The server refused the log-in with AUTH PLAIN. The server "
                                                             "refused the user name or password.")))
        << qPrintable(client.ErrorText());
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
