#include "mail/HostAddress.h"

#include "tests/support/QtPrinting.h"

#include <gtest/gtest.h>

namespace {

TEST(HostAddress, AcceptedForms)
{
    const struct { const char *text; const char *host; int port; bool tls; } cases[] = {
        {"pop.example.org", "pop.example.org", 110, false},
        {"  pop.example.org  ", "pop.example.org", 110, false},
        {"pop.example.org:1110", "pop.example.org", 1110, false},
        {"pop.example.org:995", "pop.example.org", 995, true},
        {"127.0.0.1:2110", "127.0.0.1", 2110, false},
        {"[::1]:2110", "::1", 2110, false},
        {"[::1]", "::1", 110, false},
        {"::1", "::1", 110, false},
        {"2001:db8::1", "2001:db8::1", 110, false},
        {"pop3s://pop.example.org", "pop.example.org", 995, true},
        {"POP3S://pop.example.org:1995/", "pop.example.org", 1995, true},
        {"pop3://pop.example.org", "pop.example.org", 110, false},
        {"pop3://pop.example.org:995", "pop.example.org", 995, true},
        {"pop3s://[2001:db8::1]:9995", "2001:db8::1", 9995, true},
    };
    for (const auto &c : cases) {
        QString error;
        const auto target = parseHostAddress(QString::fromLatin1(c.text), 110, &error);
        ASSERT_TRUE(target) << c.text << ": " << qPrintable(error);
        EXPECT_EQ(target->host, QString::fromLatin1(c.host)) << c.text;
        EXPECT_EQ(target->port, c.port) << c.text;
        EXPECT_EQ(target->implicitTls, c.tls) << c.text;
    }
}

TEST(HostAddress, RefusedFormsSayWhy)
{
    const char *cases[] = {
        "", "   ", "pop.example.org:", "pop.example.org:0", "pop.example.org:65536", "pop.example.org:abc",
        "pop.example.org:-1", "imap://pop.example.org", "[::1", "[::1]x", "[not-v6]:110", "bad host name",
        "pop3s://", "host:12 34", "a\r\nUSER x", "1:2:3:zz",
    };
    for (const char *text : cases) {
        QString error;
        EXPECT_FALSE(parseHostAddress(QString::fromLatin1(text), 110, &error)) << text;
        EXPECT_FALSE(error.isEmpty()) << text;
    }
}

TEST(HostAddress, DefaultPortIsTheComponentsPort)
{
    const auto target = parseHostAddress(QStringLiteral("mail.example.org"), 2110, nullptr);
    ASSERT_TRUE(target);
    EXPECT_EQ(target->port, 2110);
}

} // namespace
