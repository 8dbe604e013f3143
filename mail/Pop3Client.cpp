#include "mail/Pop3Client.h"

#include "mail/Pop3Connection.h"
#include "messages/TextDecoding.h"

#include <algorithm>

namespace {
constexpr qsizetype MaxCommandLength = 255; // octets, CRLF excluded
constexpr qsizetype MaxListingBytes = 64 * 1024 * 1024;

bool hasLineBreak(const QString &s)
{
    return s.contains(u'\r') || s.contains(u'\n') || s.contains(QChar(0));
}

// A LIST or UIDL line, "n rest": the message number and the first word after
// it (blanks around either allowed); no number: nothing. Read in place, as a
// listing has a line per message.
std::optional<std::pair<qint64, QByteArrayView>> numberedLine(QByteArrayView line)
{
    line = line.trimmed();
    qsizetype gap = 0;
    while (gap < line.size() && line[gap] != ' ' && line[gap] != '\t')
        ++gap;
    bool ok = false;
    const qint64 number = line.first(gap).toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    QByteArrayView rest = line.sliced(gap).trimmed();
    qsizetype end = 0;
    while (end < rest.size() && rest[end] != ' ' && rest[end] != '\t')
        ++end;
    return std::pair{number, rest.first(end)};
}
} // namespace

Pop3Client::Pop3Client(QObject *parent)
    : QObject(parent), m_connection(std::make_unique<Pop3Connection>())
{
}

Pop3Client::~Pop3Client() = default;

bool Pop3Client::IsConnected() const
{
    return m_connection->isOpen();
}

void Pop3Client::failWith(const QString &text)
{
    if (m_connection->timedOutWhilePipelining())
        m_pipeliningDistrusted.insert(m_mailboxKey);
    m_result = 1;
    m_error = text;
}

QByteArray Pop3Client::plainCredentials() const
{
    // An empty authorization identity, then user and password (RFC 4616).
    return (QByteArray(1, '\0') + UserName.toUtf8() + '\0' + Password.toUtf8()).toBase64();
}

QString Pop3Client::cleanServerText(const QByteArray &text) const
{
    // A server may echo what it was sent. Only the quote is judged, never our
    // own words around it, and a quote holding the password is left out whole:
    // masking the password inside it would show where it was.
    const QString quote = blankControls(decodeEightBitText(text.left(300))).trimmed();
    // AUTH PLAIN sends the password base64-encoded; an echo of that hides it no better.
    if ((!Password.isEmpty() && (quote.contains(Password) || quote.contains(QString::fromLatin1(plainCredentials())))) ||
        (!m_accessToken.isEmpty() && quote.contains(m_accessToken)))
        return QStringLiteral("[not shown, because it contains the password]");
    return quote;
}

QString Pop3Client::explainRefusal(const QByteArray &status, const QString &fallback) const
{
    struct Code { const char *code; const char *words; };
    static const Code codes[] = {
        {"[IN-USE]", "The mailbox is in use by another session (another mail program may be logged in). Try again later."},
        {"[LOGIN-DELAY]", "The server allows only so many log-ins in a given time. Try again later."},
        {"[AUTH]", "The server refused the user name or password."},
        {"[SYS/TEMP]", "The server has a temporary problem. Try again later."},
        {"[SYS/PERM]", "The server has a permanent problem with this mailbox; ask the mail provider."},
    };
    const QString server = cleanServerText(status);
    for (const Code &c : codes)
        if (status.toUpper().startsWith(c.code))
            return QString::fromLatin1(c.words) + QStringLiteral(" (server said: %1)").arg(server);
    return server.isEmpty() ? fallback : QStringLiteral("%1 (server said: %2)").arg(fallback, server);
}

void Pop3Client::Abort()
{
    m_connection->abort(QStringLiteral("The connection was closed."));
}

void Pop3Client::resetSession()
{
    m_sizes.clear();
    m_uids.clear();
    m_cacheable.clear();
    m_headerRequests.clear();
    m_requestedUpTo = 0;
    m_unconfirmedDeletes.clear();
    m_deletionAsked = false;
    m_deletionsAccepted = 0;
    m_pipelining = false;
    m_connection->setMaxInFlight(1);
}

void Pop3Client::Connect()
{
    m_connection->abort(QString());
    resetSession();
    m_capabilities.clear();
    m_currentNumber = 0;
    m_current = HeaderValues();
    m_uid.clear();
    m_size.clear();
    m_connection->setTimeoutSeconds(Timeout);
    m_tokenRefused = false;
    m_accessToken.clear();

    QString why;
    const std::optional<HostAddress> target = parseHostAddress(HostName, Port, &why);
    if (!target) {
        failWith(why);
        m_status = QStringLiteral("Not connected: the server address is not valid");
        return;
    }
    m_host = target->host;
    m_mailboxKey = QStringLiteral("%1:%2\n%3").arg(target->host).arg(target->port).arg(UserName);
    m_status = QStringLiteral("Connecting to %1 ...").arg(m_host);
    const bool pipeliningTrusted = !m_pipeliningDistrusted.contains(m_mailboxKey);
    m_connection->setUnverifiedCertificateCheck([this, server = serverKey(target->host, target->port)](const QSslCertificate &c) {
        return m_trust.accepts(server, sha256Fingerprint(c));
    });
    bool loggedIn = login(*target);
    if (!loggedIn && askAboutRefusedCertificate(*target)) {
        m_connection->abort(QString());
        resetSession();
        loggedIn = login(*target);
    }
    if (!loggedIn && pipeliningTrusted && m_pipeliningDistrusted.contains(m_mailboxKey)) {
        // The server offered PIPELINING but left pipelined commands unanswered:
        // once more, one command at a time.
        m_connection->abort(QString());
        resetSession();
        loggedIn = login(*target);
    }
    if (!loggedIn && m_tokenRefused) {
        // The access token may have expired early or been withdrawn: once
        // more with a fresh one, and no more than once.
        m_connection->abort(QString());
        resetSession();
        loggedIn = login(*target);
    }
    if (!loggedIn) {
        quitQuietly();
        resetSession();
        m_status = QStringLiteral("Not connected to %1").arg(m_host);
        return;
    }
    succeed();
    m_status = m_connection->isEncrypted()
        ? QStringLiteral("Connected to %1 as %2 (TLS, %3)").arg(m_host, UserName, m_loginMethod)
        : QStringLiteral("Connected to %1 as %2 with %3 without TLS: the password was sent unencrypted")
              .arg(m_host, UserName, m_loginMethod);
    if (MsgCount() == 0) {
        quitQuietly();
        m_status += QStringLiteral("; the mailbox is empty");
    }
}

Pop3Connection::CommandId Pop3Client::sendCapabilities()
{
    return m_connection->send("CAPA", true, 64 * 1024);
}

bool Pop3Client::readCapabilities(std::optional<Pop3Connection::CommandId> sent)
{
    m_capabilities.clear();
    const std::optional<Pop3Reply> reply = m_connection->wait(sent ? *sent : sendCapabilities());
    if (!reply) {
        failWith(m_connection->lastError());
        return false;
    }
    m_saslMechanisms.clear();
    if (reply->ok)
        for (const QByteArray &line : reply->lines) {
            const QStringList words = QString::fromLatin1(line).toUpper().split(u' ', Qt::SkipEmptyParts);
            if (words.isEmpty())
                continue;
            m_capabilities << words.first();
            if (words.first() == QLatin1String("SASL"))
                m_saslMechanisms = words.mid(1);
        }
    return true;
}

bool Pop3Client::login(const HostAddress &target)
{
    if (hasLineBreak(UserName) || hasLineBreak(Password)) {
        failWith(QStringLiteral("The user name and password must not contain line breaks."));
        return false;
    }
    const QByteArray user = "USER " + UserName.toUtf8();
    const QByteArray pass = "PASS " + Password.toUtf8();
    // AUTH PLAIN (RFC 5034) sends both at once, with an empty authorization
    // identity; its initial response must keep the command within 255 octets.
    const QByteArray authPlain = "AUTH PLAIN " + plainCredentials();
    if (user.size() > MaxCommandLength || pass.size() > MaxCommandLength) {
        failWith(QStringLiteral("The user name or password is too long for POP3 (at most 250 bytes each)."));
        return false;
    }

    QString error;
    announce(target.implicitTls ? QStringLiteral("Connecting to %1 (TLS) ...").arg(target.host)
                                : QStringLiteral("Connecting to %1 ...").arg(target.host));
    if (!m_connection->open(target.host, target.port, target.implicitTls, &error)) {
        const QByteArray refusal = m_connection->refusedGreeting();
        failWith(QStringLiteral("Could not connect to %1 port %2. %3").arg(target.host).arg(target.port)
                     .arg(refusal.isEmpty() ? error : explainRefusal(refusal, error)));
        return false;
    }
    announce(QStringLiteral("Connected to %1; asking what it offers ...").arg(target.host));
    if (!readCapabilities())
        return false;
    if (!m_connection->isEncrypted() && m_capabilities.contains(QStringLiteral("STLS"))) {
        announce(QStringLiteral("Starting TLS with %1 ...").arg(target.host));
        const std::optional<Pop3Reply> reply = m_connection->run("STLS", false);
        if (!reply || !reply->ok) {
            // The server promised TLS; logging in without it would expose the password.
            failWith(reply ? explainRefusal(reply->status, QStringLiteral("The server offered TLS but then refused to start it; the password was not sent."))
                           : m_connection->lastError());
            return false;
        }
        if (!m_connection->startTls(target.host, &error)) {
            failWith(error + QStringLiteral(" The password was not sent."));
            return false;
        }
        // What the server said before TLS cannot be trusted.
        if (!readCapabilities())
            return false;
    }

    // A server that pipelines gets the log-in, the capabilities after it and
    // the listing in one write (TLS, where offered, is up by now): one round
    // trip instead of five.
    const bool together = m_capabilities.contains(QStringLiteral("PIPELINING")) &&
                          !m_pipeliningDistrusted.contains(m_mailboxKey);
    m_connection->setMaxInFlight(together ? int(ReadAhead + 100) : 1);
    if (Method == LogInMethod::OAuth2)
        return logInWithToken(target) && enterTransaction(target, together ? sendSessionStart() : SessionStart());

    const bool plain = m_saslMechanisms.contains(QStringLiteral("PLAIN")) && authPlain.size() <= MaxCommandLength;
    m_loginMethod = plain ? QStringLiteral("AUTH PLAIN") : QStringLiteral("USER/PASS");
    announce(QStringLiteral("Logging in to %1 as %2 with %3 ...").arg(target.host, UserName, m_loginMethod));
    const auto firstId = m_connection->send(plain ? authPlain : user, false);
    std::optional<Pop3Connection::CommandId> passId;
    SessionStart start;
    if (together) {
        if (!plain)
            passId = m_connection->send(pass, false);
        start = sendSessionStart();
    }
    std::optional<Pop3Reply> reply = m_connection->wait(firstId);
    if (!plain && reply && reply->ok)
        reply = m_connection->wait(passId ? *passId : m_connection->send(pass, false));
    if (!reply) {
        failWith(m_connection->lastError());
        return false;
    }
    if (!reply->ok) {
        failWith(QStringLiteral("The server refused the log-in with %1. %2")
                     .arg(m_loginMethod, explainRefusal(reply->status, QStringLiteral("Wrong user name or password?"))));
        return false;
    }
    return enterTransaction(target, start);
}

Pop3Client::SessionStart Pop3Client::sendSessionStart()
{
    SessionStart start;
    start.capabilities = sendCapabilities();
    start.stat = m_connection->send("STAT", false);
    start.list = m_connection->send("LIST", true, MaxListingBytes);
    start.uidl = m_connection->send("UIDL", true, MaxListingBytes);
    return start;
}

bool Pop3Client::enterTransaction(const HostAddress &target, const SessionStart &start)
{
    announce(QStringLiteral("Logged in to %1; reading the list of messages ...").arg(target.host));
    if (!readCapabilities(start.capabilities))
        return false;
    m_pipelining = m_capabilities.contains(QStringLiteral("PIPELINING")) && !m_pipeliningDistrusted.contains(m_mailboxKey);
    // Room for the headers read ahead plus the deletions queued meanwhile.
    m_connection->setMaxInFlight(m_pipelining ? int(ReadAhead + 100) : 1);
    if (start.stat)
        requestFirstHeaders(*start.stat);
    return readMailboxListing(start.list, start.uidl) && canReadHeaders();
}

bool Pop3Client::logInWithToken(const HostAddress &target)
{
    if (!m_connection->isEncrypted()) {
        failWith(QStringLiteral("OAuth2 log-in needs an encrypted connection, and %1 offers no TLS on this port: the "
                                "access token was not sent. Use port 995 or a server that offers STLS.").arg(target.host));
        return false;
    }
    std::optional<TokenMechanism> mechanism = chooseTokenMechanism(m_saslMechanisms);
    if (TokenMechanismWanted && mechanism)
        mechanism = m_saslMechanisms.contains(QString::fromLatin1(mechanismName(*TokenMechanismWanted)))
                        ? TokenMechanismWanted : std::nullopt;
    if (!mechanism) {
        failWith(QStringLiteral("%1 does not offer OAuth2 log-in (SASL %2)%3. Log in with a password instead, or check "
                                "the server name.")
                     .arg(target.host,
                          TokenMechanismWanted ? QString::fromLatin1(mechanismName(*TokenMechanismWanted))
                                               : QStringLiteral("OAUTHBEARER or XOAUTH2"),
                          m_saslMechanisms.isEmpty() ? QString()
                                                     : QStringLiteral("; it offers %1").arg(m_saslMechanisms.join(QStringLiteral(", ")))));
        return false;
    }
    const AccessTokenAnswer token = accessToken ? accessToken(m_tokenRefused)
                                                : AccessTokenAnswer{{}, QStringLiteral("No OAuth2 sign-in is set up for this account.")};
    if (token.token.isEmpty()) {
        failWith(token.error);
        return false;
    }
    m_accessToken = token.token;
    m_loginMethod = QString::fromLatin1(mechanismName(*mechanism));
    announce(QStringLiteral("Logging in to %1 as %2 with %3 ...").arg(target.host, UserName, m_loginMethod));

    // The response goes on the AUTH line only when the line stays within 255
    // octets (RFC 5034); tokens of a kilobyte and more wait for the "+ ".
    const QByteArray response = tokenResponse(*mechanism, UserName, target.host, target.port, token.token).toBase64();
    const QByteArray auth = "AUTH " + mechanismName(*mechanism);
    std::optional<Pop3Reply> reply;
    // A server that refuses the mechanism itself never saw the token: no
    // reason to get another one.
    bool tokenSent = true;
    if (auth.size() + 1 + response.size() + 2 <= MaxCommandLength)
        reply = m_connection->wait(m_connection->sendSaslStep(auth + ' ' + response));
    else if ((reply = m_connection->wait(m_connection->sendSaslStep(auth))) && reply->continuation)
        reply = m_connection->wait(m_connection->sendSaslStep(response));
    else
        tokenSent = false;
    QString refusal;
    if (reply && reply->continuation) {
        // The refusal comes as a challenge; its answer makes the server end
        // the exchange with -ERR.
        refusal = describeTokenRefusal(parseTokenRefusal(reply->status));
        reply = m_connection->wait(m_connection->sendSaslStep(errorChallengeAnswer(*mechanism)));
        if (reply && reply->continuation) {
            m_connection->abort(QStringLiteral("The server did not end the refused OAuth2 log-in."));
            reply.reset();
        }
    }
    if (!reply) {
        failWith(m_connection->lastError());
        return false;
    }
    if (!reply->ok) {
        const QByteArray code = reply->status.toUpper();
        const bool temporary = code.startsWith("[SYS/TEMP]") || code.startsWith("[IN-USE]") || code.startsWith("[LOGIN-DELAY]");
        m_tokenRefused = tokenSent && !temporary;
        failWith(QStringLiteral("The server refused the log-in with %1. %2")
                     .arg(m_loginMethod, temporary || refusal.isEmpty()
                                             ? explainRefusal(reply->status, QStringLiteral("The access token was not accepted "
                                                                                            "(expired or withdrawn?)."))
                                             : refusal));
        return false;
    }
    return true;
}

void Pop3Client::requestFirstHeaders(Pop3Connection::CommandId statId)
{
    // The count STAT gives lets the first headers be asked for while the
    // listing is still on its way, so the server goes on sending without a
    // round trip's pause. Only when every header will be read: which ones the
    // cache holds, or the caller wants, is known from the listing alone.
    const std::optional<Pop3Reply> stat = m_connection->wait(statId);
    if (!stat || !stat->ok || !m_pipelining || m_headersWanted || (m_useCache && m_cache.holds(m_mailboxKey)))
        return;
    const auto count = numberedLine(stat->status);
    if (count && count->first > 0)
        requestHeaders(1, qMin<qsizetype>(count->first, ReadAhead));
}

void Pop3Client::requestHeaders(qsizetype from, qsizetype to)
{
    for (qsizetype k = qMax(from, m_requestedUpTo + 1); k <= to; ++k)
        if (!cachedHeaders(k, nullptr) && (!m_headersWanted || m_headersWanted(k)))
            m_headerRequests[k] = m_connection->send("TOP " + QByteArray::number(k) + " 0", true, MaxHeaderBytes);
    m_requestedUpTo = qMax(m_requestedUpTo, to);
}

bool Pop3Client::askAboutRefusedCertificate(const HostAddress &target)
{
    const QSslCertificate refused = m_connection->refusedCertificate();
    if (refused.isNull() || !certificateJudge)
        return false;
    const QString server = serverKey(target.host, target.port);
    CertificateQuestion question =
        CertificateQuestion::about(server, target.host, refused, m_connection->refusedCertificateErrors());
    question.storedFingerprint = m_trust.remembered(server);
    const CertificateAnswer answer = certificateJudge(question);
    if (answer == CertificateAnswer::Cancel) {
        if (!question.storedFingerprint.isEmpty())
            failWith(QStringLiteral("The server's certificate has CHANGED since you chose to trust it: someone may be "
                                    "intercepting the connection. Remembered: %1. Now: %2. The password was not sent.")
                         .arg(QString::fromLatin1(question.storedFingerprint), QString::fromLatin1(question.fingerprint)));
        return false;
    }
    m_trust.trustOnce(server, question.fingerprint);
    if (answer == CertificateAnswer::Trust)
        m_trust.remember(server, question.fingerprint);
    return true;
}

bool Pop3Client::canReadHeaders()
{
    if (MsgCount() == 0)
        return true;
    if (!m_capabilities.isEmpty()) {
        if (m_capabilities.contains(QStringLiteral("TOP")))
            return true;
        failWith(QStringLiteral("This server does not offer the TOP command, so the headers of the messages cannot be "
                                "read without downloading every message whole. Nothing was read or deleted."));
        return false;
    }
    // No capability list to go by: ask for the first header once, so that a
    // server without TOP fails here and not once for every message.
    const std::optional<Pop3Reply> probe = m_connection->run("TOP 1 0", true, MaxHeaderBytes);
    if (!probe) {
        failWith(m_connection->lastError());
        return false;
    }
    if (!probe->ok) {
        failWith(explainRefusal(probe->status, QStringLiteral("The server does not list its commands and would not send the "
                                                             "headers of message 1: it probably does not offer TOP, without "
                                                             "which the headers cannot be read without downloading every "
                                                             "message whole. Nothing was read or deleted.")));
        return false;
    }
    return true;
}

void Pop3Client::quitQuietly()
{
    // Nothing is pending: the session only has to end, so that a server that
    // locks the mailbox while a session is open lets other programs in.
    if (m_connection->isOpen() && m_connection->waitForAllReplies())
        m_connection->run("QUIT", false);
    m_connection->abort(QString());
}

bool Pop3Client::readMailboxListing(std::optional<Pop3Connection::CommandId> listSent,
                                    std::optional<Pop3Connection::CommandId> uidlSent)
{
    // Both are sent at once when the server pipelines.
    const auto listId = listSent ? *listSent : m_connection->send("LIST", true, MaxListingBytes);
    const auto uidlId = uidlSent ? *uidlSent : m_connection->send("UIDL", true, MaxListingBytes);
    const std::optional<Pop3Reply> list = m_connection->wait(listId);
    if (!list) {
        failWith(m_connection->lastError());
        return false;
    }
    if (!list->ok || list->truncated) {
        failWith(explainRefusal(list->status, QStringLiteral("The server did not list the messages of the mailbox.")));
        return false;
    }
    // "n octets" lines; numbers need not be contiguous after deletions by
    // another session, but a fresh session numbers 1..count.
    std::vector<qint64> sizes;
    sizes.reserve(size_t(list->lines.size()));
    for (const QByteArray &line : list->lines) {
        const auto numbered = numberedLine(line);
        bool okSize = false;
        const qint64 size = numbered ? numbered->second.toLongLong(&okSize) : -1;
        if (!numbered || !okSize || numbered->first != qint64(sizes.size()) + 1 || size < 0) {
            failWith(QStringLiteral("The server's message list could not be read (line \"%1\").").arg(cleanServerText(line)));
            return false;
        }
        sizes.push_back(size);
    }
    m_sizes = std::move(sizes);

    m_uids.assign(m_sizes.size(), QString());
    const std::optional<Pop3Reply> uidl = m_connection->wait(uidlId);
    if (!uidl) {
        failWith(m_connection->lastError());
        return false;
    }
    if (uidl->ok) {
        for (const QByteArray &line : uidl->lines) {
            const auto numbered = numberedLine(line);
            if (numbered && numbered->first >= 1 && numbered->first <= qint64(m_uids.size()) && !numbered->second.isEmpty())
                m_uids[size_t(numbered->first - 1)] = blankControls(decodeEightBitText(numbered->second.first(qMin<qsizetype>(numbered->second.size(), 70)).toByteArray()));
        }
    }
    // A unique-id the listing gives twice cannot tell its messages apart, and
    // ids that are just the message numbers move to other messages as soon
    // as one leaves: neither may serve cached headers.
    QHash<QString, int> seen;
    bool numbersOnly = true;
    for (size_t i = 0; i < m_uids.size(); ++i) {
        ++seen[m_uids[i]];
        numbersOnly = numbersOnly && m_uids[i] == QString::number(i + 1);
    }
    m_cacheable.assign(m_uids.size(), false);
    for (size_t i = 0; i < m_uids.size() && !numbersOnly; ++i)
        m_cacheable[i] = !m_uids[i].isEmpty() && seen.value(m_uids[i]) == 1;
    return true;
}

QString Pop3Client::UniqueIdOf(qsizetype n) const
{
    return n >= 1 && n <= MsgCount() ? m_uids[size_t(n - 1)] : QString();
}

bool Pop3Client::cachedHeaders(qsizetype n, HeaderValues *values) const
{
    const size_t i = size_t(n - 1);
    if (!m_useCache || i >= m_cacheable.size() || !m_cacheable[i])
        return false;
    const std::optional<HeaderValues> cached = m_cache.find(m_mailboxKey, m_uids[i], m_sizes[i]);
    // Headers the rules began to test after the message was read are not in it.
    if (cached && !std::all_of(m_furtherHeaders.cbegin(), m_furtherHeaders.cend(),
                               [&](const QString &name) { return cached->fieldsAskedFor.contains(name); }))
        return false;
    if (cached && values)
        *values = *cached;
    return cached.has_value();
}

void Pop3Client::readAhead(qsizetype n)
{
    if (!m_pipelining || m_requestedUpTo - n >= ReadAheadRefill || m_connection->waitingReplyBytes() > MaxWaitingAnswerBytes)
        return;
    requestHeaders(n, qMin(MsgCount(), n + ReadAhead - 1));
}

void Pop3Client::SetCurrentMsg(qsizetype n)
{
    m_current = HeaderValues();
    m_uid.clear();
    m_size.clear();
    m_currentNumber = 0;
    if (!m_connection->isOpen()) {
        failWith(QStringLiteral("Not connected to the server: %1").arg(m_connection->lastError().isEmpty()
                     ? QStringLiteral("log in first.") : m_connection->lastError()));
        return;
    }
    if (n < 1 || n > MsgCount()) {
        failWith(QStringLiteral("There is no message %1 in the mailbox (it holds %2).").arg(n).arg(MsgCount()));
        return;
    }
    if (cachedHeaders(n, &m_current)) {
        m_currentNumber = n;
        m_uid = m_uids[size_t(n - 1)];
        m_size = QString::number(m_sizes[size_t(n - 1)]);
        readAhead(n + 1);
        succeed();
        return;
    }
    readAhead(n);
    // Requests read ahead for messages before this one will not be asked for.
    while (!m_headerRequests.empty() && m_headerRequests.begin()->first < n) {
        m_connection->discard(m_headerRequests.begin()->second);
        m_headerRequests.erase(m_headerRequests.begin());
    }
    auto ahead = m_headerRequests.extract(n);
    const auto id = ahead ? ahead.mapped() : m_connection->send("TOP " + QByteArray::number(n) + " 0", true, MaxHeaderBytes);
    const std::optional<Pop3Reply> reply = m_connection->wait(id);
    if (!reply) {
        failWith(QStringLiteral("Reading the headers of message %1 failed: %2").arg(n).arg(m_connection->lastError()));
        return;
    }
    if (reply->problem == Pop3Reply::Problem::StatusTooLong) {
        failWith(QStringLiteral("The server's answer for message %1 was too long to be a POP3 reply line.").arg(n));
        return;
    }
    if (!reply->ok) {
        if (!m_capabilities.isEmpty() && !m_capabilities.contains(QStringLiteral("TOP")))
            failWith(QStringLiteral("This server does not offer TOP, so the headers of message %1 cannot be read without downloading the whole message.").arg(n));
        else
            failWith(explainRefusal(reply->status, QStringLiteral("The server would not send the headers of message %1.").arg(n)));
        return;
    }
    if (!reply->lines.isEmpty() && (reply->lines.first().startsWith("+OK") || reply->lines.first().startsWith("-ERR"))) {
        // A header block never begins with a status line: an answer was taken
        // for another command's. Nothing that follows can be trusted, and
        // without QUIT the server deletes nothing.
        m_connection->abort(QStringLiteral("The server's answers got out of step with the commands; the connection was closed."));
        failWith(QStringLiteral("Reading the headers of message %1 failed: %2").arg(n).arg(m_connection->lastError()));
        return;
    }
    m_current = parseHeaderBlock(reply->lines, m_furtherHeaders);
    m_currentNumber = n;
    m_uid = m_uids[size_t(n - 1)];
    m_size = QString::number(m_sizes[size_t(n - 1)]);
    if (m_cacheable[size_t(n - 1)] && !reply->truncated)
        m_cache.store(m_mailboxKey, m_uid, m_sizes[size_t(n - 1)], m_current);
    succeed();
}

void Pop3Client::DeleteCurrentMsg()
{
    if (m_currentNumber < 1) {
        failWith(QStringLiteral("No message is selected."));
        return;
    }
    const auto id = m_connection->send("DELE " + QByteArray::number(m_currentNumber), false);
    m_deletionAsked = true;
    if (m_pipelining) {
        // Its answer is read before QUIT; a refused deletion leaves the
        // message on the server, where the next listing shows it.
        m_unconfirmedDeletes.push_back(id);
        succeed();
        return;
    }
    const std::optional<Pop3Reply> reply = m_connection->wait(id);
    if (!reply)
        failWith(QStringLiteral("Deleting message %1 failed: %2").arg(m_currentNumber).arg(m_connection->lastError()));
    else if (!reply->ok)
        failWith(explainRefusal(reply->status, QStringLiteral("The server would not delete message %1.").arg(m_currentNumber)));
    else {
        ++m_deletionsAccepted;
        succeed();
    }
}

void Pop3Client::Disconnect()
{
    if (!m_connection->isOpen()) {
        failWith(QStringLiteral("The connection was already lost, so the server deleted nothing. %1").arg(m_connection->lastError()));
        m_status = QStringLiteral("Connection lost: the server deleted nothing");
        return;
    }
    for (const auto &request : m_headerRequests)
        m_connection->discard(request.second);
    m_headerRequests.clear();
    if (!m_deletionAsked) {
        // Nothing for the server to carry out: its answer would change
        // nothing, so the session ends without waiting for it.
        m_connection->endWith("QUIT");
        succeed();
        m_status = QStringLiteral("Disconnected from %1").arg(m_host);
        return;
    }
    // Every command's answer is in before QUIT asks the server to act on them.
    std::optional<Pop3Reply> reply;
    const bool answered = m_connection->waitForAllReplies();
    if (answered) {
        // Every answer is in by now: counting the accepted deletions waits no more.
        for (const auto id : m_unconfirmedDeletes)
            if (const std::optional<Pop3Reply> deleted = m_connection->wait(id); deleted && deleted->ok)
                ++m_deletionsAccepted;
        reply = m_connection->run("QUIT", false);
    }
    m_unconfirmedDeletes.clear();
    m_connection->abort(QString());
    if (!answered) {
        // QUIT was never sent: the server carries out nothing.
        failWith(QStringLiteral("The connection to the server was lost before the session could end, so the server "
                                "deleted nothing. %1").arg(m_connection->lastError()));
        m_status = QStringLiteral("Connection lost: the server deleted nothing");
        return;
    }
    if (!reply || !reply->ok) {
        failWith(QStringLiteral("The server did not confirm the end of the session, so it may have deleted nothing."));
        m_status = QStringLiteral("Disconnected from %1 without confirmation").arg(m_host);
        return;
    }
    succeed();
    m_status = QStringLiteral("Disconnected from %1").arg(m_host);
}
