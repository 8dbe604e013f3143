#pragma once

#include "filter/ListingRules.h"
#include "filter/MessageListSink.h"
#include "mail/MailboxFlows.h"
#include "mail/MailboxView.h"
#include "mail/Pop3Client.h"
#include "messages/RecordStore.h"

#include <QHash>
#include <QPalette>
#include <QRect>
#include <QPointer>
#include <QWidget>

#include <memory>

class QCheckBox;
class QDialog;
class QLabel;
class QLineEdit;
class QProgressBar;
class QTableView;
class MessageListFilter;
class MessageListModel;
class QMessageBox;
class QPlainTextEdit;
class QPushButton;
class ClickableLabel;
class RememberedLogIn;

// The program's one window: log-in boxes, status and title lines, the message
// list with its check boxes, the header preview and the command buttons.
class EmailPreview : public QWidget, public MailboxView, public MessageListSink
{
    Q_OBJECT
public:
    explicit EmailPreview(QWidget *parent = nullptr);
    ~EmailPreview() override;

    static QString versionText();
    // Fills the host and user boxes with the non-empty values given (over
    // the remembered log-in).
    void presetLogIn(const QString &host, const QString &user);
    static constexpr const char *WebAddress = "https://purgelet.example.org/";
    static constexpr const char *ContactAddress = "purgelet@example.org";
    static constexpr const char *PresetHost = "pop.example.org";

    Pop3Client &mailClient() { return FreePOP1; }
    RecordStore &records() override { return HEmailList; }

    // MailboxView
    QString hostText() const override;
    QString userText() const override;
    QString passwordText() const override;
    void setButtonEnabled(Button button, bool enabled) override;
    void setStatus(const QString &text) override;
    void setTitle(const QString &text) override;
    void clearMessageList() override;
    void showError(const QString &title, const QString &text) override;
    void yieldToEvents() override;
    void setBusy(bool busy) override;
    void showProgress(qsizetype done, qsizetype total) override;
    QStringList readRules() override;
    QString displayThroughFilter() override;
    CertificateAnswer askAboutCertificate(const CertificateQuestion &question) override;
    void loggedIn(const QString &host, const QString &user) override;

    // MessageListSink
    void clearLines() override;
    void appendLine(const QString &text, bool checked) override;
    void linesDone() override;

protected:
    void closeEvent(QCloseEvent *event) override;
    void resizeEvent(QResizeEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void buildControls();
    void setTabOrderOfControls();
    void describeControls();
    void load();
    void runFlow(void (MailboxFlows::*flow)());
    // Password, or OAuth2 when the account in the boxes has a kept sign-in.
    void useLogInMethodOfAccount();
    void openOAuth2SignIn();
    void buildMessageList();
    void connectListHandlers();
    // The record of the current line (-1 when there is none).
    int currentRecordRow() const;
    void showCheckedCount();
    // Makes the next (step 1) or previous (-1) checked line of those shown
    // current, round the end of the list.
    void goToCheckedLine(int step);
    // Places the controls for the window's size: the list and the preview
    // take what the window gained over its layout.
    void placeControls();
    void connectDocumentsAndLinks();
    void connectRememberedLogIn();
    // A new current line shows its record in the preview box.
    void showPreviewOfLine(int row);

    QLabel *lab_hostname, *Label1, *Label2, *LabStatus, *LabTitle, *LabChecked, *Label3, *labversion, *Label5;
    ClickableLabel *LabURL, *LabEmail;
    QLineEdit *Txthostname, *Txtusername, *Txtpassword, *TxtSearch;
    QCheckBox *ChkRememberPassword;
    QPushButton *cmdcheck, *CmdOAuth2, *CmdUpdate, *CmdDeleteOnSvr, *CmdFilters, *CmdViewReadme, *CmdExit;
    QPushButton *CmdCheckShown, *CmdUncheckShown, *CmdStop;
    QTableView *EmailList;
    QProgressBar *FlowProgress;
    MessageListModel *m_listModel;
    MessageListFilter *m_listFilter;
    QHash<QWidget *, QRect> m_layoutGeometry;  // each control's place at the layout's size
    QPlainTextEdit *HeaderBox;
    RecordStore HEmailList;
    ListingRules m_rules;
    Pop3Client FreePOP1;
    MailboxFlows m_flows;
    QPointer<QDialog> m_openBox;
    RememberedLogIn *m_remembered;
    QPalette m_emptyPreviewPalette;
    std::shared_ptr<AccessTokenKeeper> m_tokens;
    QString m_tokensAccount;
};
