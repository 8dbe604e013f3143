#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QUrl>

#include <functional>

// Where an account gets its OAuth 2.0 tokens. The client id (and, for
// providers that issue one to desktop programs, the secret) is the user's
// own registration: nothing of it is built into the program.
struct OAuth2Provider
{
    QString name;            // for messages: "Google", "Microsoft", or the user's
    QUrl authorizationUrl;
    QUrl tokenUrl;
    QUrl deviceUrl;          // empty: the provider has no device authorisation
    QString scope;
    QString clientId;
    QString clientSecret;
    // More for the authorisation address: Google hands out a refresh token
    // only when asked for offline access.
    QList<std::pair<QString, QString>> authorizationExtras;
};

// A token endpoint's answer (RFC 6749 section 5), read without trusting it.
struct TokenReply
{
    enum class Outcome {
        Granted,     // an access token, perhaps a new refresh token
        Refused,     // invalid_grant: the refresh token or code is no longer good
        Rejected,    // the request itself was refused (client id, scope, ...)
        Temporary,   // the server could not answer now; the refresh token stands
    };
    Outcome outcome = Outcome::Temporary;
    QString accessToken;
    QString refreshToken;    // empty: the old one stays
    qint64 expiresIn = 0;    // seconds; 0 when the server did not say
    QString error;           // the error code, e.g. "invalid_grant"
    QString description;     // the server's words, cleaned for display
};
TokenReply parseTokenReply(int httpStatus, const QByteArray &body);

// Posts a form and reads the answer (at most 1 MB), the window staying live
// meanwhile. Status 0: the server was not reached, networkError says why.
struct FormAnswer
{
    int status = 0;
    QByteArray body;
    QString networkError;
};
FormAnswer postForm(const QUrl &url, const QList<std::pair<QString, QString>> &form, int timeoutSeconds);

// Posts a form to a token endpoint and reads its answer, the window staying
// live meanwhile. A failure to reach the server counts as Temporary.
TokenReply postTokenRequest(const QUrl &url, const QList<std::pair<QString, QString>> &form, int timeoutSeconds);

// An access token to log in with, or none and the reason in words.
struct AccessTokenAnswer
{
    QString token;
    QString error;
};

// Keeps an account's access token in memory and gets a new one with the
// refresh token when the old one is refused or has less than five minutes
// left. The refresh token itself lives in the secret store: it is read and
// written through the functions given, and never kept anywhere else.
class AccessTokenKeeper
{
public:
    struct Store
    {
        std::function<QString()> load;
        std::function<void(const QString &)> save;   // an empty token: forget it
    };
    AccessTokenKeeper(OAuth2Provider provider, Store store);

    // lastRefused: the server refused the token given before.
    AccessTokenAnswer accessToken(bool lastRefused);
    // Forgets the access token; the refresh token stays in the store.
    void dropAccessToken();
    void setClock(std::function<QDateTime()> now) { m_now = std::move(now); }
    int timeoutSeconds = 20;

private:
    OAuth2Provider m_provider;
    Store m_store;
    QString m_accessToken;
    QDateTime m_expires;
    std::function<QDateTime()> m_now = [] { return QDateTime::currentDateTimeUtc(); };
};
