#pragma once

#include <QObject>
#include <QString>

// The log-in the window starts with: the last host and user name that logged
// in (login.ini in the user's configuration folder), and, only when the user
// asked for it, the password, which is kept in the desktop's secret store
// (Secret Service or KWallet, through QtKeychain) and never in a file.
class RememberedLogIn : public QObject
{
    Q_OBJECT
public:
    explicit RememberedLogIn(QObject *parent = nullptr);

    static QString file();
    QString host() const;
    QString user() const;
    void rememberHostAndUser(const QString &host, const QString &user);

    // Looks the password for host and user up; answers with passwordFound,
    // passwordNotFound, or secretStoreMissing when there is no store to ask.
    void lookUpPassword(const QString &host, const QString &user);
    void storePassword(const QString &host, const QString &user, const QString &password);
    void forgetPassword(const QString &host, const QString &user);

signals:
    void passwordFound(const QString &password);
    void passwordNotFound();
    void secretStoreMissing(const QString &why);
    // A store or delete failed.
    void secretStoreFailed(const QString &why);
};
