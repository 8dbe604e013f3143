#include "mail/OAuth2Tokens.h"
#include "mail/Pop3Client.h"
#include "tests/support/TestServers.h"

#include <gtest/gtest.h>

namespace {

// An account signed in with the test authorisation server: its refresh
// token in a stand-in for the secret store, its access token in a keeper.
struct SignedIn
{
    explicit SignedIn(const QString &user, const QString &issue = QString())
        : f(DovecotFixture::get()),
          refreshToken(f.oauthAdmin(QStringLiteral("issue?user=%1%2").arg(user, issue)).value(QStringLiteral("refresh_token")).toString()),
          keeper(OAuth2Provider{QStringLiteral("Test provider"), {}, QUrl(f.oauthUrl(QStringLiteral("/token"))), {},
                                QStringLiteral("mail"), QStringLiteral("purgelet-test"), {}},
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

} // namespace
