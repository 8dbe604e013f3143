// Times the program's own window on a real mailbox as a user meets it: a click
// on "Check Mails", queued with the window system as a display delivers it,
// until the filled list is painted and the display has it (header download,
// filter pass, list filling, painting); then the same for "Delete Now on
// Server" with every tenth line checked (deletion plus the new listing). Then
// how fast the long list answers: its last line made current (the preview
// follows), that line's check box, a page up. Also the peak memory, the processor time and how
// often the status line was painted while it worked. Run it on the platform
// to measure (QT_QPA_PLATFORM=xcb on a real X display).
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
#include <QScrollBar>
#include <QTest>
#include <QTimer>
#include <qpa/qwindowsysteminterface.h>

#include <sys/resource.h>

#include <cstdio>
#include <functional>

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

double processorSeconds()
{
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec + (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

using Async = QWindowSystemInterface::AsynchronousDelivery;

// Seconds from input queued with the window system until `widget` has been
// painted with done() true, and the display has drawn what was painted.
class PaintClock : public QObject
{
public:
    explicit PaintClock(QWidget *widget) : m_widget(widget) { widget->installEventFilter(this); }
    double measure(const std::function<void()> &input, const std::function<bool()> &done)
    {
        m_done = done;
        m_painted = false;
        QElapsedTimer clock;
        clock.start();
        input();
        while (!m_painted) {
            if (clock.elapsed() > 600000)
                return -1;  // never painted: the figure says so
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }
        QGuiApplication::sync();
        return clock.nsecsElapsed() / 1e9;
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (watched == m_widget && event->type() == QEvent::Paint && m_done && m_done()) {
            // Painted after this event returns; the flush follows at once.
            QTimer::singleShot(0, this, [this] { m_painted = true; });
            m_done = nullptr;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    QWidget *m_widget;
    std::function<bool()> m_done;
    bool m_painted = false;
};

void clickAsync(QWidget *widget)
{
    QWindow *window = widget->window()->windowHandle();
    const QPointF local = widget->mapTo(widget->window(), widget->rect().center());
    const QPointF global = widget->mapToGlobal(widget->rect().center());
    QWindowSystemInterface::handleMouseEvent<Async>(window, local, global, Qt::LeftButton, Qt::LeftButton,
                                                    QEvent::MouseButtonPress);
    QWindowSystemInterface::handleMouseEvent<Async>(window, local, global, Qt::NoButton, Qt::LeftButton,
                                                    QEvent::MouseButtonRelease);
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
    PaintClock listPainted(list->viewport());
    const auto idleWithLines = [&] { return check->isEnabled() && list->count() > 0; };
    // The window is up and drawn before the clock starts.
    window.activateWindow();
    if (!QTest::qWaitForWindowExposed(&window) || !QTest::qWaitForWindowActive(&window))
        return 2;
    QCoreApplication::processEvents();

    watch.start();
    const double cpuBefore = processorSeconds();
    const double download = listPainted.measure([&] { clickAsync(check); }, idleWithLines);
    const double downloadCpu = processorSeconds() - cpuBefore;
    watch.stop();
    const int listed = list->count();
    const int paints = watch.paints;
    const qint64 gap = watch.longestGapMs;

    // The long list answers at once: to its last line (the preview follows),
    // that line's check box, a page back.
    const int last = list->count() - 1;
    const double endKey = listPainted.measure([&] { list->setCurrentRow(last); },
                                              [&] { return list->currentRow() == last; });
    const Qt::CheckState before = list->item(last)->checkState();
    const double spaceKey = listPainted.measure(
        [&] { list->item(last)->setCheckState(before == Qt::Checked ? Qt::Unchecked : Qt::Checked); },
        [&] { return list->item(last)->checkState() != before; });
    auto *scroll = list->verticalScrollBar();
    const int pageFrom = scroll->value();
    const double pageUp = listPainted.measure([&] { scroll->triggerAction(QAbstractSlider::SliderPageStepSub); },
                                              [&] { return scroll->value() < pageFrom; });

    // Exactly every tenth line checked, whatever the rule file checked.
    int marked = 0;
    for (int row = 0; row < list->count(); ++row) {
        const bool on = row % 10 == 0;
        list->item(row)->setCheckState(on ? Qt::Checked : Qt::Unchecked);
        marked += on;
    }
    QCoreApplication::processEvents();
    const int expectedLeft = listed - marked;
    const double deletion = listPainted.measure([&] { clickAsync(remove); },
                                                [&] { return idleWithLines() && list->count() == expectedLeft; });

    std::printf("download_s=%.3f download_cpu_s=%.2f listed=%d repaints=%d longest_gap_ms=%lld delete_s=%.3f "
                "marked=%d left=%d peak_mb=%ld last_line_ms=%.1f check_box_ms=%.1f page_up_ms=%.1f boxes=%d\n",
                download, downloadCpu, listed, paints, qlonglong(gap), deletion, marked, int(list->count()),
                peakMemoryMb(), endKey * 1000, spaceKey * 1000, pageUp * 1000, boxes);
    return boxes == 0 ? 0 : 1;
}
