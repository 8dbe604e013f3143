#include "app/EmailPreview.h"

#include "app/ClickableLabel.h"
#include "app/ApplicationFolder.h"
#include "app/CertificateDialog.h"
#include "app/OAuth2AccountStore.h"
#include "app/OAuth2Dialog.h"
#include "app/RememberedLogIn.h"
#include "app/WindowLook.h"
#include "filter/FilterPass.h"
#include "messages/MessageListModel.h"

#include <QApplication>
#include <QCheckBox>
#include <QCloseEvent>
#include <QDir>
#include <QFontDatabase>
#include <QLineEdit>
#include <QTableView>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QSignalBlocker>
#include <QShortcut>
#include <QStandardPaths>

EmailPreview::EmailPreview(QWidget *parent) : QWidget(parent), m_flows(*this, FreePOP1)
{
    setWindowTitle(QStringLiteral("Purgelet - With E-mail Preview"));
    setFont(uiFont());
    // The window opens at the size of its layout and may grow; the list and
    // the preview take the room it gains.
    const QSize layoutSize = fromTwips(0, 0, 8295, 5640).size();
    setMinimumSize(layoutSize);
    resize(layoutSize);
    buildControls();
    describeControls();
    setTabOrderOfControls();
    FreePOP1.Port = 110;
    FreePOP1.Timeout = 10;
    FreePOP1.certificateTrust().useFile(trustedCertificatesFile());
    load();
    connectRememberedLogIn();
    if (QScreen *screen = QGuiApplication::primaryScreen())
        move(screen->availableGeometry().center() - rect().center());
}

EmailPreview::~EmailPreview() = default;

QString EmailPreview::versionText()
{
    return QStringLiteral("Version %1.%2.%3").arg(PURGELET_VERSION_MAJOR).arg(PURGELET_VERSION_MINOR).arg(PURGELET_VERSION_PATCH);
}

void EmailPreview::buildControls()
{
    auto label = [this](const char *name, const QString &text, QRect geometry) {
        auto *l = new QLabel(text, this);
        l->setObjectName(QLatin1String(name));
        l->setGeometry(geometry);
        return l;
    };
    auto lineEdit = [this](const char *name, QRect geometry) {
        auto *e = new QLineEdit(this);
        e->setObjectName(QLatin1String(name));
        e->setGeometry(geometry);
        e->setMaxLength(32767 * 1024);
        return e;
    };
    auto button = [this](const char *name, const QString &text, QRect geometry) {
        auto *b = new QPushButton(text, this);
        b->setObjectName(QLatin1String(name));
        b->setGeometry(geometry);
        b->setAutoDefault(false);
        return b;
    };
    auto link = [this](const char *name, const QString &text, QRect geometry) {
        auto *l = new ClickableLabel(text, this);
        l->setObjectName(QLatin1String(name));
        l->setGeometry(geometry);
        setColours(l, QPalette::Window, palette().color(QPalette::Window), QColor(0, 0, 192));
        l->setAutoFillBackground(false);
        return l;
    };

    lab_hostname = label("lab_hostname", QStringLiteral("Hostname"), fromTwips(240, 240, 735, 255));
    Txthostname = lineEdit("Txthostname", fromTwips(1200, 240, 2295, 285));
    Txthostname->setText(QLatin1String(PresetHost));
    Label1 = label("Label1", QStringLiteral("Username"), fromTwips(240, 600, 735, 255));
    Txtusername = lineEdit("Txtusername", fromTwips(1200, 600, 2295, 285));
    Label2 = label("Label2", QStringLiteral("Password"), fromTwips(240, 960, 735, 255));
    Txtpassword = lineEdit("Txtpassword", fromTwips(1200, 960, 2295, 285));
    Txtpassword->setEchoMode(QLineEdit::Password);
    Txtpassword->setStyleSheet(QStringLiteral("lineedit-password-character: 42;"));
    cmdcheck = button("cmdcheck", QStringLiteral("Check Mails"), fromTwips(3720, 240, 1455, 375));
    // Two lines: the room between "Check Mails" and the link on the right is
    // too narrow for the box and "Remember password" on one.
    ChkRememberPassword = new QCheckBox(QStringLiteral("Remember\npassword"), this);
    ChkRememberPassword->setObjectName(QStringLiteral("ChkRememberPassword"));
    ChkRememberPassword->setGeometry(fromTwips(3720, 780, 1620, 480));

    LabStatus = label("LabStatus", QString(), fromTwips(240, 1320, 5175, 255));
    setColours(LabStatus, QPalette::Window, palette().color(QPalette::Button), QColor(0, 128, 0));
    // The count of checked lines takes the right end of the title band.
    LabTitle = label("LabTitle", QStringLiteral("Total Messages"), fromTwips(240, 1680, 3975, 255));
    setColours(LabTitle, QPalette::Window, QColor(192, 192, 255), palette().color(QPalette::WindowText));

    buildMessageList();

    HeaderBox = new QPlainTextEdit(this);
    HeaderBox->setObjectName(QStringLiteral("HeaderBox"));
    HeaderBox->setGeometry(fromTwips(240, 3720, 5775, 1815));
    HeaderBox->setLineWrapMode(QPlainTextEdit::WidgetWidth);
    HeaderBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    HeaderBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    HeaderBox->setFont(fixedBoldFont());
    HeaderBox->setTabChangesFocus(true);
    setColours(HeaderBox, QPalette::Base, palette().color(QPalette::Button), palette().color(QPalette::WindowText));
    HeaderBox->insertPlainText(QStringLiteral("Message Header Preview\r\n"));
    m_emptyPreviewPalette = HeaderBox->palette();

    Label3 = label("Label3", QStringLiteral("Purgelet"), fromTwips(5400, 120, 2775, 495));
    Label3->setFont(uiFont(13.5));
    labversion = label("labversion", QString(), fromTwips(5400, 480, 2655, 255));
    LabURL = link("LabURL", QLatin1String(WebAddress), fromTwips(5400, 960, 2655, 255));
    Label5 = label("Label5", QStringLiteral("Comments to"), fromTwips(5400, 1200, 975, 255));
    LabEmail = link("LabEmail", QLatin1String(ContactAddress), fromTwips(6360, 1200, 1695, 255));

    CmdOAuth2 = button("CmdOAuth2", QStringLiteral("OAuth2 Sign-in..."), fromTwips(6240, 1500, 1935, 420));
    CmdUpdate = button("CmdUpdate", QStringLiteral("Update From Server"), fromTwips(6240, 2040, 1935, 495));
    CmdDeleteOnSvr = button("CmdDeleteOnSvr", QStringLiteral("Delete Now on Server"), fromTwips(6240, 2760, 1935, 495));
    CmdFilters = button("CmdFilters", QStringLiteral("Create Filters"), fromTwips(6240, 3480, 1935, 495));
    CmdViewReadme = button("CmdViewReadme", QStringLiteral("View Readme"), fromTwips(6240, 4200, 1935, 495));
    CmdExit = button("CmdExit", QStringLiteral("Exit"), fromTwips(6240, 4920, 1935, 495));

    for (QLabel *l : findChildren<QLabel *>())
        l->setFocusPolicy(Qt::NoFocus);

    connect(cmdcheck, &QPushButton::clicked, this, [this] { runFlow(&MailboxFlows::checkMails); });
    connect(CmdUpdate, &QPushButton::clicked, this, [this] { runFlow(&MailboxFlows::checkMails); });
    connect(CmdDeleteOnSvr, &QPushButton::clicked, this, [this] { runFlow(&MailboxFlows::deleteOnServer); });
    connect(CmdExit, &QPushButton::clicked, this, &QWidget::close);
    connect(CmdOAuth2, &QPushButton::clicked, this, &EmailPreview::openOAuth2SignIn);
    // Enter in a log-in box is "Check Mails" (which does nothing while a flow runs).
    for (QLineEdit *box : {Txthostname, Txtusername, Txtpassword})
        connect(box, &QLineEdit::returnPressed, this, [this] {
            if (cmdcheck->isEnabled())
                runFlow(&MailboxFlows::checkMails);
        });
    auto *quit = new QShortcut(QKeySequence(Qt::CTRL | Qt::Key_Q), this);
    connect(quit, &QShortcut::activated, this, &QWidget::close);
    connectListHandlers();
    connectDocumentsAndLinks();
}

void EmailPreview::setTabOrderOfControls()
{
    // Keyboard order: password, user, host, then the rest of the window.
    const QList<QWidget *> order{Txtpassword, Txtusername, Txthostname, cmdcheck, ChkRememberPassword, CmdOAuth2, EmailList,
                                 TxtSearch, CmdCheckShown, CmdUncheckShown, CmdStop, CmdFilters,
                                 HeaderBox, CmdDeleteOnSvr, CmdUpdate, CmdViewReadme, CmdExit};
    for (qsizetype i = 0; i + 1 < order.size(); ++i)
        setTabOrder(order[i], order[i + 1]);
    Txtpassword->setFocus();
}

void EmailPreview::load()
{
    labversion->setText(versionText());
    m_listModel->showRows(0);
    HEmailList.clear();
    CmdDeleteOnSvr->setEnabled(false);
    CmdUpdate->setEnabled(false);
    LabStatus->setText(QStringLiteral("Not Connected"));
    fitStaticCaptions(this);
}

void EmailPreview::describeControls()
{
    // Names for screen readers; captions speak for the buttons and links.
    const std::pair<QWidget *, const char *> names[] = {
        {Txthostname, "Mail server (host name, host:port or pop3s://host)"}, {Txtusername, "User name"},
        {Txtpassword, "Password"}, {LabStatus, "Status"}, {LabTitle, "Mailbox total"},
        {EmailList, "Messages; checked ones are deleted on the server"}, {HeaderBox, "Header of the selected message"},
        {TxtSearch, "Search the list"}, {FlowProgress, "Progress"},
        {LabURL, "Web page"}, {LabEmail, "Write to the authors"}, {labversion, "Version"}, {Label3, "Program name"},
    };
    for (const auto &[widget, name] : names)
        widget->setAccessibleName(QLatin1String(name));
    for (QPushButton *b : findChildren<QPushButton *>())
        b->setAccessibleName(b->text());
    ChkRememberPassword->setAccessibleName(QStringLiteral("Remember password"));
    for (QLabel *l : {lab_hostname, Label1, Label2, Label5})
        l->setAccessibleName(l->text());
}

void EmailPreview::runFlow(void (MailboxFlows::*flow)())
{
    useLogInMethodOfAccount();
    (m_flows.*flow)();
}

void EmailPreview::useLogInMethodOfAccount()
{
    const QString host = hostText().trimmed(), user = userText();
    const std::optional<OAuth2Account> account = OAuth2AccountStore::load(host, user);
    if (!account) {
        FreePOP1.Method = Pop3Client::LogInMethod::Password;
        m_tokens.reset();
        return;
    }
    FreePOP1.Method = Pop3Client::LogInMethod::OAuth2;
    FreePOP1.TokenMechanismWanted = account->mechanism();
    // The access token is kept for the account between flows, in memory only.
    const QString key = user + u'@' + host;
    if (!m_tokens || m_tokensAccount != key) {
        m_tokensAccount = key;
        m_tokens = std::make_shared<AccessTokenKeeper>(
            account->provider(), AccessTokenKeeper::Store{[host, user] {
                                                              QString error;
                                                              return OAuth2AccountStore::readRefreshToken(host, user, &error).value_or(QString());
                                                          },
                                                          [this, host, user](const QString &token) {
                                                              QString error;
                                                              if (!OAuth2AccountStore::writeRefreshToken(host, user, token, &error))
                                                                  showError(QStringLiteral("OAuth2 sign-in"),
                                                                            QStringLiteral("The secret store could not keep the renewed "
                                                                                           "sign-in (%1); you may have to sign in again "
                                                                                           "next time.").arg(error));
                                                          }});
    }
    FreePOP1.accessToken = [keeper = m_tokens](bool lastRefused) { return keeper->accessToken(lastRefused); };
}

void EmailPreview::openOAuth2SignIn()
{
    if (userText().isEmpty()) {
        showError(QStringLiteral("OAuth2 sign-in"), QStringLiteral("Enter the user name first: the mail address the provider knows you by."));
        return;
    }
    auto *dialog = new OAuth2Dialog(hostText().trimmed(), userText(), this);
    dialog->setAttribute(Qt::WA_DeleteOnClose);
    connect(dialog, &OAuth2Dialog::signInChanged, this, [this, dialog](bool signedIn) {
        m_tokens.reset();
        if (signedIn && hostText().trimmed().isEmpty())
            Txthostname->setText(dialog->providerHost());
        setStatus(signedIn ? QStringLiteral("Signed in with OAuth2: Check Mails logs in without the password")
                           : QStringLiteral("OAuth2 sign-in forgotten: Check Mails logs in with the password"));
    });
    dialog->open();
}

void EmailPreview::presetLogIn(const QString &host, const QString &user)
{
    if (!host.isEmpty())
        Txthostname->setText(host);
    if (!user.isEmpty())
        Txtusername->setText(user);
}

void EmailPreview::connectRememberedLogIn()
{
    m_remembered = new RememberedLogIn(this);
    presetLogIn(m_remembered->host(), m_remembered->user());
    connect(m_remembered, &RememberedLogIn::passwordFound, this, [this](const QString &password) {
        if (Txtpassword->text().isEmpty())
            Txtpassword->setText(password);
        const QSignalBlocker blocker(ChkRememberPassword);
        ChkRememberPassword->setChecked(true);
    });
    connect(m_remembered, &RememberedLogIn::secretStoreMissing, this, [this](const QString &why) {
        ChkRememberPassword->setChecked(false);
        ChkRememberPassword->setEnabled(false);
        ChkRememberPassword->setToolTip(QStringLiteral("No secret store (such as GNOME Keyring or KWallet) answers, so "
                                                       "the password cannot be kept safely and is never kept at all. (%1)")
                                            .arg(why));
    });
    connect(m_remembered, &RememberedLogIn::secretStoreFailed, this,
            [this](const QString &why) { setStatus(QStringLiteral("The secret store failed: %1").arg(why)); });
    // Unticking forgets the password at once; ticking keeps it at the next
    // successful log-in.
    connect(ChkRememberPassword, &QCheckBox::toggled, this, [this](bool on) {
        if (!on)
            m_remembered->forgetPassword(hostText().trimmed(), userText());
    });
    // Also a probe: without a secret store the box is disabled.
    m_remembered->lookUpPassword(hostText().trimmed(), userText());
}

void EmailPreview::loggedIn(const QString &host, const QString &user)
{
    m_remembered->rememberHostAndUser(host.trimmed(), user);
    if (ChkRememberPassword->isChecked())
        m_remembered->storePassword(host.trimmed(), user, passwordText());
}

CertificateAnswer EmailPreview::askAboutCertificate(const CertificateQuestion &question)
{
    if (m_flows.cancelled())
        return CertificateAnswer::Cancel;
    setBusy(false);
    CertificateDialog dialog(question, this);
    m_openBox = &dialog;
    const CertificateAnswer answer = dialog.ask();
    setBusy(true);
    return answer;
}

QString EmailPreview::hostText() const { return Txthostname->text(); }
QString EmailPreview::userText() const { return Txtusername->text(); }
QString EmailPreview::passwordText() const { return Txtpassword->text(); }

void EmailPreview::setButtonEnabled(Button button, bool enabled)
{
    switch (button) {
    case Button::Check: cmdcheck->setEnabled(enabled); break;
    case Button::Update: CmdUpdate->setEnabled(enabled); break;
    case Button::Delete: CmdDeleteOnSvr->setEnabled(enabled); break;
    }
}

void EmailPreview::setStatus(const QString &text)
{
    LabStatus->setText(text);
    LabStatus->setToolTip(text);
    fitCaption(LabStatus, text, 2, font());
}
void EmailPreview::setTitle(const QString &text) { LabTitle->setText(text); }
void EmailPreview::clearMessageList() { clearLines(); }

void EmailPreview::showError(const QString &title, const QString &text)
{
    if (m_flows.cancelled())
        return;
    QMessageBox box(QMessageBox::NoIcon, title, text, QMessageBox::Ok, this);
    m_openBox = &box;
    box.exec();
}

void EmailPreview::yieldToEvents()
{
    // Every pending event, user input included, is handled now (see MailboxFlows).
    QCoreApplication::processEvents();
}


QStringList EmailPreview::readRules() { return m_rules.read(ruleFilePath()); }

QString EmailPreview::displayThroughFilter() { return m_rules.apply(HEmailList, *this); }

void EmailPreview::closeEvent(QCloseEvent *event)
{
    event->accept();
    if (!m_flows.running())
        return;
    // A flow is still on the stack, perhaps in a wait for the server: it ends
    // at once without QUIT, and so does the program, also while the flow unwinds.
    m_flows.cancel();
    if (m_openBox)
        m_openBox->reject();
    QCoreApplication::quit();
}
