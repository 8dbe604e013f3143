#include "mail/OAuth2Presets.h"

OAuth2Provider OAuth2Account::provider() const
{
    switch (kind) {
    case Kind::Google:
        return {QStringLiteral("Google"), QUrl(QStringLiteral("https://accounts.google.com/o/oauth2/v2/auth")),
                QUrl(QStringLiteral("https://oauth2.googleapis.com/token")), QUrl(),
                QStringLiteral("https://mail.google.com/"), clientId, clientSecret,
                {{QStringLiteral("access_type"), QStringLiteral("offline")}, {QStringLiteral("prompt"), QStringLiteral("consent")}}};
    case Kind::Microsoft: {
        const QString base = QStringLiteral("https://login.microsoftonline.com/%1/oauth2/v2.0/")
                                 .arg(tenant.isEmpty() ? QStringLiteral("common") : tenant);
        return {QStringLiteral("Microsoft"), QUrl(base + QStringLiteral("authorize")), QUrl(base + QStringLiteral("token")),
                QUrl(base + QStringLiteral("devicecode")),
                QStringLiteral("https://outlook.office.com/POP.AccessAsUser.All offline_access"), clientId, clientSecret, {}};
    }
    case Kind::Custom:
        break;
    }
    return {authorizationUrl.host().isEmpty() ? QStringLiteral("The provider") : authorizationUrl.host(), authorizationUrl,
            tokenUrl, deviceUrl, scope, clientId, clientSecret, {}};
}

QString OAuth2Account::defaultHost() const
{
    switch (kind) {
    case Kind::Google: return QStringLiteral("pop.gmail.com:995");
    case Kind::Microsoft: return QStringLiteral("outlook.office365.com:995");
    case Kind::Custom: break;
    }
    return QString();
}

QString OAuth2Account::redirectHost() const
{
    return kind == Kind::Microsoft ? QStringLiteral("localhost") : QStringLiteral("127.0.0.1");
}

std::optional<TokenMechanism> OAuth2Account::mechanism() const
{
    // Microsoft offers only XOAUTH2; Google and others are asked by what their server offers.
    if (kind == Kind::Custom)
        return customMechanism;
    return kind == Kind::Microsoft ? std::optional(TokenMechanism::XOAuth2) : std::nullopt;
}

bool OAuth2Account::deviceGrantAllowed() const
{
    return kind != Kind::Google && !provider().deviceUrl.isEmpty();
}

std::optional<OAuth2Account::Kind> OAuth2Account::kindNamed(const QString &name)
{
    for (const Kind kind : {Kind::Google, Kind::Microsoft, Kind::Custom})
        if (name.compare(nameOf(kind), Qt::CaseInsensitive) == 0)
            return kind;
    return std::nullopt;
}

QString OAuth2Account::nameOf(Kind kind)
{
    switch (kind) {
    case Kind::Google: return QStringLiteral("google");
    case Kind::Microsoft: return QStringLiteral("microsoft");
    case Kind::Custom: break;
    }
    return QStringLiteral("custom");
}

QString OAuth2Account::problem() const
{
    const auto web = [](const QUrl &url) { return url.isValid() && (url.scheme() == u"https" || url.scheme() == u"http"); };
    if (clientId.isEmpty())
        return QStringLiteral("A client id is needed: register Purgelet with the provider as a desktop program (the README "
                              "says how) and give the id it shows.");
    if (kind == Kind::Custom && (!web(authorizationUrl) || !web(tokenUrl) || scope.isEmpty() ||
                                 (!deviceUrl.isEmpty() && !web(deviceUrl))))
        return QStringLiteral("Another provider needs its authorisation and token addresses (web addresses) and the scope.");
    return QString();
}
