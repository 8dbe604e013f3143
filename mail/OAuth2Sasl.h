#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <optional>

// The SASL mechanisms that carry an OAuth 2.0 access token instead of a
// password: OAUTHBEARER (RFC 7628) and XOAUTH2, the older form Google and
// Microsoft defined (Microsoft offers only this one).
enum class TokenMechanism { OAuthBearer, XOAuth2 };

// OAUTHBEARER when the server's SASL line offers it, else XOAUTH2, else none.
std::optional<TokenMechanism> chooseTokenMechanism(const QStringList &saslMechanisms);
QByteArray mechanismName(TokenMechanism mechanism);
// "OAUTHBEARER" or "XOAUTH2", any case.
std::optional<TokenMechanism> tokenMechanismNamed(const QString &name);

// The client's first response, before base64.
QByteArray tokenResponse(TokenMechanism mechanism, const QString &user, const QString &host, quint16 port,
                         const QString &accessToken);

// What the client answers, already base64, to a server's error challenge so
// that the server sends its final -ERR: an empty line for XOAUTH2, a single
// 0x01 for OAUTHBEARER.
QByteArray errorChallengeAnswer(TokenMechanism mechanism);

// The error a server sends as a challenge ("+ " and base64 JSON) when it
// refuses a token: {"status":"invalid_token","scope":"..."} (OAUTHBEARER) or
// {"status":"401","schemes":"Bearer","scope":"..."} (XOAUTH2).
struct TokenRefusal
{
    QString status;
    QString scope;
    bool readable = false;   // the challenge was base64 JSON with a status
};
TokenRefusal parseTokenRefusal(QByteArrayView base64Challenge);
// The refusal in words for a message box: never the token, only what the server said.
QString describeTokenRefusal(const TokenRefusal &refusal);
