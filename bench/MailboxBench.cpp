// Times the program's own window on a real mailbox: "Check Mails" (header
// download, filter pass, list filling), then "Delete Now on Server" for every
// tenth line (deletion plus the new listing), with the peak memory and how
// often the window repainted while it worked.
//
//   bench_mailbox HOST USER PASSWORD
// Prints one line of key=value pairs.
//   bench_mailbox HOST USER PASSWORD --soak CYCLES
// Runs CYCLES rounds of "Check Mails" and "Delete Now on Server" with every
// hundredth line checked, and prints the resident memory after each round.

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

double residentMb()
{
    FILE *statm = std::fopen("/proc/self/statm", "r");
    long pages = 0, resident = 0;
    if (statm) {
        if (std::fscanf(statm, "%ld %ld", &pages, &resident) != 2)
            resident = 0;
        std::fclose(statm);
    }
    return resident * 4096.0 / (1024 * 1024);
}

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

    auto *check = window.findChild<QPushButton *>(QStringLiteral("cmdcheck"));
    auto *remove = window.findChild<QPushButton *>(QStringLiteral("CmdDeleteOnSvr"));
    if (argc >= 6 && QByteArray(argv[4]) == "--soak") {
        const int cycles = std::atoi(argv[5]);
        double first = 0, highest = 0;
        for (int cycle = 1; cycle <= cycles; ++cycle) {
            check->click();
            for (int row = 0; row < list->count(); ++row)
                list->item(row)->setCheckState(row % 100 == 0 ? Qt::Checked : Qt::Unchecked);
            remove->click();
            const double now = residentMb();
            if (cycle == 1)
                first = now;
            highest = std::max(highest, now);
            std::printf("cycle=%d listed=%d resident_mb=%.1f\n", cycle, int(list->count()), now);
        }
        std::printf("soak cycles=%d first_mb=%.1f last_mb=%.1f highest_mb=%.1f boxes=%d\n", cycles, first,
                    residentMb(), highest, boxes);
        return boxes == 0 ? 0 : 1;
    }

    RepaintWatch watch;
    status->installEventFilter(&watch);

    watch.start();
    QElapsedTimer timer;
    timer.start();
    check->click();
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
    remove->click();
    const double deletion = timer.nsecsElapsed() / 1e9;

    std::printf("download_s=%.3f listed=%d repaints=%d longest_gap_ms=%lld delete_s=%.3f marked=%d left=%d "
                "peak_mb=%ld boxes=%d\n",
                download, listed, paints, qlonglong(gap), deletion, marked, int(list->count()), peakMemoryMb(), boxes);
    return boxes == 0 ? 0 : 1;
}
