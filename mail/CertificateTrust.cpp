#include "mail/CertificateTrust.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLocale>
#include <QRegularExpression>
#include <QSaveFile>

namespace {

QString describe(const QSslError &error, const QString &host, const QSslCertificate &certificate)
{
    const auto date = [](const QDateTime &when) { return QLocale::c().toString(when.toUTC(), "d MMMM yyyy"); };
    switch (error.error()) {
    case QSslError::SelfSignedCertificate:
    case QSslError::SelfSignedCertificateInChain:
        return QStringLiteral("The server signed its certificate itself: no authority vouches for it.");
    case QSslError::UnableToGetLocalIssuerCertificate:
    case QSslError::UnableToGetIssuerCertificate:
    case QSslError::UnableToVerifyFirstCertificate:
    case QSslError::CertificateUntrusted:
        return QStringLiteral("The certificate was issued by an authority this computer does not trust.");
    case QSslError::HostNameMismatch: {
        QStringList names = certificate.subjectAlternativeNames().values(QSsl::DnsEntry);
        if (names.isEmpty())
            names = certificate.subjectInfo(QSslCertificate::CommonName);
        return QStringLiteral("The certificate is made out for %1, not for %2.")
            .arg(names.isEmpty() ? QStringLiteral("no name") : names.join(QStringLiteral(", ")), host);
    }
    case QSslError::CertificateExpired:
        return QStringLiteral("The certificate expired on %1.").arg(date(certificate.expiryDate()));
    case QSslError::CertificateNotYetValid:
        return QStringLiteral("The certificate is valid only from %1.").arg(date(certificate.effectiveDate()));
    default:
        return error.errorString() + u'.';
    }
}

const QRegularExpression &fingerprintPattern()
{
    static const QRegularExpression pattern(QStringLiteral("^([0-9A-F]{2}:){31}[0-9A-F]{2}$"));
    return pattern;
}

const QRegularExpression &serverPattern()
{
    static const QRegularExpression pattern(QStringLiteral("^(\\[[0-9A-Fa-f:.]+\\]|[^\\s:\\[\\]]+):[0-9]{1,5}$"));
    return pattern;
}

} // namespace

CertificateQuestion CertificateQuestion::about(const QString &server, const QString &host,
                                               const QSslCertificate &certificate, const QList<QSslError> &errors)
{
    CertificateQuestion q;
    q.server = server;
    for (const QSslError &e : errors)
        if (const QString reason = describe(e, host, certificate); !q.reasons.contains(reason))
            q.reasons << reason;
    q.subject = certificate.subjectDisplayName();
    q.issuer = certificate.issuerDisplayName();
    q.validFrom = certificate.effectiveDate().toUTC().toString(Qt::ISODate);
    q.validUntil = certificate.expiryDate().toUTC().toString(Qt::ISODate);
    q.fingerprint = sha256Fingerprint(certificate);
    return q;
}

QByteArray sha256Fingerprint(const QSslCertificate &certificate)
{
    return certificate.digest(QCryptographicHash::Sha256).toHex(':').toUpper();
}

QString serverKey(const QString &host, quint16 port)
{
    return (host.contains(u':') ? u'[' + host + u']' : host) + u':' + QString::number(port);
}

QByteArray CertificateTrust::fileHeader()
{
    return "# Certificates Purgelet trusts although they could not be verified,\n"
           "# because you chose \"Trust this certificate\". One per line: the server\n"
           "# (host:port) and the certificate's SHA-256 fingerprint. Delete a line\n"
           "# to forget that certificate; Purgelet then asks again.\n";
}

void CertificateTrust::useFile(const QString &path)
{
    m_path = path;
    m_remembered.clear();
    m_report.clear();
    QFile file(path);
    if (path.isEmpty() || !file.exists())
        return;
    if (!file.open(QIODevice::ReadOnly)) {
        m_report = QStringLiteral("The file of trusted certificates, %1, cannot be read: %2. No certificate is "
                                  "trusted from it.").arg(QDir::toNativeSeparators(path), file.errorString());
        return;
    }
    int lineNumber = 0;
    while (!file.atEnd()) {
        ++lineNumber;
        const QString line = QString::fromUtf8(file.readLine()).trimmed();
        if (line.isEmpty() || line.startsWith(u'#'))
            continue;
        const QStringList parts = line.simplified().split(u' ');
        if (parts.size() != 2 || !serverPattern().match(parts[0]).hasMatch() ||
            !fingerprintPattern().match(parts[1]).hasMatch()) {
            m_remembered.clear();
            m_report = QStringLiteral("The file of trusted certificates, %1, is damaged (line %2 is not "
                                      "\"host:port fingerprint\"). No certificate is trusted from it; trusting one "
                                      "anew replaces the file.").arg(QDir::toNativeSeparators(path)).arg(lineNumber);
            return;
        }
        m_remembered[parts[0]] = parts[1].toLatin1();
    }
}

bool CertificateTrust::accepts(const QString &server, const QByteArray &fingerprint) const
{
    for (const auto *known : {&m_remembered, &m_once})
        if (const auto it = known->find(server); it != known->end() && it->second == fingerprint)
            return true;
    return false;
}

QByteArray CertificateTrust::remembered(const QString &server) const
{
    const auto it = m_remembered.find(server);
    return it == m_remembered.end() ? QByteArray() : it->second;
}

void CertificateTrust::trustOnce(const QString &server, const QByteArray &fingerprint)
{
    m_once[server] = fingerprint;
}

bool CertificateTrust::remember(const QString &server, const QByteArray &fingerprint)
{
    std::map<QString, QByteArray> next = m_remembered;
    next[server] = fingerprint;
    if (!m_path.isEmpty()) {
        QDir().mkpath(QFileInfo(m_path).absolutePath());
        QSaveFile file(m_path);
        if (file.open(QIODevice::WriteOnly)) {
            file.write(fileHeader());
            for (const auto &[key, print] : next)
                file.write(key.toUtf8() + ' ' + print + '\n');
        }
        if (!file.commit()) {
            m_report = QStringLiteral("The certificate could not be remembered in %1: %2. It is trusted until "
                                      "Purgelet ends.")
                         .arg(QDir::toNativeSeparators(m_path), file.errorString());
            return false;
        }
    }
    m_remembered = std::move(next);
    return true;
}

QString CertificateTrust::takeReport()
{
    return std::exchange(m_report, QString());
}
