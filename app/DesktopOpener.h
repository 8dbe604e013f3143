#pragma once

#include <QString>

class QWidget;

// Hands a document or an address to the desktop, which opens it in the
// user's editor, mail program or browser, and returns at once. Nothing fails
// silently: when the file is missing, or the desktop has no program for it,
// a box over the window says so and shows the path or address as text the
// user can select and copy.
//
// The desktop's opener is xdg-open, run as a child whose exit code is its
// verdict (Qt's own openUrl starts it detached and never learns it). Its
// output goes to ours, so a program it starts never writes into a pipe that
// closes when this program ends.
void openOnDesktop(QWidget *window, const QString &what, const QString &target);
// The same for a local file, which must exist.
void openFileOnDesktop(QWidget *window, const QString &what, const QString &path);
