#include "mail/HostAddress.h"

#include <QHostAddress>

namespace {

constexpr quint16 ImplicitTlsPort = 995;

bool parsePort(QStringView text, quint16 *port)
{
    if (text.isEmpty() || text.size() > 5)
        return false;
    for (QChar c : text)
        if (!c.isDigit() || c.unicode() > 127)
            return false;
    const int value = text.toInt();
    if (value < 1 || value > 65535)
        return false;
    *port = quint16(value);
    return true;
}

bool validHostName(const QString &host)
{
    if (host.isEmpty() || host.size() > 253)
        return false;
    for (QChar c : host) {
        const bool ok = (c.unicode() < 128 && (c.isLetterOrNumber() || c == u'-' || c == u'.' || c == u'_'))
                        || (c.unicode() >= 128 && c.isLetterOrNumber());
        if (!ok)
            return false;
    }
    return true;
}

} // namespace

std::optional<HostAddress> parseHostAddress(const QString &text, quint16 defaultPort, QString *error)
{
    auto fail = [&](const QString &why) -> std::optional<HostAddress> {
        if (error)
            *error = why;
        return std::nullopt;
    };

    QString rest = text.trimmed();
    HostAddress target;
    target.port = defaultPort;
    if (rest.startsWith(u"pop3s://", Qt::CaseInsensitive)) {
        target.implicitTls = true;
        target.port = ImplicitTlsPort;
        rest = rest.mid(8);
    } else if (rest.startsWith(u"pop3://", Qt::CaseInsensitive)) {
        target.port = 110;
        rest = rest.mid(7);
    } else if (rest.contains(u"://")) {
        return fail(QStringLiteral("Only pop3:// and pop3s:// addresses are understood."));
    }
    if (rest.endsWith(u'/'))
        rest.chop(1);
    if (rest.isEmpty())
        return fail(QStringLiteral("Please enter the name of the mail server."));

    QString portText;
    bool hasPort = false;
    if (rest.startsWith(u'[')) {
        const qsizetype close = rest.indexOf(u']');
        if (close < 0)
            return fail(QStringLiteral("The IPv6 address is missing its closing \"]\"."));
        target.host = rest.mid(1, close - 1);
        const QString after = rest.mid(close + 1);
        if (!after.isEmpty()) {
            if (!after.startsWith(u':'))
                return fail(QStringLiteral("Unexpected text after the IPv6 address."));
            portText = after.mid(1);
            hasPort = true;
        }
        QHostAddress address;
        if (!address.setAddress(target.host) || address.protocol() != QAbstractSocket::IPv6Protocol)
            return fail(QStringLiteral("\"%1\" is not a valid IPv6 address.").arg(target.host));
    } else if (rest.count(u':') > 1) {
        // A bare IPv6 address; it cannot carry a port without brackets.
        QHostAddress address;
        if (!address.setAddress(rest))
            return fail(QStringLiteral("\"%1\" is not a valid address. Write IPv6 addresses with a port as [address]:port.").arg(rest));
        target.host = rest;
    } else {
        const qsizetype colon = rest.indexOf(u':');
        target.host = colon < 0 ? rest : rest.left(colon);
        if (colon >= 0) {
            portText = rest.mid(colon + 1);
            hasPort = true;
        }
        if (!validHostName(target.host))
            return fail(QStringLiteral("\"%1\" is not a valid host name.").arg(target.host));
    }
    if (hasPort && !parsePort(portText, &target.port))
        return fail(QStringLiteral("\"%1\" is not a valid port number (1 to 65535).").arg(portText));
    if (target.port == ImplicitTlsPort)
        target.implicitTls = true;
    return target;
}
