#include "mail/MailboxFlows.h"

#include "mail/Pop3Client.h"
#include "messages/RecordStore.h"

namespace {
// Marks a flow as running for its whole extent, whatever path ends it.
class RunningGuard
{
public:
    explicit RunningGuard(bool &flag) : m_flag(flag) { m_flag = true; }
    ~RunningGuard() { m_flag = false; }
    RunningGuard(const RunningGuard &) = delete;
    RunningGuard &operator=(const RunningGuard &) = delete;

private:
    bool &m_flag;
};
} // namespace

void MailboxFlows::checkMails()
{
    if (m_running)
        return;
    RunningGuard guard(m_running);
    headerDownload();
}

void MailboxFlows::deleteOnServer()
{
    if (m_running)
        return;
    RunningGuard guard(m_running);
    deleteMarkedMessages();
}

bool MailboxFlows::failed(const char *title)
{
    if (m_client.ResultCode() == 0)
        return false;
    m_view.showError(QString::fromLatin1(title), m_client.ErrorText());
    return true;
}

void MailboxFlows::deleteMarkedMessages()
{
    using Button = MailboxView::Button;
    m_view.setButtonEnabled(Button::Delete, false);
    m_view.setButtonEnabled(Button::Check, false);
    m_view.setButtonEnabled(Button::Update, false);

    QString ruleNotice;
    connectWithBoxes();
    if (!failed("Error during Connect") && m_client.MsgCount() > 0) {
        const qsizetype count = m_client.MsgCount();
        for (qsizetype i = 1; i <= count; ++i) {
            m_client.SetCurrentMsg(i);
            if (failed("Error during SetCurrentMsg"))
                continue;
            m_view.yieldToEvents();
            if (m_view.closing()) {
                // Leaving without QUIT: the server deletes nothing.
                m_client.Abort();
                return;
            }
            if (failed("Error during RetrieveCurrentMsg"))
                continue;
            // Read for every message, so a check box changed during the
            // yield counts from this message on.
            const qsizetype matches = m_markedIndex.count(m_view.records(), m_client.MsgFrom(), m_client.MsgSubject());
            for (qsizetype k = 0; k < matches; ++k) {
                m_view.setStatus(QStringLiteral("Deleting message %1 ...").arg(i));
                m_client.DeleteCurrentMsg();
            }
        }
        // The server carries out the deletions only when the session ends
        // with QUIT; when that fails, the user must not think they were done.
        m_client.Disconnect();
        failed("Error during Disconnect");
        ruleNotice = headerDownload();
        if (m_view.closing())
            return;
    }
    m_view.setStatus(ruleNotice.isEmpty() ? m_client.StatusText() : ruleNotice);
    m_view.setButtonEnabled(Button::Delete, true);
    m_view.setButtonEnabled(Button::Check, true);
    m_view.setButtonEnabled(Button::Update, true);
}

void MailboxFlows::connectWithBoxes()
{
    m_client.HostName = m_view.hostText();
    m_client.UserName = m_view.userText();
    m_client.Password = m_view.passwordText();
    m_client.Connect();
    m_view.setStatus(m_client.StatusText());
}

QString MailboxFlows::headerDownload()
{
    using Button = MailboxView::Button;
    m_view.setButtonEnabled(Button::Check, false);
    m_view.setButtonEnabled(Button::Update, false);
    m_view.clearMessageList();
    m_view.records().clear();

    QString ruleNotice;
    connectWithBoxes();
    if (!failed("Error during Connect")) {
        const qsizetype count = m_client.MsgCount();
        m_view.setTitle(QStringLiteral("Total %1 Messages in Inbox of %2").arg(count).arg(m_client.UserName));
        if (count > 0) {
            for (qsizetype i = 1; i <= count && !m_view.closing(); ++i) {
                m_view.setStatus(QStringLiteral("Retrieving message %1 of %2 ...").arg(i).arg(count));
                m_client.SetCurrentMsg(i);
                if (failed("Error during SetCurrentMsg"))
                    continue;
                m_view.yieldToEvents();
                if (m_view.closing())
                    break;
                if (failed("Error during RetrieveCurrentMsg"))
                    continue;
                MessageRecord record;
                record.extraA = m_client.MsgExtraA();
                record.extraB = m_client.MsgExtraB();
                record.date = m_client.MsgDate();
                record.from = m_client.MsgFrom();
                record.subject = m_client.MsgSubject();
                record.size = m_client.MsgSize();
                m_view.records().append(record);
            }
            if (m_view.closing()) {
                // Leaving without QUIT: the server keeps every message as it was.
                m_client.Abort();
                return QString();
            }
            m_client.Disconnect();
            ruleNotice = m_view.displayThroughFilter();
        }
        m_view.setButtonEnabled(Button::Delete, true);
    }
    // A rule file that could not be used is worth more to the user than the
    // disconnection, and this is the one place per pass where it is said.
    m_view.setStatus(ruleNotice.isEmpty() ? m_client.StatusText() : ruleNotice);
    m_view.setButtonEnabled(Button::Check, true);
    m_view.setButtonEnabled(Button::Update, true);
    return ruleNotice;
}
