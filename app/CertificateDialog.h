#pragma once

#include "mail/CertificateTrust.h"

#include <QDialog>

// Asks the user about a server certificate that failed verification: the
// server, each reason, the certificate's subject, issuer, dates and SHA-256
// fingerprint, and, when the server's remembered certificate has changed, both
// fingerprints under a warning. "Cancel" is the default, and Escape cancels.
class CertificateDialog : public QDialog
{
    Q_OBJECT
public:
    CertificateDialog(const CertificateQuestion &question, QWidget *parent);
    CertificateAnswer ask();

    // The words of the dialog, also for the box after a refusal.
    static QString describe(const CertificateQuestion &question);

private:
    CertificateAnswer m_answer = CertificateAnswer::Cancel;
};
