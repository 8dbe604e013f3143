#include "app/CommandLineSignIn.h"

#include "app/CommandLine.h"
#include "app/CommandLineView.h"
#include "app/OAuth2AccountStore.h"
#include "app/RememberedLogIn.h"
#include "mail/OAuth2SignIn.h"
#include "mail/Pop3Client.h"

#include <QCommandLineParser>

#include <cstdio>
#include <memory>

namespace CommandLineSignIn {
namespace {

const QCommandLineOption Provider(QStringLiteral("provider"),
                                  QStringLiteral("With --sign-in: google, microsoft or custom."), QStringLiteral("name"));
const QCommandLineOption ClientId(QStringLiteral("client-id"),
                                  QStringLiteral("With --sign-in: the client id you registered with the provider."), QStringLiteral("id"));
const QCommandLineOption ClientSecret(QStringLiteral("client-secret"),
                                      QStringLiteral("With --sign-in: the client secret, for providers that give desktop programs one (Google)."),
                                      QStringLiteral("secret"));
const QCommandLineOption Tenant(QStringLiteral("tenant"),
                                QStringLiteral("With --provider microsoft: common, consumers, organizations or a tenant id."),
                                QStringLiteral("tenant"));
const QCommandLineOption AuthUrl(QStringLiteral("auth-url"), QStringLiteral("With --provider custom: the authorisation address."), QStringLiteral("url"));
const QCommandLineOption TokenUrl(QStringLiteral("token-url"), QStringLiteral("With --provider custom: the token address."), QStringLiteral("url"));
const QCommandLineOption DeviceUrl(QStringLiteral("device-url"),
                                   QStringLiteral("With --provider custom: the device authorisation address, if it has one."), QStringLiteral("url"));
const QCommandLineOption Scope(QStringLiteral("scope"), QStringLiteral("With --provider custom: the scope that allows POP."), QStringLiteral("scope"));
const QCommandLineOption Mechanism(QStringLiteral("mechanism"),
                                   QStringLiteral("With --provider custom: OAUTHBEARER or XOAUTH2, when the server's own choice is not the one."),
                                   QStringLiteral("name"));

void say(const QString &text)
{
    std::fputs(text.toUtf8().constData(), stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

void addOptions(QCommandLineParser &parser)
{
    parser.addOptions({Provider, ClientId, ClientSecret, Tenant, AuthUrl, TokenUrl, DeviceUrl, Scope, Mechanism});
}

std::optional<OAuth2Account> accountFromOptions(const QCommandLineParser &parser, QString *error)
{
    const std::optional<OAuth2Account::Kind> kind = OAuth2Account::kindNamed(parser.value(Provider));
    if (!kind) {
        *error = QStringLiteral("--sign-in needs --provider google, microsoft or custom.");
        return std::nullopt;
    }
    OAuth2Account account;
    account.kind = *kind;
    account.clientId = parser.value(ClientId);
    account.clientSecret = parser.value(ClientSecret);
    if (parser.isSet(Tenant))
        account.tenant = parser.value(Tenant);
    account.authorizationUrl = QUrl(parser.value(AuthUrl), QUrl::StrictMode);
    account.tokenUrl = QUrl(parser.value(TokenUrl), QUrl::StrictMode);
    account.deviceUrl = QUrl(parser.value(DeviceUrl), QUrl::StrictMode);
    account.scope = parser.value(Scope);
    if (parser.isSet(Mechanism) && !(account.customMechanism = tokenMechanismNamed(parser.value(Mechanism)))) {
        *error = QStringLiteral("--mechanism is OAUTHBEARER or XOAUTH2.");
        return std::nullopt;
    }
    if (const QString problem = account.problem(); !problem.isEmpty()) {
        *error = problem;
        return std::nullopt;
    }
    return account;
}

int signIn(const QString &host, const QString &user, const OAuth2Account &account)
{
    const OAuth2Provider provider = account.provider();
    TokenReply tokens;
    if (account.deviceGrantAllowed()) {
        const DeviceAuthorisation device = requestDeviceAuthorisation(provider);
        if (!device.error.isEmpty()) {
            printError(QStringLiteral("%1 did not start the sign-in: %2").arg(provider.name, device.error));
            return CommandLine::NoSession;
        }
        say(QStringLiteral("To sign in %1, open %2 on any device and enter the code %3 (within %4 minutes).")
                .arg(user, (device.verificationUriComplete.isValid() && !device.verificationUriComplete.isEmpty()
                                ? device.verificationUriComplete : device.verificationUri).toString())
                .arg(device.userCode).arg(qMax(1, device.expiresIn / 60)));
        tokens = pollDeviceToken(provider, device);
    } else {
        BrowserSignIn browser(provider, account.redirectHost());
        QString error;
        const std::optional<QUrl> address = browser.start(&error);
        if (!address) {
            printError(error);
            return CommandLine::NoSession;
        }
        say(QStringLiteral("To sign in %1, open this address in a browser on this computer:\n%2")
                .arg(user, address->toString(QUrl::FullyEncoded)));
        tokens = browser.finish(5 * 60);
    }
    if (const QString trouble = OAuth2AccountStore::keep(host, user, account, tokens); !trouble.isEmpty()) {
        printError(trouble);
        return CommandLine::NoSession;
    }
    RememberedLogIn().rememberHostAndUser(host, user);
    say(QStringLiteral("Signed in with %1 as %2 for %3; the sign-in is kept in the secret store.").arg(provider.name, user, host));
    return CommandLine::Done;
}

int signOut(const QString &host, const QString &user)
{
    QString error;
    if (!OAuth2AccountStore::forget(host, user, &error)) {
        printError(QStringLiteral("The secret store could not remove the sign-in: %1").arg(error));
        return CommandLine::NoSession;
    }
    say(QStringLiteral("The OAuth2 sign-in of %1 at %2 is forgotten.").arg(user, host));
    return CommandLine::Done;
}

bool useKeptSignIn(Pop3Client &client, const QString &host, const QString &user)
{
    const std::optional<OAuth2Account> account = OAuth2AccountStore::load(host, user);
    if (!account) {
        printError(QStringLiteral("%1 at %2 has no OAuth2 sign-in; sign in first with purgelet --sign-in (see --help).").arg(user, host));
        return false;
    }
    client.Method = Pop3Client::LogInMethod::OAuth2;
    client.TokenMechanismWanted = account->mechanism();
    // The keeper lives as long as the client.
    auto keeper = std::make_shared<AccessTokenKeeper>(
        account->provider(),
        AccessTokenKeeper::Store{[host, user] {
                                     QString error;
                                     return OAuth2AccountStore::readRefreshToken(host, user, &error).value_or(QString());
                                 },
                                 [host, user](const QString &token) {
                                     QString error;
                                     if (!OAuth2AccountStore::writeRefreshToken(host, user, token, &error))
                                         printError(QStringLiteral("The secret store could not keep the renewed sign-in: %1").arg(error));
                                 }});
    client.accessToken = [keeper](bool lastRefused) { return keeper->accessToken(lastRefused); };
    return true;
}

} // namespace CommandLineSignIn
