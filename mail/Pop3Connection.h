#pragma once

#include "mail/Pop3ReplyReader.h"

#include <QObject>
#include <QPointer>
#include <QSslCertificate>
#include <QSslError>
#include <functional>
#include <QString>
#include <deque>
#include <map>
#include <set>
#include <optional>

class QEventLoop;
class QSslSocket;

// The transport and command layer of a POP3 session. Commands are queued and
// written while fewer than maxInFlight() of them await their replies (1 means
// one command at a time; more is pipelining). Replies are matched to their
// commands in order. Waiting happens in a nested event loop that handles every
// event, user input included, at once: the window stays live while the program
// waits for the server, and nothing is held back to be replayed after the wait.
// abort() from inside such a wait (the window closed, say) ends the wait at once.
class Pop3Connection : public QObject
{
    Q_OBJECT
public:
    using CommandId = quint64;

    explicit Pop3Connection(QObject *parent = nullptr);
    ~Pop3Connection() override;

    void setTimeoutSeconds(int seconds) { m_timeoutMs = qMax(1, seconds) * 1000; }
    void setMaxInFlight(int commands);
    int maxInFlight() const { return m_maxInFlight; }

    // Opens the TCP (or, with tls, TLS) connection and reads the greeting.
    bool open(const QString &host, quint16 port, bool tls, QString *error);
    // STLS's "+OK" has been read: switch the open connection to TLS.
    bool startTls(const QString &host, QString *error);
    bool isEncrypted() const;
    bool isOpen() const;
    // Drops the connection at once; queued commands fail and a wait in
    // progress returns. The first reason given since open() is the one
    // lastError() keeps.
    void abort(const QString &reason);
    // Sends a last command and closes once it is written, without waiting
    // for its answer; the connection counts as closed from now on.
    void endWith(const QByteArray &command);
    // Decides, during the handshake, on a certificate that failed
    // verification: true lets the handshake go on. Without it, or when it
    // says false, the certificate is refused and kept for the caller to ask
    // about (before anything of the log-in has been sent).
    void setUnverifiedCertificateCheck(std::function<bool(const QSslCertificate &)> accept)
    {
        m_acceptUnverified = std::move(accept);
    }
    QSslCertificate refusedCertificate() const { return m_refusedCertificate; }
    QList<QSslError> refusedCertificateErrors() const { return m_sslErrors; }
    // The status text of a greeting that was "-ERR", for the caller to quote.
    QByteArray refusedGreeting() const { return m_refusedGreeting; }

    // Queues a command (without CRLF). keepBytes bounds the body kept.
    CommandId send(const QByteArray &command, bool multiLine, qsizetype keepBytes = 0);
    // Queues a line of a SASL exchange (AUTH or a response to a challenge),
    // whose answer may be a "+ " continuation.
    CommandId sendSaslStep(const QByteArray &line);
    // Waits for the reply to id. Nothing means the connection failed or timed
    // out; lastError() says why in plain words and the connection is closed.
    std::optional<Pop3Reply> wait(CommandId id);
    // Sends and waits.
    std::optional<Pop3Reply> run(const QByteArray &command, bool multiLine, qsizetype keepBytes = 0);
    // The reply to id is still read in its turn, but nobody will wait for it.
    void discard(CommandId id);
    // Bytes of replies that have arrived and wait for someone to take them.
    qsizetype waitingReplyBytes() const { return m_waitingBytes; }
    // Waits until every command sent has its reply.
    bool waitForAllReplies();

    QString lastError() const { return m_lastError; }
    // The connection failed by a time-out while commands were pipelined: the
    // mark of a server that offers pipelining but does not answer it.
    bool timedOutWhilePipelining() const { return m_timedOutWithOthersPending; }
    // Bytes received but not consumed by any reply.
    bool hasUnreadBytes() const;

private:
    struct Pending { CommandId id; QByteArray command; bool multiLine; qsizetype keepBytes; bool saslStep = false; };

    CommandId queue(Pending command);
    bool waitFor(const std::function<bool()> &done);
    void onReadyRead();
    void pump();

    QSslSocket *m_socket = nullptr;
    QEventLoop *m_waitLoop = nullptr;       // the wait in progress, if any
    QByteArray m_refusedGreeting;
    Pop3ReplyReader m_reader;
    std::deque<Pending> m_queued;           // not yet written
    std::deque<CommandId> m_sent;            // written, reply outstanding
    std::map<CommandId, Pop3Reply> m_replies; // arrived, not yet waited for
    std::set<CommandId> m_discarded;         // replies to drop on arrival
    CommandId m_nextId = 1;
    int m_maxInFlight = 1;
    int m_timeoutMs = 10000;
    QString m_lastError;
    QList<QSslError> m_sslErrors;
    QSslCertificate m_refusedCertificate;
    std::function<bool(const QSslCertificate &)> m_acceptUnverified;
    bool m_failed = false;
    bool m_timedOutWithOthersPending = false;
    qsizetype m_waitingBytes = 0;
};
