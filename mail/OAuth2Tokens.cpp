#include "mail/OAuth2Tokens.h"

#include "messages/TextDecoding.h"

#include <QEventLoop>
#include <algorithm>
#include <QJsonDocument>
#include <QJsonObject>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTimer>
#include <QUrlQuery>

namespace {
constexpr qint64 RefreshMarginSeconds = 5 * 60;

QString cleaned(const QJsonValue &value, int limit)
{
    return blankControls(value.toString().left(limit)).trimmed();
}
} // namespace

TokenReply parseTokenReply(int httpStatus, const QByteArray &body)
{
    TokenReply reply;
    const QJsonObject json = QJsonDocument::fromJson(body.left(1024 * 1024)).object();
    reply.error = cleaned(json.value(QStringLiteral("error")), 100);
    reply.description = cleaned(json.value(QStringLiteral("error_description")), 300);
    const QString access = json.value(QStringLiteral("access_token")).toString();
    if (httpStatus == 200 && reply.error.isEmpty() && !access.isEmpty()) {
        // A token goes on a command line: one that could break the line is no token.
        const auto printable = [](const QString &t) {
            return t.size() <= 16 * 1024 && std::all_of(t.begin(), t.end(), [](QChar c) { return c > u' ' && c < QChar(127); });
        };
        const QString refresh = json.value(QStringLiteral("refresh_token")).toString();
        if (!printable(access) || (!refresh.isEmpty() && !printable(refresh))) {
            reply.outcome = TokenReply::Outcome::Rejected;
            reply.description = QStringLiteral("The token server sent a token that cannot be used.");
            return reply;
        }
        reply.outcome = TokenReply::Outcome::Granted;
        reply.accessToken = access;
        reply.refreshToken = refresh;
        const QJsonValue expires = json.value(QStringLiteral("expires_in"));
        // Some servers send the number as a string.
        reply.expiresIn = qMax<qint64>(0, expires.isString() ? expires.toString().toLongLong() : expires.toInteger());
        return reply;
    }
    if (reply.error == QLatin1String("invalid_grant"))
        reply.outcome = TokenReply::Outcome::Refused;
    else if (httpStatus >= 500 || httpStatus == 0 || reply.error == QLatin1String("temporarily_unavailable") ||
             reply.error == QLatin1String("server_error") || (httpStatus == 200 && reply.error.isEmpty()))
        reply.outcome = TokenReply::Outcome::Temporary;
    else
        reply.outcome = TokenReply::Outcome::Rejected;
    if (reply.description.isEmpty() && reply.error.isEmpty())
        reply.description = httpStatus == 0 ? QString() : QStringLiteral("HTTP status %1").arg(httpStatus);
    return reply;
}

FormAnswer postForm(const QUrl &url, const QList<std::pair<QString, QString>> &form, int timeoutSeconds)
{
    QUrlQuery query;
    for (const auto &[key, value] : form)
        query.addQueryItem(key, QString::fromLatin1(QUrl::toPercentEncoding(value)));
    QNetworkRequest request(url);
    request.setHeader(QNetworkRequest::ContentTypeHeader, QStringLiteral("application/x-www-form-urlencoded"));
    request.setRawHeader("Accept", "application/json");
    request.setTransferTimeout(timeoutSeconds * 1000);
    QNetworkAccessManager network;
    QNetworkReply *reply = network.post(request, query.toString(QUrl::FullyEncoded).toLatin1());
    QEventLoop loop;
    QObject::connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
    loop.exec();
    FormAnswer answer;
    answer.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    answer.body = reply->read(1024 * 1024);
    if (answer.status == 0)
        answer.networkError = reply->errorString();
    reply->deleteLater();
    return answer;
}

TokenReply postTokenRequest(const QUrl &url, const QList<std::pair<QString, QString>> &form, int timeoutSeconds)
{
    const FormAnswer answer = postForm(url, form, timeoutSeconds);
    TokenReply reply = parseTokenReply(answer.status, answer.body);
    if (answer.status == 0)
        reply.description = answer.networkError;
    return reply;
}

AccessTokenKeeper::AccessTokenKeeper(OAuth2Provider provider, Store store)
    : m_provider(std::move(provider)), m_store(std::move(store))
{
}

void AccessTokenKeeper::dropAccessToken()
{
    m_accessToken.clear();
    m_expires = QDateTime();
}

AccessTokenAnswer AccessTokenKeeper::accessToken(bool lastRefused)
{
    if (lastRefused)
        dropAccessToken();
    if (!m_accessToken.isEmpty() && (!m_expires.isValid() || m_now().secsTo(m_expires) > RefreshMarginSeconds))
        return {m_accessToken, {}};
    dropAccessToken();
    const QString refreshToken = m_store.load ? m_store.load() : QString();
    if (refreshToken.isEmpty())
        return {{}, QStringLiteral("You are not signed in with %1 for this account. Sign in first.").arg(m_provider.name)};
    QList<std::pair<QString, QString>> form{{QStringLiteral("grant_type"), QStringLiteral("refresh_token")},
                                            {QStringLiteral("refresh_token"), refreshToken},
                                            {QStringLiteral("client_id"), m_provider.clientId}};
    if (!m_provider.clientSecret.isEmpty())
        form.append({QStringLiteral("client_secret"), m_provider.clientSecret});
    const TokenReply reply = postTokenRequest(m_provider.tokenUrl, form, timeoutSeconds);
    const QString said = reply.description.isEmpty() ? reply.error
                         : reply.error.isEmpty()     ? reply.description
                                                     : QStringLiteral("%1: %2").arg(reply.error, reply.description);
    const QString quote = said.isEmpty() ? QString() : QStringLiteral(" (%1 said: %2)").arg(m_provider.name, said);
    switch (reply.outcome) {
    case TokenReply::Outcome::Granted:
        // A provider that rotates refresh tokens has just made the old one
        // useless: the new one is saved before anything else can fail.
        if (!reply.refreshToken.isEmpty() && reply.refreshToken != refreshToken && m_store.save)
            m_store.save(reply.refreshToken);
        m_accessToken = reply.accessToken;
        m_expires = reply.expiresIn > 0 ? m_now().addSecs(reply.expiresIn) : QDateTime();
        return {m_accessToken, {}};
    case TokenReply::Outcome::Refused:
        if (m_store.save)
            m_store.save(QString());
        return {{}, QStringLiteral("Your sign-in with %1 has expired or was withdrawn, so it was removed from this "
                                   "computer%2. Sign in again.").arg(m_provider.name, quote)};
    case TokenReply::Outcome::Rejected:
        return {{}, QStringLiteral("%1 refused to renew the sign-in%2. Check the client id and scope of this account.")
                        .arg(m_provider.name, quote)};
    case TokenReply::Outcome::Temporary:
        break;
    }
    return {{}, QStringLiteral("%1's sign-in server could not be reached or had a temporary problem%2. Try again later; "
                               "your sign-in is kept.").arg(m_provider.name, quote)};
}
