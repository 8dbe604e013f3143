// The message list of the window: filling it, and its two handlers.
#include "app/EmailPreview.h"

#include "messages/HeaderPreview.h"

#include <QListWidget>
#include <QPlainTextEdit>
#include <QSignalBlocker>

void EmailPreview::connectListHandlers()
{
    connect(EmailList, &QListWidget::currentRowChanged, this, &EmailPreview::showPreviewOfLine);
    // The model reports which roles changed, so only check box changes reach
    // the mark; QListWidget::itemChanged would fire for any change of an item.
    connect(EmailList->model(), &QAbstractItemModel::dataChanged, this,
            [this](const QModelIndex &topLeft, const QModelIndex &bottomRight, const QList<int> &roles) {
                if (!roles.isEmpty() && !roles.contains(Qt::CheckStateRole))
                    return;
                for (int row = topLeft.row(); row <= bottomRight.row(); ++row)
                    if (QListWidgetItem *item = EmailList->item(row))
                        markLine(row, item->checkState() == Qt::Checked);
            });
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

void EmailPreview::markLine(int row, bool checked)
{
    HEmailList.rewriteMark(row, checked);
    // The preview of the current line shows its mark as it is now.
    if (row == EmailList->currentRow())
        showPreviewOfLine(row);
}

void EmailPreview::clearLines()
{
    const QSignalBlocker blocker(EmailList);
    EmailList->clear();
    // Whatever the preview showed belongs to a listing that is gone.
    HeaderBox->setPalette(m_emptyPreviewPalette);
    HeaderBox->clear();
}

void EmailPreview::appendLine(const QString &text, bool checked)
{
    const QSignalBlocker blocker(EmailList);
    // Set up before it joins the list: every change to an item already in the
    // list is a model update, which makes filling a large list many times slower.
    auto *item = new QListWidgetItem(text);
    item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
    item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    EmailList->addItem(item);
}
