// The password is never shown: not in the status line, not in a message box,
// not in any text of the mail component, whatever the server does with it.
#include "tests/support/ScriptedSession.h"
#include "tests/support/TestServers.h"
#include "tests/support/WindowDriver.h"

#include <gtest/gtest.h>

namespace {

TEST(Password, NeverInAnyTextTheWindowShows)
{
    const QString password = QStringLiteral("Pw-q7Zx!unique");
    const struct { const char *name; QStringList options; const char *typed; } cases[] = {
        {"good log-in, list and delete", {"--messages", "3", "--password", "Pw-q7Zx!unique"}, "Pw-q7Zx!unique"},
        {"server echoes a wrong password", {"--messages", "3", "--echo-password"}, "Pw-q7Zx!unique"},
        {"server echoes, pipelining", {"--messages", "3", "--echo-password", "--pipelining"}, "Pw-q7Zx!unique"},
        {"connection lost before QUIT", {"--messages", "3", "--password", "Pw-q7Zx!unique", "--drop-quit"}, "Pw-q7Zx!unique"},
        {"password with a line break is refused", {"--messages", "3"}, "Pw-q7Zx!unique\r\nUSER x"},
    };
    for (const auto &c : cases) {
        ScriptedServer server(c.options);
        WindowDriver d;
        BoxAnswerer boxes;
        d.logIn(server.host(), QStringLiteral("tester"), QString());
        // Set rather than typed: a key press cannot carry a line break.
        d.window.findChild<QLineEdit *>(QStringLiteral("Txtpassword"))->setText(QString::fromLatin1(c.typed));
        d.click("cmdcheck");
        for (int row = 0; row < d.list()->count(); ++row)
            d.list()->item(row)->setCheckState(Qt::Checked);
        d.click("CmdDeleteOnSvr");

        QStringList shown{d.label("LabStatus")->text(), d.label("LabTitle")->text(), d.window.mailClient().ErrorText(),
                          d.window.mailClient().StatusText()};
        for (const Snapshot &s : d.snapshots)
            shown << s.status;
        for (const auto &box : boxes.boxes())
            shown << box.title << box.text;
        for (const QString &text : shown)
            EXPECT_FALSE(text.contains(password)) << c.name << ": " << qPrintable(text);
        EXPECT_GT(shown.size(), 4) << c.name;
    }
}

// Only the server's words are judged: with a one-letter password our own
// words stay whole, and a quote that holds the password is left out whole.
TEST(Password, ShortPasswordLeavesOurWordsWhole)
{
    for (const QStringList &options : {QStringList{"--echo-password"}, QStringList{}}) {
        ScriptedSession session(options);
        Pop3Client &client = session.client;
        client.Password = QStringLiteral("e");
        client.Connect();
        ASSERT_NE(client.ResultCode(), 0);
        EXPECT_TRUE(client.ErrorText().startsWith(QStringLiteral("The server refused the log-in with USER/PASS. The server "
                                                                 "refused the user name or password.")))
            << qPrintable(client.ErrorText());
        EXPECT_TRUE(client.ErrorText().contains(QStringLiteral("[not shown, because it contains the password]")))
            << qPrintable(client.ErrorText());
        EXPECT_FALSE(client.ErrorText().contains(u'*')) << qPrintable(client.ErrorText());
    }
}

} // namespace
