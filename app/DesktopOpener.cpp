#include "app/DesktopOpener.h"

#include <QDir>
#include <QFile>
#include <QMessageBox>
#include <QProcess>
#include <QWidget>

namespace {

// xdg-open's exit codes, in plain words.
QString whyNotOpened(int exitCode)
{
    switch (exitCode) {
    case 2: return QStringLiteral("the file was not found");
    case 3: return QStringLiteral("no program on this computer is set up to open it");
    case 4: return QStringLiteral("the program that should open it failed");
    default: return QStringLiteral("the desktop's opener (xdg-open) ended with code %1").arg(exitCode);
    }
}

void tellNotOpened(QWidget *window, const QString &what, const QString &target, const QString &why)
{
    auto *box = new QMessageBox(QMessageBox::Warning, QStringLiteral("Could not open %1").arg(what),
                                QStringLiteral("Purgelet could not open %1: %2.\n\n%3").arg(what, why, target),
                                QMessageBox::Ok, window);
    box->setTextFormat(Qt::PlainText);
    box->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->open();
}

} // namespace

void openOnDesktop(QWidget *window, const QString &what, const QString &target)
{
    auto *opener = new QProcess(window);
    opener->setProcessChannelMode(QProcess::ForwardedChannels);
    opener->setStandardInputFile(QProcess::nullDevice());
    QObject::connect(opener, &QProcess::finished, window, [=](int exitCode, QProcess::ExitStatus status) {
        if (status != QProcess::NormalExit)
            tellNotOpened(window, what, target, QStringLiteral("the desktop's opener (xdg-open) crashed"));
        else if (exitCode != 0)
            tellNotOpened(window, what, target, whyNotOpened(exitCode));
        opener->deleteLater();
    });
    QObject::connect(opener, &QProcess::errorOccurred, window, [=](QProcess::ProcessError error) {
        if (error != QProcess::FailedToStart)
            return;
        tellNotOpened(window, what, target,
                      QStringLiteral("the desktop's opener, xdg-open, could not be started (it comes with the "
                                     "package xdg-utils)"));
        opener->deleteLater();
    });
    opener->start(QStringLiteral("xdg-open"), {target});
}

void openFileOnDesktop(QWidget *window, const QString &what, const QString &path)
{
    const QString shown = QDir::toNativeSeparators(path);
    if (!QFile::exists(path))
        tellNotOpened(window, what, shown, QStringLiteral("the file was not found"));
    else
        openOnDesktop(window, what, shown);
}
