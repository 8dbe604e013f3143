#include "mail/Pop3Client.h"

#include "mail/Pop3Connection.h"
#include "messages/TextDecoding.h"

namespace {
constexpr qsizetype MaxCommandLength = 255; // octets, CRLF excluded
constexpr qsizetype MaxListingBytes = 64 * 1024 * 1024;

bool hasLineBreak(const QString &s)
{
    return s.contains(u'\r') || s.contains(u'\n') || s.contains(QChar(0));
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
    m_result = 1;
    m_error = text;
    // A server may echo what it was sent; the password is never repeated.
    if (!Password.isEmpty())
        m_error.replace(Password, QStringLiteral("********"));
}

QString Pop3Client::cleanServerText(const QByteArray &text) const
{
    return blankControls(decodeEightBitText(text.left(300))).trimmed();
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

void Pop3Client::Connect()
{
    m_connection->abort(QString());
    m_sizes.clear();
    m_uids.clear();
    m_capabilities.clear();
    m_currentNumber = 0;
    m_current = HeaderValues();
    m_uid.clear();
    m_size.clear();
    m_connection->setTimeoutSeconds(Timeout);

    QString why;
    const std::optional<HostAddress> target = parseHostAddress(HostName, Port, &why);
    if (!target) {
        failWith(why);
        m_status = QStringLiteral("Not connected: the server address is not valid");
        return;
    }
    m_host = target->host;
    m_status = QStringLiteral("Connecting to %1 ...").arg(m_host);
    if (!login(*target)) {
        m_connection->abort(QString());
        m_sizes.clear();
        m_uids.clear();
        m_status = QStringLiteral("Not connected to %1").arg(m_host);
        return;
    }
    succeed();
    m_status = m_connection->isEncrypted()
        ? QStringLiteral("Connected to %1 as %2 (TLS)").arg(m_host, UserName)
        : QStringLiteral("Connected to %1 as %2 without TLS: the password was sent unencrypted").arg(m_host, UserName);
}

bool Pop3Client::readCapabilities()
{
    m_capabilities.clear();
    const std::optional<Pop3Reply> reply = m_connection->run("CAPA", true, 64 * 1024);
    if (!reply) {
        failWith(m_connection->lastError());
        return false;
    }
    if (reply->ok)
        for (const QByteArray &line : reply->lines)
            m_capabilities << QString::fromLatin1(line).trimmed().section(u' ', 0, 0).toUpper();
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
    if (user.size() > MaxCommandLength || pass.size() > MaxCommandLength) {
        failWith(QStringLiteral("The user name or password is too long for POP3 (at most 250 bytes each)."));
        return false;
    }

    QString error;
    if (!m_connection->open(target.host, target.port, target.implicitTls, &error)) {
        failWith(QStringLiteral("Could not connect to %1 port %2. %3").arg(target.host).arg(target.port).arg(error));
        return false;
    }
    if (!readCapabilities())
        return false;
    if (!m_connection->isEncrypted() && m_capabilities.contains(QStringLiteral("STLS"))) {
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

    std::optional<Pop3Reply> reply = m_connection->run(user, false);
    if (reply && reply->ok)
        reply = m_connection->run(pass, false);
    if (!reply) {
        failWith(m_connection->lastError());
        return false;
    }
    if (!reply->ok) {
        failWith(explainRefusal(reply->status, QStringLiteral("The server refused the log-in: wrong user name or password?")));
        return false;
    }
    if (!readCapabilities() || !readMailboxListing())
        return false;
    return true;
}

bool Pop3Client::readMailboxListing()
{
    const std::optional<Pop3Reply> list = m_connection->run("LIST", true, MaxListingBytes);
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
        const QList<QByteArray> parts = line.simplified().split(' ');
        bool okNumber = false, okSize = false;
        const qint64 number = parts.value(0).toLongLong(&okNumber);
        const qint64 size = parts.value(1).toLongLong(&okSize);
        if (!okNumber || !okSize || number != qint64(sizes.size()) + 1 || size < 0) {
            failWith(QStringLiteral("The server's message list could not be read (line \"%1\").").arg(cleanServerText(line)));
            return false;
        }
        sizes.push_back(size);
    }
    m_sizes = std::move(sizes);

    m_uids.assign(m_sizes.size(), QString());
    const std::optional<Pop3Reply> uidl = m_connection->run("UIDL", true, MaxListingBytes);
    if (!uidl) {
        failWith(m_connection->lastError());
        return false;
    }
    if (uidl->ok) {
        for (const QByteArray &line : uidl->lines) {
            const QList<QByteArray> parts = line.simplified().split(' ');
            bool ok = false;
            const qint64 number = parts.value(0).toLongLong(&ok);
            if (ok && number >= 1 && number <= qint64(m_uids.size()) && parts.size() >= 2)
                m_uids[size_t(number - 1)] = cleanServerText(parts[1].left(70));
        }
    }
    return true;
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
    const std::optional<Pop3Reply> reply = m_connection->run("TOP " + QByteArray::number(n) + " 0", true, MaxHeaderBytes);
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
    m_current = parseHeaderBlock(reply->lines);
    m_currentNumber = n;
    m_uid = m_uids[size_t(n - 1)];
    m_size = QString::number(m_sizes[size_t(n - 1)]);
    succeed();
}

void Pop3Client::DeleteCurrentMsg()
{
    if (m_currentNumber < 1) {
        failWith(QStringLiteral("No message is selected."));
        return;
    }
    const std::optional<Pop3Reply> reply = m_connection->run("DELE " + QByteArray::number(m_currentNumber), false);
    if (!reply)
        failWith(QStringLiteral("Deleting message %1 failed: %2").arg(m_currentNumber).arg(m_connection->lastError()));
    else if (!reply->ok)
        failWith(explainRefusal(reply->status, QStringLiteral("The server would not delete message %1.").arg(m_currentNumber)));
    else
        succeed();
}

void Pop3Client::Disconnect()
{
    if (!m_connection->isOpen()) {
        failWith(QStringLiteral("The connection was already lost, so the server deleted nothing. %1").arg(m_connection->lastError()));
        m_status = QStringLiteral("Connection lost: the server deleted nothing");
        return;
    }
    const std::optional<Pop3Reply> reply = m_connection->run("QUIT", false);
    m_connection->abort(QString());
    if (!reply || !reply->ok) {
        failWith(QStringLiteral("The server did not confirm the end of the session, so it may have deleted nothing."));
        m_status = QStringLiteral("Disconnected from %1 without confirmation").arg(m_host);
        return;
    }
    succeed();
    m_status = QStringLiteral("Disconnected from %1").arg(m_host);
}
