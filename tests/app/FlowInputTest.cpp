// Input delivered as a display delivers it: queued with the window system and
// handed to the program whenever it next looks at its events, also while it
// waits for the server. (QTest's clicks are delivered synchronously and cannot
// reach the program during a wait.)
#include "tests/support/AsyncInput.h"
#include "tests/support/TestServers.h"
#include "tests/support/WindowDriver.h"

#include <QElapsedTimer>
#include <QStyle>
#include <QStyleOptionViewItem>
#include <gtest/gtest.h>
#include <qpa/qwindowsysteminterface.h>

namespace {

using Async = QWindowSystemInterface::AsynchronousDelivery;

// Where the check box of a line is, in the list's viewport.
QPoint checkBoxOfLine(const MessageListDriver &list, int row)
{
    QTableView *view = list.view();
    QStyleOptionViewItem option;
    option.initFrom(view->viewport());
    option.rect = list.visualItemRect(list.item(row));
    option.features = QStyleOptionViewItem::HasCheckIndicator | QStyleOptionViewItem::HasDisplay;
    option.text = list.item(row).text();
    option.font = view->font();
    return view->style()->subElementRect(QStyle::SE_ItemViewItemCheckIndicator, &option, view).center();
}

// Runs the program's own event loop, as main() does, and returns how long it
// ran; ends after limitMs in any case.
qint64 runApplication(int limitMs)
{
    QElapsedTimer clock;
    clock.start();
    QTimer::singleShot(limitMs, qApp, &QCoreApplication::quit);
    QApplication::exec();
    return clock.elapsed();
}

TEST(FlowInput, ClicksDuringWaitsChangeNothingAfterwards)
{
    ScriptedServer server({QStringLiteral("--messages"), QStringLiteral("3"), QStringLiteral("--quit-delay"), QStringLiteral("1"),
                           QStringLiteral("--greeting-delay"), QStringLiteral("0.5")});
    WindowDriver d;
    BoxAnswerer boxes;
    d.checkMailsOn(server);
    ASSERT_EQ(d.list()->count(), 3);

    // The point hits line 1's check box: a click there toggles it.
    const QPoint box = checkBoxOfLine(d.list(), 0);
    for (const Qt::CheckState expected : {Qt::Checked, Qt::Unchecked}) {
        QTest::qWait(QApplication::doubleClickInterval() + 50);
        clickAsync(d.list()->viewport(), box);
        QTest::qWait(50);
        ASSERT_EQ(d.list()->item(0)->checkState(), expected);
    }

    // Delete Now with every line checked. While the deletion waits for the
    // answer to QUIT (the old lines shown), and while the new listing waits
    // for the server's greeting (the list emptied), the user clicks line 1's
    // check box and the greyed-out button. Held back, these clicks would
    // arrive after the flow, on an enabled button.
    for (int row = 0; row < 3; ++row)
        d.list()->item(row)->setCheckState(Qt::Checked);
    const int quitsBefore = int(server.commandsEndingWith(QStringLiteral("QUIT")).count(QStringLiteral("QUIT")));
    bool clickedInQuitWait = false, clickedInConnectWait = false;
    QTimer watcher;
    QObject::connect(&watcher, &QTimer::timeout, [&] {
        const bool quitSent = server.commands().count(QStringLiteral("QUIT")) > quitsBefore;
        const bool listing = d.list()->count() == 0;
        bool &clicked = listing ? clickedInConnectWait : clickedInQuitWait;
        const bool waiting = listing ? d.label("LabStatus")->text().startsWith(QStringLiteral("Connecting")) : quitSent;
        if (clicked || !waiting)
            return;
        EXPECT_FALSE(d.button("CmdDeleteOnSvr")->isEnabled());
        clickAsync(d.list()->viewport(), box);
        clickAsync(d.button("CmdDeleteOnSvr"));
        clicked = true;
    });
    watcher.start(5);
    clickAsync(d.button("CmdDeleteOnSvr"));
    QElapsedTimer clock;
    clock.start();
    while (server.commands().count(QStringLiteral("USER tester")) < 3 || !d.button("cmdcheck")->isEnabled()) {
        ASSERT_LT(clock.elapsed(), 20000);
        QTest::qWait(10);
    }
    watcher.stop();
    QTest::qWait(500);  // time for anything held back to arrive

    EXPECT_TRUE(clickedInQuitWait);
    EXPECT_TRUE(clickedInConnectWait);
    EXPECT_EQ(d.list()->count(), 0);
    EXPECT_EQ(server.commands().count(QStringLiteral("USER tester")), 3) << "no second deletion";
    EXPECT_EQ(server.commands().filter(QStringLiteral("DELE")), QStringList({"DELE 1", "DELE 2", "DELE 3"}));
    EXPECT_TRUE(boxes.boxes().isEmpty());
}

// Closing the window, by the window manager, with Exit or with Ctrl+Q,
// during a wait for the server or in the middle of a long download, ends the
// program at once; without QUIT the server deletes nothing.
TEST(FlowInput, ClosingDuringAFlowEndsTheProgram)
{
    enum class Close { WindowManager, Exit, CtrlQ };
    const struct { const char *name; QStringList server; Close how; int limitMs; } cases[] = {
        {"window manager's close while waiting for the greeting", {"--greeting-delay", "5"}, Close::WindowManager, 1000},
        {"Exit during a download of 10,000 messages", {"--messages", "10000"}, Close::Exit, 2000},
        {"Ctrl+Q during a download begun by Enter in the password box", {"--messages", "10000"}, Close::CtrlQ, 2000},
    };
    for (const auto &c : cases) {
        ScriptedServer server(c.server);
        WindowDriver d;
        d.logIn(server.host(), QStringLiteral("tester"), QStringLiteral("secret"));
        d.window.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&d.window));
        QElapsedTimer clock;
        clock.start();
        qint64 closedAt = -1;
        QTimer closer;
        QObject::connect(&closer, &QTimer::timeout, [&] {
            // Close once the flow waits for the server, or has read some messages.
            const bool inFlow = !d.button("cmdcheck")->isEnabled();
            const bool downloading = c.how != Close::WindowManager;
            if (closedAt >= 0 || !inFlow || (downloading ? d.window.records().count() < 200 : clock.elapsed() < 300))
                return;
            closedAt = clock.elapsed();
            if (c.how == Close::Exit)
                clickAsync(d.button("CmdExit"));
            else if (c.how == Close::CtrlQ)
                keyAsync(&d.window, Qt::Key_Q, Qt::ControlModifier);
            else
                QWindowSystemInterface::handleCloseEvent<Async>(d.window.windowHandle());
        });
        closer.start(5);
        QTimer::singleShot(0, [&] {
            if (c.how == Close::CtrlQ) {
                d.window.findChild<QLineEdit *>(QStringLiteral("Txtpassword"))->setFocus();
                keyAsync(&d.window, Qt::Key_Return);
            } else {
                clickAsync(d.button("cmdcheck"));
            }
        });
        const qint64 ran = runApplication(20000);

        ASSERT_GE(closedAt, 0) << c.name;
        EXPECT_LT(ran - closedAt, c.limitMs) << c.name;
        EXPECT_FALSE(d.window.isVisible()) << c.name;
        EXPECT_LT(d.window.records().count(), 10000) << c.name;
        EXPECT_FALSE(server.commands().contains(QStringLiteral("QUIT"))) << c.name;
    }
}

} // namespace
