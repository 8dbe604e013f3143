#pragma once

#include "mail/MailboxView.h"

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
    bool running() const { return m_running; }

private:
    void headerDownload();
    void connectWithBoxes();

    MailboxView &m_view;
    Pop3Client &m_client;
    bool m_running = false;
};
