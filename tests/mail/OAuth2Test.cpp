#include "mail/OAuth2Presets.h"
#include "mail/OAuth2Sasl.h"
#include "mail/OAuth2Tokens.h"
#include "mail/Pop3ReplyReader.h"

#include "tests/support/QtPrinting.h"

#include <gtest/gtest.h>

namespace {

TEST(OAuth2Sasl, ResponsesAsTheMechanismsDefineThem)
{
    // RFC 7628 section 3.1 and Google's XOAUTH2 description.
    EXPECT_EQ(tokenResponse(TokenMechanism::OAuthBearer, QStringLiteral("user@example.com"), QStringLiteral("server.example.com"),
                            995, QStringLiteral("vF9dft4qmTc2Nvb3RlckBhbHRhdmlzdGEuY29tCg==")),
              QByteArray("n,a=user@example.com,\x01host=server.example.com\x01port=995\x01"
                         "auth=Bearer vF9dft4qmTc2Nvb3RlckBhbHRhdmlzdGEuY29tCg==\x01\x01"));
    EXPECT_EQ(tokenResponse(TokenMechanism::OAuthBearer, QStringLiteral("a,b=c"), QStringLiteral("h"), 1, QStringLiteral("t")),
              QByteArray("n,a=a=2Cb=3Dc,\x01host=h\x01port=1\x01" "auth=Bearer t\x01\x01"));
    EXPECT_EQ(tokenResponse(TokenMechanism::XOAuth2, QStringLiteral("someuser@example.com"), QStringLiteral("h"), 1,
                            QStringLiteral("ya29.vF9dft4qmTc2Nvb3RlckBhdHRhdmlzdGEuY29tCg")),
              QByteArray("user=someuser@example.com\x01" "auth=Bearer ya29.vF9dft4qmTc2Nvb3RlckBhdHRhdmlzdGEuY29tCg\x01\x01"));
    EXPECT_EQ(errorChallengeAnswer(TokenMechanism::OAuthBearer), QByteArray("AQ=="));
    EXPECT_EQ(errorChallengeAnswer(TokenMechanism::XOAuth2), QByteArray());
    EXPECT_EQ(chooseTokenMechanism({QStringLiteral("PLAIN"), QStringLiteral("XOAUTH2"), QStringLiteral("OAUTHBEARER")}),
              TokenMechanism::OAuthBearer);
    EXPECT_EQ(chooseTokenMechanism({QStringLiteral("XOAUTH2")}), TokenMechanism::XOAuth2);
    EXPECT_FALSE(chooseTokenMechanism({QStringLiteral("PLAIN"), QStringLiteral("LOGIN")}));
}

TEST(OAuth2Sasl, RefusalChallengesInWords)
{
    const struct { QByteArray json; bool base64; const char *words; } cases[] = {
        {R"({"status":"401","schemes":"Bearer","scope":"https://mail.google.com/"})", true,
         "The server refused the access token (status 401; it needs the scope https://mail.google.com/)."},
        {R"({"status":"invalid_token","scope":"mail"})", true, "The server refused the access token (status invalid_token; it needs the scope mail)."},
        {R"({"status":400})", true, "The server refused the access token (status 400)."},
        {"{\"status\":\"bad\\r\\nSubject: x\"}", true, "The server refused the access token (status bad  Subject: x)."},
        {R"({"scope":"mail"})", true, "The server refused the access token without saying why."},
        {"[1,2]", true, "The server refused the access token without saying why."},
        {"not base64 at all!", false, "The server refused the access token without saying why."},
        {"", false, "The server refused the access token without saying why."},
    };
    for (const auto &c : cases)
        EXPECT_EQ(describeTokenRefusal(parseTokenRefusal(c.base64 ? c.json.toBase64() : c.json)), QLatin1String(c.words))
            << c.json.constData();
}

TEST(OAuth2Sasl, ContinuationOnlyWhereAnAuthStepAwaitsIt)
{
    Pop3ReplyReader reader;
    reader.expect(false, 0, true);
    reader.expect(false, 0, true);
    reader.feed(QByteArray("+ eyJzdGF0dXMiOiI0MDEifQ==\r\n+\r\n"));
    ASSERT_TRUE(reader.hasReply());
    Pop3Reply reply = reader.takeReply();
    EXPECT_TRUE(reply.continuation);
    EXPECT_FALSE(reply.ok);
    EXPECT_EQ(reply.status, "eyJzdGF0dXMiOiI0MDEifQ==");
    EXPECT_TRUE(reader.takeReply().continuation);
    // Anywhere else a "+ " is a reply out of step.
    reader.expect(false, 0);
    reader.feed(QByteArray("+ hello\r\n"));
    EXPECT_TRUE(reader.outOfStep());
    EXPECT_FALSE(reader.takeReply().continuation);
}

TEST(OAuth2Tokens, TokenEndpointAnswers)
{
    using O = TokenReply::Outcome;
    const struct { int status; QByteArray body; O outcome; const char *access; const char *refresh; qint64 expires; } cases[] = {
        {200, R"({"access_token":"ya29.a","token_type":"Bearer","expires_in":3599,"refresh_token":"1//new"})", O::Granted, "ya29.a", "1//new", 3599},
        {200, R"({"access_token":"ya29.a","expires_in":"3600"})", O::Granted, "ya29.a", "", 3600},
        {200, R"({"access_token":"ya29.a"})", O::Granted, "ya29.a", "", 0},
        {400, R"({"error":"invalid_grant","error_description":"Token has been expired or revoked."})", O::Refused, "", "", 0},
        {401, R"({"error":"invalid_client"})", O::Rejected, "", "", 0},
        {400, R"({"error":"invalid_scope"})", O::Rejected, "", "", 0},
        {503, "<html>Service Unavailable</html>", O::Temporary, "", "", 0},
        {400, R"({"error":"temporarily_unavailable"})", O::Temporary, "", "", 0},
        {200, "not json", O::Temporary, "", "", 0},
        {200, R"({"access_token":"a\r\nDELE 1"})", O::Rejected, "", "", 0},
        {200, R"({"access_token":"ok","refresh_token":"bad token"})", O::Rejected, "", "", 0},
        {0, "", O::Temporary, "", "", 0},
    };
    for (const auto &c : cases) {
        const TokenReply reply = parseTokenReply(c.status, c.body);
        EXPECT_EQ(reply.outcome, c.outcome) << c.body.constData();
        EXPECT_EQ(reply.accessToken, QLatin1String(c.access)) << c.body.constData();
        EXPECT_EQ(reply.refreshToken, QLatin1String(c.refresh)) << c.body.constData();
        EXPECT_EQ(reply.expiresIn, c.expires) << c.body.constData();
    }
    EXPECT_EQ(parseTokenReply(400, R"({"error":"invalid_grant","error_description":"gone\r\nnow"})").description,
              QStringLiteral("gone  now"));
}

// What a user cannot be expected to know about the two big providers.
TEST(OAuth2Presets, ProvidersAsTheyRunPop)
{
    OAuth2Account google;
    google.kind = OAuth2Account::Kind::Google;
    google.clientId = QStringLiteral("id");
    EXPECT_EQ(google.defaultHost(), QStringLiteral("pop.gmail.com:995"));
    EXPECT_EQ(google.provider().scope, QStringLiteral("https://mail.google.com/"));
    EXPECT_TRUE(google.provider().authorizationExtras.contains(std::pair{QStringLiteral("access_type"), QStringLiteral("offline")}));
    EXPECT_FALSE(google.deviceGrantAllowed());
    EXPECT_FALSE(google.mechanism());
    EXPECT_EQ(google.redirectHost(), QStringLiteral("127.0.0.1"));

    OAuth2Account microsoft;
    microsoft.kind = OAuth2Account::Kind::Microsoft;
    microsoft.clientId = QStringLiteral("id");
    microsoft.tenant = QStringLiteral("consumers");
    EXPECT_EQ(microsoft.defaultHost(), QStringLiteral("outlook.office365.com:995"));
    EXPECT_EQ(microsoft.provider().tokenUrl, QUrl(QStringLiteral("https://login.microsoftonline.com/consumers/oauth2/v2.0/token")));
    EXPECT_EQ(microsoft.provider().scope, QStringLiteral("https://outlook.office.com/POP.AccessAsUser.All offline_access"));
    EXPECT_TRUE(microsoft.deviceGrantAllowed());
    EXPECT_EQ(microsoft.mechanism(), TokenMechanism::XOAuth2);
    EXPECT_EQ(microsoft.redirectHost(), QStringLiteral("localhost"));

    OAuth2Account custom;
    EXPECT_FALSE(custom.problem().isEmpty());  // no client id
    custom.clientId = QStringLiteral("id");
    EXPECT_FALSE(custom.problem().isEmpty());  // no addresses
    custom.authorizationUrl = QUrl(QStringLiteral("https://auth.example/authorize"));
    custom.tokenUrl = QUrl(QStringLiteral("file:///etc/passwd"));
    custom.scope = QStringLiteral("pop");
    EXPECT_FALSE(custom.problem().isEmpty());  // not a web address
    custom.tokenUrl = QUrl(QStringLiteral("https://auth.example/token"));
    EXPECT_EQ(custom.problem(), QString());
    EXPECT_EQ(OAuth2Account::kindNamed(QStringLiteral("Microsoft")), OAuth2Account::Kind::Microsoft);
    EXPECT_FALSE(OAuth2Account::kindNamed(QStringLiteral("yahoo")));
}

} // namespace
