#pragma once

#include "mail/MailboxView.h"
#include "messages/RecordStore.h"

// A window without widgets for driving the mailbox flows directly: it logs
// in with host/user/password, keeps the records, counts the message boxes and
// shows nothing. Tests override what they watch.
struct HeadlessView : MailboxView
{
    RecordStore store;
    QString host, user = QStringLiteral("tester"), password = QStringLiteral("secret");
    int boxes = 0;

    QString hostText() const override { return host; }
    QString userText() const override { return user; }
    QString passwordText() const override { return password; }
    void setButtonEnabled(Button, bool) override {}
    void setStatus(const QString &) override {}
    void setTitle(const QString &) override {}
    void clearMessageList() override {}
    RecordStore &records() override { return store; }
    void showError(const QString &, const QString &) override { ++boxes; }
    void yieldToEvents() override {}
    void setBusy(bool) override {}
    QStringList readRules() override { return {}; }
    QString displayThroughFilter() override { return QString(); }
    CertificateAnswer askAboutCertificate(const CertificateQuestion &) override { return CertificateAnswer::Cancel; }
    void loggedIn(const QString &, const QString &) override {}
};
