#include "mail/OAuth2Sasl.h"

#include "messages/TextDecoding.h"

#include <QJsonDocument>
#include <QJsonObject>

std::optional<TokenMechanism> chooseTokenMechanism(const QStringList &saslMechanisms)
{
    if (saslMechanisms.contains(QStringLiteral("OAUTHBEARER"), Qt::CaseInsensitive))
        return TokenMechanism::OAuthBearer;
    if (saslMechanisms.contains(QStringLiteral("XOAUTH2"), Qt::CaseInsensitive))
        return TokenMechanism::XOAuth2;
    return std::nullopt;
}

QByteArray mechanismName(TokenMechanism mechanism)
{
    return mechanism == TokenMechanism::OAuthBearer ? QByteArrayLiteral("OAUTHBEARER") : QByteArrayLiteral("XOAUTH2");
}

std::optional<TokenMechanism> tokenMechanismNamed(const QString &name)
{
    for (const TokenMechanism mechanism : {TokenMechanism::OAuthBearer, TokenMechanism::XOAuth2})
        if (name.compare(QLatin1String(mechanismName(mechanism)), Qt::CaseInsensitive) == 0)
            return mechanism;
    return std::nullopt;
}

QByteArray tokenResponse(TokenMechanism mechanism, const QString &user, const QString &host, quint16 port,
                         const QString &accessToken)
{
    const QByteArray bearer = "auth=Bearer " + accessToken.toUtf8() + '\x01';
    if (mechanism == TokenMechanism::XOAuth2)
        return "user=" + user.toUtf8() + '\x01' + bearer + '\x01';
    // RFC 7628: a GS2 header naming the user ("," and "=" escaped as RFC 5801
    // has it), then key=value pairs each ended by 0x01, and a final 0x01.
    QByteArray authzid = user.toUtf8();
    authzid.replace("=", "=3D").replace(",", "=2C");
    return "n,a=" + authzid + ",\x01" + "host=" + host.toUtf8() + '\x01' + "port=" + QByteArray::number(port) + '\x01'
           + bearer + '\x01';
}

QByteArray errorChallengeAnswer(TokenMechanism mechanism)
{
    return mechanism == TokenMechanism::OAuthBearer ? QByteArray("\x01").toBase64() : QByteArray();
}

TokenRefusal parseTokenRefusal(QByteArrayView base64Challenge)
{
    TokenRefusal refusal;
    const auto decoded = QByteArray::fromBase64Encoding(base64Challenge.trimmed().toByteArray(),
                                                        QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded)
        return refusal;
    const QJsonDocument json = QJsonDocument::fromJson(*decoded);
    if (!json.isObject())
        return refusal;
    const QJsonObject object = json.object();
    // Google sends the status as a string, some servers as a number.
    const QJsonValue status = object.value(QStringLiteral("status"));
    refusal.status = status.isDouble() ? QString::number(status.toInteger()) : status.toString();
    refusal.scope = object.value(QStringLiteral("scope")).toString();
    refusal.status = blankControls(refusal.status.left(100));
    refusal.scope = blankControls(refusal.scope.left(300));
    refusal.readable = !refusal.status.isEmpty();
    return refusal;
}

QString describeTokenRefusal(const TokenRefusal &refusal)
{
    if (!refusal.readable)
        return QStringLiteral("The server refused the access token without saying why.");
    QString text = QStringLiteral("The server refused the access token (status %1").arg(refusal.status);
    if (!refusal.scope.isEmpty())
        text += QStringLiteral("; it needs the scope %1").arg(refusal.scope);
    return text + QStringLiteral(").");
}
