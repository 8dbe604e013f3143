#include "app/CommandLineView.h"

#include "filter/FilterPass.h"

#include <QRegularExpression>
#include <cstdio>

void printError(const QString &text)
{
    std::fprintf(stderr, "purgelet: %s\n", text.toUtf8().constData());
    std::fflush(stderr);
}

QByteArray normalizedFingerprint(const QString &typed)
{
    QString hex = typed.trimmed().toUpper();
    hex.remove(u':');
    if (!QRegularExpression(QStringLiteral("^[0-9A-F]{64}$")).match(hex).hasMatch())
        return QByteArray();
    return QByteArray::fromHex(hex.toLatin1()).toHex(':').toUpper();
}

void CommandLineView::showError(const QString &title, const QString &text)
{
    m_errorTitles << title;
    printError(text);
}

CertificateAnswer CommandLineView::askAboutCertificate(const CertificateQuestion &q)
{
    if (!m_account.trustedFingerprint.isEmpty() && q.fingerprint == m_account.trustedFingerprint)
        return CertificateAnswer::OnlyThisTime;
    QString text = !q.storedFingerprint.isEmpty()
        ? QStringLiteral("WARNING: the certificate of %1 has CHANGED since you chose to trust it (remembered: %2).\n")
              .arg(q.server, QString::fromLatin1(q.storedFingerprint))
        : QString();
    text += QStringLiteral("The certificate of %1 could not be verified: %2\nSHA-256 fingerprint: %3\n"
                           "Compare it with the one your mail provider gives you; to accept exactly this certificate "
                           "for one run, add --trust-fingerprint %3")
                .arg(q.server, q.reasons.join(u' '), QString::fromLatin1(q.fingerprint));
    printError(text);
    return CertificateAnswer::Cancel;
}

QStringList CommandLineView::readRules() { return m_rules.read(m_account.ruleFile); }

QString CommandLineView::displayThroughFilter() { return m_rules.apply(m_records, *this); }
