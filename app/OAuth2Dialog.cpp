#include "app/OAuth2Dialog.h"

#include "app/DesktopOpener.h"
#include "app/OAuth2AccountStore.h"
#include "mail/OAuth2SignIn.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

namespace {
QLineEdit *field(const char *name, QWidget *parent)
{
    auto *edit = new QLineEdit(parent);
    edit->setObjectName(QLatin1String(name));
    return edit;
}
} // namespace

OAuth2Dialog::OAuth2Dialog(const QString &host, const QString &user, QWidget *parent)
    : QDialog(parent), m_host(host), m_user(user)
{
    setObjectName(QStringLiteral("OAuth2Dialog"));
    setWindowTitle(QStringLiteral("OAuth2 sign-in for %1").arg(user));
    m_provider = new QComboBox(this);
    m_provider->setObjectName(QStringLiteral("CboProvider"));
    m_provider->addItem(QStringLiteral("Google (Gmail, Google Workspace)"), QStringLiteral("google"));
    m_provider->addItem(QStringLiteral("Microsoft (Outlook.com, Exchange Online)"), QStringLiteral("microsoft"));
    m_provider->addItem(QStringLiteral("Other provider"), QStringLiteral("custom"));
    m_clientId = field("TxtClientId", this);
    m_clientSecret = field("TxtClientSecret", this);
    m_tenant = field("TxtTenant", this);
    m_tenant->setPlaceholderText(QStringLiteral("common, consumers, organizations or a tenant id"));
    m_authUrl = field("TxtAuthUrl", this);
    m_tokenUrl = field("TxtTokenUrl", this);
    m_scope = field("TxtScope", this);
    m_mechanism = new QComboBox(this);
    m_mechanism->setObjectName(QStringLiteral("CboMechanism"));
    m_mechanism->addItem(QStringLiteral("The server's choice"), QString());
    m_mechanism->addItem(QStringLiteral("OAUTHBEARER"), QStringLiteral("OAUTHBEARER"));
    m_mechanism->addItem(QStringLiteral("XOAUTH2"), QStringLiteral("XOAUTH2"));
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("LabSignInStatus"));
    m_status->setWordWrap(true);
    m_status->setTextFormat(Qt::PlainText);

    m_form = new QFormLayout;
    m_form->addRow(QStringLiteral("&Provider"), m_provider);
    m_form->addRow(QStringLiteral("Client &id"), m_clientId);
    m_form->addRow(QStringLiteral("Client &secret (if any)"), m_clientSecret);
    m_form->addRow(QStringLiteral("&Tenant"), m_tenant);
    m_form->addRow(QStringLiteral("&Authorisation address"), m_authUrl);
    m_form->addRow(QStringLiteral("To&ken address"), m_tokenUrl);
    m_form->addRow(QStringLiteral("S&cope"), m_scope);
    m_form->addRow(QStringLiteral("SASL &mechanism"), m_mechanism);

    auto *buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    m_signIn = buttons->addButton(QStringLiteral("Sign in in the &browser"), QDialogButtonBox::ActionRole);
    m_signIn->setObjectName(QStringLiteral("CmdSignIn"));
    m_forget = buttons->addButton(QStringLiteral("&Forget this account"), QDialogButtonBox::DestructiveRole);
    m_forget->setObjectName(QStringLiteral("CmdForget"));
    connect(buttons, &QDialogButtonBox::rejected, this, &OAuth2Dialog::reject);
    connect(m_signIn, &QPushButton::clicked, this, &OAuth2Dialog::signIn);
    connect(m_forget, &QPushButton::clicked, this, &OAuth2Dialog::forget);
    connect(m_provider, &QComboBox::currentIndexChanged, this, &OAuth2Dialog::showProviderFields);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(m_form);
    layout->addWidget(m_status);
    layout->addWidget(buttons);

    const std::optional<OAuth2Account> kept = OAuth2AccountStore::load(host, user);
    if (kept) {
        m_provider->setCurrentIndex(m_provider->findData(OAuth2Account::nameOf(kept->kind)));
        m_clientId->setText(kept->clientId);
        m_clientSecret->setText(kept->clientSecret);
        m_tenant->setText(kept->tenant);
        m_authUrl->setText(kept->authorizationUrl.toString());
        m_tokenUrl->setText(kept->tokenUrl.toString());
        m_scope->setText(kept->scope);
        if (kept->customMechanism)
            m_mechanism->setCurrentIndex(m_mechanism->findData(QString::fromLatin1(mechanismName(*kept->customMechanism))));
        m_status->setText(QStringLiteral("%1 at %2 is signed in with OAuth2; Check Mails uses it.").arg(user, host));
    } else {
        m_status->setText(QStringLiteral("Not signed in: Check Mails logs in with the password."));
    }
    m_forget->setEnabled(kept.has_value());
    showProviderFields();
}

QString OAuth2Dialog::providerHost() const
{
    return accountFromFields().defaultHost();
}

OAuth2Account OAuth2Dialog::accountFromFields() const
{
    OAuth2Account account;
    account.kind = OAuth2Account::kindNamed(m_provider->currentData().toString()).value_or(OAuth2Account::Kind::Custom);
    account.clientId = m_clientId->text().trimmed();
    account.clientSecret = m_clientSecret->text().trimmed();
    if (!m_tenant->text().trimmed().isEmpty())
        account.tenant = m_tenant->text().trimmed();
    account.authorizationUrl = QUrl(m_authUrl->text().trimmed(), QUrl::StrictMode);
    account.tokenUrl = QUrl(m_tokenUrl->text().trimmed(), QUrl::StrictMode);
    account.scope = m_scope->text().trimmed();
    account.customMechanism = tokenMechanismNamed(m_mechanism->currentData().toString());
    return account;
}

void OAuth2Dialog::showProviderFields()
{
    const OAuth2Account::Kind kind = accountFromFields().kind;
    m_form->setRowVisible(m_tenant, kind == OAuth2Account::Kind::Microsoft);
    for (QWidget *custom : std::initializer_list<QWidget *>{m_authUrl, m_tokenUrl, m_scope, m_mechanism})
        m_form->setRowVisible(custom, kind == OAuth2Account::Kind::Custom);
    adjustSize();
}

void OAuth2Dialog::signIn()
{
    const OAuth2Account account = accountFromFields();
    if (const QString problem = account.problem(); !problem.isEmpty()) {
        m_status->setText(problem);
        return;
    }
    auto *browser = new BrowserSignIn(account.provider(), account.redirectHost());
    m_running = browser;
    QString error;
    const std::optional<QUrl> address = browser->start(&error);
    if (!address) {
        delete browser;
        m_status->setText(error);
        return;
    }
    m_signIn->setEnabled(false);
    m_status->setText(QStringLiteral("Waiting for the sign-in in your browser ... (Close cancels it)"));
    openOnDesktop(this, QStringLiteral("the sign-in page"), address->toString(QUrl::FullyEncoded));
    const TokenReply tokens = browser->finish(5 * 60);
    delete browser;
    m_signIn->setEnabled(true);
    if (const QString trouble = OAuth2AccountStore::keep(m_host, m_user, account, tokens); !trouble.isEmpty()) {
        m_status->setText(trouble);
        return;
    }
    m_forget->setEnabled(true);
    m_status->setText(QStringLiteral("Signed in with %1. Check Mails now logs in to %2 with OAuth2.").arg(account.provider().name, m_user));
    emit signInChanged(true);
}

void OAuth2Dialog::forget()
{
    QString error;
    if (!OAuth2AccountStore::forget(m_host, m_user, &error)) {
        m_status->setText(QStringLiteral("The secret store could not remove the sign-in: %1").arg(error));
        return;
    }
    m_forget->setEnabled(false);
    m_status->setText(QStringLiteral("The sign-in is forgotten; Check Mails logs in with the password."));
    emit signInChanged(false);
}

void OAuth2Dialog::reject()
{
    if (m_running)
        m_running->cancel();
    QDialog::reject();
}
