#pragma once

#include "messages/MessageListModel.h"

#include <QAbstractItemView>
#include <QTableView>

// The window's message list as the tests read and change it: lines in the
// order shown, each with its check box and its column texts. Changes go
// through the view's model, as a click on a check box does.
class MessageListDriver
{
public:
    class Line
    {
    public:
        Line(QTableView *view, int row) : m_view(view), m_row(row) {}
        Line *operator->() { return this; }
        Qt::CheckState checkState() const { return Qt::CheckState(index(MessageListModel::From).data(Qt::CheckStateRole).toInt()); }
        void setCheckState(Qt::CheckState state)
        {
            m_view->model()->setData(index(MessageListModel::From), state, Qt::CheckStateRole);
        }
        QString text(int column = MessageListModel::From) const { return index(column).data().toString(); }
        QModelIndex index(int column) const { return m_view->model()->index(m_row, column); }

    private:
        QTableView *m_view;
        int m_row;
    };

    explicit MessageListDriver(QTableView *view) : m_view(view) {}
    MessageListDriver *operator->() { return this; }
    QTableView *view() const { return m_view; }
    int count() const { return m_view->model()->rowCount(); }
    Line item(int row) const { return Line(m_view, row); }
    int currentRow() const { return m_view->currentIndex().row(); }
    void setCurrentRow(int row) { m_view->setCurrentIndex(m_view->model()->index(row, 0)); }
    QRect visualItemRect(const Line &line) const { return m_view->visualRect(line.index(MessageListModel::From)); }
    QWidget *viewport() const { return m_view->viewport(); }

private:
    QTableView *m_view;
};
