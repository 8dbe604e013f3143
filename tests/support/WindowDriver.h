#pragma once

#include "app/EmailPreview.h"
#include "tests/support/MessageListDriver.h"
#include "tests/support/TestServers.h"

#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

// What the window showed at one moment of a flow.
struct Snapshot { QString status; bool check, update, remove; };

// Drives the real window: types the log-in, clicks a button, records what
// the window shows while the flow runs.
struct WindowDriver
{
    EmailPreview window;
    QTimer sampler;
    QList<Snapshot> snapshots;

    WindowDriver()
    {
        window.show();
        (void)QTest::qWaitForWindowExposed(&window);
        sampler.setInterval(0);
        QObject::connect(&sampler, &QTimer::timeout, [this] {
            const Snapshot s{label("LabStatus")->text(), button("cmdcheck")->isEnabled(),
                             button("CmdUpdate")->isEnabled(), button("CmdDeleteOnSvr")->isEnabled()};
            if (snapshots.isEmpty() || snapshots.last().status != s.status || snapshots.last().check != s.check)
                snapshots << s;
        });
    }
    QPushButton *button(const char *name) { return window.findChild<QPushButton *>(QLatin1String(name)); }
    QLabel *label(const char *name) { return window.findChild<QLabel *>(QLatin1String(name)); }
    MessageListDriver list() { return MessageListDriver(window.findChild<QTableView *>(QStringLiteral("EmailList"))); }
    QPlainTextEdit *preview() { return window.findChild<QPlainTextEdit *>(QStringLiteral("HeaderBox")); }
    void logIn(const QString &host, const QString &user, const QString &password)
    {
        for (auto [name, text] : {std::pair{"Txthostname", host}, {"Txtusername", user}, {"Txtpassword", password}}) {
            auto *edit = window.findChild<QLineEdit *>(QLatin1String(name));
            edit->clear();
            QTest::keyClicks(edit, text);
        }
    }
    // Logs in to the scripted server's account and presses "Check Mails".
    void checkMailsOn(const ScriptedServer &server)
    {
        logIn(server.host(), QStringLiteral("tester"), QStringLiteral("secret"));
        click("cmdcheck");
    }
    void click(const char *name)
    {
        sampler.start();
        QTest::mouseClick(button(name), Qt::LeftButton);
        sampler.stop();
    }
    // Rows of the message list whose check box is on.
    QList<int> checkedRows()
    {
        QList<int> rows;
        for (int i = 0; i < list()->count(); ++i)
            if (list()->item(i)->checkState() == Qt::Checked)
                rows << i;
        return rows;
    }
};
