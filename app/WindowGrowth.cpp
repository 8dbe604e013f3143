// The window may grow beyond its layout: the list and the preview take the
// room, the column on the right keeps to the right edge.
#include "app/EmailPreview.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QResizeEvent>
#include <QTableView>

namespace {
// Where the column of product information and buttons begins, in pixels.
constexpr int RightColumn = 355;
} // namespace

void EmailPreview::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    placeControls();
}

void EmailPreview::placeControls()
{
    if (m_layoutGeometry.isEmpty()) {
        for (QWidget *w : findChildren<QWidget *>(QString(), Qt::FindDirectChildrenOnly))
            if (!w->isWindow())
                m_layoutGeometry.insert(w, w->geometry());
    }
    const QSize layoutSize = minimumSize();
    const int dx = qMax(0, width() - layoutSize.width()), dy = qMax(0, height() - layoutSize.height());
    const int listGain = dy * 2 / 3;  // the rest goes to the preview
    const QRect list = m_layoutGeometry.value(EmailList);
    for (auto it = m_layoutGeometry.cbegin(); it != m_layoutGeometry.cend(); ++it) {
        QWidget *w = it.key();
        QRect g = it.value();
        if (w == EmailList) {
            g.adjust(0, 0, dx, listGain);
        } else if (w == HeaderBox) {
            g.adjust(0, listGain, dx, dy);
        } else if (g.top() >= list.bottom() && g.bottom() < m_layoutGeometry.value(HeaderBox).top()) {
            // The row under the list: its first box grows, its buttons move.
            g.translate(0, listGain);
            if (g.left() <= list.left())
                g.adjust(0, 0, dx, 0);
            else
                g.translate(dx, 0);
        } else if (w == LabStatus || w == LabTitle) {
            g.adjust(0, 0, dx, 0);
        } else if (w == LabChecked || g.left() >= RightColumn) {
            g.translate(dx, 0);
        }
        if (w->geometry() != g)
            w->setGeometry(g);
    }
}
