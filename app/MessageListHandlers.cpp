// The message list of the window: a table of the records, sorted and searched
// as the user likes, with the count of checked lines, and its handlers.
#include "app/EmailPreview.h"

#include "app/WindowLook.h"
#include "messages/HeaderPreview.h"
#include "messages/MessageListFilter.h"
#include "messages/MessageListModel.h"

#include <QHeaderView>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShortcut>
#include <QTableView>

namespace {
QString countText(qsizetype n) { return QLocale().toString(qint64(n)); }
} // namespace

void EmailPreview::buildMessageList()
{
    m_listModel = new MessageListModel(HEmailList, this);
    m_listFilter = new MessageListFilter(*m_listModel, this);

    EmailList = new QTableView(this);
    EmailList->setObjectName(QStringLiteral("EmailList"));
    EmailList->setGeometry(fromTwips(240, 1920, 5775, 1470));
    EmailList->setModel(m_listFilter);
    EmailList->setSelectionMode(QAbstractItemView::SingleSelection);
    EmailList->setSelectionBehavior(QAbstractItemView::SelectRows);
    EmailList->setEditTriggers(QAbstractItemView::NoEditTriggers);
    EmailList->setSortingEnabled(true);
    EmailList->sortByColumn(-1, Qt::AscendingOrder);  // the server's order until a header is clicked
    EmailList->setWordWrap(false);
    EmailList->setShowGrid(false);
    EmailList->setTextElideMode(Qt::ElideRight);
    EmailList->setFont(fixedBoldFont());
    setColours(EmailList, QPalette::Base, QColor(0, 128, 0), Qt::white);
    EmailList->verticalHeader()->hide();
    // Fixed row heights: scrolling never measures the rows.
    EmailList->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    EmailList->verticalHeader()->setDefaultSectionSize(QFontMetrics(EmailList->font()).height() + 2);
    QHeaderView *columns = EmailList->horizontalHeader();
    columns->setFont(font());
    // From and Subject share what the window has; the others keep their width.
    columns->setHighlightSections(false);
    columns->setSectionResizeMode(QHeaderView::Interactive);
    columns->setSectionResizeMode(MessageListModel::From, QHeaderView::Stretch);
    columns->setSectionResizeMode(MessageListModel::Subject, QHeaderView::Stretch);
    const QFontMetrics metrics(EmailList->font());
    columns->resizeSection(MessageListModel::Date, metrics.horizontalAdvance(QStringLiteral("2026-12-31 23:59")) + 8);
    columns->resizeSection(MessageListModel::Size, metrics.horizontalAdvance(QStringLiteral("999 K")) + 8);
    columns->resizeSection(MessageListModel::Rule, 60);
    EmailList->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    EmailList->installEventFilter(this);

    LabChecked = new QLabel(this);
    LabChecked->setObjectName(QStringLiteral("LabChecked"));
    LabChecked->setGeometry(fromTwips(4215, 1680, 1800, 255));
    LabChecked->setAlignment(Qt::AlignRight | Qt::AlignVCenter);
    LabChecked->setToolTip(QStringLiteral("F3: next checked line, Shift+F3: the one before"));
    setColours(LabChecked, QPalette::Window, QColor(192, 192, 255), palette().color(QPalette::WindowText));

    TxtSearch = new QLineEdit(this);
    TxtSearch->setObjectName(QStringLiteral("TxtSearch"));
    TxtSearch->setGeometry(fromTwips(240, 3405, 2760, 300));
    TxtSearch->setPlaceholderText(QStringLiteral("Search From, Subject, Rule"));
    TxtSearch->setClearButtonEnabled(true);
    CmdCheckShown = new QPushButton(QStringLiteral("Check Shown"), this);
    CmdCheckShown->setObjectName(QStringLiteral("CmdCheckShown"));
    CmdCheckShown->setGeometry(fromTwips(3045, 3405, 1440, 300));
    CmdUncheckShown = new QPushButton(QStringLiteral("Uncheck Shown"), this);
    CmdUncheckShown->setObjectName(QStringLiteral("CmdUncheckShown"));
    CmdUncheckShown->setGeometry(fromTwips(4530, 3405, 1485, 300));
    for (QPushButton *b : {CmdCheckShown, CmdUncheckShown})
        b->setAutoDefault(false);
    CmdCheckShown->setToolTip(QStringLiteral("Check every line the search shows"));
    CmdUncheckShown->setToolTip(QStringLiteral("Uncheck every line the search shows"));

    // In the same place while a flow runs, for the search has nothing to do then.
    FlowProgress = new QProgressBar(this);
    FlowProgress->setObjectName(QStringLiteral("FlowProgress"));
    FlowProgress->setGeometry(fromTwips(240, 3405, 4770, 300));
    FlowProgress->setFont(font());
    FlowProgress->hide();
    CmdStop = new QPushButton(QStringLiteral("Stop"), this);
    CmdStop->setObjectName(QStringLiteral("CmdStop"));
    CmdStop->setGeometry(fromTwips(5055, 3405, 960, 300));
    CmdStop->setAutoDefault(false);
    CmdStop->setToolTip(QStringLiteral("End the session properly after the message at hand"));
    CmdStop->hide();
}

void EmailPreview::connectListHandlers()
{
    connect(EmailList->selectionModel(), &QItemSelectionModel::currentRowChanged, this,
            [this](const QModelIndex &current) { showPreviewOfLine(m_listFilter->mapToSource(current).row()); });
    // A check changed by the user, one line or all shown: the record has the
    // mark already; the preview of the current line and the count follow.
    connect(m_listModel, &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &topLeft, const QModelIndex &bottomRight) {
                const int current = currentRecordRow();
                if (current >= topLeft.row() && current <= bottomRight.row())
                    showPreviewOfLine(current);
                showCheckedCount();
            });
    // The lines shown change only with a new listing and with the search
    // (which looks at no check); once each, not once per range of rows.
    connect(m_listModel, &QAbstractItemModel::modelReset, this, &EmailPreview::showCheckedCount);
    connect(TxtSearch, &QLineEdit::textChanged, this, [this](const QString &text) {
        m_listFilter->setSearchText(text);
        showCheckedCount();
    });
    connect(CmdCheckShown, &QPushButton::clicked, this, [this] { m_listModel->setChecked(m_listFilter->shownRows(), true); });
    connect(CmdUncheckShown, &QPushButton::clicked, this, [this] { m_listModel->setChecked(m_listFilter->shownRows(), false); });
    connect(CmdStop, &QPushButton::clicked, this, [this] {
        m_flows.stop();
        CmdStop->setEnabled(false);
        FlowProgress->setFormat(QStringLiteral("Stopping after the message at hand ..."));
    });
    auto *next = new QShortcut(QKeySequence(Qt::Key_F3), this);
    connect(next, &QShortcut::activated, this, [this] { goToCheckedLine(+1); });
    auto *previous = new QShortcut(QKeySequence(Qt::SHIFT | Qt::Key_F3), this);
    connect(previous, &QShortcut::activated, this, [this] { goToCheckedLine(-1); });
    showCheckedCount();
}

int EmailPreview::currentRecordRow() const { return m_listFilter->mapToSource(EmailList->currentIndex()).row(); }

void EmailPreview::showCheckedCount()
{
    const qsizetype lines = m_listModel->rowCount(), shown = m_listFilter->rowCount();
    QString text = QStringLiteral("%1 of %2 checked").arg(countText(m_listModel->checkedCount()), countText(lines));
    if (shown != lines)
        text += QStringLiteral(", %1 shown").arg(countText(shown));
    LabChecked->setText(text);
    LabChecked->setAccessibleName(text);
}

void EmailPreview::goToCheckedLine(int step)
{
    const int shown = m_listFilter->rowCount();
    if (shown == 0)
        return;
    const int from = EmailList->currentIndex().isValid() ? EmailList->currentIndex().row() : (step > 0 ? -1 : shown);
    for (int k = 1; k <= shown; ++k) {
        const int row = ((from + step * k) % shown + shown) % shown;  // round the end to the start
        const int record = m_listFilter->mapToSource(m_listFilter->index(row, 0)).row();
        if (HEmailList.read(record).isMarked()) {
            EmailList->setCurrentIndex(m_listFilter->index(row, 0));
            EmailList->scrollTo(EmailList->currentIndex());
            return;
        }
    }
}

bool EmailPreview::eventFilter(QObject *watched, QEvent *event)
{
    // Space checks or unchecks the current line, whichever column is current.
    if (watched == EmailList && event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const int row = currentRecordRow();
        if (key->key() == Qt::Key_Space && key->modifiers() == Qt::NoModifier && row >= 0) {
            m_listModel->setChecked({row}, !HEmailList.read(row).isMarked());
            return true;
        }
    }
    return QWidget::eventFilter(watched, event);
}

void EmailPreview::showPreviewOfLine(int row)
{
    if (row < 0 || row >= HEmailList.count())
        return;
    const HeaderPreview preview = headerPreview(HEmailList.read(row));
    QPalette p = HeaderBox->palette();
    p.setColor(QPalette::Base, preview.marked ? QColor(255, 0, 0) : QColor(255, 255, 255));
    p.setColor(QPalette::Text, preview.marked ? QColor(255, 255, 255) : QColor(0, 0, 0));
    HeaderBox->setPalette(p);
    HeaderBox->clear();
    HeaderBox->insertPlainText(preview.text);
}

void EmailPreview::clearLines()
{
    m_listModel->showRows(0);
    // Whatever the preview showed belongs to a listing that is gone.
    HeaderBox->setPalette(m_emptyPreviewPalette);
    HeaderBox->clear();
}

// The table shows the records themselves, checks included: a line per record.
void EmailPreview::appendLine(const QString &, bool) {}

void EmailPreview::linesDone() { m_listModel->showRows(HEmailList.count()); }

void EmailPreview::setBusy(bool busy)
{
    if (busy) {
        setCursor(Qt::BusyCursor);
        FlowProgress->setRange(0, 1);
        FlowProgress->setValue(0);
        FlowProgress->setFormat(QStringLiteral("Logging in ..."));
        CmdStop->setEnabled(true);
    } else {
        unsetCursor();
    }
    for (QWidget *w : std::initializer_list<QWidget *>{TxtSearch, CmdCheckShown, CmdUncheckShown})
        w->setVisible(!busy);
    FlowProgress->setVisible(busy);
    CmdStop->setVisible(busy);
}

void EmailPreview::showProgress(qsizetype done, qsizetype total)
{
    if (!CmdStop->isEnabled())
        return;  // "Stopping ..." stays until the flow ends
    // A progress bar counts in int; a mailbox of more messages is shown in scale.
    const int scale = int(total / std::numeric_limits<int>::max()) + 1;
    FlowProgress->setRange(0, int(total / scale));
    FlowProgress->setValue(int(done / scale));
    FlowProgress->setFormat(QStringLiteral("%1 of %2 messages").arg(countText(done), countText(total)));
}
