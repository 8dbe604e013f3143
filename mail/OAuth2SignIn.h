#pragma once

#include "mail/OAuth2Tokens.h"

#include <QByteArray>
#include <QObject>
#include <QPointer>
#include <QUrl>

#include <functional>
#include <optional>

class QTcpServer;
class QTcpSocket;

// PKCE (RFC 7636): a verifier of 43 to 128 URL-safe characters from the
// system's random source, and its S256 challenge.
struct Pkce
{
    QByteArray verifier;
    QByteArray challenge;
    static Pkce create();
    static QByteArray challengeOf(const QByteArray &verifier);
};

// The authorisation code grant with PKCE in the user's own browser (RFC 8252):
// the provider sends the browser back to a listener on 127.0.0.1 only, which
// takes the code, checks the state and tells the browser it may be closed.
class BrowserSignIn : public QObject
{
    Q_OBJECT
public:
    // redirectHost names the listener in the redirect address: "127.0.0.1",
    // or "localhost" for providers that accept only that (Microsoft). The
    // listener is on 127.0.0.1 either way.
    explicit BrowserSignIn(OAuth2Provider provider, QString redirectHost = QStringLiteral("127.0.0.1"));
    ~BrowserSignIn() override;

    // Starts the listener; the address for the browser, or none and *error.
    std::optional<QUrl> start(QString *error);
    QUrl redirectUri() const { return m_redirectUri; }
    // Waits for the browser to come back, then trades the code for tokens.
    // The window stays live; cancel() ends the wait.
    TokenReply finish(int timeoutSeconds, int tokenTimeoutSeconds = 20);
    void cancel();

private:
    void onConnection();
    void onRequest(QTcpSocket *socket);

    OAuth2Provider m_provider;
    QString m_redirectHost;
    QTcpServer *m_listener = nullptr;
    QUrl m_redirectUri;
    Pkce m_pkce;
    QByteArray m_state;
    QString m_code;
    QString m_failure;     // what came back instead of a code, in words
    bool m_done = false;
    std::function<void()> m_wake;
};

// The device authorisation grant (RFC 8628), for a terminal without a
// browser: the user opens the address on any device and types the code.
struct DeviceAuthorisation
{
    QString deviceCode;
    QString userCode;
    QUrl verificationUri;
    QUrl verificationUriComplete;   // with the code in it, when the provider gives one
    int interval = 5;               // seconds between polls
    int expiresIn = 600;
    QString error;                  // when the provider refused; then nothing else is set
};
DeviceAuthorisation parseDeviceAuthorisation(int httpStatus, const QByteArray &body);
DeviceAuthorisation requestDeviceAuthorisation(const OAuth2Provider &provider, int timeoutSeconds = 20);

// Polls the token endpoint until the user has approved, refused, or the code
// expired: authorization_pending waits the interval, slow_down adds five
// seconds to it. wait(seconds) does the waiting (the event loop by default).
TokenReply pollDeviceToken(const OAuth2Provider &provider, const DeviceAuthorisation &device,
                           const std::function<void(int seconds)> &wait = {}, int timeoutSeconds = 20);
