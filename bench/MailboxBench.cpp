// Times the program's own window on a real mailbox as a user meets it: a click
// on "Check Mails", queued with the window system as a display delivers it,
// until the filled list is painted and the display has it (header download,
// filter pass, list filling, painting); then the same for "Delete Now on
// Server" with every tenth line checked (deletion plus the new listing). Then
// how fast the long list answers: its last line made current (the preview
// follows), that line's check box, a page up; a click on the Subject and on the
// Date column header (sorted), a word typed into the search box and the box
// cleared again. Also the peak memory, the processor time and how
// often the status line was painted while it worked. Run it on the platform
// to measure (QT_QPA_PLATFORM=xcb on a real X display).
//
//   bench_mailbox HOST USER PASSWORD
// Prints one line of key=value pairs.
//   bench_mailbox HOST USER PASSWORD --soak CYCLES
// Runs CYCLES rounds of "Check Mails" and "Delete Now on Server" with every
// hundredth line checked, and prints the resident memory after each round.

#include "app/EmailPreview.h"
#include "tests/support/AsyncInput.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QHeaderView>
#include <QSortFilterProxyModel>
#include <QTableView>
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
    auto *list = window.findChild<QTableView *>(QStringLiteral("EmailList"));
    auto *search = window.findChild<QLineEdit *>(QStringLiteral("TxtSearch"));
    QAbstractItemModel *lines = list->model();
    const auto lineCount = [lines] { return lines->rowCount(); };
    const auto checkState = [lines](int row) { return Qt::CheckState(lines->index(row, 0).data(Qt::CheckStateRole).toInt()); };
    const auto setCheck = [lines](int row, Qt::CheckState state) { lines->setData(lines->index(row, 0), state, Qt::CheckStateRole); };
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
            for (int row = 0; row < lineCount(); ++row)
                setCheck(row, row % 100 == 0 ? Qt::Checked : Qt::Unchecked);
            remove->click();
            const double now = residentMb();
            if (cycle == 1)
                first = now;
            highest = std::max(highest, now);
            std::printf("cycle=%d listed=%d resident_mb=%.1f\n", cycle, lineCount(), now);
        }
        std::printf("soak cycles=%d first_mb=%.1f last_mb=%.1f highest_mb=%.1f boxes=%d\n", cycles, first,
                    residentMb(), highest, boxes);
        return boxes == 0 ? 0 : 1;
    }

    RepaintWatch watch;
    status->installEventFilter(&watch);
    PaintClock listPainted(list->viewport());
    const auto idleWithLines = [&] { return check->isEnabled() && lineCount() > 0; };
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
    const int listed = lineCount();
    const int paints = watch.paints;
    const qint64 gap = watch.longestGapMs;

    // The long list answers at once: to its last line (the preview follows),
    // that line's check box, a page back.
    const int last = lineCount() - 1;
    const double endKey = listPainted.measure([&] { list->setCurrentIndex(lines->index(last, 0)); },
                                              [&] { return list->currentIndex().row() == last; });
    const Qt::CheckState before = checkState(last);
    const double spaceKey = listPainted.measure([&] { setCheck(last, before == Qt::Checked ? Qt::Unchecked : Qt::Checked); },
                                                [&] { return checkState(last) != before; });
    auto *scroll = list->verticalScrollBar();
    const int pageFrom = scroll->value();
    const double pageUp = listPainted.measure([&] { scroll->triggerAction(QAbstractSlider::SliderPageStepSub); },
                                              [&] { return scroll->value() < pageFrom; });

    // Sorting by a column and searching, each a click or the keys typed until
    // the list is painted in its new order or with the lines found.
    QHeaderView *columns = list->horizontalHeader();
    const auto sortBy = [&](int column) {
        const QPoint at(columns->sectionViewportPosition(column) + columns->sectionSize(column) / 2, columns->height() / 2);
        return listPainted.measure([&] { clickAsync(columns->viewport(), at); },
                                   [&] { return columns->sortIndicatorSection() == column; });
    };
    const double sortSubject = sortBy(1);
    const double sortDate = sortBy(2);
    search->setFocus();
    QCoreApplication::processEvents();
    const QString word = QStringLiteral("offer");
    const double searchTyped = listPainted.measure([&] { typeAsync(search, word); },
                                                   [&] { return search->text() == word; });
    const int found = lineCount();
    const double searchCleared = listPainted.measure([&] {
        keyAsync(search, Qt::Key_A, Qt::ControlModifier);
        keyAsync(search, Qt::Key_Backspace);
    }, [&] { return search->text().isEmpty() && lineCount() == listed; });
    // Back to the server's order for the deletion.
    list->sortByColumn(-1, Qt::AscendingOrder);
    qobject_cast<QSortFilterProxyModel *>(lines)->sort(-1);
    QCoreApplication::processEvents();

    // Exactly every tenth line checked, whatever the rule file checked.
    int marked = 0;
    for (int row = 0; row < lineCount(); ++row) {
        const bool on = row % 10 == 0;
        setCheck(row, on ? Qt::Checked : Qt::Unchecked);
        marked += on;
    }
    QCoreApplication::processEvents();
    const int expectedLeft = listed - marked;
    const double deletion = listPainted.measure([&] { clickAsync(remove); },
                                                [&] { return idleWithLines() && lineCount() == expectedLeft; });

    std::printf("download_s=%.3f download_cpu_s=%.2f listed=%d repaints=%d longest_gap_ms=%lld delete_s=%.3f "
                "marked=%d left=%d peak_mb=%ld last_line_ms=%.1f check_box_ms=%.1f page_up_ms=%.1f "
                "sort_subject_s=%.3f sort_date_s=%.3f search_s=%.3f found=%d search_clear_s=%.3f boxes=%d\n",
                download, downloadCpu, listed, paints, qlonglong(gap), deletion, marked, lineCount(),
                peakMemoryMb(), endKey * 1000, spaceKey * 1000, pageUp * 1000, sortSubject, sortDate, searchTyped,
                found, searchCleared, boxes);
    return boxes == 0 ? 0 : 1;
}
