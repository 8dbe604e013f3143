#include "app/WindowLook.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetrics>
#include <QLabel>
#include <QPushButton>
#include <QWidget>

QRect fromTwips(int left, int top, int width, int height)
{
    auto px = [](int twips) { return (twips + 7) / 15; };
    return QRect(px(left), px(top), px(width), px(height));
}

QFont uiFont(qreal points)
{
    QFont font(QStringLiteral("MS Sans Serif"));
    font.setPointSizeF(points);
    if (!QFontInfo(font).exactMatch())
        font = QFontDatabase::systemFont(QFontDatabase::GeneralFont), font.setPointSizeF(points);
    return font;
}

QFont fixedBoldFont()
{
    QFont font(QStringLiteral("Courier New"));
    if (!QFontInfo(font).exactMatch())
        font = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    font.setPointSizeF(8.25);
    font.setBold(true);
    return font;
}

void setColours(QWidget *w, QPalette::ColorRole backgroundRole, const QColor &background, const QColor &text)
{
    QPalette p = w->palette();
    p.setColor(backgroundRole, background);
    p.setColor(QPalette::WindowText, text);
    p.setColor(QPalette::Text, text);
    w->setPalette(p);
    w->setAutoFillBackground(true);
}

void fitCaption(QWidget *w, const QString &text, int padding, QFont font)
{
    const int available = w->width() - padding;
    while (QFontMetrics(font).horizontalAdvance(text) > available && font.pointSizeF() > 6.0)
        font.setPointSizeF(font.pointSizeF() - 0.25);
    if (font != w->font())
        w->setFont(font);
}

void fitStaticCaptions(QWidget *window)
{
    for (QLabel *l : window->findChildren<QLabel *>())
        if (!l->text().isEmpty())
            fitCaption(l, l->text(), 2, l->font());
    for (QPushButton *b : window->findChildren<QPushButton *>())
        fitCaption(b, b->text(), 12, b->font());
}
