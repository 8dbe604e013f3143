#include "app/EmailPreview.h"
#include "mail/MailboxFlows.h"
#include "tests/support/HeadlessView.h"
#include "tests/support/TestServers.h"
#include "tests/support/WindowDriver.h"

#include <QDir>
#include <QFile>
#include <QLabel>
#include <QStandardPaths>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// A self-signed certificate (Dovecot as Debian installs it): the window asks
// before the log-in, "Trust" is remembered, and so are host and user for the
// next start; the password is not, unless asked for.
TEST(DownloadWindow, TrustedCertificateAndLogInComeBackAtTheNextStart)
{
    const auto &f = DovecotFixture::get();
    const QString host = QStringLiteral("127.0.0.3:%1").arg(f.pop3Port);
    const QDir config(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation));
    {
        WindowDriver d;
        BoxAnswerer boxes;
        boxes.certificateButton = "trustButton";
        d.logIn(host, QStringLiteral("alice"), f.password);
        d.click("cmdcheck");
        ASSERT_EQ(boxes.boxes().size(), 1);
        EXPECT_EQ(boxes.boxes()[0].title, QStringLiteral("Unverified certificate"));
        EXPECT_TRUE(boxes.boxes()[0].text.contains(QStringLiteral("signed its certificate itself"))) << qPrintable(boxes.boxes()[0].text);
        EXPECT_TRUE(boxes.boxes()[0].text.contains(QStringLiteral("SHA-256:")));
        EXPECT_EQ(d.list()->count(), 14);
        d.click("CmdUpdate");
        EXPECT_EQ(boxes.boxes().size(), 1) << "a trusted certificate is not asked about again";
    }
    WindowDriver again;
    BoxAnswerer boxes;
    EXPECT_EQ(again.window.hostText(), host);
    EXPECT_EQ(again.window.userText(), QStringLiteral("alice"));
    EXPECT_EQ(again.window.passwordText(), QString());
    again.logIn(host, QStringLiteral("alice"), f.password);
    again.click("cmdcheck");
    EXPECT_TRUE(boxes.boxes().isEmpty());
    EXPECT_EQ(again.list()->count(), 14);
    // Only the two documented files, and the password in neither.
    EXPECT_EQ(config.entryList(QDir::Files), QStringList({"certificates.txt", "login.ini"}));
    for (const QString &name : config.entryList(QDir::Files)) {
        QFile file(config.filePath(name));
        ASSERT_TRUE(file.open(QIODevice::ReadOnly));
        EXPECT_FALSE(file.readAll().contains(f.password.toUtf8())) << qPrintable(name);
        file.remove();
    }
}

TEST(DownloadWindow, SampleMailboxFromDovecot)
{
    const auto &f = DovecotFixture::get();
    WindowDriver d;
    BoxAnswerer boxes;
    d.logIn(f.host(), QStringLiteral("alice"), f.password);
    d.click("cmdcheck");

    EXPECT_TRUE(boxes.boxes().isEmpty());
    EXPECT_EQ(d.label("LabTitle")->text(), QStringLiteral("Total 14 Messages in Inbox of alice"));
    // This application folder holds no rule file: the list comes unchecked and
    // the status line says why, in place of the disconnection.
    EXPECT_EQ(d.label("LabStatus")->text(), QStringLiteral("No rules applied: no filters.txt in %1; Create Filters makes one")
                                                .arg(QCoreApplication::applicationDirPath()));
    ASSERT_EQ(d.window.records().count(), 14);
    ASSERT_EQ(d.list()->count(), 14);
    const MessageRecord third = d.window.records().read(2);
    EXPECT_EQ(third.subject, QStringLiteral("Invoice #4711 for November"));
    EXPECT_EQ(third.extraB, QStringLiteral("<inv-4711@hosting.example>"));
    EXPECT_EQ(third.mark, QStringLiteral("NOFILTER"));
    // The columns show the values whole, decoded; the Date column in local time.
    using Column = MessageListModel::Column;
    EXPECT_TRUE(d.list()->item(0)->text(Column::From).startsWith(QStringLiteral("Alice Walker <")));
    EXPECT_TRUE(d.list()->item(0)->text(Column::Subject).startsWith(QStringLiteral("Minutes of Monday")));
    EXPECT_EQ(d.list()->item(3)->text(Column::Subject), QString::fromUtf8("Grüße aus Köln"));
    EXPECT_TRUE(d.list()->item(3)->text(Column::From).startsWith(QString::fromUtf8("Jürgen Müller <")));
    EXPECT_EQ(d.list()->item(3)->index(Column::Date).data(Qt::ToolTipRole).toString(), d.window.records().read(3).date);
    EXPECT_EQ(d.list()->item(3)->index(Column::Size).data(Qt::ToolTipRole).toString(),
              d.window.records().read(3).size + QStringLiteral(" bytes"));
    for (int i = 0; i < d.list()->count(); ++i)
        EXPECT_EQ(d.list()->item(i)->checkState(), Qt::Unchecked);
    for (const char *name : {"cmdcheck", "CmdUpdate", "CmdDeleteOnSvr"})
        EXPECT_TRUE(d.button(name)->isEnabled()) << name;

    // While messages were read: "Check Mails" and "Update" off, progress in order.
    QStringList progress;
    for (const Snapshot &s : d.snapshots) {
        if (s.status.startsWith(QStringLiteral("Retrieving"))) {
            progress << s.status;
            EXPECT_FALSE(s.check);
            EXPECT_FALSE(s.update);
            EXPECT_FALSE(s.remove) << "still off from start-up until the first log-in ends";
        }
    }
    ASSERT_FALSE(progress.isEmpty());
    EXPECT_EQ(progress.last(), QStringLiteral("Retrieving message 14 of 14 ..."));
    EXPECT_TRUE(progress.contains(QStringLiteral("Retrieving message 1 of 14 ...")));

    // "Update From Server" does the same again, without piling up records.
    d.click("CmdUpdate");
    EXPECT_EQ(d.window.records().count(), 14);
    EXPECT_EQ(d.list()->count(), 14);
}

// A server far away that answers one command at a time: the status line
// names each step it waits for, so that a slow server does not look hung;
// the deletion says which message it reads.
TEST(DownloadWindow, SlowServerShowsEachStepItWaitsFor)
{
    ScriptedServer server({QStringLiteral("--messages"), QStringLiteral("3")});
    DelayedLink link(server.port(), 100);
    WindowDriver d;
    BoxAnswerer boxes;
    d.logIn(link.host(), QStringLiteral("tester"), QStringLiteral("secret"));
    const QStringList logIn{"Connecting to 127.0.0.1 ...", "Connected to 127.0.0.1; asking what it offers ...",
                            "Logging in to 127.0.0.1 as tester with USER/PASS ...",
                            "Logged in to 127.0.0.1; reading the list of messages ..."};
    const struct { const char *button; QStringList steps; } flows[] = {
        {"cmdcheck", logIn + QStringList{"Retrieving message 1 of 3 ...", "Retrieving message 2 of 3 ...",
                                         "Retrieving message 3 of 3 ..."}},
        {"CmdDeleteOnSvr", logIn + QStringList{"Checking message 2 of 3 ...", "Deleting message 2 ..."} + logIn},
    };
    for (const auto &flow : flows) {
        if (d.list()->count() == 3)
            d.list()->item(1)->setCheckState(Qt::Checked);
        d.snapshots.clear();
        d.click(flow.button);
        QStringList shown;
        for (const Snapshot &s : d.snapshots)
            shown << s.status;
        qsizetype at = 0;
        for (const QString &step : flow.steps) {
            at = shown.indexOf(step, at);
            EXPECT_GE(at, 0) << flow.button << ": " << qPrintable(step) << " in " << qPrintable(shown.join(u'|'));
            at = qMax<qsizetype>(at, 0);
        }
    }
    EXPECT_TRUE(boxes.boxes().isEmpty());
    EXPECT_TRUE(d.label("LabStatus")->text().startsWith(QStringLiteral("Deleted 1 message on the server, 2 left")))
        << qPrintable(d.label("LabStatus")->text());
}

TEST(DownloadWindow, FailedLogInEnablesUpdateButNotDelete)
{
    const auto &f = DovecotFixture::get();
    WindowDriver d;
    BoxAnswerer boxes;
    d.logIn(f.host(), QStringLiteral("alice"), QStringLiteral("wrong"));
    d.click("cmdcheck");
    ASSERT_EQ(boxes.boxes().size(), 1);
    const auto box = boxes.boxes().first();
    EXPECT_EQ(box.title, QStringLiteral("Error during Connect"));
    EXPECT_TRUE(box.noIcon);
    EXPECT_TRUE(box.okOnly);
    EXPECT_FALSE(box.text.contains(QStringLiteral("wrong")));
    EXPECT_EQ(d.label("LabTitle")->text(), QStringLiteral("Total Messages"));
    EXPECT_TRUE(d.label("LabStatus")->text().startsWith(QStringLiteral("Not connected")));
    EXPECT_TRUE(d.button("cmdcheck")->isEnabled());
    EXPECT_TRUE(d.button("CmdUpdate")->isEnabled());
    EXPECT_FALSE(d.button("CmdDeleteOnSvr")->isEnabled());
}

TEST(DownloadWindow, EmptyMailbox)
{
    const auto &f = DovecotFixture::get();
    WindowDriver d;
    BoxAnswerer boxes;
    const int sessionsBefore = int(f.sessionEnds(QStringLiteral("empty"), 0).size());
    d.logIn(f.host(), QStringLiteral("empty"), f.password);
    d.click("cmdcheck");
    EXPECT_TRUE(boxes.boxes().isEmpty());
    EXPECT_EQ(d.label("LabTitle")->text(), QStringLiteral("Total 0 Messages in Inbox of empty"));
    EXPECT_EQ(d.list()->count(), 0);
    EXPECT_TRUE(d.button("CmdDeleteOnSvr")->isEnabled());
    EXPECT_TRUE(d.label("LabStatus")->text().startsWith(QStringLiteral("Connected to")));
    // The session was ended with QUIT, so a server that locks the mailbox lets others in.
    const QStringList sessions = f.sessionEnds(QStringLiteral("empty"), sessionsBefore + 1);
    ASSERT_EQ(sessions.size(), sessionsBefore + 1);
    EXPECT_TRUE(sessions.last().contains(QStringLiteral("Logged out"))) << qPrintable(sessions.last());
}

TEST(DownloadWindow, OneBoxPerFailedMessageAndTheRestInOrder)
{
    ScriptedServer server({QStringLiteral("--messages"), QStringLiteral("6"), QStringLiteral("--fail-top"),
                           QStringLiteral("2"), QStringLiteral("--fail-top"), QStringLiteral("5")});
    WindowDriver d;
    BoxAnswerer boxes;
    d.checkMailsOn(server);
    ASSERT_EQ(boxes.boxes().size(), 2);
    for (const auto &box : boxes.boxes()) {
        EXPECT_EQ(box.title, QStringLiteral("Error during SetCurrentMsg"));
        EXPECT_TRUE(box.text.contains(QStringLiteral("locked"))) << qPrintable(box.text);
    }
    ASSERT_EQ(d.window.records().count(), 4);
    QStringList subjects;
    for (int i = 0; i < 4; ++i)
        subjects << d.window.records().read(i).subject;
    EXPECT_EQ(subjects, (QStringList{"Subject 1", "Subject 3", "Subject 4", "Subject 6"}));
    EXPECT_EQ(server.commandsEndingWith(QStringLiteral("QUIT")).last(), QStringLiteral("QUIT"));
}

TEST(DownloadWindow, LostConnectionCostsOneBoxInEachFlow)
{
    // The server drops the connection in the middle of TOP 3, in every session.
    ScriptedServer server({QStringLiteral("--messages"), QStringLiteral("2000"), QStringLiteral("--drop-top"), QStringLiteral("3")});
    WindowDriver d;
    BoxAnswerer boxes;
    d.checkMailsOn(server);
    ASSERT_EQ(boxes.boxes().size(), 1);
    EXPECT_TRUE(boxes.boxes()[0].text.contains(QStringLiteral("lost after message 2 of 2000"))) << qPrintable(boxes.boxes()[0].text);
    EXPECT_EQ(d.list()->count(), 2);
    EXPECT_TRUE(d.button("cmdcheck")->isEnabled());

    // The deletion reads only the checked line's message, so it never meets
    // the broken one and deletes; the listing after it breaks at the same
    // place again: one box, and the buttons are back.
    d.list()->item(1)->setCheckState(Qt::Checked);
    d.click("CmdDeleteOnSvr");
    ASSERT_EQ(boxes.boxes().size(), 2);
    EXPECT_TRUE(boxes.boxes()[1].text.contains(QStringLiteral("lost after message 2 of 1999"))) << qPrintable(boxes.boxes()[1].text);
    EXPECT_TRUE(server.commands().contains(QStringLiteral("DELE 2")));
    for (const char *name : {"cmdcheck", "CmdUpdate", "CmdDeleteOnSvr"})
        EXPECT_TRUE(d.button(name)->isEnabled()) << name;
}

// A server whose headers cannot be read without downloading whole messages
// fails once, at the log-in, and the window shows no total over an empty list.
TEST(DownloadWindow, ServerWithoutTopFailsOnce)
{
    const QStringList variants[] = {{QStringLiteral("--no-top")}, {QStringLiteral("--no-top"), QStringLiteral("--no-capa")}};
    for (const QStringList &variant : variants) {
        ScriptedServer server(variant + QStringList{QStringLiteral("--messages"), QStringLiteral("12")});
        WindowDriver d;
        BoxAnswerer boxes;
        d.checkMailsOn(server);
        ASSERT_EQ(boxes.boxes().size(), 1) << qPrintable(variant.join(u' '));
        EXPECT_EQ(boxes.boxes()[0].title, QStringLiteral("Error during Connect"));
        EXPECT_TRUE(boxes.boxes()[0].text.contains(QStringLiteral("TOP"))) << qPrintable(boxes.boxes()[0].text);
        EXPECT_EQ(d.list()->count(), 0);
        EXPECT_EQ(d.label("LabTitle")->text(), QStringLiteral("Total Messages"));
        EXPECT_LE(server.commands().filter(QStringLiteral("TOP")).size(), 1);
        EXPECT_EQ(server.commands().last(), QStringLiteral("QUIT"));
    }
}

TEST(DownloadWindow, ClosingDuringTheDownloadEndsItWithoutQuit)
{
    ScriptedServer server({QStringLiteral("--messages"), QStringLiteral("200")});
    WindowDriver d;
    d.logIn(server.host(), QStringLiteral("tester"), QStringLiteral("secret"));
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (d.window.records().count() >= 3)
            d.window.close();
    });
    closer.start(0);
    d.click("cmdcheck");
    EXPECT_FALSE(d.window.isVisible());
    EXPECT_LT(d.window.records().count(), 200);
    EXPECT_FALSE(server.commands().contains(QStringLiteral("QUIT")));
    EXPECT_FALSE(d.window.mailClient().IsConnected());
}

// A view whose yield tries to start a second download, as a click would.
struct ReentrantView : HeadlessView
{
    MailboxFlows *flows = nullptr;
    int reentries = 0;
    void (MailboxFlows::*onYield)() = &MailboxFlows::checkMails;
    void yieldToEvents() override { ++reentries; (flows->*onYield)(); }
};

TEST(DownloadWindow, NoSecondFlowDuringTheYield)
{
    ScriptedServer server({QStringLiteral("--messages"), QStringLiteral("3")});
    ReentrantView view;
    view.host = server.host();
    Pop3Client client;
    MailboxFlows flows(view, client);
    view.flows = &flows;

    // A download whose yields try to start a download, then a deletion.
    for (auto second : {&MailboxFlows::checkMails, &MailboxFlows::deleteOnServer}) {
        view.onYield = second;
        view.reentries = 0;
        flows.checkMails();
        EXPECT_EQ(view.reentries, 3);
        EXPECT_EQ(view.store.count(), 3);
        EXPECT_FALSE(flows.running());
    }
    EXPECT_EQ(server.commands().count(QStringLiteral("USER tester")), 2);

    // A deletion of every message (3 yields, then a download of an empty
    // mailbox) whose yields try to start a download: still one session at a
    // time, in order.
    for (qsizetype row = 0; row < 3; ++row)
        view.store.rewriteMark(row, true);
    view.onYield = &MailboxFlows::checkMails;
    view.reentries = 0;
    flows.deleteOnServer();
    EXPECT_EQ(view.reentries, 3);
    EXPECT_EQ(server.commands().count(QStringLiteral("USER tester")), 4);
    EXPECT_EQ(server.commands().filter(QStringLiteral("DELE")).size(), 3);
    EXPECT_EQ(view.store.count(), 0);
    EXPECT_FALSE(flows.running());
}

} // namespace
