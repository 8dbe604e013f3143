#pragma once

#include "mail/CertificateTrust.h"

#include <QString>
#include <QStringList>

class RecordStore;

// What the mailbox flows need of the window, so that they can run (and be
// tested) without widgets.
class MailboxView
{
public:
    enum class Button { Check, Update, Delete };

    virtual ~MailboxView() = default;

    virtual QString hostText() const = 0;
    virtual QString userText() const = 0;
    virtual QString passwordText() const = 0;
    virtual void setButtonEnabled(Button button, bool enabled) = 0;
    virtual void setStatus(const QString &text) = 0;
    virtual void setTitle(const QString &text) = 0;
    virtual void clearMessageList() = 0;
    virtual RecordStore &records() = 0;
    // A modal box with an OK button only; returns when the user closed it.
    virtual void showError(const QString &title, const QString &text) = 0;
    // The server's certificate failed verification: the user decides, before
    // any part of the log-in is sent.
    virtual CertificateAnswer askAboutCertificate(const CertificateQuestion &question) = 0;
    // A log-in with these boxes succeeded.
    virtual void loggedIn(const QString &host, const QString &user) = 0;
    // Lets the window handle pending events once.
    virtual void yieldToEvents() = 0;
    // A flow runs: the window shows that it is busy.
    virtual void setBusy(bool busy) = 0;
    // How far the walk over the messages is: done of total, at a pace a
    // person can read.
    virtual void showProgress(qsizetype /*done*/, qsizetype /*total*/) {}
    // Reads the rule file for the listing that follows; returns the headers,
    // beyond From, Subject, Date and Message-ID, that its rules test.
    virtual QStringList readRules() = 0;
    // The filter pass with the rules read last: marks the records and fills
    // the visible list. Returns a notice for the user when the rules could not
    // be applied, else "".
    virtual QString displayThroughFilter() = 0;
};
