#include "mail/MailboxFlows.h"

#include "mail/Pop3Client.h"
#include "messages/DeletionChoice.h"
#include "messages/RecordStore.h"

#include <QScopeGuard>

namespace {
// Marks a flow as running, and the window as busy, for the flow's whole
// extent, whatever path ends it.
class FlowScope
{
public:
    FlowScope(bool &running, bool &cancelled, bool &stopAsked, MailboxView &view) : m_running(running), m_view(view)
    {
        m_running = true;
        cancelled = false;
        stopAsked = false;
        m_view.setBusy(true);
    }
    ~FlowScope()
    {
        m_running = false;
        m_view.setBusy(false);
    }
    FlowScope(const FlowScope &) = delete;
    FlowScope &operator=(const FlowScope &) = delete;

private:
    bool &m_running;
    MailboxView &m_view;
};
QString messagesText(qsizetype n)
{
    return n == 1 ? QStringLiteral("1 message") : QStringLiteral("%1 messages").arg(n);
}

// The status line after a deletion: what the server confirmed, what is left.
QString deletionOutcome(bool confirmed, qsizetype deleted, qsizetype onServer, qsizetype keptAsChanged,
                        const QString &notice)
{
    QString text = confirmed ? QStringLiteral("Deleted %1 on the server").arg(messagesText(deleted))
                             : QStringLiteral("The server did not confirm the deletion");
    if (onServer >= 0)
        text += confirmed ? QStringLiteral(", %1 left").arg(onServer)
                          : QStringLiteral(", %1 on the server").arg(messagesText(onServer));
    if (keptAsChanged > 0)
        text += QStringLiteral("; %1 kept because %2 on the server since the listing")
                    .arg(messagesText(keptAsChanged), keptAsChanged == 1 ? QStringLiteral("it changed")
                                                                          : QStringLiteral("they changed"));
    return notice.isEmpty() ? text : text + QStringLiteral("; ") + notice;
}
} // namespace

MailboxFlows::MailboxFlows(MailboxView &view, Pop3Client &client) : m_view(view), m_client(client)
{
    m_client.stepStarted = [this](const QString &step) { m_view.setStatus(step); };
    m_client.certificateJudge = [this](const CertificateQuestion &question) {
        return m_cancelled ? CertificateAnswer::Cancel : m_view.askAboutCertificate(question);
    };
}

void MailboxFlows::checkMails()
{
    if (m_running)
        return;
    FlowScope scope(m_running, m_cancelled, m_stopAsked, m_view);
    headerDownload();
}

void MailboxFlows::deleteOnServer()
{
    if (m_running)
        return;
    FlowScope scope(m_running, m_cancelled, m_stopAsked, m_view);
    deleteMarkedMessages();
}

void MailboxFlows::cancel()
{
    if (!m_running || m_cancelled)
        return;
    m_cancelled = true;
    // Ends a wait in progress at once; without QUIT the server deletes nothing.
    m_client.Abort();
}

void MailboxFlows::stop()
{
    if (m_running && !m_cancelled)
        m_stopAsked = true;
}

bool MailboxFlows::failed(const char *title)
{
    if (m_client.ResultCode() == 0)
        return false;
    if (!m_cancelled)
        m_view.showError(QString::fromLatin1(title), m_client.ErrorText());
    return true;
}

MailboxFlows::WalkEnd MailboxFlows::walkMessages(const std::function<bool(qsizetype)> &wanted,
                                                 const std::function<void(qsizetype, qsizetype)> &beforeMessage,
                                                 const std::function<void(qsizetype)> &takeMessage)
{
    const qsizetype count = m_client.MsgCount();
    m_pace.restart();
    m_readUpTo = 0;
    for (qsizetype i = 1; i <= count; ++i) {
        m_readUpTo = i - 1;
        if (m_stopAsked)
            return WalkEnd::Stopped;
        if (wanted && !wanted(i))
            continue;
        if (m_pace.due() || i == count) {
            m_view.showProgress(i - 1, count);
            if (beforeMessage)
                beforeMessage(i, count);
        }
        m_client.SetCurrentMsg(i);
        if (m_cancelled)
            return WalkEnd::Cancelled;
        if (m_client.ResultCode() != 0 && !m_client.IsConnected()) {
            m_lostAfter = i - 1;
            return WalkEnd::ConnectionLost;
        }
        if (failed("Error during SetCurrentMsg"))
            continue;
        m_view.yieldToEvents();
        if (m_cancelled)
            return WalkEnd::Cancelled;
        if (failed("Error during RetrieveCurrentMsg"))
            continue;
        takeMessage(i);
        if (m_cancelled)
            return WalkEnd::Cancelled;
    }
    m_readUpTo = count;
    m_view.showProgress(count, count);
    return WalkEnd::Completed;
}

QString MailboxFlows::reportLostConnection(const QString &consequence)
{
    const QString where = m_lostAfter == 0 ? QStringLiteral("before the first message")
                                           : QStringLiteral("after message %1").arg(m_lostAfter);
    m_view.showError(QStringLiteral("Error during SetCurrentMsg"),
                     QStringLiteral("The connection to the server was lost %1 of %2. %3%4")
                         .arg(where).arg(m_client.MsgCount()).arg(m_client.ErrorText(), consequence));
    return QStringLiteral("Connection lost %1 of %2").arg(where).arg(m_client.MsgCount());
}

void MailboxFlows::deleteMarkedMessages()
{
    using Button = MailboxView::Button;
    m_view.setButtonEnabled(Button::Delete, false);
    m_view.setButtonEnabled(Button::Check, false);
    m_view.setButtonEnabled(Button::Update, false);

    QString status;
    DeletionChoice choice(m_view.records());
    // What decides a deletion is read from the server in this session; a
    // message whose unique-id names no checked line needs no reading at all.
    const auto mayGo = [&](qsizetype i) { return choice.mayChoose(m_client.UniqueIdOf(i)); };
    m_client.setHeaderCacheUse(false);
    m_client.setHeadersWanted(mayGo);
    const auto readEveryHeader = [this] {
        m_client.setHeadersWanted(nullptr);
        m_client.setHeaderCacheUse(true);
    };
    const auto onAnyEnd = qScopeGuard(readEveryHeader);
    connectWithBoxes();
    if (m_cancelled)
        return;
    if (!failed("Error during Connect") && m_client.MsgCount() > 0) {
        StatusPace deletingPace;  // beside the walk's own, so that neither line starves the other
        const auto progress = [&](qsizetype i, qsizetype total) {
            m_view.setStatus(QStringLiteral("Checking message %1 of %2 ...").arg(i).arg(total));
        };
        const WalkEnd end = walkMessages(mayGo, progress, [&](qsizetype i) {
            if (!choice.chosen({m_client.MsgExtraA(), m_client.MsgExtraB(), m_client.MsgDate(), m_client.MsgSize(),
                                m_client.MsgFrom(), m_client.MsgSubject()}))
                return;
            if (deletingPace.due())
                m_view.setStatus(QStringLiteral("Deleting message %1 ...").arg(i));
            m_client.DeleteCurrentMsg();
        });
        readEveryHeader();  // the listing that follows reads as Check Mails does
        if (end == WalkEnd::Cancelled)
            return;
        if (end == WalkEnd::ConnectionLost) {
            // The lists stay as they are, checks included, for another try.
            status = reportLostConnection(QStringLiteral(" The server deleted nothing: it carries out deletions "
                                                         "only when the session ends properly."));
        } else {
            // The server carries out the deletions only when the session ends
            // with QUIT; when that fails, the user must not think they were done.
            const qsizetype keptAsChanged = choice.keptAsChanged();
            m_client.Disconnect();
            if (m_cancelled)
                return;
            const bool confirmed = !failed("Error during Disconnect");
            const qsizetype deleted = m_client.DeletionsAccepted();
            if (end == WalkEnd::Stopped && confirmed && deleted == 0) {
                // Nothing changed on the server: the list and its checks stay for another try.
                status = QStringLiteral("Stopped: no message was deleted; the list and its checks stay");
            } else if (end == WalkEnd::Stopped) {
                // Listing again is what the user stopped: the lines go, for
                // they no longer show the mailbox as it is.
                m_view.clearMessageList();
                m_view.records().clear();
                // The checked lines the walk did not reach are no changed messages.
                status = QStringLiteral("Stopped: ") +
                         deletionOutcome(confirmed, deleted, -1, 0,
                                         QStringLiteral("no other message was deleted; Update From Server lists the mailbox again"));
            } else {
                const Listing listing = headerDownload();
                if (m_cancelled)
                    return;
                status = deletionOutcome(confirmed, deleted, listing.onServer, keptAsChanged, listing.notice);
            }
        }
    }
    m_view.setStatus(status.isEmpty() ? m_client.StatusText() : status);
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
    if (m_cancelled)
        return;
    m_view.setStatus(m_client.StatusText());
    if (const QString trouble = m_client.certificateTrust().takeReport(); !trouble.isEmpty())
        m_view.showError(QStringLiteral("Trusted certificates"), trouble);
    if (m_client.ResultCode() == 0)
        m_view.loggedIn(m_client.HostName, m_client.UserName);
}

MailboxFlows::Listing MailboxFlows::headerDownload()
{
    using Button = MailboxView::Button;
    m_view.setButtonEnabled(Button::Check, false);
    m_view.setButtonEnabled(Button::Update, false);
    m_view.clearMessageList();
    m_view.records().clear();

    Listing listing;
    QString &notice = listing.notice;
    m_client.setFurtherHeaders(m_view.readRules());
    connectWithBoxes();
    if (m_cancelled)
        return listing;
    if (!failed("Error during Connect")) {
        const qsizetype count = m_client.MsgCount();
        listing.onServer = count;
        m_view.setTitle(QStringLiteral("Total %1 Messages in Inbox of %2").arg(count).arg(m_client.UserName));
        if (count > 0) {
            const WalkEnd end = walkMessages(
                nullptr,
                [&](qsizetype i, qsizetype total) {
                    m_view.setStatus(QStringLiteral("Retrieving message %1 of %2 ...").arg(i).arg(total));
                },
                [&](qsizetype) {
                    MessageRecord record;
                    record.extraA = m_client.MsgExtraA();
                    record.extraB = m_client.MsgExtraB();
                    record.date = m_client.MsgDate();
                    record.from = m_client.MsgFrom();
                    record.subject = m_client.MsgSubject();
                    record.size = m_client.MsgSize();
                    record.headers = m_client.MsgFurtherHeaders();
                    m_view.records().append(record);
                });
            if (end == WalkEnd::Cancelled)
                return listing;
            if (end == WalkEnd::ConnectionLost) {
                // What was read is listed; the box says where the rest went.
                notice = reportLostConnection(QString());
            } else {
                m_client.Disconnect();
                if (m_cancelled)
                    return listing;
            }
            if (end == WalkEnd::Stopped)
                notice = QStringLiteral("Stopped: %1 of %2 messages read and listed, the session ended properly")
                             .arg(m_readUpTo).arg(count);
            if (const QString ruleNotice = m_view.displayThroughFilter(); !ruleNotice.isEmpty())
                notice = notice.isEmpty() ? ruleNotice : notice + QStringLiteral("; ") + ruleNotice;
        }
        m_view.setButtonEnabled(Button::Delete, true);
    }
    // A rule file that could not be used is worth more to the user than the
    // disconnection, and this is the one place per pass where it is said.
    m_view.setStatus(notice.isEmpty() ? m_client.StatusText() : notice);
    m_view.setButtonEnabled(Button::Check, true);
    m_view.setButtonEnabled(Button::Update, true);
    return listing;
}
