#pragma once

#include "mail/CertificateTrust.h"
#include "mail/HeaderCache.h"
#include "mail/HeaderText.h"
#include "mail/HostAddress.h"
#include "mail/OAuth2Sasl.h"
#include "mail/OAuth2Tokens.h"
#include "mail/Pop3Connection.h"

#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <functional>
#include <map>
#include <optional>
#include <memory>
#include <vector>


// The program's POP3 client. Every outcome is reported through ResultCode
// (0 = success), ErrorText and StatusText; nothing throws. Messages are only
// ever read with "TOP n 0": a message is never downloaded whole.
//
// When the server offers PIPELINING, SetCurrentMsg keeps the TOP commands of
// the next messages in flight and DeleteCurrentMsg does not wait for its
// answer; every answer is still read and matched to its command, and QUIT is
// sent only when all of them are in. Headers once read are kept, by unique-id,
// for the life of the client, so a later session sends no TOP for them.
//
// A session with nothing to do ends itself: an empty mailbox, and a server
// without TOP, whose headers cannot be read at all, fail or succeed at Connect
// and are logged out at once.
class Pop3Client : public QObject
{
    Q_OBJECT
public:
    explicit Pop3Client(QObject *parent = nullptr);
    ~Pop3Client() override;

    QString HostName;
    QString UserName;
    QString Password;
    quint16 Port = 110;     // used when the host box names no port
    int Timeout = 10;       // seconds per wait for the server

    // Asked when the server's certificate fails verification, before any
    // part of the log-in is sent; a certificate trusted once or remembered is
    // then accepted by its exact fingerprint. Without it such a certificate
    // is refused.
    std::function<CertificateAnswer(const CertificateQuestion &)> certificateJudge;
    CertificateTrust &certificateTrust() { return m_trust; }

    // Told, in words for the status line, which step of the log-in the
    // client waits for next: a slow server must not look hung.
    std::function<void(const QString &)> stepStarted;

    // How Connect logs in: with Password, or with an OAuth2 access token
    // (SASL OAUTHBEARER or XOAUTH2, over TLS only) that accessToken gives.
    enum class LogInMethod { Password, OAuth2 };
    LogInMethod Method = LogInMethod::Password;
    // Asked once per log-in; lastRefused says the server refused the token
    // it gave last, which must not be given again. A refused token costs one
    // more log-in with a new one, never more.
    std::function<AccessTokenAnswer(bool lastRefused)> accessToken;
    // The mechanism the account's provider asks for; without one, OAUTHBEARER
    // when the server offers it, else XOAUTH2.
    std::optional<TokenMechanism> TokenMechanismWanted;

    void Connect();
    // How the last log-in went: "AUTH PLAIN", "USER/PASS", "OAUTHBEARER" or "XOAUTH2".
    QString LoginMethod() const { return m_loginMethod; }
    int ResultCode() const { return m_result; }
    QString ErrorText() const { return m_error; }
    QString StatusText() const { return m_status; }
    qsizetype MsgCount() const { return qsizetype(m_sizes.size()); }

    void SetCurrentMsg(qsizetype n);
    QString MsgExtraA() const { return m_uid; }
    QString MsgExtraB() const { return m_current.messageId; }
    QString MsgDate() const { return m_current.date; }
    QString MsgFrom() const { return m_current.from; }
    QString MsgSubject() const { return m_current.subject; }
    QString MsgSize() const { return m_size; }
    // The further headers asked for with setFurtherHeaders, as (name, value).
    QList<std::pair<QString, QString>> MsgFurtherHeaders() const { return m_current.fields; }

    void DeleteCurrentMsg();
    void Disconnect();
    // Messages whose DELE the server accepted in this session; they are gone
    // once Disconnect has succeeded (the server acts only at QUIT).
    qsizetype DeletionsAccepted() const { return m_deletionsAccepted; }

    // Drops the connection without QUIT (the server then deletes nothing).
    void Abort();
    bool IsConnected() const;

    // Header bytes kept per message; the rest of a huge header is read and dropped.
    static constexpr qsizetype MaxHeaderBytes = 256 * 1024;
    // With PIPELINING: TOP commands kept ahead of the current message, how
    // few may be left before more are sent, and how many answer bytes may wait
    // unread before no more are asked for. Far servers need a deep window: a
    // round trip of 20 ms with 100 in flight would cap the rate at 5,000
    // messages a second; 4,000 allow 200,000, more than the client handles.
    static constexpr qsizetype ReadAhead = 4000;
    static constexpr qsizetype ReadAheadRefill = 3000;
    static constexpr qsizetype MaxWaitingAnswerBytes = 32 * 1024 * 1024;

    bool IsPipelining() const { return m_pipelining; }
    // Whether SetCurrentMsg may serve headers read in an earlier session.
    // What decides a deletion must come from the server itself: off, every
    // header is read anew (and the cache refreshed with it).
    void setHeaderCacheUse(bool use) { m_useCache = use; }
    // Which messages' headers are read ahead (all without a test); a message
    // left out is still read when it is selected.
    void setHeadersWanted(std::function<bool(qsizetype n)> wanted) { m_headersWanted = std::move(wanted); }
    // Further headers (lower-case names) whose values SetCurrentMsg keeps,
    // beside From, Subject, Date and Message-ID.
    void setFurtherHeaders(const QStringList &names) { m_furtherHeaders = names; }
    // The unique-id the listing gave message n ("" when the server gives none).
    QString UniqueIdOf(qsizetype n) const;
    const HeaderCache &headerCache() const { return m_cache; }

private:
    bool login(const HostAddress &target);
    bool logInWithToken(const HostAddress &target);
    // What is sent right after the log-in, in one write when the server pipelines.
    struct SessionStart
    {
        std::optional<Pop3Connection::CommandId> capabilities, stat, list, uidl;
    };
    SessionStart sendSessionStart();
    bool enterTransaction(const HostAddress &target, const SessionStart &start);
    // Asks certificateJudge about the certificate the last handshake refused;
    // true when the user trusts it and the log-in should be tried again.
    bool askAboutRefusedCertificate(const HostAddress &target);
    Pop3Connection::CommandId sendCapabilities();
    bool readCapabilities(std::optional<Pop3Connection::CommandId> sent = std::nullopt);
    bool readMailboxListing(std::optional<Pop3Connection::CommandId> listSent,
                            std::optional<Pop3Connection::CommandId> uidlSent);
    bool canReadHeaders();
    void quitQuietly();
    bool cachedHeaders(qsizetype n, HeaderValues *values) const;
    void readAhead(qsizetype n);
    void requestFirstHeaders(Pop3Connection::CommandId statId);
    void requestHeaders(qsizetype from, qsizetype to);
    void resetSession();
    void succeed() { m_result = 0; m_error.clear(); }
    void announce(const QString &step) const
    {
        if (stepStarted)
            stepStarted(step);
    }
    void failWith(const QString &text);
    QString cleanServerText(const QByteArray &text) const;
    QByteArray plainCredentials() const;
    QString explainRefusal(const QByteArray &status, const QString &fallback) const;

    std::unique_ptr<Pop3Connection> m_connection;
    int m_result = 0;
    QString m_error;
    QString m_status = QStringLiteral("Not connected");
    QString m_host;
    QStringList m_capabilities;
    QStringList m_saslMechanisms;     // from CAPA's SASL line
    QString m_loginMethod;
    QString m_accessToken;             // of this log-in, kept only to keep it out of quotes
    bool m_tokenRefused = false;
    CertificateTrust m_trust;
    std::vector<qint64> m_sizes;      // LIST octets, index n-1
    std::vector<QString> m_uids;      // UIDL, index n-1 (empty when not offered)
    bool m_pipelining = false;
    QString m_mailboxKey;              // server and user, for the header cache
    std::vector<bool> m_cacheable;     // unique-id present and unique in the listing
    std::map<qsizetype, quint64> m_headerRequests; // TOP sent ahead, by message number
    qsizetype m_requestedUpTo = 0;
    std::vector<quint64> m_unconfirmedDeletes;
    bool m_deletionAsked = false;      // a DELE was sent in this session
    qsizetype m_deletionsAccepted = 0;
    HeaderCache m_cache;
    bool m_useCache = true;
    std::function<bool(qsizetype)> m_headersWanted;
    QStringList m_furtherHeaders;
    QSet<QString> m_pipeliningDistrusted;  // mailboxes whose server offered PIPELINING but stalled on it
    qsizetype m_currentNumber = 0;
    HeaderValues m_current;
    QString m_uid;
    QString m_size;
};
