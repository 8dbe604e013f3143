#include "app/OAuth2AccountStore.h"

#include "app/RememberedLogIn.h"

#include <QEventLoop>
#include <QSettings>
#include <QTimer>
#include <qt6keychain/keychain.h>

namespace OAuth2AccountStore {
namespace {

QString group(const QString &host, const QString &user)
{
    // One group per account; QSettings keys must not hold "/" or "\".
    return QStringLiteral("oauth2-") + QString::fromLatin1((user + u'@' + host).toUtf8().toHex());
}

QString secretKey(const QString &host, const QString &user)
{
    return QStringLiteral("oauth2 refresh token ") + user + u'@' + host;
}

// Runs a secret-store job (which deletes itself) and waits for its answer;
// false and *error when it failed or the store did not answer.
bool finished(QKeychain::Job *job, QString *error, bool notFoundIsFine, QString *text = nullptr)
{
    bool ok = false;
    if (error)
        *error = QStringLiteral("the secret store did not answer");
    QEventLoop loop;
    QObject::connect(job, &QKeychain::Job::finished, &loop, [&, job] {
        ok = job->error() == QKeychain::NoError || (notFoundIsFine && job->error() == QKeychain::EntryNotFound);
        if (!ok && error)
            *error = job->errorString();
        if (auto *read = qobject_cast<QKeychain::ReadPasswordJob *>(job); read && text && job->error() == QKeychain::NoError)
            *text = read->textData();
        loop.quit();
    });
    QTimer::singleShot(5000, &loop, &QEventLoop::quit);
    job->start();
    loop.exec();
    return ok;
}

} // namespace

std::optional<OAuth2Account> load(const QString &host, const QString &user)
{
    QSettings settings(RememberedLogIn::file(), QSettings::IniFormat);
    settings.beginGroup(group(host, user));
    const std::optional<OAuth2Account::Kind> kind = OAuth2Account::kindNamed(settings.value(QStringLiteral("provider")).toString());
    if (!kind)
        return std::nullopt;
    OAuth2Account account;
    account.kind = *kind;
    account.clientId = settings.value(QStringLiteral("clientId")).toString();
    account.clientSecret = settings.value(QStringLiteral("clientSecret")).toString();
    account.tenant = settings.value(QStringLiteral("tenant"), account.tenant).toString();
    account.authorizationUrl = settings.value(QStringLiteral("authorizationUrl")).toUrl();
    account.tokenUrl = settings.value(QStringLiteral("tokenUrl")).toUrl();
    account.deviceUrl = settings.value(QStringLiteral("deviceUrl")).toUrl();
    account.scope = settings.value(QStringLiteral("scope")).toString();
    account.customMechanism = tokenMechanismNamed(settings.value(QStringLiteral("mechanism")).toString());
    return account;
}

void save(const QString &host, const QString &user, const OAuth2Account &account)
{
    QSettings settings(RememberedLogIn::file(), QSettings::IniFormat);
    settings.beginGroup(group(host, user));
    settings.setValue(QStringLiteral("provider"), OAuth2Account::nameOf(account.kind));
    settings.setValue(QStringLiteral("clientId"), account.clientId);
    settings.setValue(QStringLiteral("clientSecret"), account.clientSecret);
    settings.setValue(QStringLiteral("tenant"), account.tenant);
    settings.setValue(QStringLiteral("authorizationUrl"), account.authorizationUrl);
    settings.setValue(QStringLiteral("tokenUrl"), account.tokenUrl);
    settings.setValue(QStringLiteral("deviceUrl"), account.deviceUrl);
    settings.setValue(QStringLiteral("scope"), account.scope);
    settings.setValue(QStringLiteral("mechanism"),
                      account.customMechanism ? QString::fromLatin1(mechanismName(*account.customMechanism)) : QString());
}

std::optional<QString> readRefreshToken(const QString &host, const QString &user, QString *error)
{
    auto *job = new QKeychain::ReadPasswordJob(QStringLiteral("Purgelet"));
    job->setKey(secretKey(host, user));
    QString token;
    if (!finished(job, error, true, &token))
        return std::nullopt;
    return token;
}

bool writeRefreshToken(const QString &host, const QString &user, const QString &token, QString *error)
{
    if (token.isEmpty()) {
        auto *job = new QKeychain::DeletePasswordJob(QStringLiteral("Purgelet"));
        job->setKey(secretKey(host, user));
        return finished(job, error, true);
    }
    auto *job = new QKeychain::WritePasswordJob(QStringLiteral("Purgelet"));
    job->setKey(secretKey(host, user));
    job->setTextData(token);
    return finished(job, error, false);
}

QString keep(const QString &host, const QString &user, const OAuth2Account &account, const TokenReply &tokens)
{
    const QString provider = account.provider().name;
    if (tokens.outcome != TokenReply::Outcome::Granted)
        return QStringLiteral("The sign-in with %1 did not go through: %2")
            .arg(provider, !tokens.description.isEmpty() ? tokens.description
                           : tokens.error.isEmpty()      ? QStringLiteral("no reason given")
                                                         : tokens.error);
    if (tokens.refreshToken.isEmpty())
        return QStringLiteral("%1 gave no refresh token, so the sign-in cannot be kept. Check that the scope asks for "
                              "offline access.").arg(provider);
    QString error;
    if (!writeRefreshToken(host, user, tokens.refreshToken, &error))
        return QStringLiteral("The secret store could not keep the sign-in (%1), and it is kept nowhere else.").arg(error);
    save(host, user, account);
    return QString();
}

bool forget(const QString &host, const QString &user, QString *error)
{
    QSettings settings(RememberedLogIn::file(), QSettings::IniFormat);
    settings.remove(group(host, user));
    return writeRefreshToken(host, user, QString(), error);
}

} // namespace OAuth2AccountStore
