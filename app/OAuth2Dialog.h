#pragma once

#include "mail/OAuth2Presets.h"

#include <QDialog>
#include <QPointer>

class BrowserSignIn;
class QComboBox;
class QFormLayout;
class QLabel;
class QLineEdit;
class QPushButton;

// Signs the account in the window's boxes in with OAuth2, in the user's
// browser, and keeps the sign-in; or forgets it. Once signed in, Check Mails
// logs in to that account with OAuth2 instead of the password.
class OAuth2Dialog : public QDialog
{
    Q_OBJECT
public:
    OAuth2Dialog(const QString &host, const QString &user, QWidget *parent);
    // The server the chosen provider's mailboxes are on ("" for another provider).
    QString providerHost() const;

signals:
    // The account's sign-in was kept (true) or forgotten (false).
    void signInChanged(bool signedIn);

protected:
    void reject() override;

private:
    OAuth2Account accountFromFields() const;
    void showProviderFields();
    void signIn();
    void forget();

    QString m_host, m_user;
    QComboBox *m_provider, *m_mechanism;
    QLineEdit *m_clientId, *m_clientSecret, *m_tenant, *m_authUrl, *m_tokenUrl, *m_scope;
    QFormLayout *m_form;
    QLabel *m_status;
    QPushButton *m_signIn, *m_forget;
    QPointer<BrowserSignIn> m_running;
};
