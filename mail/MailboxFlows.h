#pragma once

#include "mail/MailboxView.h"
#include "messages/MarkedRecordIndex.h"

class Pop3Client;

// The mailbox flows of the window. Only one runs at a time: a click that
// arrives during another flow's yield is ignored instead of starting a second
// session on the same connection.
class MailboxFlows
{
public:
    MailboxFlows(MailboxView &view, Pop3Client &client) : m_view(view), m_client(client) {}

    // "Check Mails" and "Update From Server".
    void checkMails();
    // "Delete Now on Server": deletes every message whose From and Subject
    // are exactly those of a record marked for deletion, then lists the
    // mailbox again.
    void deleteOnServer();
    bool running() const { return m_running; }

private:
    // Returns the filter pass's notice for the user ("" when there is none).
    QString headerDownload();
    void deleteMarkedMessages();
    void connectWithBoxes();
    // Shows ErrorText under the title when the last call failed.
    bool failed(const char *title);

    MailboxView &m_view;
    Pop3Client &m_client;
    MarkedRecordIndex m_markedIndex;
    bool m_running = false;
};
