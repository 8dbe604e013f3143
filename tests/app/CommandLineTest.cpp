// The command-line mode as a user runs it: the real program, no display, no
// secret store, against Dovecot.
#include "tests/support/QtPrinting.h"
#include "tests/support/TestServers.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QSslCertificate>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

struct Outcome
{
    int exitCode;
    QString out, err;
};

class CommandLine : public ::testing::Test
{
protected:
    const DovecotFixture &f = DovecotFixture::get();
    QTemporaryDir config;

    // The fixture's certificate is signed by a CA only the tests know: the
    // run accepts exactly it by its fingerprint, as a user would.
    QStringList account(const QString &user, const QString &password) const
    {
        const QSslCertificate server = QSslCertificate::fromPath(f.dir + QStringLiteral("/server.crt")).value(0);
        return {QStringLiteral("--host"), f.host(), QStringLiteral("--user"), user, QStringLiteral("--password-command"),
                QStringLiteral("printf '%s\\n' '%1'").arg(password), QStringLiteral("--trust-fingerprint"),
                QString::fromLatin1(server.digest(QCryptographicHash::Sha256).toHex())};
    }
    Outcome run(const QStringList &arguments) const
    {
        QProcess program;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("WAYLAND_DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), config.path());
        env.insert(QStringLiteral("DBUS_SESSION_BUS_ADDRESS"), QStringLiteral("unix:path=/nonexistent/purgelet-test-bus"));
        program.setProcessEnvironment(env);
        program.setStandardInputFile(QProcess::nullDevice());
        program.start(QStringLiteral(PURGELET_EXECUTABLE), arguments);
        EXPECT_TRUE(program.waitForFinished(60000));
        return {program.exitCode(), QString::fromUtf8(program.readAllStandardOutput()),
                QString::fromUtf8(program.readAllStandardError())};
    }
    QStringList rules(const char *file) const { return {QStringLiteral("--rules"), QString::fromUtf8(file)}; }
};

TEST_F(CommandLine, ListsAndPrintsJsonWithTheRulesThatMarked)
{
    const Outcome text = run(account(QStringLiteral("alice"), f.password) + rules(PURGELET_DEMO_RULES) << QStringLiteral("--list"));
    ASSERT_EQ(text.exitCode, 0) << qPrintable(text.err);
    const QStringList lines = text.out.split(u'\n', Qt::SkipEmptyParts);
    ASSERT_EQ(lines.size(), 14) << qPrintable(text.out);
    EXPECT_TRUE(lines[1].startsWith(QStringLiteral("    2 ")) && lines[1].contains(QStringLiteral("DELETE  msgsubjectcontains=free offer")))
        << qPrintable(lines[1]);
    EXPECT_TRUE(lines[0].contains(QStringLiteral("keep    -  Alice Walker")) && lines[0].endsWith(QStringLiteral("Minutes of Monday's team meeting")))
        << qPrintable(lines[0]);
    EXPECT_EQ(lines.filter(QStringLiteral(" DELETE ")).size(), 6);

    const Outcome json = run(account(QStringLiteral("alice"), f.password) + rules(PURGELET_DEMO_RULES) << QStringLiteral("--json"));
    ASSERT_EQ(json.exitCode, 0) << qPrintable(json.err);
    const QJsonArray messages = QJsonDocument::fromJson(json.out.toUtf8()).array();
    ASSERT_EQ(messages.size(), 14);
    const QJsonObject lottery = messages[4].toObject();
    EXPECT_EQ(lottery[QStringLiteral("number")].toInt(), 5);
    EXPECT_TRUE(lottery[QStringLiteral("marked")].toBool());
    EXPECT_EQ(lottery[QStringLiteral("subject")].toString(), QString::fromUtf8("🎉 You have WON $1,000,000!"));
    EXPECT_EQ(lottery[QStringLiteral("rule")].toString(), QStringLiteral("msgsubjectcontains=you have won"));
    EXPECT_FALSE(lottery[QStringLiteral("uid")].toString().isEmpty());
    EXPECT_TRUE(messages[0].toObject()[QStringLiteral("rule")].isNull());
}

TEST_F(CommandLine, DeletesExactlyTheMarkedAndOnlyWhenAsked)
{
    const QString user = f.addMailbox(QStringLiteral("cli"), {
        emlMessage("Alice <alice@example.org>", "Hello"), emlMessage("Deals <promo@shop.example>", "Offer"),
        emlMessage("Deals <promo@shop.example>", "Offer"), emlMessage("Carol <carol@example.org>", "FREE OFFER? no, photos"),
    });
    const QStringList all{"Alice <alice@example.org> | Hello", "Carol <carol@example.org> | FREE OFFER? no, photos",
                          "Deals <promo@shop.example> | Offer", "Deals <promo@shop.example> | Offer"};
    const QStringList promo{QStringLiteral("--rules"), config.filePath(QStringLiteral("promo.txt"))};
    QFile file(promo[1]);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write("[rfstart]\nmsgfromcontains=promo@\n[rfend]\n");
    file.close();

    // A trial run as people type it, with or without the --delete it tries.
    for (const QStringList &trial : {QStringList{"--dry-run"}, QStringList{"--delete", "--dry-run"}}) {
        const Outcome dry = run(account(user, f.password) + promo + trial);
        EXPECT_EQ(dry.exitCode, 0) << qPrintable(dry.err);
        EXPECT_TRUE(dry.out.contains(QStringLiteral("--delete would delete 2 of 4 messages."))) << qPrintable(dry.out);
    }
    const Outcome listed = run(account(user, f.password) + promo);  // no mode: a listing
    EXPECT_EQ(listed.exitCode, 0);
    EXPECT_EQ(f.messagesInMaildir(user), all) << "nothing deleted without --delete";

    // A rule file that is not there: exit 2, nothing deleted.
    const Outcome missing = run(account(user, f.password) + rules("/nonexistent/filters.txt") << QStringLiteral("--delete"));
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_TRUE(missing.err.contains(QStringLiteral("No rules applied")) && missing.err.contains(QStringLiteral("nothing was deleted")))
        << qPrintable(missing.err);
    EXPECT_EQ(f.messagesInMaildir(user), all);

    // A keep rule wins over the rules that mark, and --json names it; a line
    // that is no rule stops the file, with its number.
    const QStringList keeping{QStringLiteral("--rules"), config.filePath(QStringLiteral("keep.txt"))};
    for (const auto &[bytes, exitCode] : {std::pair<QByteArray, int>{"[rfstart]\nmsgsubjectmatches=^free\nkeep:headercontains:from,reply-to=carol@\n[rfend]\n", 0},
                                          {"[rfstart]\nmsgfromcontains=promo@\nmsgsubjectmatch=^free\n[rfend]\n", 2}}) {
        QFile keep(keeping[1]);
        ASSERT_TRUE(keep.open(QIODevice::WriteOnly | QIODevice::Truncate));
        keep.write(bytes);
        keep.close();
        const Outcome judged = run(account(user, f.password) + keeping << QStringLiteral("--json") << QStringLiteral("--delete"));
        ASSERT_EQ(judged.exitCode, exitCode) << qPrintable(judged.err);
        if (exitCode != 0) {
            EXPECT_TRUE(judged.err.contains(QStringLiteral("keep.txt line 3: \"msgsubjectmatch\" is not a rule"))) << qPrintable(judged.err);
            continue;
        }
        const QJsonArray judgedMessages = QJsonDocument::fromJson(judged.out.toUtf8()).array();
        ASSERT_EQ(judgedMessages.size(), 4);
        const QJsonObject carol = judgedMessages[3].toObject();
        EXPECT_FALSE(carol[QStringLiteral("marked")].toBool());
        EXPECT_EQ(carol[QStringLiteral("rule")].toString(), QStringLiteral("keep:headercontains:from,reply-to=carol@"));
    }
    EXPECT_EQ(f.messagesInMaildir(user), all) << "nothing matched but the friend's, and a friend's mail stays";

    const Outcome removed = run(account(user, f.password) + promo << QStringLiteral("--delete"));
    EXPECT_EQ(removed.exitCode, 0) << qPrintable(removed.err);
    EXPECT_TRUE(removed.out.endsWith(QStringLiteral("Deleted 2 messages on the server, 2 left\n"))) << qPrintable(removed.out);
    EXPECT_EQ(f.messagesInMaildir(user), all.mid(0, 2));
    for (const QString &session : f.sessionEnds(user, 6))
        EXPECT_TRUE(session.contains(QStringLiteral("retr=0/0"))) << qPrintable(session);
}

TEST_F(CommandLine, FailuresHaveTheirExitStatusAndPlainWords)
{
    const struct { const char *name; QStringList arguments; int exitCode; const char *words; } cases[] = {
        {"wrong password", account(QStringLiteral("alice"), QStringLiteral("not-it")) << QStringLiteral("--list"), 1,
         "refused the log-in with AUTH PLAIN"},
        {"no password and no terminal", {QStringLiteral("--host"), f.host(), QStringLiteral("--user"), QStringLiteral("alice")}, 1,
         "standard input is no terminal"},
        {"failing password command", {QStringLiteral("--host"), f.host(), QStringLiteral("--user"), QStringLiteral("alice"),
                                      QStringLiteral("--password-command"), QStringLiteral("exit 7")}, 1, "exit code 7"},
        {"unverified certificate", {QStringLiteral("--host"), f.host(), QStringLiteral("--user"), QStringLiteral("alice"),
                                    QStringLiteral("--password-command"), QStringLiteral("echo x")}, 1, "--trust-fingerprint"},
        {"password on the command line", {QStringLiteral("--list"), QStringLiteral("secret")}, 3, "never goes on the command line"},
        {"unknown option", {QStringLiteral("--frobnicate")}, 3, "Unknown option"},
    };
    for (const auto &c : cases) {
        const Outcome r = run(c.arguments);
        EXPECT_EQ(r.exitCode, c.exitCode) << c.name << qPrintable(r.err);
        EXPECT_TRUE(r.err.contains(QString::fromUtf8(c.words))) << c.name << qPrintable(r.err);
        EXPECT_FALSE(r.err.contains(QStringLiteral("not-it"))) << c.name;
    }
    const Outcome help = run({QStringLiteral("--help")});
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.contains(QStringLiteral("--password-command")));
    EXPECT_EQ(run({QStringLiteral("--version")}).out.trimmed(), QStringLiteral("purgelet %1").arg(QStringLiteral(PURGELET_VERSION)));
}

} // namespace
