#include "app/CertificateDialog.h"

#include <QDialogButtonBox>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

QString CertificateDialog::describe(const CertificateQuestion &q)
{
    QString text;
    if (!q.storedFingerprint.isEmpty())
        text += QStringLiteral("The certificate of %1 is not the one you chose to trust. Someone may be intercepting "
                               "the connection, or the server got a new certificate. Do not go on unless you know "
                               "which.\n\nRemembered fingerprint: %2\nNew fingerprint:        %3\n\n")
                    .arg(q.server, QString::fromLatin1(q.storedFingerprint), QString::fromLatin1(q.fingerprint));
    text += QStringLiteral("The certificate of %1 could not be verified:\n").arg(q.server);
    for (const QString &reason : q.reasons)
        text += QStringLiteral("- %1\n").arg(reason);
    text += QStringLiteral("\nSubject:     %1\nIssued by:   %2\nValid from:  %3\nValid until: %4\nSHA-256:     %5\n\n")
                .arg(q.subject, q.issuer, q.validFrom, q.validUntil, QString::fromLatin1(q.fingerprint));
    text += QStringLiteral("Nothing of your log-in has been sent. Trust the certificate only if its fingerprint is "
                           "the one your mail provider or administrator gave you.");
    return text;
}

CertificateDialog::CertificateDialog(const CertificateQuestion &question, QWidget *parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("CertificateDialog"));
    const bool changed = !question.storedFingerprint.isEmpty();
    setWindowTitle(changed ? QStringLiteral("WARNING: the server's certificate has changed")
                           : QStringLiteral("Unverified certificate"));
    auto *layout = new QVBoxLayout(this);
    auto *heading = new QLabel(changed ? QStringLiteral("WARNING: THE SERVER'S CERTIFICATE HAS CHANGED")
                                       : QStringLiteral("The server's certificate could not be verified"), this);
    QFont bold = heading->font();
    bold.setBold(true);
    heading->setFont(bold);
    if (changed)
        heading->setStyleSheet(QStringLiteral("color: #c00000;"));
    layout->addWidget(heading);
    auto *text = new QLabel(describe(question), this);
    text->setObjectName(QStringLiteral("certificateText"));
    text->setTextFormat(Qt::PlainText);
    text->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    text->setFont(QFont(QStringLiteral("monospace")));
    text->setWordWrap(false);
    layout->addWidget(text);

    auto *buttons = new QDialogButtonBox(this);
    auto add = [&](const char *name, const QString &caption, QDialogButtonBox::ButtonRole role, CertificateAnswer answer) {
        QPushButton *b = buttons->addButton(caption, role);
        b->setObjectName(QLatin1String(name));
        b->setAutoDefault(false);
        connect(b, &QPushButton::clicked, this, [this, answer] {
            m_answer = answer;
            answer == CertificateAnswer::Cancel ? reject() : accept();
        });
        return b;
    };
    add("trustButton", QStringLiteral("Trust this certificate"), QDialogButtonBox::AcceptRole, CertificateAnswer::Trust);
    add("onceButton", QStringLiteral("Only this time"), QDialogButtonBox::AcceptRole, CertificateAnswer::OnlyThisTime);
    QPushButton *cancel = add("cancelButton", QStringLiteral("Cancel"), QDialogButtonBox::RejectRole, CertificateAnswer::Cancel);
    cancel->setDefault(true);
    cancel->setFocus();
    layout->addWidget(buttons);
}

CertificateAnswer CertificateDialog::ask()
{
    // Escape, the window's close button and a reject from outside all cancel.
    m_answer = CertificateAnswer::Cancel;
    return exec() == QDialog::Accepted ? m_answer : CertificateAnswer::Cancel;
}
