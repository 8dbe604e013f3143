// The remembered password against a real Secret Service (run by
// secret_store_check.sh inside a private D-Bus session with an unlocked
// keyring): kept only when asked for, never in a file, forgotten on untick.
#include "app/RememberedLogIn.h"
#include "tests/support/WindowDriver.h"

#include <QCheckBox>
#include <QDirIterator>
#include <QProcess>
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
        QProcess cli;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.remove(QStringLiteral("DISPLAY"));
        env.remove(QStringLiteral("QT_QPA_PLATFORM"));
        cli.setProcessEnvironment(env);
        cli.setStandardInputFile(QProcess::nullDevice());
        cli.start(QStringLiteral(PURGELET_EXECUTABLE), {QStringLiteral("--list"), QStringLiteral("--host"), server.host(),
                                                        QStringLiteral("--user"), QStringLiteral("tester"),
                                                        QStringLiteral("--rules"), QStringLiteral("/nonexistent")});
        ASSERT_TRUE(cli.waitForFinished(30000));
        EXPECT_EQ(cli.exitCode(), 2) << "logged in, then stopped at the unusable rule file: " << cli.readAllStandardError().constData();
        rememberBox(d)->setChecked(false);
        QTest::qWait(300);  // the deletion
    }
    RememberedLogIn store;
    QSignalSpy found(&store, &RememberedLogIn::passwordFound);
    store.lookUpPassword(server.host(), QStringLiteral("tester"));
    QTest::qWait(1000);
    EXPECT_EQ(found.count(), 0) << "unticking removed it";
}

} // namespace
