#include "mail/OAuth2SignIn.h"
#include "mail/OAuth2Tokens.h"
#include "mail/Pop3Client.h"
#include "tests/support/TestServers.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTcpSocket>
#include <QUrlQuery>
#include <gtest/gtest.h>

namespace {

OAuth2Provider testProvider()
{
    const auto &f = DovecotFixture::get();
    return {QStringLiteral("Test provider"), QUrl(f.oauthUrl(QStringLiteral("/authorize"))),
            QUrl(f.oauthUrl(QStringLiteral("/token"))), QUrl(f.oauthUrl(QStringLiteral("/device"))),
            QStringLiteral("https://mail.example/ offline_access"), QStringLiteral("purgelet-test"), {}, {}};
}

// Lists the mailbox of whoever the tokens belong to, as the window would.
qsizetype listWithTokens(const QString &user, const TokenReply &tokens)
{
    QString refreshToken = tokens.refreshToken;
    AccessTokenKeeper keeper(testProvider(), {[&] { return refreshToken; }, [&](const QString &t) { refreshToken = t; }});
    Pop3Client client;
    client.HostName = QStringLiteral("localhost:%1").arg(DovecotFixture::get().pop3Port);
    client.UserName = user;
    client.Method = Pop3Client::LogInMethod::OAuth2;
    client.accessToken = [&](bool refused) { return keeper.accessToken(refused); };
    client.Connect();
    EXPECT_EQ(client.ResultCode(), 0) << qPrintable(client.ErrorText());
    const qsizetype count = client.MsgCount();
    client.Disconnect();
    return count;
}

// An account signed in with the test authorisation server: its refresh
// token in a stand-in for the secret store, its access token in a keeper.
struct SignedIn
{
    explicit SignedIn(const QString &user, const QString &issue = QString())
        : f(DovecotFixture::get()),
          refreshToken(f.oauthAdmin(QStringLiteral("issue?user=%1%2").arg(user, issue)).value(QStringLiteral("refresh_token")).toString()),
          keeper(testProvider(),
                 {[this] { return refreshToken; }, [this](const QString &t) { refreshToken = t; }})
    {
        client.HostName = QStringLiteral("localhost:%1").arg(f.pop3Port);
        client.UserName = user;
        client.Method = Pop3Client::LogInMethod::OAuth2;
        client.accessToken = [this](bool refused) {
            const AccessTokenAnswer answer = keeper.accessToken(refused);
            tokensGiven << answer.token;
            return answer;
        };
    }
    int refreshes() const
    {
        return f.oauthAdmin(QStringLiteral("log")).value(QStringLiteral("text")).toString().count(QStringLiteral("/token refresh_token"));
    }
    // Nothing the user is shown may hold a token.
    void expectNoTokenShown() const
    {
        for (const QString &token : tokensGiven)
            EXPECT_FALSE(!token.isEmpty() && (client.ErrorText().contains(token) || client.StatusText().contains(token)));
    }

    const DovecotFixture &f;
    QString refreshToken;
    AccessTokenKeeper keeper;
    Pop3Client client;
    QStringList tokensGiven;
};

// Both mechanisms, with a token short enough for the AUTH line and with one of
// Microsoft's size, which must wait for the server's "+ ". Then the token is
// withdrawn on the server: the refusal costs one refresh and one more log-in.
TEST(OAuth2Dovecot, BothMechanismsBothFormsAndARefusedTokenRenewedOnce)
{
    const struct { std::optional<TokenMechanism> wanted; const char *method; int tokenLength; } cases[] = {
        {std::nullopt, "OAUTHBEARER", 24},
        {std::nullopt, "OAUTHBEARER", 1500},
        {TokenMechanism::XOAuth2, "XOAUTH2", 24},
        {TokenMechanism::XOAuth2, "XOAUTH2", 1500},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(testing::Message() << c.method << " " << c.tokenLength);
        SignedIn account(QStringLiteral("alice"), QStringLiteral("&length=%1").arg(c.tokenLength));
        account.client.TokenMechanismWanted = c.wanted;
        const int before = account.refreshes();
        account.client.Connect();
        ASSERT_EQ(account.client.ResultCode(), 0) << qPrintable(account.client.ErrorText());
        EXPECT_EQ(account.client.LoginMethod(), QLatin1String(c.method));
        EXPECT_EQ(account.client.StatusText(), QStringLiteral("Connected to localhost as alice (TLS, %1)").arg(c.method));
        EXPECT_EQ(account.client.MsgCount(), 14);
        account.client.SetCurrentMsg(1);
        EXPECT_EQ(account.client.MsgSubject(), QStringLiteral("Minutes of Monday's team meeting"));
        account.client.Disconnect();
        EXPECT_EQ(account.refreshes(), before + 1);

        // The token still has an hour: the next session uses it as it is.
        account.client.Connect();
        ASSERT_EQ(account.client.ResultCode(), 0) << qPrintable(account.client.ErrorText());
        account.client.Disconnect();
        EXPECT_EQ(account.refreshes(), before + 1);

        account.f.oauthAdmin(QStringLiteral("expire?user=alice"));
        account.client.Connect();
        ASSERT_EQ(account.client.ResultCode(), 0) << qPrintable(account.client.ErrorText());
        EXPECT_EQ(account.refreshes(), before + 2);
        ASSERT_EQ(account.tokensGiven.size(), 4);
        EXPECT_EQ(account.tokensGiven[2], account.tokensGiven[0]);
        EXPECT_NE(account.tokensGiven[3], account.tokensGiven[2]);
        account.client.Disconnect();
        account.expectNoTokenShown();
    }
}

// What the user is told when the sign-in cannot be renewed, and what is kept:
// a withdrawn refresh token is forgotten (one box, one try), a server that is
// down keeps it for later.
TEST(OAuth2Dovecot, SignInThatCannotBeRenewedSaysWhyAndTriesOnce)
{
    const struct { const char *name; const char *admin; const char *words; bool refreshTokenKept; } cases[] = {
        {"refresh token withdrawn", "revoke?user=bob", "has expired or was withdrawn", false},
        {"authorisation server down", "down?seconds=6", "Try again later", true},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.name);
        SignedIn account(QStringLiteral("bob"));
        account.client.Connect();
        ASSERT_EQ(account.client.ResultCode(), 0) << qPrintable(account.client.ErrorText());
        account.client.Disconnect();
        const QString refreshToken = account.refreshToken;
        const int before = account.refreshes();
        account.f.oauthAdmin(QStringLiteral("expire?user=bob"));
        account.f.oauthAdmin(QString::fromLatin1(c.admin));

        account.client.Connect();
        EXPECT_NE(account.client.ResultCode(), 0);
        EXPECT_TRUE(account.client.ErrorText().contains(QLatin1String(c.words))) << qPrintable(account.client.ErrorText());
        EXPECT_EQ(account.client.StatusText(), QStringLiteral("Not connected to localhost"));
        EXPECT_EQ(account.refreshToken, c.refreshTokenKept ? refreshToken : QString());
        EXPECT_LE(account.refreshes(), before + 1);
        EXPECT_LE(account.tokensGiven.size(), 3);
        account.expectNoTokenShown();
    }
    DovecotFixture::get().oauthAdmin(QStringLiteral("up"));
}

// The access token is renewed when under five minutes are left or the server
// refused it, not on every log-in; a rotated refresh token replaces the old
// one in the store at once (the old one no longer works).
TEST(OAuth2Dovecot, AccessTokenRenewedOnlyWhenNeededAndRotationSaved)
{
    SignedIn account(QStringLiteral("alice"), QStringLiteral("&rotate=1&lifetime=3600"));
    QDateTime now = QDateTime::currentDateTimeUtc();
    account.keeper.setClock([&] { return now; });
    const QString first = account.refreshToken;
    const int before = account.refreshes();

    const QString token = account.keeper.accessToken(false).token;
    ASSERT_FALSE(token.isEmpty());
    EXPECT_NE(account.refreshToken, first);
    EXPECT_FALSE(account.refreshToken.isEmpty());
    now = now.addSecs(54 * 60);
    EXPECT_EQ(account.keeper.accessToken(false).token, token);
    EXPECT_EQ(account.refreshes(), before + 1);
    now = now.addSecs(2 * 60);  // four minutes left
    const QString renewed = account.keeper.accessToken(false).token;
    EXPECT_FALSE(renewed.isEmpty());
    EXPECT_NE(renewed, token);
    EXPECT_NE(account.keeper.accessToken(true).token, renewed);
    EXPECT_EQ(account.refreshes(), before + 3);
    // The refresh token rotated away is refused by the provider.
    account.refreshToken = first;
    const AccessTokenAnswer stale = account.keeper.accessToken(true);
    EXPECT_TRUE(stale.token.isEmpty());
    EXPECT_TRUE(stale.error.contains(QStringLiteral("Sign in again"))) << qPrintable(stale.error);
}

// The authorisation code grant as the user meets it: the browser (here a
// script that follows the provider's redirect) comes back to the loopback
// listener, which checks the state and tells it the page may be closed; the
// code and PKCE verifier become tokens, and the tokens a listing.
TEST(OAuth2Dovecot, BrowserSignInWithPkceToAListing)
{
    const auto &f = DovecotFixture::get();
    const struct { const char *redirectHost; bool forgedFirst; bool deny; const char *page; const char *error; } cases[] = {
        {"127.0.0.1", false, false, "You may close this page", ""},
        {"localhost", false, false, "You may close this page", ""},   // Microsoft's form of the address
        {"127.0.0.1", true, false, "You may close this page", ""},    // a forged answer first changes nothing
        {"127.0.0.1", false, true, "did not go through", "not allowed in the browser"},
    };
    for (const auto &c : cases) {
        SCOPED_TRACE(c.redirectHost + std::string(c.forgedFirst ? " forged" : "") + (c.deny ? " denied" : ""));
        f.oauthAdmin(QStringLiteral("browser?user=alice%1").arg(c.deny ? QStringLiteral("&deny=1") : QString()));
        BrowserSignIn signIn(testProvider(), QString::fromLatin1(c.redirectHost));
        QString error;
        const std::optional<QUrl> address = signIn.start(&error);
        ASSERT_TRUE(address) << qPrintable(error);
        const QUrlQuery asked(*address);
        EXPECT_EQ(asked.queryItemValue(QStringLiteral("code_challenge_method")), QStringLiteral("S256"));
        EXPECT_EQ(asked.queryItemValue(QStringLiteral("redirect_uri"), QUrl::FullyDecoded),
                  QStringLiteral("http://%1:%2/").arg(QLatin1String(c.redirectHost)).arg(signIn.redirectUri().port()));
        // The listener answers on 127.0.0.1 only.
        QTcpSocket elsewhere;
        elsewhere.connectToHost(QStringLiteral("127.0.0.2"), quint16(signIn.redirectUri().port()));
        EXPECT_FALSE(elsewhere.waitForConnected(1000));

        QNetworkAccessManager browser;
        QNetworkReply *forged = nullptr;
        if (c.forgedFirst)
            forged = browser.get(QNetworkRequest(QUrl(QStringLiteral("http://127.0.0.1:%1/?code=evil&state=guess")
                                                          .arg(signIn.redirectUri().port()))));
        QNetworkReply *page = browser.get(QNetworkRequest(*address));
        const TokenReply tokens = signIn.finish(30);
        if (!page->isFinished()) {
            QEventLoop loop;
            QObject::connect(page, &QNetworkReply::finished, &loop, &QEventLoop::quit);
            loop.exec();
        }
        EXPECT_TRUE(QString::fromUtf8(page->readAll()).contains(QLatin1String(c.page)));
        EXPECT_TRUE(!forged || forged->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt() == 400);
        if (*c.error) {
            EXPECT_NE(tokens.outcome, TokenReply::Outcome::Granted);
            EXPECT_TRUE(tokens.description.contains(QLatin1String(c.error))) << qPrintable(tokens.description);
            continue;
        }
        ASSERT_EQ(tokens.outcome, TokenReply::Outcome::Granted) << qPrintable(tokens.error + tokens.description);
        EXPECT_FALSE(tokens.refreshToken.isEmpty());
        EXPECT_EQ(listWithTokens(QStringLiteral("alice"), tokens), 14);
    }
    f.oauthAdmin(QStringLiteral("browser?user=alice"));
}

// The device grant for a terminal: the code to type, polls at the interval,
// five seconds more after slow_down, then the tokens and a listing; a refusal
// on the device page ends the polling with the reason.
TEST(OAuth2Dovecot, DeviceSignInPollsPolitelyToAListing)
{
    const auto &f = DovecotFixture::get();
    for (const bool deny : {false, true}) {
        const DeviceAuthorisation device = requestDeviceAuthorisation(testProvider());
        ASSERT_TRUE(device.error.isEmpty()) << qPrintable(device.error);
        EXPECT_EQ(device.userCode.size(), 9);
        EXPECT_EQ(device.verificationUri.path(), QStringLiteral("/activate"));
        QList<int> waits;
        const TokenReply tokens = pollDeviceToken(testProvider(), device, [&](int seconds) {
            waits << seconds;
            if (waits.size() == 3)  // the user types the code while the program waits
                f.oauthAdmin(QStringLiteral("approve?user_code=%1&user=alice%2").arg(device.userCode, deny ? QStringLiteral("&deny=1") : QString()));
        });
        EXPECT_EQ(waits, (QList<int>{1, 1, 6}));
        if (deny) {
            EXPECT_EQ(tokens.error, QStringLiteral("access_denied"));
            EXPECT_EQ(tokens.description, QStringLiteral("The sign-in was not allowed."));
            continue;
        }
        ASSERT_EQ(tokens.outcome, TokenReply::Outcome::Granted) << qPrintable(tokens.error + tokens.description);
        EXPECT_EQ(listWithTokens(QStringLiteral("alice"), tokens), 14);
    }
}

} // namespace
