#include "mail/OAuth2SignIn.h"

#include "messages/TextDecoding.h"

#include <QCryptographicHash>
#include <QEventLoop>
#include <QHostAddress>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>
#include <QUrlQuery>

#include <algorithm>

namespace {
constexpr auto UrlSafe = QByteArray::Base64UrlEncoding | QByteArray::OmitTrailingEquals;

QByteArray randomText(int bytes)
{
    QByteArray random(bytes, Qt::Uninitialized);
    QRandomGenerator::system()->generate(random.begin(), random.end());
    return random.toBase64(UrlSafe);
}

QString cleaned(const QString &text)
{
    return blankControls(text.left(300)).trimmed();
}

QByteArray page(const char *status, const QString &text)
{
    const QByteArray body = "<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>Purgelet</title></head>"
                            "<body style=\"font-family:sans-serif;margin:3em\"><p>" + text.toHtmlEscaped().toUtf8() +
                            "</p></body></html>";
    return QByteArray("HTTP/1.1 ") + status + "\r\nContent-Type: text/html; charset=utf-8\r\nContent-Length: " +
           QByteArray::number(body.size()) + "\r\nConnection: close\r\nCache-Control: no-store\r\n\r\n" + body;
}
} // namespace

Pkce Pkce::create()
{
    Pkce pkce;
    pkce.verifier = randomText(48);  // 64 characters
    pkce.challenge = challengeOf(pkce.verifier);
    return pkce;
}

QByteArray Pkce::challengeOf(const QByteArray &verifier)
{
    return QCryptographicHash::hash(verifier, QCryptographicHash::Sha256).toBase64(UrlSafe);
}

BrowserSignIn::BrowserSignIn(OAuth2Provider provider, QString redirectHost)
    : m_provider(std::move(provider)), m_redirectHost(std::move(redirectHost))
{
}

BrowserSignIn::~BrowserSignIn() = default;

std::optional<QUrl> BrowserSignIn::start(QString *error)
{
    m_listener = new QTcpServer(this);
    // Loopback only: nobody else on the network may hand us a code.
    if (!m_listener->listen(QHostAddress::LocalHost, 0)) {
        *error = QStringLiteral("Could not listen on 127.0.0.1 for the browser's return: %1").arg(m_listener->errorString());
        return std::nullopt;
    }
    connect(m_listener, &QTcpServer::newConnection, this, &BrowserSignIn::onConnection);
    m_redirectUri = QUrl(QStringLiteral("http://%1:%2/").arg(m_redirectHost).arg(m_listener->serverPort()));
    m_pkce = Pkce::create();
    m_state = randomText(24);
    QUrl url = m_provider.authorizationUrl;
    QUrlQuery query(url);
    query.addQueryItem(QStringLiteral("response_type"), QStringLiteral("code"));
    query.addQueryItem(QStringLiteral("client_id"), m_provider.clientId);
    query.addQueryItem(QStringLiteral("redirect_uri"), m_redirectUri.toString());
    query.addQueryItem(QStringLiteral("scope"), m_provider.scope);
    query.addQueryItem(QStringLiteral("state"), QString::fromLatin1(m_state));
    query.addQueryItem(QStringLiteral("code_challenge"), QString::fromLatin1(m_pkce.challenge));
    query.addQueryItem(QStringLiteral("code_challenge_method"), QStringLiteral("S256"));
    for (const auto &[key, value] : m_provider.authorizationExtras)
        query.addQueryItem(key, value);
    // Each value once percent-encoded: QUrlQuery leaves "+", ":" and "/" as they are.
    QUrlQuery encoded;
    for (const auto &[key, value] : query.queryItems(QUrl::FullyDecoded))
        encoded.addQueryItem(key, QString::fromLatin1(QUrl::toPercentEncoding(value)));
    url.setQuery(encoded.query(QUrl::FullyEncoded), QUrl::StrictMode);
    return url;
}

void BrowserSignIn::onConnection()
{
    while (QTcpSocket *socket = m_listener->nextPendingConnection()) {
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onRequest(socket); });
        connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        // A connection that never sends its request does not hold the sign-in.
        QTimer::singleShot(10000, socket, [socket] { socket->abort(); });
    }
}

void BrowserSignIn::onRequest(QTcpSocket *socket)
{
    if (!socket->canReadLine()) {
        if (socket->bytesAvailable() > 16 * 1024)
            socket->abort();
        return;
    }
    const QList<QByteArray> words = socket->readLine(16 * 1024).trimmed().split(' ');
    const QUrl target(QString::fromLatin1(words.value(1)));
    const QUrlQuery query(target);
    if (words.value(0) != "GET" || target.path() != QLatin1String("/") || m_done ||
        (!query.hasQueryItem(QStringLiteral("code")) && !query.hasQueryItem(QStringLiteral("error")))) {
        // The browser's icon request and anything else that is not the return.
        socket->write(page("404 Not Found", QStringLiteral("Nothing here.")));
        socket->disconnectFromHost();
        return;
    }
    // Decoded once: a code holding "%2F" must reach the token endpoint as sent.
    const QString state = query.queryItemValue(QStringLiteral("state"), QUrl::FullyDecoded);
    if (state.toLatin1() != m_state) {
        socket->write(page("400 Bad Request", QStringLiteral("This sign-in answer is not the one Purgelet asked for. "
                                                              "Close this page and sign in again from Purgelet.")));
        socket->disconnectFromHost();
        return;  // someone else's answer: the real one may still come
    }
    m_done = true;
    if (query.hasQueryItem(QStringLiteral("error"))) {
        const QString error = cleaned(query.queryItemValue(QStringLiteral("error"), QUrl::FullyDecoded));
        const QString why = cleaned(query.queryItemValue(QStringLiteral("error_description"), QUrl::FullyDecoded));
        m_failure = error == QLatin1String("access_denied")
                        ? QStringLiteral("The sign-in was not allowed in the browser.")
                        : QStringLiteral("%1 refused the sign-in (%2%3).").arg(m_provider.name, error, why.isEmpty() ? QString() : QStringLiteral(": ") + why);
        socket->write(page("200 OK", QStringLiteral("The sign-in did not go through: %1 You may close this page.").arg(m_failure)));
    } else {
        m_code = query.queryItemValue(QStringLiteral("code"), QUrl::FullyDecoded);
        socket->write(page("200 OK", QStringLiteral("Purgelet has your sign-in. You may close this page and return to Purgelet.")));
    }
    socket->disconnectFromHost();
    m_listener->close();
    if (m_wake)
        m_wake();
}

void BrowserSignIn::cancel()
{
    if (m_done)
        return;
    m_done = true;
    m_failure = QStringLiteral("The sign-in was cancelled.");
    if (m_wake)
        m_wake();
}

TokenReply BrowserSignIn::finish(int timeoutSeconds, int tokenTimeoutSeconds)
{
    if (!m_done) {
        QEventLoop loop;
        m_wake = [&loop] { loop.quit(); };
        QTimer::singleShot(timeoutSeconds * 1000, &loop, &QEventLoop::quit);
        loop.exec();
        m_wake = nullptr;
    }
    if (m_listener)
        m_listener->close();
    TokenReply reply;
    if (m_code.isEmpty()) {
        reply.outcome = TokenReply::Outcome::Rejected;
        reply.description = m_done ? m_failure
                                   : QStringLiteral("The browser did not come back within %1 minutes.").arg(timeoutSeconds / 60);
        m_done = true;
        return reply;
    }
    QList<std::pair<QString, QString>> form{{QStringLiteral("grant_type"), QStringLiteral("authorization_code")},
                                            {QStringLiteral("code"), m_code},
                                            {QStringLiteral("redirect_uri"), m_redirectUri.toString()},
                                            {QStringLiteral("client_id"), m_provider.clientId},
                                            {QStringLiteral("code_verifier"), QString::fromLatin1(m_pkce.verifier)}};
    if (!m_provider.clientSecret.isEmpty())
        form.append({QStringLiteral("client_secret"), m_provider.clientSecret});
    return postTokenRequest(m_provider.tokenUrl, form, tokenTimeoutSeconds);
}

DeviceAuthorisation parseDeviceAuthorisation(int httpStatus, const QByteArray &body)
{
    DeviceAuthorisation device;
    const QJsonObject json = QJsonDocument::fromJson(body).object();
    device.deviceCode = json.value(QStringLiteral("device_code")).toString();
    device.userCode = cleaned(json.value(QStringLiteral("user_code")).toString());
    // Microsoft says verification_url, the RFC verification_uri.
    const QString uri = json.value(QStringLiteral("verification_uri")).toString(json.value(QStringLiteral("verification_url")).toString());
    device.verificationUri = QUrl(cleaned(uri), QUrl::StrictMode);
    device.verificationUriComplete = QUrl(cleaned(json.value(QStringLiteral("verification_uri_complete")).toString()), QUrl::StrictMode);
    const auto number = [&](const char *key, int fallback) {
        const QJsonValue v = json.value(QLatin1String(key));
        const qint64 n = v.isString() ? v.toString().toLongLong() : v.toInteger(fallback);
        return int(std::clamp<qint64>(n > 0 ? n : fallback, 1, 3600));
    };
    device.interval = number("interval", 5);
    device.expiresIn = number("expires_in", 600);
    const bool web = device.verificationUri.scheme() == QLatin1String("https") || device.verificationUri.scheme() == QLatin1String("http");
    if (httpStatus != 200 || device.deviceCode.isEmpty() || device.userCode.isEmpty() || !web) {
        const QString error = cleaned(json.value(QStringLiteral("error")).toString());
        const QString why = cleaned(json.value(QStringLiteral("error_description")).toString());
        device = DeviceAuthorisation();
        device.error = error.isEmpty() ? QStringLiteral("the answer could not be read (HTTP status %1)").arg(httpStatus)
                                       : why.isEmpty() ? error : QStringLiteral("%1: %2").arg(error, why);
    }
    return device;
}

DeviceAuthorisation requestDeviceAuthorisation(const OAuth2Provider &provider, int timeoutSeconds)
{
    QList<std::pair<QString, QString>> form{{QStringLiteral("client_id"), provider.clientId},
                                            {QStringLiteral("scope"), provider.scope}};
    if (!provider.clientSecret.isEmpty())
        form.append({QStringLiteral("client_secret"), provider.clientSecret});
    const FormAnswer answer = postForm(provider.deviceUrl, form, timeoutSeconds);
    DeviceAuthorisation device = parseDeviceAuthorisation(answer.status, answer.body);
    if (answer.status == 0)
        device.error = answer.networkError;
    return device;
}

TokenReply pollDeviceToken(const OAuth2Provider &provider, const DeviceAuthorisation &device,
                           const std::function<void(int seconds)> &wait, int timeoutSeconds)
{
    const auto pause = [&](int seconds) {
        if (wait)
            return wait(seconds);
        QEventLoop loop;
        QTimer::singleShot(seconds * 1000, &loop, &QEventLoop::quit);
        loop.exec();
    };
    QList<std::pair<QString, QString>> form{{QStringLiteral("grant_type"), QStringLiteral("urn:ietf:params:oauth:grant-type:device_code")},
                                            {QStringLiteral("device_code"), device.deviceCode},
                                            {QStringLiteral("client_id"), provider.clientId}};
    if (!provider.clientSecret.isEmpty())
        form.append({QStringLiteral("client_secret"), provider.clientSecret});
    int interval = device.interval;
    for (int waited = 0; waited < device.expiresIn; waited += interval) {
        pause(interval);
        TokenReply reply = postTokenRequest(provider.tokenUrl, form, timeoutSeconds);
        if (reply.error == QLatin1String("authorization_pending"))
            continue;
        if (reply.error == QLatin1String("slow_down")) {
            interval += 5;
            continue;
        }
        if (reply.error == QLatin1String("access_denied"))
            reply.description = QStringLiteral("The sign-in was not allowed.");
        else if (reply.error == QLatin1String("expired_token"))
            reply.description = QStringLiteral("The code expired before it was entered. Sign in again.");
        return reply;
    }
    TokenReply expired;
    expired.outcome = TokenReply::Outcome::Rejected;
    expired.error = QStringLiteral("expired_token");
    expired.description = QStringLiteral("The code expired before it was entered. Sign in again.");
    return expired;
}
