#pragma once

// Input delivered as a display delivers it: queued with the window system and
// handed to the program whenever it next looks at its events, also while it
// waits for a server. (QTest's clicks are delivered synchronously and cannot
// reach the program during a wait.)
#include <QWidget>
#include <QWindow>
#include <qpa/qwindowsysteminterface.h>

inline void clickAsync(QWidget *widget, QPoint at)
{
    using Async = QWindowSystemInterface::AsynchronousDelivery;
    QWindow *window = widget->window()->windowHandle();
    const QPointF local = widget->mapTo(widget->window(), at);
    const QPointF global = widget->mapToGlobal(at);
    QWindowSystemInterface::handleMouseEvent<Async>(window, local, global, Qt::LeftButton, Qt::LeftButton,
                                                    QEvent::MouseButtonPress);
    QWindowSystemInterface::handleMouseEvent<Async>(window, local, global, Qt::NoButton, Qt::LeftButton,
                                                    QEvent::MouseButtonRelease);
}
inline void clickAsync(QWidget *widget) { clickAsync(widget, widget->rect().center()); }

// Keys as a keyboard sends them, to the window's focus widget.
inline void keyAsync(QWidget *widget, int key, Qt::KeyboardModifiers modifiers = Qt::NoModifier, const QString &text = {})
{
    using Async = QWindowSystemInterface::AsynchronousDelivery;
    for (const QEvent::Type type : {QEvent::KeyPress, QEvent::KeyRelease})
        QWindowSystemInterface::handleKeyEvent<Async>(widget->window()->windowHandle(), type, key, modifiers, text);
}
inline void typeAsync(QWidget *widget, const QString &text)
{
    for (const QChar c : text)
        keyAsync(widget, c.toUpper().unicode(), Qt::NoModifier, QString(c));
}
