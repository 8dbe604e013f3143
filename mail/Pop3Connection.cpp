#include "mail/Pop3Connection.h"

#include <QElapsedTimer>
#include <QEventLoop>
#include <QSslSocket>
#include <QTimer>
#include <utility>

namespace {
// A reply may keep trickling in, but no single wait lasts longer than this.
constexpr int MaxWaitMultiplier = 12;

QString describeSslErrors(const QList<QSslError> &errors)
{
    QStringList reasons;
    for (const QSslError &e : errors)
        if (!reasons.contains(e.errorString()))
            reasons << e.errorString();
    return QStringLiteral("The server's certificate was refused: %1.").arg(reasons.join(QStringLiteral("; ")));
}
qsizetype replySize(const Pop3Reply &reply)
{
    qsizetype bytes = reply.status.size();
    for (const QByteArray &line : reply.lines)
        bytes += line.size() + 2;
    return bytes;
}
} // namespace

Pop3Connection::Pop3Connection(QObject *parent) : QObject(parent) {}

Pop3Connection::~Pop3Connection()
{
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
    }
}

bool Pop3Connection::isOpen() const
{
    return m_socket && !m_failed && m_socket->state() == QAbstractSocket::ConnectedState;
}

bool Pop3Connection::isEncrypted() const
{
    return m_socket && m_socket->isEncrypted();
}

bool Pop3Connection::hasUnreadBytes() const
{
    return (m_socket && m_socket->bytesAvailable() > 0) || m_reader.hasBufferedBytes() || !m_replies.empty();
}

void Pop3Connection::abort(const QString &reason)
{
    if (!m_failed)
        m_lastError = reason;
    m_failed = true;
    if (m_waitLoop)
        m_waitLoop->quit();
    if (m_socket) {
        m_socket->disconnect(this);
        m_socket->abort();
        m_socket->deleteLater();
        m_socket = nullptr;
    }
}

void Pop3Connection::endWith(const QByteArray &command)
{
    if (!m_socket || m_failed)
        return;
    QSslSocket *socket = std::exchange(m_socket, nullptr);
    socket->disconnect(this);
    socket->write(command + "\r\n");
    socket->flush();
    // Closes once anything still buffered is written; a socket that never
    // gets there goes with this object.
    connect(socket, &QAbstractSocket::disconnected, socket, &QObject::deleteLater);
    socket->disconnectFromHost();
    m_failed = true;
    m_lastError = QStringLiteral("The session has ended.");
}

bool Pop3Connection::open(const QString &host, quint16 port, bool tls, QString *error)
{
    abort(QString());
    m_failed = false;
    m_lastError.clear();
    m_refusedGreeting.clear();
    m_reader = Pop3ReplyReader();
    m_queued.clear();
    m_sent.clear();
    m_replies.clear();
    m_discarded.clear();
    m_waitingBytes = 0;
    m_sslErrors.clear();
    m_refusedCertificate = QSslCertificate();
    m_timedOutWithOthersPending = false;

    if (tls && !QSslSocket::supportsSsl()) {
        *error = QStringLiteral("TLS is not available on this computer (no TLS library found).");
        return false;
    }
    m_socket = new QSslSocket(this);
    m_socket->setPeerVerifyName(host);
    connect(m_socket, &QSslSocket::readyRead, this, &Pop3Connection::onReadyRead);
    connect(m_socket, &QSslSocket::sslErrors, this, [this](const QList<QSslError> &errors) {
        const QSslCertificate peer = m_socket->peerCertificate();
        if (!peer.isNull() && m_acceptUnverified && m_acceptUnverified(peer)) {
            m_socket->ignoreSslErrors();
            return;
        }
        m_sslErrors = errors;
        m_refusedCertificate = peer;
    });
    connect(m_socket, &QAbstractSocket::errorOccurred, this, [this](QAbstractSocket::SocketError code) {
        if (!m_sslErrors.isEmpty()) {
            abort(describeSslErrors(m_sslErrors));
            return;
        }
        switch (code) {
        case QAbstractSocket::ConnectionRefusedError:
            abort(QStringLiteral("The server refused the connection (no POP3 service on that port?)."));
            break;
        case QAbstractSocket::HostNotFoundError:
            abort(QStringLiteral("The mail server's name could not be found."));
            break;
        case QAbstractSocket::RemoteHostClosedError:
            abort(QStringLiteral("The server closed the connection."));
            break;
        case QAbstractSocket::SslHandshakeFailedError:
            abort(QStringLiteral("The secure (TLS) connection could not be set up: %1").arg(m_socket->errorString()));
            break;
        default:
            abort(QStringLiteral("The connection to the server failed: %1").arg(m_socket->errorString()));
        }
    });

    // The greeting is the reply to "connecting".
    const CommandId greeting = m_nextId++;
    m_reader.expect(false, 0);
    m_sent.push_back(greeting);
    if (tls)
        m_socket->connectToHostEncrypted(host, port, host);
    else
        m_socket->connectToHost(host, port);

    const std::optional<Pop3Reply> reply = wait(greeting);
    if (!reply) {
        *error = m_lastError;
        return false;
    }
    if (!reply->ok) {
        m_refusedGreeting = reply->status;
        *error = QStringLiteral("The server did not accept the connection.");
        abort(*error);
        return false;
    }
    return true;
}

bool Pop3Connection::startTls(const QString &host, QString *error)
{
    if (!m_socket || m_failed || hasUnreadBytes()) {
        // Bytes already sent before TLS begins would count as if protected.
        *error = QStringLiteral("The server sent unexpected data when switching to TLS; the connection was closed for safety.");
        abort(*error);
        return false;
    }
    m_socket->setPeerVerifyName(host);
    m_socket->startClientEncryption();
    if (!waitFor([this] { return m_socket && m_socket->isEncrypted(); })) {
        *error = m_lastError;
        return false;
    }
    return true;
}

void Pop3Connection::setMaxInFlight(int commands)
{
    m_maxInFlight = qMax(1, commands);
    pump();
}

void Pop3Connection::discard(CommandId id)
{
    const auto it = m_replies.find(id);
    if (it == m_replies.end()) {
        m_discarded.insert(id);
        return;
    }
    m_waitingBytes -= replySize(it->second);
    m_replies.erase(it);
}

bool Pop3Connection::waitForAllReplies()
{
    return waitFor([this] { return m_queued.empty() && m_sent.empty(); });
}

Pop3Connection::CommandId Pop3Connection::send(const QByteArray &command, bool multiLine, qsizetype keepBytes)
{
    return queue({0, command, multiLine, keepBytes});
}

Pop3Connection::CommandId Pop3Connection::sendSaslStep(const QByteArray &line)
{
    return queue({0, line, false, 0, true});
}

Pop3Connection::CommandId Pop3Connection::queue(Pending command)
{
    const CommandId id = command.id = m_nextId++;
    m_queued.push_back(std::move(command));
    pump();
    return id;
}

void Pop3Connection::pump()
{
    if (!m_socket || m_failed)
        return;
    while (!m_queued.empty() && qsizetype(m_sent.size()) < m_maxInFlight) {
        Pending next = std::move(m_queued.front());
        m_queued.pop_front();
        m_reader.expect(next.multiLine, next.keepBytes, next.saslStep);
        m_sent.push_back(next.id);
        m_socket->write(next.command + "\r\n");
    }
}

void Pop3Connection::onReadyRead()
{
    if (!m_socket)
        return;
    const QByteArray data = m_socket->readAll();
    m_reader.feed(data);
    while (m_reader.hasReply()) {
        const CommandId id = m_sent.front();
        m_sent.pop_front();
        Pop3Reply reply = m_reader.takeReply();
        if (m_discarded.erase(id) == 0) {
            m_waitingBytes += replySize(reply);
            m_replies.emplace(id, std::move(reply));
        }
    }
    if (m_reader.outOfStep()) {
        abort(QStringLiteral("The server sent a reply that does not follow the POP3 protocol; the connection was closed."));
        return;
    }
    pump();
}

bool Pop3Connection::waitFor(const std::function<bool()> &done)
{
    if (done())
        return true;
    if (m_failed || !m_socket)
        return false;

    QEventLoop loop;
    QTimer idle;
    idle.setSingleShot(true);
    QElapsedTimer total;
    total.start();
    bool timedOut = false;
    auto check = [&] {
        if (done() || m_failed || !m_socket)
            loop.quit();
    };
    connect(&idle, &QTimer::timeout, &loop, [&] { timedOut = true; loop.quit(); });
    // Data arriving counts as progress, up to an overall limit per wait.
    connect(m_socket, &QSslSocket::readyRead, &loop, [&] {
        if (total.elapsed() < qint64(m_timeoutMs) * MaxWaitMultiplier)
            idle.start(m_timeoutMs);
        QTimer::singleShot(0, &loop, check);
    });
    connect(m_socket, &QSslSocket::encrypted, &loop, check);
    connect(m_socket, &QSslSocket::destroyed, &loop, &QEventLoop::quit);
    connect(m_socket, &QAbstractSocket::errorOccurred, &loop, [&] { QTimer::singleShot(0, &loop, check); });
    idle.start(m_timeoutMs);
    QEventLoop *outer = std::exchange(m_waitLoop, &loop);
    loop.exec();
    m_waitLoop = outer;

    if (done())
        return true;
    if (!m_failed && timedOut)
        m_timedOutWithOthersPending = m_maxInFlight > 1;
    if (!m_failed)
        abort(timedOut && total.elapsed() >= qint64(m_timeoutMs) * MaxWaitMultiplier
                 ? QStringLiteral("The server's answer went on for more than %1 seconds without ending; the connection was closed.")
                       .arg(m_timeoutMs * MaxWaitMultiplier / 1000)
             : timedOut ? QStringLiteral("The server did not answer within %1 seconds.").arg(m_timeoutMs / 1000)
                      : QStringLiteral("The wait for the server was interrupted."));
    return false;
}

std::optional<Pop3Reply> Pop3Connection::wait(CommandId id)
{
    if (!waitFor([&] { return m_replies.count(id) > 0; }))
        return std::nullopt;
    auto node = m_replies.extract(id);
    m_waitingBytes -= replySize(node.mapped());
    return std::move(node.mapped());
}

std::optional<Pop3Reply> Pop3Connection::run(const QByteArray &command, bool multiLine, qsizetype keepBytes)
{
    return wait(send(command, multiLine, keepBytes));
}
