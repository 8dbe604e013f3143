#include "app/RememberedLogIn.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <qt6keychain/keychain.h>

namespace {
const QString Service = QStringLiteral("Purgelet");

QString secretKey(const QString &host, const QString &user)
{
    return user + u'@' + host;
}
} // namespace

// A job belongs to no window: the secret store's answer may come after the
// window is gone, and the job deletes itself once it has it.

RememberedLogIn::RememberedLogIn(QObject *parent) : QObject(parent) {}

QString RememberedLogIn::file()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)).filePath(QStringLiteral("login.ini"));
}

QString RememberedLogIn::host() const
{
    return QSettings(file(), QSettings::IniFormat).value(QStringLiteral("last/host")).toString();
}

QString RememberedLogIn::user() const
{
    return QSettings(file(), QSettings::IniFormat).value(QStringLiteral("last/user")).toString();
}

void RememberedLogIn::rememberHostAndUser(const QString &host, const QString &user)
{
    QSettings settings(file(), QSettings::IniFormat);
    settings.setValue(QStringLiteral("last/host"), host);
    settings.setValue(QStringLiteral("last/user"), user);
}

void RememberedLogIn::lookUpPassword(const QString &host, const QString &user)
{
    auto *job = new QKeychain::ReadPasswordJob(Service);
    job->setKey(secretKey(host, user));
    connect(job, &QKeychain::Job::finished, this, [this, job] {
        if (job->error() == QKeychain::NoError)
            emit passwordFound(job->textData());
        else if (job->error() == QKeychain::EntryNotFound)
            emit passwordNotFound();
        else
            emit secretStoreMissing(job->errorString());
    });
    job->start();
}

void RememberedLogIn::storePassword(const QString &host, const QString &user, const QString &password)
{
    auto *job = new QKeychain::WritePasswordJob(Service);
    job->setKey(secretKey(host, user));
    job->setTextData(password);
    connect(job, &QKeychain::Job::finished, this, [this, job] {
        if (job->error() != QKeychain::NoError)
            emit secretStoreFailed(job->errorString());
    });
    job->start();
}

void RememberedLogIn::forgetPassword(const QString &host, const QString &user)
{
    auto *job = new QKeychain::DeletePasswordJob(Service);
    job->setKey(secretKey(host, user));
    connect(job, &QKeychain::Job::finished, this, [this, job] {
        if (job->error() != QKeychain::NoError && job->error() != QKeychain::EntryNotFound)
            emit secretStoreFailed(job->errorString());
    });
    job->start();
}
