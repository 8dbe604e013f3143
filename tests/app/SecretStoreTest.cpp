// The remembered password against a real Secret Service (run by
// secret_store_check.sh inside a private D-Bus session with an unlocked
// keyring): kept only when asked for, never in a file, forgotten on untick.
#include "app/OAuth2AccountStore.h"
#include "app/RememberedLogIn.h"
#include "tests/support/AsyncInput.h"
#include "tests/support/WindowDriver.h"

#include <QCheckBox>
#include <cstring>
#include <QComboBox>
#include <QDialog>
#include <QTemporaryDir>
#include <QDirIterator>
#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QJsonArray>
#include <QProcess>
#include <QRegularExpression>
#include <QSslCertificate>
#include <QSignalSpy>
#include <gtest/gtest.h>

namespace {

const QString Password = QStringLiteral("Pw-7f3a9c-only-in-the-keyring");

QStringList filesHolding(const QString &folder, const QByteArray &text)
{
    QStringList found;
    for (QDirIterator it(folder, QDir::Files | QDir::Hidden, QDirIterator::Subdirectories); it.hasNext();) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly) && file.readAll().contains(text))
            found << file.fileName();
    }
    return found;
}

QCheckBox *rememberBox(WindowDriver &d)
{
    return d.window.findChild<QCheckBox *>(QStringLiteral("ChkRememberPassword"));
}

struct CliRun
{
    int exit;
    QString out;
    QString err;
};

// The program on the command line, with no display and no terminal; during
// the run, whenever a line of its output arrives, `reading` is told it.
CliRun purgelet(const QStringList &arguments, const std::function<void(const QString &)> &reading = {})
{
    QProcess cli;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.remove(QStringLiteral("DISPLAY"));
    env.remove(QStringLiteral("QT_QPA_PLATFORM"));
    cli.setProcessEnvironment(env);
    cli.setStandardInputFile(QProcess::nullDevice());
    QString out;
    QObject::connect(&cli, &QProcess::readyReadStandardOutput, [&] {
        out += QString::fromUtf8(cli.readAllStandardOutput());
        if (reading)
            reading(out);
    });
    cli.start(QStringLiteral(PURGELET_EXECUTABLE), arguments);
    EXPECT_TRUE(cli.waitForStarted());
    QDeadlineTimer deadline(60000);
    while (cli.state() != QProcess::NotRunning && !deadline.hasExpired())
        QTest::qWait(20);
    return {cli.exitCode(), out + QString::fromUtf8(cli.readAllStandardOutput()), QString::fromUtf8(cli.readAllStandardError())};
}

TEST(SecretStore, PasswordKeptOnlyThereAndForgottenOnUntick)
{
    ScriptedServer server({QStringLiteral("--messages"), QStringLiteral("2"), QStringLiteral("--password"), Password});
    {
        WindowDriver d;
        QTest::qWait(300);  // the probe of the store
        ASSERT_TRUE(rememberBox(d)->isEnabled()) << qPrintable(rememberBox(d)->toolTip());
        d.logIn(server.host(), QStringLiteral("tester"), Password);
        rememberBox(d)->setChecked(true);
        d.click("cmdcheck");
        ASSERT_EQ(d.list()->count(), 2);
    }
    {
        // The next start finds it, and it is in no file under the home folder.
        WindowDriver d;
        QTRY_COMPARE(d.window.passwordText(), Password);
        EXPECT_TRUE(rememberBox(d)->isChecked());
        EXPECT_EQ(filesHolding(QDir::homePath(), Password.toUtf8()), QStringList());
        EXPECT_EQ(filesHolding(QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME")), Password.toUtf8()), QStringList());
        // The command line finds it there too, with no display and no other source.
        const CliRun cli = purgelet({QStringLiteral("--list"), QStringLiteral("--host"), server.host(), QStringLiteral("--user"),
                                     QStringLiteral("tester"), QStringLiteral("--rules"), QStringLiteral("/nonexistent")});
        EXPECT_EQ(cli.exit, 2) << "logged in, then stopped at the unusable rule file: " << qPrintable(cli.err);
        rememberBox(d)->setChecked(false);
        QTest::qWait(300);  // the deletion
    }
    RememberedLogIn store;
    QSignalSpy found(&store, &RememberedLogIn::passwordFound);
    store.lookUpPassword(server.host(), QStringLiteral("tester"));
    QTest::qWait(1000);
    EXPECT_EQ(found.count(), 0) << "unticking removed it";
}

// OAuth2 on the command line from the device code to a listing and a
// deletion, through each mechanism: the refresh token goes only into the
// secret store; an expired sign-in exits 1 with the reason; signing out
// forgets it.
TEST(SecretStore, OAuth2SignInOnTheCommandLineKeptOnlyInTheStore)
{
    const auto &f = DovecotFixture::get();
    const QString host = QStringLiteral("localhost:%1").arg(f.pop3Port);
    const QByteArray fingerprint = QSslCertificate::fromPath(f.dir + QStringLiteral("/server.crt")).value(0).digest(QCryptographicHash::Sha256).toHex();
    // The device grant, and the browser's way for a provider without it (as Google).
    const struct { const char *mechanism; bool device; } cases[] = {{"OAUTHBEARER", true}, {"XOAUTH2", false}};
    for (const auto &[mechanism, device] : cases) {
        SCOPED_TRACE(mechanism);
        const QString user = f.addMailbox(QStringLiteral("oauth"), {emlMessage("Alice <alice@example.org>", "Hello"),
                                                                     emlMessage("Deals <promo@shop.example>", "Offer"),
                                                                     emlMessage("Bob <bob@example.org>", "Photos")});
        const QStringList account{QStringLiteral("--host"), host, QStringLiteral("--user"), user};
        const QStringList oauth2 = account + QStringList{QStringLiteral("--oauth2"), QStringLiteral("--trust-fingerprint"),
                                                         QString::fromLatin1(fingerprint), QStringLiteral("--rules"),
                                                         QStringLiteral(PURGELET_DEMO_RULES)};
        const QStringList listing = oauth2 + QStringList{QStringLiteral("--list")};
        EXPECT_EQ(purgelet(listing).exit, 1);

        bool answered = false;
        QProcess browser;
        f.oauthAdmin(QStringLiteral("browser?user=") + user);
        QStringList signInOptions = account + QStringList{QStringLiteral("--sign-in"), QStringLiteral("--provider"), QStringLiteral("custom"),
                                                          QStringLiteral("--client-id"), QStringLiteral("purgelet-test"),
                                                          QStringLiteral("--auth-url"), f.oauthUrl(QStringLiteral("/authorize")),
                                                          QStringLiteral("--token-url"), f.oauthUrl(QStringLiteral("/token")),
                                                          QStringLiteral("--scope"), QStringLiteral("mail offline_access"),
                                                          QStringLiteral("--mechanism"), QLatin1String(mechanism)};
        if (device)
            signInOptions << QStringLiteral("--device-url") << f.oauthUrl(QStringLiteral("/device"));
        const CliRun signIn = purgelet(signInOptions, [&](const QString &out) {
            // The user reads the code and types it on the provider's page, or opens the address.
            const QRegularExpressionMatch code = QRegularExpression(QStringLiteral("enter the code (\\S+) ")).match(out);
            const QRegularExpressionMatch address = QRegularExpression(QStringLiteral("computer:\\n(\\S+)\\n")).match(out);
            if (answered || !(code.hasMatch() || address.hasMatch()))
                return;
            answered = true;
            if (code.hasMatch())
                f.oauthAdmin(QStringLiteral("approve?user=%1&user_code=%2").arg(user, code.captured(1)));
            else
                browser.start(QStringLiteral("curl"), {QStringLiteral("-sL"), QStringLiteral("--max-time"), QStringLiteral("20"), address.captured(1)});
        });
        ASSERT_EQ(signIn.exit, 0) << qPrintable(signIn.err);
        EXPECT_TRUE(signIn.out.contains(device ? f.oauthUrl(QStringLiteral("/activate")) : f.oauthUrl(QStringLiteral("/authorize"))))
            << qPrintable(signIn.out);
        browser.waitForFinished(20000);
        const QJsonArray kept = f.oauthAdmin(QStringLiteral("refresh-tokens?user=") + user).value(QStringLiteral("tokens")).toArray();
        ASSERT_FALSE(kept.isEmpty());
        for (const QJsonValue &token : kept) {
            EXPECT_EQ(filesHolding(QDir::homePath(), token.toString().toUtf8()), QStringList());
            EXPECT_EQ(filesHolding(QString::fromLocal8Bit(qgetenv("XDG_CONFIG_HOME")), token.toString().toUtf8()), QStringList());
        }

        const qsizetype logStart = f.log().size();
        const CliRun listed = purgelet(listing);
        EXPECT_EQ(listed.exit, 0) << qPrintable(listed.err);
        EXPECT_EQ(listed.out.count(u'\n'), 3) << qPrintable(listed.out);
        EXPECT_TRUE(f.log().mid(logStart).contains(QStringLiteral("method=%1").arg(QLatin1String(mechanism)))) << qPrintable(f.log().mid(logStart));
        const CliRun deleted = purgelet(oauth2 + QStringList{QStringLiteral("--delete")});
        EXPECT_EQ(deleted.exit, 0) << qPrintable(deleted.err);
        EXPECT_EQ(f.messagesInMaildir(user), (QStringList{"Alice <alice@example.org> | Hello", "Bob <bob@example.org> | Photos"}));

        f.oauthAdmin(QStringLiteral("expire?user=") + user);
        f.oauthAdmin(QStringLiteral("revoke?user=") + user);
        const CliRun expired = purgelet(listing);
        EXPECT_EQ(expired.exit, 1);
        EXPECT_TRUE(expired.err.contains(QStringLiteral("Sign in again"))) << qPrintable(expired.err);

        EXPECT_EQ(purgelet(account + QStringList{QStringLiteral("--sign-out")}).exit, 0);
        const CliRun signedOut = purgelet(listing);
        EXPECT_EQ(signedOut.exit, 1);
        EXPECT_TRUE(signedOut.err.contains(QStringLiteral("has no OAuth2 sign-in"))) << qPrintable(signedOut.err);
    }
}

// The window's sign-in, as a user goes through it: the dialog from the
// window, a provider given by its addresses, the browser (a script standing in
// for the desktop's) sent to the provider and back; then Check Mails lists
// with OAuth2 and Delete Now deletes with it; a withdrawn sign-in costs one
// box that says so, and "Forget this account" removes the sign-in.
TEST(SecretStore, OAuth2SignInThroughTheWindowToAListingThenForgotten)
{
    const auto &f = DovecotFixture::get();
    QTemporaryDir browser;
    const QString page = browser.filePath(QStringLiteral("page.html"));
    QFile opener(browser.filePath(QStringLiteral("xdg-open")));
    ASSERT_TRUE(opener.open(QIODevice::WriteOnly));
    opener.write("#!/bin/sh\n(curl -sL --max-time 20 \"$1\" > \"" + page.toUtf8() + ".part\" && mv \"" + page.toUtf8() +
                 ".part\" \"" + page.toUtf8() + "\") &\n");
    opener.close();
    opener.setPermissions(QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    qputenv("PATH", browser.path().toUtf8() + ':' + qgetenv("PATH"));

    const QString host = QStringLiteral("localhost:%1").arg(f.pop3Port);
    WindowDriver d;
    // The server's choice (OAUTHBEARER) and the one an account can ask for.
    for (const char *mechanism : {"OAUTHBEARER", "XOAUTH2"}) {
        SCOPED_TRACE(mechanism);
        const QString user = f.addMailbox(QStringLiteral("window"), {emlMessage("Alice <alice@example.org>", "Hello"),
                                                                      emlMessage("Deals <promo@shop.example>", "Offer")});
        f.oauthAdmin(QStringLiteral("browser?user=") + user);
        d.logIn(host, user, QString());
        clickAsync(d.button("CmdOAuth2"));
        QDialog *dialog = nullptr;
        QTRY_VERIFY((dialog = d.window.findChild<QDialog *>(QStringLiteral("OAuth2Dialog"))));
        auto *provider = dialog->findChild<QComboBox *>(QStringLiteral("CboProvider"));
        provider->setCurrentIndex(provider->findData(QStringLiteral("custom")));
        auto *chosen = dialog->findChild<QComboBox *>(QStringLiteral("CboMechanism"));
        chosen->setCurrentIndex(std::strcmp(mechanism, "XOAUTH2") == 0 ? chosen->findData(QStringLiteral("XOAUTH2")) : 0);
        for (auto [name, text] : {std::pair{"TxtClientId", QStringLiteral("purgelet-test")},
                                  {"TxtAuthUrl", f.oauthUrl(QStringLiteral("/authorize"))},
                                  {"TxtTokenUrl", f.oauthUrl(QStringLiteral("/token"))},
                                  {"TxtScope", QStringLiteral("mail offline_access")}})
            QTest::keyClicks(dialog->findChild<QLineEdit *>(QLatin1String(name)), text);
        auto *status = dialog->findChild<QLabel *>(QStringLiteral("LabSignInStatus"));
        clickAsync(dialog->findChild<QPushButton *>(QStringLiteral("CmdSignIn")));
        QTRY_VERIFY_WITH_TIMEOUT(status->text().startsWith(QStringLiteral("Signed in with")), 20000);
        QTRY_VERIFY(QFile::exists(page));
        QFile shown(page);
        ASSERT_TRUE(shown.open(QIODevice::ReadOnly));
        EXPECT_TRUE(shown.readAll().contains("You may close this page"));
        shown.remove();
        dialog->reject();
        QTRY_VERIFY(!d.window.findChild<QDialog *>(QStringLiteral("OAuth2Dialog")));

        const qsizetype logStart = f.log().size();
        clickAsync(d.button("cmdcheck"));
        QTRY_COMPARE_WITH_TIMEOUT(d.list()->count(), 2, 20000);
        EXPECT_TRUE(f.log().mid(logStart).contains(QStringLiteral("method=%1").arg(QLatin1String(mechanism))));
        EXPECT_EQ(d.label("LabStatus")->text(), QStringLiteral("Disconnected from localhost"));
        for (const QJsonValue &token : f.oauthAdmin(QStringLiteral("refresh-tokens?user=") + user).value(QStringLiteral("tokens")).toArray())
            EXPECT_EQ(filesHolding(QDir::homePath(), token.toString().toUtf8()), QStringList()) << "the refresh token only in the store";
        d.list()->item(1)->setCheckState(Qt::Checked);
        clickAsync(d.button("CmdDeleteOnSvr"));
        QTRY_VERIFY_WITH_TIMEOUT(d.label("LabStatus")->text().startsWith(QStringLiteral("Deleted 1 message")), 20000);
        EXPECT_EQ(f.messagesInMaildir(user), QStringList{"Alice <alice@example.org> | Hello"});

        f.oauthAdmin(QStringLiteral("expire?user=") + user);
        f.oauthAdmin(QStringLiteral("revoke?user=") + user);
        {
            BoxAnswerer boxes;
            clickAsync(d.button("cmdcheck"));
            QTRY_VERIFY_WITH_TIMEOUT(d.button("cmdcheck")->isEnabled() && !boxes.boxes().isEmpty(), 20000);
            QTest::qWait(200);
            ASSERT_EQ(boxes.boxes().size(), 1);
            EXPECT_TRUE(boxes.boxes().first().text.contains(QStringLiteral("Sign in again"))) << qPrintable(boxes.boxes().first().text);
        }

        clickAsync(d.button("CmdOAuth2"));
        QTRY_VERIFY((dialog = d.window.findChild<QDialog *>(QStringLiteral("OAuth2Dialog"))));
        clickAsync(dialog->findChild<QPushButton *>(QStringLiteral("CmdForget")));
        QTRY_VERIFY(dialog->findChild<QLabel *>(QStringLiteral("LabSignInStatus"))->text().contains(QStringLiteral("forgotten")));
        QString error;
        EXPECT_FALSE(OAuth2AccountStore::load(host, user));
        EXPECT_EQ(OAuth2AccountStore::readRefreshToken(host, user, &error), QString()) << qPrintable(error);
        dialog->reject();
        QTRY_VERIFY(!d.window.findChild<QDialog *>(QStringLiteral("OAuth2Dialog")));
    }
}

} // namespace
