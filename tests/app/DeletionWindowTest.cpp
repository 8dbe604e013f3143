#include "app/ApplicationFolder.h"
#include "mail/MailboxFlows.h"
#include "tests/support/TestServers.h"
#include "tests/support/WindowDriver.h"

#include <QFile>
#include <gtest/gtest.h>
#include <optional>

namespace {

// The rule file in the application folder for the life of the object.
struct Rules
{
    explicit Rules(const QByteArray &block)
    {
        QFile file(ruleFilePath());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            ADD_FAILURE() << "cannot write the rule file";
        file.write("[rfstart]\r\n" + block + "[rfend]\r\n");
    }
    ~Rules() { QFile::remove(ruleFilePath()); }
};

QStringList statusesStartingWith(const WindowDriver &d, const QString &prefix)
{
    QStringList out;
    for (const Snapshot &s : d.snapshots)
        if (s.status.startsWith(prefix))
            out << s.status;
    return out;
}

// Each test writes its rules, types a log-in and presses "Check Mails";
// every box is answered and recorded.
class DeletionWindow : public ::testing::Test
{
protected:
    void check(const QByteArray &ruleBlock, const QString &host, const QString &user, const QString &password)
    {
        rules.emplace(ruleBlock);
        d.logIn(host, user, password);
        d.click("cmdcheck");
    }

    std::optional<Rules> rules;
    WindowDriver d;
    BoxAnswerer boxes;
};

TEST_F(DeletionWindow, OnlyTheCheckedLineGoesNotItsLookAlikes)
{
    const auto &f = DovecotFixture::get();
    const QString user = f.addMailbox(QStringLiteral("del"), {
        emlMessage("Alice <alice@example.org>", "Hello"),
        emlMessage("Deals <deals@shop.example>", "Spam offer"),
        emlMessage("Deals <deals@shop.example>", "Spam offer"),
        emlMessage("Deals <deals@shop.example>", "Spam offer"),
        emlMessage("Carol <carol@example.org>", "Keep me"),
    });
    check("", f.host(), user, f.password);
    ASSERT_EQ(d.list()->count(), 5);
    EXPECT_TRUE(d.checkedRows().isEmpty());

    // Three look-alikes: the user checks one; the two left unchecked stay.
    d.list()->item(2)->setCheckState(Qt::Checked);
    d.click("CmdDeleteOnSvr");

    EXPECT_TRUE(boxes.boxes().isEmpty());
    EXPECT_EQ(f.messagesInMaildir(user), QStringList({"Alice <alice@example.org> | Hello",
                                                      "Carol <carol@example.org> | Keep me",
                                                      "Deals <deals@shop.example> | Spam offer",
                                                      "Deals <deals@shop.example> | Spam offer"}));
    QStringList deleting = statusesStartingWith(d, QStringLiteral("Deleting"));
    deleting.removeDuplicates();
    EXPECT_EQ(deleting, QStringList({"Deleting message 3 ..."}));
    // The mailbox is listed again as it now is, and the buttons are back.
    ASSERT_EQ(d.list()->count(), 4);
    EXPECT_EQ(d.window.records().count(), 4);
    EXPECT_EQ(d.label("LabTitle")->text(), QStringLiteral("Total 4 Messages in Inbox of %1").arg(user));
    EXPECT_EQ(d.label("LabStatus")->text(), QStringLiteral("Deleted 1 message on the server, 4 left"));
    for (const char *name : {"cmdcheck", "CmdUpdate", "CmdDeleteOnSvr"})
        EXPECT_TRUE(d.button(name)->isEnabled()) << name;
    for (const Snapshot &s : d.snapshots) {
        if (s.status.startsWith(QStringLiteral("Deleting"))) {
            EXPECT_FALSE(s.check || s.update || s.remove) << "buttons are off while deleting";
        }
    }
}

TEST_F(DeletionWindow, NothingMarkedDeletesNothing)
{
    const auto &f = DovecotFixture::get();
    const QString user = f.addMailbox(QStringLiteral("none"), {
        emlMessage("A <a@example.org>", "One"), emlMessage("B <b@example.org>", "Two"),
    });
    check("msgsubjectis=nothing like it\r\n", f.host(), user, f.password);
    d.click("CmdDeleteOnSvr");
    EXPECT_TRUE(boxes.boxes().isEmpty());
    EXPECT_EQ(f.messagesInMaildir(user).size(), 2);
    EXPECT_TRUE(statusesStartingWith(d, QStringLiteral("Deleting")).isEmpty());
    EXPECT_EQ(d.list()->count(), 2);
    EXPECT_EQ(d.label("LabStatus")->text(), QStringLiteral("Deleted 0 messages on the server, 2 left"));
    // Download, deletion session, download again: each ended by QUIT, none
    // deleted anything. The deletion reads no header of a message whose line
    // is unchecked; the listing after it takes them from the cache.
    const QStringList sessions = f.sessionEnds(user, 3);
    ASSERT_EQ(sessions.size(), 3);
    for (int k = 0; k < 3; ++k) {
        EXPECT_TRUE(sessions[k].contains(k == 0 ? QStringLiteral("Logged out top=2/") : QStringLiteral("Logged out top=0/0")))
            << qPrintable(sessions[k]);
        EXPECT_TRUE(sessions[k].contains(QStringLiteral("del=0/2"))) << qPrintable(sessions[k]);
    }
}

TEST_F(DeletionWindow, CampaignOfThirtyGoesInOneSession)
{
    // Dovecot ends a session after 20 refused commands, so a campaign of
    // identical mails goes only if each message is asked for once.
    const auto &f = DovecotFixture::get();
    QList<QByteArray> mailbox{emlMessage("Alice <alice@example.org>", "Hello")};
    for (int k = 0; k < 30; ++k)
        mailbox << emlMessage("Deals <deals@shop.example>", "Campaign offer");
    mailbox << emlMessage("Carol <carol@example.org>", "Keep me");
    const QString user = f.addMailbox(QStringLiteral("campaign"), mailbox);
    check("msgsubjectis=campaign offer\r\n", f.host(), user, f.password);
    ASSERT_EQ(d.checkedRows().size(), 30);
    d.click("CmdDeleteOnSvr");

    EXPECT_TRUE(boxes.boxes().isEmpty());
    EXPECT_EQ(f.messagesInMaildir(user), QStringList({"Alice <alice@example.org> | Hello",
                                                      "Carol <carol@example.org> | Keep me"}));
    const QStringList sessions = f.sessionEnds(user, 3);
    ASSERT_EQ(sessions.size(), 3);
    EXPECT_TRUE(sessions[1].contains(QStringLiteral("Logged out")) && sessions[1].contains(QStringLiteral("del=30/32")))
        << qPrintable(sessions[1]);
    EXPECT_EQ(d.list()->count(), 2);
    EXPECT_EQ(d.label("LabStatus")->text(), QStringLiteral("Deleted 30 messages on the server, 2 left"));
}

TEST_F(DeletionWindow, UncheckingDuringTheYieldSparesTheLaterMessages)
{
    const auto &f = DovecotFixture::get();
    QList<QByteArray> same;
    for (int i = 0; i < 4; ++i)
        same << emlMessage("Repeat <r@example.org>", "Same again");
    const QString user = f.addMailbox(QStringLiteral("yield"), same);
    check("msgsubjectis=same again\r\n", f.host(), user, f.password);
    ASSERT_EQ(d.checkedRows(), QList<int>({0, 1, 2, 3}));

    // As soon as message 1 is being deleted, the user unchecks the last two lines.
    QTimer user1;
    QObject::connect(&user1, &QTimer::timeout, [&] {
        if (d.label("LabStatus")->text() == QStringLiteral("Deleting message 1 ...") && d.list()->count() == 4) {
            d.list()->item(2)->setCheckState(Qt::Unchecked);
            d.list()->item(3)->setCheckState(Qt::Unchecked);
        }
    });
    user1.start(0);
    d.click("CmdDeleteOnSvr");
    user1.stop();
    EXPECT_EQ(f.messagesInMaildir(user).size(), 2);
    EXPECT_EQ(d.list()->count(), 2);
}

TEST_F(DeletionWindow, OnlyTheMessageOfACheckedLineGoesWhenIdsMoveOrMailArrives)
{
    // Three look-alike offers and a greeting; the last offer arrives after the
    // listing. The user checks only the first line. 20 ms away.
    const QStringList mailbox{"--messages", "4", "--from", "1=Deals <d@x.example>", "--from", "2=Deals <d@x.example>",
                              "--from", "4=Deals <d@x.example>", "--subject", "1=Offer", "--subject", "2=Offer",
                              "--subject", "3=Hello", "--subject", "4=Offer", "--late-messages", "1", "--pipelining"};
    const struct { const char *name; QStringList options; QStringList deleted; const char *status; } cases[] = {
        {"unique-ids kept", {}, {"DELE 1"}, "Deleted 1 message on the server, 3 left"},
        {"no unique-ids: Message-ID, Date and size instead", {"--no-uidl"}, {"DELE 1"}, "Deleted 1 message on the server, 3 left"},
        {"unique-ids renumbered at each log-in", {"--new-uids-each-session"}, {},
         "Deleted 0 messages on the server, 4 left; 1 message kept because it changed on the server since the listing"},
    };
    for (const auto &c : cases) {
        ScriptedServer server(mailbox + c.options);
        DelayedLink link(server.port(), 10);
        check("", link.host(), QStringLiteral("tester"), QStringLiteral("secret"));
        ASSERT_EQ(d.list()->count(), 3) << c.name;
        d.list()->item(0)->setCheckState(Qt::Checked);
        d.click("CmdDeleteOnSvr");
        EXPECT_EQ(server.commands().filter(QStringLiteral("DELE")), c.deleted) << c.name;
        EXPECT_EQ(d.label("LabStatus")->text(), QLatin1String(c.status)) << c.name;
        EXPECT_TRUE(boxes.boxes().isEmpty()) << c.name;
    }
}

TEST_F(DeletionWindow, FailingMessageCostsOneBoxAndTheRestProceed)
{
    // TOP 3 fails in every session; rules mark every message.
    ScriptedServer server({QStringLiteral("--messages"), QStringLiteral("5"), QStringLiteral("--fail-top"), QStringLiteral("3")});
    check("msgsubjectcontains=subject\r\n", server.host(), QStringLiteral("tester"), QStringLiteral("secret"));
    ASSERT_EQ(boxes.boxes().size(), 1);
    ASSERT_EQ(d.checkedRows(), QList<int>({0, 1, 2, 3}));

    const qsizetype topsOfThree = server.commands().count(QStringLiteral("TOP 3 0"));
    d.click("CmdDeleteOnSvr");
    // Message 3 was never listed, so the deletion does not even read it: no
    // second box. The rest are deleted. Afterwards the message left is
    // number 1 and reads fine.
    ASSERT_EQ(boxes.boxes().size(), 1);
    const QStringList commands = server.commands();
    EXPECT_EQ(commands.count(QStringLiteral("TOP 3 0")), topsOfThree) << "the deletion reads only checked lines' messages";
    for (const char *dele : {"DELE 1", "DELE 2", "DELE 4", "DELE 5"})
        EXPECT_TRUE(commands.contains(QLatin1String(dele))) << dele;
    EXPECT_FALSE(commands.contains(QStringLiteral("DELE 3")));
    ASSERT_EQ(d.window.records().count(), 1);
    EXPECT_EQ(d.window.records().read(0).subject, QStringLiteral("Subject 3"));
}

TEST_F(DeletionWindow, DropBeforeQuitIsReportedAndDeletesNothing)
{
    ScriptedServer server({QStringLiteral("--messages"), QStringLiteral("3"), QStringLiteral("--drop-quit")});
    check("msgsubjectis=subject 2\r\n", server.host(), QStringLiteral("tester"), QStringLiteral("secret"));
    ASSERT_EQ(d.checkedRows(), QList<int>({1}));
    d.click("CmdDeleteOnSvr");

    ASSERT_EQ(boxes.boxes().size(), 1);
    EXPECT_EQ(boxes.boxes().first().title, QStringLiteral("Error during Disconnect"));
    EXPECT_TRUE(boxes.boxes().first().text.contains(QStringLiteral("deleted nothing"))) << qPrintable(boxes.boxes().first().text);
    EXPECT_TRUE(server.commands().contains(QStringLiteral("DELE 2")));
    // The list that follows shows the mailbox as it is: all three still there.
    EXPECT_EQ(d.list()->count(), 3);
}

TEST_F(DeletionWindow, ConnectionCutMidDeletionCostsOneBoxAndDeletesNothing)
{
    // A hundred checked messages; the server cuts the line at the fiftieth
    // deletion, or instead of answering QUIT, directly and 20 ms away.
    // Cut before QUIT went out, the server surely deleted nothing; cut after,
    // it did not say.
    const char *lost = "the server deleted nothing";
    const struct { const char *name; QStringList options; int oneWayMs; const char *words; } cases[] = {
        {"at DELE 50", {"--drop-dele", "50"}, 0, lost},
        {"at DELE 50, 20 ms away", {"--drop-dele", "50"}, 10, lost},
        {"at DELE 50, pipelined", {"--drop-dele", "50", "--pipelining"}, 0, lost},
        {"at DELE 50, pipelined, 20 ms away", {"--drop-dele", "50", "--pipelining"}, 10, lost},
        {"at QUIT, pipelined, 20 ms away", {"--drop-quit", "--pipelining"}, 10, "did not confirm"},
    };
    for (const auto &c : cases) {
        ScriptedServer server(QStringList{"--messages", "100"} + c.options);
        std::optional<DelayedLink> link;
        if (c.oneWayMs > 0)
            link.emplace(server.port(), c.oneWayMs);
        check("msgsubjectcontains=subject\r\n", link ? link->host() : server.host(), QStringLiteral("tester"),
              QStringLiteral("secret"));
        ASSERT_EQ(d.checkedRows().size(), 100) << c.name;
        const qsizetype before = boxes.boxes().size();
        d.click("CmdDeleteOnSvr");
        ASSERT_EQ(boxes.boxes().size(), before + 1) << c.name;
        EXPECT_TRUE(boxes.boxes().last().text.contains(QLatin1String(c.words), Qt::CaseInsensitive))
            << c.name << ": " << qPrintable(boxes.boxes().last().text);
        const QString status = d.label("LabStatus")->text();
        EXPECT_FALSE(status.startsWith(QStringLiteral("Deleted"))) << c.name << ": " << qPrintable(status);
        d.click("CmdUpdate");
        EXPECT_EQ(d.list()->count(), 100) << c.name << ": every message is still there";
        EXPECT_EQ(boxes.boxes().size(), before + 1) << c.name;
    }
}

TEST_F(DeletionWindow, ClosingTheWindowMidDeletionSendsNoQuit)
{
    ScriptedServer server({QStringLiteral("--messages"), QStringLiteral("60")});
    check("msgsubjectcontains=subject\r\n", server.host(), QStringLiteral("tester"), QStringLiteral("secret"));
    // The listing does not wait for the answer to its QUIT: count it once the server has it.
    const qsizetype quitsAfterDownload = server.commandsEndingWith(QStringLiteral("QUIT")).count(QStringLiteral("QUIT"));
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (d.label("LabStatus")->text().startsWith(QStringLiteral("Deleting message")))
            d.window.close();
    });
    closer.start(0);
    d.click("CmdDeleteOnSvr");
    EXPECT_FALSE(d.window.isVisible());
    EXPECT_EQ(server.commands().count(QStringLiteral("QUIT")), quitsAfterDownload) << "no QUIT: the server deletes nothing";
    // The close came while the first deletion was under way; the walk ended there.
    EXPECT_FALSE(server.commands().contains(QStringLiteral("DELE 60")));
}

} // namespace
