// The list's own controls, driven through the real window with input queued
// as a display delivers it: sorting by a column, the search box, checking
// what is shown, the jump to the next checked line, and Stop in the middle of
// a slow listing and of a deletion.
#include "tests/support/AsyncInput.h"
#include "tests/support/RuleFileInAppFolder.h"
#include "tests/support/TestServers.h"
#include "tests/support/WindowDriver.h"

#include <QElapsedTimer>
#include <QHeaderView>
#include <QProgressBar>
#include <QTimer>
#include <gtest/gtest.h>

namespace {

// Lets the program run until done() holds; false when limitMs passed first.
bool runUntil(const std::function<bool()> &done, int limitMs = 20000)
{
    QElapsedTimer clock;
    clock.start();
    while (!done()) {
        if (clock.elapsed() > limitMs)
            return false;
        QTest::qWait(5);
    }
    return true;
}

// Runs action once, the first time condition holds, checked from a timer:
// a flow started by input runs in the event loop of whoever waits, so only
// timers see the window while it runs.
class OnceWhen
{
public:
    OnceWhen(std::function<bool()> condition, std::function<void()> action)
    {
        QObject::connect(&m_timer, &QTimer::timeout, [this, condition, action] {
            if (!m_done && condition()) {
                m_done = true;
                action();
            }
        });
        m_timer.start(5);
    }
    bool done() const { return m_done; }

private:
    QTimer m_timer;
    bool m_done = false;
};

void clickColumnHeader(QTableView *view, int column)
{
    QHeaderView *header = view->horizontalHeader();
    QTest::qWait(QApplication::doubleClickInterval() + 50);  // one click each, never a double click
    clickAsync(header->viewport(), QPoint(header->sectionViewportPosition(column) + header->sectionSize(column) / 2,
                                          header->height() / 2));
}

QStringList column(const MessageListDriver &list, int column)
{
    QStringList texts;
    for (int row = 0; row < list.count(); ++row)
        texts << list.item(row).text(column);
    return texts;
}

TEST(ListWindow, SortSearchCheckShownAndJumpToCheckedLines)
{
    RuleFileInAppFolder rules("[rfstart]\nmsgsubjectcontains=offer\nkeep:msgfromcontains=<s12@\n[rfend]\n");
    QStringList options{QStringLiteral("--messages"), QStringLiteral("40")};
    for (const int n : {5, 12, 30})
        options << QStringLiteral("--subject") << QStringLiteral("%1=big OFFER %1").arg(n);
    ScriptedServer server(options);
    WindowDriver d;
    BoxAnswerer boxes;
    d.checkMailsOn(server);
    MessageListDriver list = d.list();
    ASSERT_EQ(list.count(), 40);
    EXPECT_EQ(d.label("LabChecked")->text(), QStringLiteral("2 of 40 checked"));
    EXPECT_EQ(list.item(11).text(MessageListModel::Rule), QStringLiteral("keep:msgfromcontains=<s12@"));
    EXPECT_EQ(list.item(11).checkState(), Qt::Unchecked);

    // A click on a column header sorts by it, letter case ignored; Date by time.
    clickColumnHeader(list.view(), MessageListModel::Subject);
    ASSERT_TRUE(runUntil([&] { return list.view()->horizontalHeader()->sortIndicatorSection() == MessageListModel::Subject; }));
    QStringList subjects = column(list, MessageListModel::Subject);
    EXPECT_EQ(subjects.mid(0, 4), QStringList({"big OFFER 12", "big OFFER 30", "big OFFER 5", "Subject 1"}));
    clickColumnHeader(list.view(), MessageListModel::Date);
    ASSERT_TRUE(runUntil([&] { return list.view()->horizontalHeader()->sortIndicatorSection() == MessageListModel::Date; }));
    subjects = column(list, MessageListModel::Subject);
    EXPECT_EQ(subjects.mid(0, 3), QStringList({"Subject 1", "Subject 2", "Subject 3"})) << "seconds 1, 2, 3 of the minute";

    // F3 goes to the next checked line, Shift+F3 back, round the end.
    list.view()->setFocus();
    keyAsync(list.view(), Qt::Key_F3);
    ASSERT_TRUE(runUntil([&] { return list.currentRow() >= 0; }));
    EXPECT_EQ(list.item(list.currentRow()).text(MessageListModel::Subject), QStringLiteral("big OFFER 5"));
    keyAsync(list.view(), Qt::Key_F3);
    ASSERT_TRUE(runUntil([&] { return list.item(list.currentRow()).text(MessageListModel::Subject) == QStringLiteral("big OFFER 30"); }));
    keyAsync(list.view(), Qt::Key_F3, Qt::ShiftModifier);
    ASSERT_TRUE(runUntil([&] { return list.item(list.currentRow()).text(MessageListModel::Subject) == QStringLiteral("big OFFER 5"); }));
    // Space unchecks the current line, whichever column is current.
    keyAsync(list.view(), Qt::Key_Space);
    ASSERT_TRUE(runUntil([&] { return d.label("LabChecked")->text() == QStringLiteral("1 of 40 checked"); }));
    EXPECT_TRUE(d.preview()->toPlainText().startsWith(QStringLiteral("FROM ")));

    // The search narrows the list; Check Shown and Uncheck Shown touch only that.
    clickAsync(d.window.findChild<QLineEdit *>(QStringLiteral("TxtSearch")));
    typeAsync(&d.window, QStringLiteral("offer"));
    ASSERT_TRUE(runUntil([&] { return list.count() == 3; }));
    EXPECT_EQ(d.label("LabChecked")->text(), QStringLiteral("1 of 40 checked, 3 shown"));
    clickAsync(d.button("CmdCheckShown"));
    ASSERT_TRUE(runUntil([&] { return d.label("LabChecked")->text() == QStringLiteral("3 of 40 checked, 3 shown"); }));
    clickAsync(d.window.findChild<QLineEdit *>(QStringLiteral("TxtSearch")));  // the button took the focus
    keyAsync(&d.window, Qt::Key_A, Qt::ControlModifier);
    keyAsync(&d.window, Qt::Key_Backspace);
    ASSERT_TRUE(runUntil([&] { return list.count() == 40; }));
    clickColumnHeader(list.view(), MessageListModel::Subject);
    QTest::qWait(100);
    for (int row = 0; row < list.count(); ++row)
        EXPECT_EQ(list.item(row).checkState() == Qt::Checked, list.item(row).text(MessageListModel::Subject).contains(QStringLiteral("OFFER")))
            << row;

    // What is checked, sorted or not, is what goes: the three offers, the
    // friend's (kept by its rule, checked by hand) included.
    clickAsync(d.button("CmdDeleteOnSvr"));
    ASSERT_TRUE(runUntil([&] { return d.button("cmdcheck")->isEnabled() && list.count() == 37; }));
    EXPECT_EQ(server.commands().filter(QStringLiteral("DELE")), QStringList({"DELE 5", "DELE 12", "DELE 30"}));
    EXPECT_TRUE(boxes.boxes().isEmpty());
}

// Stop, pressed while a slow server sends headers and again while it
// deletes: the session ends with QUIT, what was read is listed, only the
// deletions already sent are carried out, and the status line says so.
TEST(ListWindow, StopEndsTheSessionProperlyInAListingAndInADeletion)
{
    ScriptedServer server({QStringLiteral("--messages"), QStringLiteral("200")});
    DelayedLink link(server.port(), 40);  // 80 ms for each message without pipelining
    WindowDriver d;
    BoxAnswerer boxes;
    MessageListDriver list = d.list();
    auto *progress = d.window.findChild<QProgressBar *>(QStringLiteral("FlowProgress"));
    d.logIn(link.host(), QStringLiteral("tester"), QStringLiteral("secret"));

    QString progressShown;
    OnceWhen stopListing([&] { return server.commands().filter(QStringLiteral("TOP")).size() >= 10; },
                         [&] {
                             progressShown = progress->isVisible() ? progress->text() : QString();
                             clickAsync(d.button("CmdStop"));
                         });
    clickAsync(d.button("cmdcheck"));
    ASSERT_TRUE(runUntil([&] { return stopListing.done() && d.button("cmdcheck")->isEnabled(); }, 30000));
    EXPECT_TRUE(progressShown.contains(QStringLiteral(" of 200 messages"))) << progressShown.toStdString();
    const QStringList listing = server.commandsEndingWith(QStringLiteral("QUIT"));
    const int read = int(listing.filter(QStringLiteral("TOP")).size());
    EXPECT_LT(read, 100) << "the stop came long before the end";
    EXPECT_EQ(list.count(), read);
    EXPECT_EQ(d.label("LabStatus")->text(),
              QStringLiteral("Stopped: %1 of 200 messages read and listed, the session ended properly; "
                             "No rules applied: no filters.txt in %2; Create Filters makes one")
                  .arg(read).arg(QCoreApplication::applicationDirPath()));
    EXPECT_FALSE(progress->isVisible());
    EXPECT_TRUE(d.window.findChild<QLineEdit *>(QStringLiteral("TxtSearch"))->isVisible());

    // Every line checked; Stop after a few deletions were sent.
    clickAsync(d.button("CmdCheckShown"));
    ASSERT_TRUE(runUntil([&] { return list.count() > 0 && list.item(list.count() - 1).checkState() == Qt::Checked; }));
    // Stopped during its log-in, the deletion deletes nothing and the list
    // keeps its checks.
    const qsizetype logIns = server.commands().filter(QStringLiteral("USER")).size();
    OnceWhen stopLoggingIn([&] { return server.commands().filter(QStringLiteral("USER")).size() > logIns; },
                           [&] { clickAsync(d.button("CmdStop")); });
    clickAsync(d.button("CmdDeleteOnSvr"));
    ASSERT_TRUE(runUntil([&] { return stopLoggingIn.done() && d.button("cmdcheck")->isEnabled(); }, 30000));
    EXPECT_EQ(server.commands().filter(QStringLiteral("DELE")).size(), 0);
    EXPECT_EQ(d.label("LabStatus")->text(), QStringLiteral("Stopped: no message was deleted; the list and its checks stay"));
    EXPECT_EQ(d.label("LabChecked")->text(), QStringLiteral("%1 of %1 checked").arg(read));

    const int topsBefore = int(server.commands().filter(QStringLiteral("TOP")).size());
    OnceWhen stopDeleting([&] { return server.commands().filter(QStringLiteral("DELE")).size() >= 5; },
                          [&] { clickAsync(d.button("CmdStop")); });
    clickAsync(d.button("CmdDeleteOnSvr"));
    ASSERT_TRUE(runUntil([&] { return stopDeleting.done() && d.button("cmdcheck")->isEnabled(); }, 30000));
    const QStringList deletion = server.commandsEndingWith(QStringLiteral("QUIT"));
    const qsizetype deleted = deletion.filter(QStringLiteral("DELE")).size();
    EXPECT_LT(deleted, read);
    EXPECT_EQ(deletion.last(), QStringLiteral("QUIT"));
    EXPECT_LE(server.commands().filter(QStringLiteral("TOP")).size() - topsBefore, deleted + 1)
        << "at most the message at hand read after the stop, and no listing after it";
    EXPECT_EQ(d.label("LabStatus")->text(),
              QStringLiteral("Stopped: Deleted %1 messages on the server; no other message was deleted; "
                             "Update From Server lists the mailbox again").arg(deleted));
    EXPECT_EQ(list.count(), 0);

    // The server carried out exactly those.
    d.click("CmdUpdate");
    EXPECT_EQ(d.label("LabTitle")->text(), QStringLiteral("Total %1 Messages in Inbox of tester").arg(200 - deleted));
    EXPECT_TRUE(boxes.boxes().isEmpty());
}

} // namespace
