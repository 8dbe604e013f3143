#pragma once

#include "filter/MessageListSink.h"
#include "filter/ListingRules.h"
#include "mail/MailboxView.h"
#include "messages/RecordStore.h"

#include <QStringList>

// The mailbox flows' view for the command line: no window, the boxes go to
// standard error in the same words, the records stay for printing, and a
// certificate is accepted only when its fingerprint is the one given.
class CommandLineView : public MailboxView, public MessageListSink
{
public:
    struct Account { QString host, user, password, ruleFile; QByteArray trustedFingerprint; };
    explicit CommandLineView(Account account) : m_account(std::move(account)) {}

    QString hostText() const override { return m_account.host; }
    QString userText() const override { return m_account.user; }
    QString passwordText() const override { return m_account.password; }
    void setButtonEnabled(Button, bool) override {}
    void setStatus(const QString &text) override { m_status = text; }
    void setTitle(const QString &) override {}
    void clearMessageList() override {}
    RecordStore &records() override { return m_records; }
    void showError(const QString &title, const QString &text) override;
    CertificateAnswer askAboutCertificate(const CertificateQuestion &question) override;
    void loggedIn(const QString &, const QString &) override { m_loggedIn = true; }
    void yieldToEvents() override {}
    void setBusy(bool) override {}
    QStringList readRules() override;
    QString displayThroughFilter() override;

    void clearLines() override {}
    void appendLine(const QString &, bool) override {}

    QString status() const { return m_status; }
    // Whether a session of this run logged in; the boxes shown (titles).
    bool loggedInOnce() const { return m_loggedIn; }
    QStringList errorTitles() const { return m_errorTitles; }
    const RuleBlock &rules() const { return m_rules.block(); }
    void forgetErrors() { m_errorTitles.clear(); m_loggedIn = false; }

private:
    Account m_account;
    RecordStore m_records;
    QString m_status;
    QStringList m_errorTitles;
    bool m_loggedIn = false;
    ListingRules m_rules;
};

// A line on standard error: "purgelet: text".
void printError(const QString &text);

// A fingerprint as typed (colons or not, any case), in the form the program
// compares: upper-case hex pairs joined by colons; "" when it is none.
QByteArray normalizedFingerprint(const QString &typed);
