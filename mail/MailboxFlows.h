#pragma once

#include "mail/MailboxView.h"
#include "mail/StatusPace.h"

#include <functional>

class Pop3Client;

// The mailbox flows of the window: the header download ("Check Mails",
// "Update From Server") and the deletion on the server ("Delete Now on Server").
//
// What may happen while a flow runs is decided here, and only here:
// - Every wait for the server, and the pause after each message, handles the
//   window's events at once, user input included. Nothing is held back and
//   replayed after the wait against a window that has changed meanwhile.
//   Progress reaches the status line at a pace a person can read (StatusPace),
//   not once per message.
// - Check boxes and the preview react at once. A check changed during the
//   deletion counts for every message the walk has not reached yet.
// - A mailbox button pressed while a flow runs does nothing: the flow's own
//   buttons are disabled, and a click on "Delete Now on Server" (which the
//   download leaves enabled) is dropped. One session at a time.
// - cancel() (the window closed, or "Exit") ends the flow at once, also in
//   the middle of a wait: the connection is dropped without QUIT, so the
//   server deletes nothing, and no further box is shown.
// - stop() ("Stop") ends the flow cleanly after the message at hand: no
//   further message is read or deleted, the session ends with QUIT (so the
//   server carries out the deletions already asked for, and only those), what
//   was read is listed, and the status line says so.
// - A lost connection ends the flow with one box, not one per message left.
class MailboxFlows
{
public:
    MailboxFlows(MailboxView &view, Pop3Client &client);

    // "Check Mails" and "Update From Server".
    void checkMails();
    // "Delete Now on Server": deletes the messages the list has checked (see
    // DeletionChoice), at most one deletion per message, then lists the
    // mailbox again.
    void deleteOnServer();
    void cancel();
    void stop();
    bool running() const { return m_running; }
    bool cancelled() const { return m_cancelled; }

private:
    enum class WalkEnd { Completed, ConnectionLost, Cancelled, Stopped };
    // Selects every message of the session that is wanted (all without a
    // test) in turn, lets the window's events run, and hands each message read
    // to takeMessage. beforeMessage comes at the pace of the status line, and
    // for the last message.
    WalkEnd walkMessages(const std::function<bool(qsizetype i)> &wanted,
                         const std::function<void(qsizetype i, qsizetype count)> &beforeMessage,
                         const std::function<void(qsizetype i)> &takeMessage);
    struct Listing
    {
        // What the status line says in place of the disconnection: the filter
        // pass's notice, else a lost connection ("" when neither).
        QString notice;
        qsizetype onServer = -1;  // messages in the mailbox; -1 when no session began
    };
    Listing headerDownload();
    void deleteMarkedMessages();
    void connectWithBoxes();
    // Shows ErrorText under the title when the last call failed.
    bool failed(const char *title);
    // One box for a connection lost during the walk; consequence ends its
    // text. Returns the status line that says so.
    QString reportLostConnection(const QString &consequence);

    MailboxView &m_view;
    Pop3Client &m_client;
    bool m_running = false;
    bool m_cancelled = false;
    bool m_stopAsked = false;
    StatusPace m_pace;
    qsizetype m_lostAfter = 0;   // the last message read before the connection was lost
    qsizetype m_readUpTo = 0;    // the last message the walk handled
};
