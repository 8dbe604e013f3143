#pragma once

#include <QByteArray>
#include <QList>
#include <QSslCertificate>
#include <QSslError>
#include <QString>
#include <QStringList>

#include <map>

// A certificate that failed verification, as the user is asked about it.
struct CertificateQuestion
{
    QString server;                // host:port as connected to
    QStringList reasons;           // each verification failure, in plain words
    QString subject, issuer, validFrom, validUntil;
    QByteArray fingerprint;        // SHA-256, "AB:CD:..."
    QByteArray storedFingerprint;  // set when the server's remembered certificate changed

    static CertificateQuestion about(const QString &server, const QString &host, const QSslCertificate &certificate,
                                     const QList<QSslError> &errors);
};

enum class CertificateAnswer { Cancel, OnlyThisTime, Trust };

// SHA-256 of the certificate as colon-separated upper-case hex pairs.
QByteArray sha256Fingerprint(const QSslCertificate &certificate);

// "host:port", the host in brackets when it is an IPv6 address.
QString serverKey(const QString &host, quint16 port);

// The certificates the user chose to trust although they could not be
// verified: one per server, known by its exact SHA-256 fingerprint, so a
// different certificate from the same server is never taken for it.
//
// The remembered ones live in a text file (see fileHeader()), rewritten
// atomically on every change. A file that cannot be read as such is reported
// once and counts as empty: a damaged file never trusts anything.
// "Only this time" decisions are kept in memory for the life of the program.
class CertificateTrust
{
public:
    // Loads the file; an empty path keeps everything in memory.
    void useFile(const QString &path);
    QString file() const { return m_path; }

    bool accepts(const QString &server, const QByteArray &fingerprint) const;
    // The remembered fingerprint for the server ("" when none).
    QByteArray remembered(const QString &server) const;
    void trustOnce(const QString &server, const QByteArray &fingerprint);
    // Remembers it in the file; false when the file cannot be written, which
    // the next report says.
    bool remember(const QString &server, const QByteArray &fingerprint);

    // What went wrong with the file (damage found when it was loaded, a
    // failed write), said once; "" when nothing did.
    QString takeReport();

    static QByteArray fileHeader();

private:
    QString m_path;
    std::map<QString, QByteArray> m_remembered;
    std::map<QString, QByteArray> m_once;
    QString m_report;
};
