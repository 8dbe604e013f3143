#pragma once

#include <QColor>
#include <QFont>
#include <QPalette>
#include <QRect>
#include <QString>

class QWidget;

// The window's look: its layout in twips, its fonts and colours, and captions
// that fit the fixed room they have.

// 15 twips make one pixel at 96 dpi.
QRect fromTwips(int left, int top, int width, int height);
QFont uiFont(qreal points = 8.25);
QFont fixedBoldFont();
void setColours(QWidget *w, QPalette::ColorRole backgroundRole, const QColor &background, const QColor &text);
// Shrinks the widget's font until its caption fits its width: the layout is
// fixed in pixels, and the fallback fonts are wider than the original one.
void fitCaption(QWidget *w, const QString &text, int padding, QFont font);
void fitStaticCaptions(QWidget *window);
