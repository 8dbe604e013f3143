// The remembered password against a real Secret Service (run by
// secret_store_check.sh inside a private D-Bus session with an unlocked
// keyring): kept only when asked for, never in a file, forgotten on untick.
#include "app/RememberedLogIn.h"
#include "tests/support/WindowDriver.h"

#include <QCheckBox>
#include <QDirIterator>
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
