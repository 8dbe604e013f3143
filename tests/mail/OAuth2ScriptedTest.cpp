#include "tests/support/ScriptedSession.h"

#include <QFileInfo>
#include <QSslCertificate>
#include <QSslConfiguration>
#include <gtest/gtest.h>

namespace {

void trustScriptedServerCertificate()
{
    const QString dir = QFileInfo(qEnvironmentVariable("PURGELET_SCRIPTED_SERVER")).absolutePath();
    QSslConfiguration config = QSslConfiguration::defaultConfiguration();
    config.addCaCertificates(QSslCertificate::fromPath(dir + QStringLiteral("/scripted-tls/cert.pem")));
    QSslConfiguration::setDefaultConfiguration(config);
}

// A server that runs XOAUTH2 as Microsoft does: the only token mechanism it
// offers, and an AUTH line over 255 octets is refused, so a token of
// Microsoft's size must wait for "+ ". A refused token gets one more try with
// a fresh one, and the box says what the server said.
TEST(OAuth2Scripted, MicrosoftLikeXoauth2BothFormsAndOneRetry)
{
    trustScriptedServerCertificate();
    const QString shortToken = QStringLiteral("EwA.short");
    const QString longToken = QStringLiteral("EwB") + QString(1600, u'x');
    const struct { QString serverToken; QStringList given; int result; int auths; int challenges; const char *words; QStringList more; } cases[] = {
        {shortToken, {shortToken}, 0, 1, 0, "", {}},
        {longToken, {longToken}, 0, 1, 0, "", {}},
        {longToken, {QStringLiteral("stale"), longToken}, 0, 2, 1, "", {}},
        {longToken, {QStringLiteral("stale"), QStringLiteral("also-stale")}, 1, 2, 2,
         "refused the access token (status 401; it needs the scope https://outlook.office.com/POP.AccessAsUser.All)", {}},
        // AUTH itself refused: the token never went out, so no second one is fetched.
        {longToken, {longToken}, 1, 1, 0, "refused the log-in with XOAUTH2", {QStringLiteral("--refuse-auth")}},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.given.join(u' ').left(40).toStdString() << c.more.join(u' ').toStdString());
        ScriptedSession s(QStringList{QStringLiteral("--tls"), QStringLiteral("--xoauth2-token"), c.serverToken} + c.more);
        s.client.HostName = QStringLiteral("pop3s://127.0.0.1:%1").arg(s.server.port());
        s.client.UserName = QStringLiteral("someone@contoso.example");
        s.client.Method = Pop3Client::LogInMethod::OAuth2;
        QList<bool> refusedFlags;
        s.client.accessToken = [&](bool lastRefused) {
            refusedFlags << lastRefused;
            return AccessTokenAnswer{c.given.value(refusedFlags.size() - 1), {}};
        };
        s.client.Connect();
        EXPECT_EQ(s.client.ResultCode(), c.result) << qPrintable(s.client.ErrorText());
        EXPECT_TRUE(s.client.ErrorText().contains(QLatin1String(c.words))) << qPrintable(s.client.ErrorText());
        EXPECT_EQ(refusedFlags, (c.given.size() == 1 ? QList<bool>{false} : QList<bool>{false, true}));
        const QStringList auths = s.server.commands().filter(QStringLiteral("AUTH "));
        ASSERT_EQ(auths.size(), c.auths);
        for (const QString &line : auths)
            EXPECT_LE(line.size() + 2, 255);
        // XOAUTH2's error challenge is answered with an empty line, once per refusal.
        EXPECT_EQ(s.server.commands().count(QString()), c.challenges);
        if (c.result == 0) {
            EXPECT_EQ(s.client.StatusText(), QStringLiteral("Connected to 127.0.0.1 as someone@contoso.example (TLS, XOAUTH2)"));
            EXPECT_EQ(s.readAll().size(), 5);
        }
        for (const QString &token : c.given)
            EXPECT_FALSE(s.client.ErrorText().contains(token) || s.client.StatusText().contains(token));
        s.client.Disconnect();
    }
}

// No token leaves the program over a connection without TLS, and a server
// without a token mechanism is named as such before any token is asked for.
TEST(OAuth2Scripted, NoTokenWithoutTlsOrMechanism)
{
    trustScriptedServerCertificate();
    const struct { QStringList options; bool tls; const char *words; } cases[] = {
        {{QStringLiteral("--xoauth2-token"), QStringLiteral("t")}, false, "needs an encrypted connection"},
        {{QStringLiteral("--tls"), QStringLiteral("--sasl-plain")}, true, "does not offer OAuth2 log-in (SASL OAUTHBEARER or XOAUTH2); it offers PLAIN"},
    };
    for (const auto &c : cases) {
        ScriptedSession s(c.options);
        if (c.tls)
            s.client.HostName = QStringLiteral("pop3s://127.0.0.1:%1").arg(s.server.port());
        s.client.Method = Pop3Client::LogInMethod::OAuth2;
        int asked = 0;
        s.client.accessToken = [&](bool) { ++asked; return AccessTokenAnswer{QStringLiteral("t"), {}}; };
        s.client.Connect();
        EXPECT_NE(s.client.ResultCode(), 0);
        EXPECT_TRUE(s.client.ErrorText().contains(QLatin1String(c.words))) << qPrintable(s.client.ErrorText());
        EXPECT_EQ(asked, 0);
        EXPECT_TRUE(s.server.commands().filter(QStringLiteral("AUTH")).isEmpty());
        EXPECT_TRUE(s.server.commands().filter(QStringLiteral("PASS")).isEmpty());
    }
}

} // namespace
