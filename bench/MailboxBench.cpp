// Times the program's own window on a real mailbox: "Check Mails" (header
// download, filter pass, list filling), then "Delete Now on Server" for every
// tenth line (deletion plus the new listing), with the peak memory and how
// often the window repainted while it worked.
//
//   bench_mailbox HOST USER PASSWORD
// Prints one line of key=value pairs.

#include "app/EmailPreview.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListWidget>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <sys/resource.h>

#include <cstdio>

namespace {

// Counts the paints of the status line and the longest time without one.
class RepaintWatch : public QObject
{
public:
    int paints = 0;
    qint64 longestGapMs = 0;
    void start() { m_clock.start(); m_last = 0; paints = 0; longestGapMs = 0; }
    void stop() { note(); }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint) {
            ++paints;
            note();
        }
        return QObject::eventFilter(watched, event);
    }

private:
    void note()
    {
        const qint64 now = m_clock.elapsed();
        longestGapMs = std::max(longestGapMs, now - m_last);
        m_last = now;
    }
    QElapsedTimer m_clock;
    qint64 m_last = 0;
};

long peakMemoryMb()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss / 1024;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    if (argc < 4) {
        std::fprintf(stderr, "usage: bench_mailbox HOST USER PASSWORD\n");
        return 2;
    }
    EmailPreview window;
    window.show();
    window.findChild<QLineEdit *>(QStringLiteral("Txthostname"))->setText(QString::fromLocal8Bit(argv[1]));
    window.findChild<QLineEdit *>(QStringLiteral("Txtusername"))->setText(QString::fromLocal8Bit(argv[2]));
    window.findChild<QLineEdit *>(QStringLiteral("Txtpassword"))->setText(QString::fromLocal8Bit(argv[3]));
    auto *list = window.findChild<QListWidget *>(QStringLiteral("EmailList"));
    auto *status = window.findChild<QWidget *>(QStringLiteral("LabStatus"));

    // Any message box would wait for a user: count it and close it.
    int boxes = 0;
    QTimer boxCloser;
    QObject::connect(&boxCloser, &QTimer::timeout, [&] {
        for (QWidget *w : QApplication::topLevelWidgets())
            if (auto *box = qobject_cast<QMessageBox *>(w); box && box->isVisible()) {
                ++boxes;
                std::fprintf(stderr, "box: %s\n", qPrintable(box->text()));
                box->accept();
            }
    });
    boxCloser.start(50);

    RepaintWatch watch;
    status->installEventFilter(&watch);

    watch.start();
    QElapsedTimer timer;
    timer.start();
    window.findChild<QPushButton *>(QStringLiteral("cmdcheck"))->click();
    const double download = timer.nsecsElapsed() / 1e9;
    watch.stop();
    const int listed = list->count();
    const int paints = watch.paints;
    const qint64 gap = watch.longestGapMs;

    // Exactly every tenth line checked, whatever the rule file checked.
    int marked = 0;
    for (int row = 0; row < list->count(); ++row) {
        const bool check = row % 10 == 0;
        list->item(row)->setCheckState(check ? Qt::Checked : Qt::Unchecked);
        marked += check;
    }
    timer.restart();
    window.findChild<QPushButton *>(QStringLiteral("CmdDeleteOnSvr"))->click();
    const double deletion = timer.nsecsElapsed() / 1e9;

    std::printf("download_s=%.3f listed=%d repaints=%d longest_gap_ms=%lld delete_s=%.3f marked=%d left=%d "
                "peak_mb=%ld boxes=%d\n",
                download, listed, paints, qlonglong(gap), deletion, marked, int(list->count()), peakMemoryMb(), boxes);
    return boxes == 0 ? 0 : 1;
}
