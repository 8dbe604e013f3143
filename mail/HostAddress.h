#pragma once

#include <QString>
#include <optional>

// What the host box names: host, port and whether TLS starts with the first byte.
struct HostAddress
{
    QString host;
    quint16 port = 110;
    bool implicitTls = false;
};

// Accepts "host", "host:port", "[v6addr]", "[v6addr]:port", a bare IPv6
// address, and "pop3://..." / "pop3s://..." in front of any of them.
// Port 995 or "pop3s://" means TLS from the first byte. Surrounding blanks
// are ignored. On failure returns nothing and says why in *error.
std::optional<HostAddress> parseHostAddress(const QString &text, quint16 defaultPort, QString *error);
