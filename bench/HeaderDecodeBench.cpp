// Times the header decoder on hostile values next to plain text of the same
// size: a 250 kB Subject made of unfinished encoded words once took seconds.
//
//   bench_header_decode [--runs N]

#include "mail/HeaderText.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QStringList>

#include <algorithm>
#include <cstdio>
#include <vector>

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    const qsizetype runsAt = args.indexOf(QStringLiteral("--runs"));
    const int runs = runsAt > 0 ? std::max(1, args.value(runsAt + 1).toInt()) : 9;

    constexpr qsizetype Size = 250'000;
    const struct { const char *name; QByteArray raw; } inputs[] = {
        {"plain text", QByteArray("plain subject text ").repeated(Size / 19)},
        {"\"=?a?Q? \" pieces", QByteArray("=?a?Q? ").repeated(Size / 7)},
        {"\"=?a?Q?\" pieces, no blanks", QByteArray("=?a?Q?").repeated(Size / 6)},
        {"valid UTF-8 words", QByteArray("=?UTF-8?Q?Gr=C3=BC=C3=9Fe?= ").repeated(Size / 28)},
        {"words of an unknown charset", QByteArray("=?x?Q?a?= ").repeated(Size / 10)},
    };
    std::printf("| %-30s | bytes | median ms | max ms |\n|---|---:|---:|---:|\n", "Subject of 250 kB");
    for (const auto &input : inputs) {
        std::vector<double> ms;
        qsizetype chars = 0;
        for (int r = 0; r < runs; ++r) {
            QElapsedTimer clock;
            clock.start();
            chars += parseHeaderBlock({"Subject: " + input.raw}).subject.size();
            ms.push_back(clock.nsecsElapsed() / 1e6);
        }
        std::sort(ms.begin(), ms.end());
        std::printf("| %-30s | %lld | %.2f | %.2f |\n", input.name, qlonglong(input.raw.size()), ms[ms.size() / 2], ms.back());
        if (chars == 0)
            return 1;
    }
    return 0;
}
