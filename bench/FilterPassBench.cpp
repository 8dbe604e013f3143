// Times the filter pass over a large mailbox with a large rule file, next to
// the way the pass used to work: the rule file opened and read again for each
// message and every condition lower-cased and tested for each message.
//
//   bench_filter_pass [--records N] [--rules N] [--runs N]

#include "app/EmailPreview.h"
#include "filter/FilterPass.h"
#include "filter/MessageListSink.h"
#include "filter/WholeNumber.h"
#include "messages/RecordStore.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <algorithm>
#include <cstdio>
#include <vector>

namespace {

struct CountingList : MessageListSink
{
    qsizetype lines = 0, checked = 0;
    void clearLines() override { lines = checked = 0; }
    void appendLine(const QString &, bool on) override { ++lines; checked += on; }
};

const char *const Words[] = {"meeting", "invoice", "offer", "free", "winner", "report", "photos", "lunch",
                             "update", "ticket", "crypto", "prize", "Grüße", "été", "urgent", "weekly",
                             "account", "delivery", "order", "news"};
const char *const Names[] = {"Alice Walker", "Bob Stone", "Mega Deals", "Billing", "Jürgen Müller", "Support Desk",
                             "Online Pharmacy", "Crypto Gains", "Carol", "Dave Jones", "Лотерея", "Newsletter"};

QString pick(QRandomGenerator &rng, const char *const *list, int n) { return QString::fromUtf8(list[rng.bounded(n)]); }

void fillRecords(RecordStore &records, qsizetype n)
{
    QRandomGenerator rng(7);
    for (qsizetype i = 0; i < n; ++i) {
        MessageRecord r;
        r.extraA = QStringLiteral("uid%1").arg(i);
        r.extraB = QStringLiteral("<%1@bench.example>").arg(i);
        r.date = QStringLiteral("Mon, 7 Dec 2026 10:00:00 +0000");
        const QString name = pick(rng, Names, std::size(Names));
        r.from = QStringLiteral("%1 <user%2@host%3.example>").arg(name).arg(rng.bounded(5000)).arg(rng.bounded(300));
        r.subject = QStringLiteral("%1 %2 %3 #%4").arg(pick(rng, Words, std::size(Words)), pick(rng, Words, std::size(Words)),
                                                       pick(rng, Words, std::size(Words)))
                        .arg(rng.bounded(100000));
        r.size = QString::number(500 + rng.bounded(3000000));
        records.append(r);
    }
}

// A rule block of `lines` lines: mostly "contains" rules, some exact ones,
// a few size limits, comments and blank lines.
QByteArray ruleFile(int lines)
{
    QByteArray out = "# bench rules\r\n[rfstart]\r\n";
    for (int i = 0; i < lines; ++i) {
        switch (i % 10) {
        case 0: out += "#\r\n"; break;
        case 1: case 2: case 3: out += "msgsubjectcontains=zz" + QByteArray::number(i) + "q\r\n"; break;
        case 4: case 5: out += "MsgFromContains=spammer" + QByteArray::number(i) + "@\r\n"; break;
        case 6: out += "msgsubjectis=exact subject " + QByteArray::number(i) + "\r\n"; break;
        case 7: out += "msgfromis=nobody" + QByteArray::number(i) + "@example.org\r\n"; break;
        case 8: out += "msgsizeisgreaterthan=" + QByteArray::number(2990000 + i) + "\r\n"; break;
        default: out += "msgsubjectcontains=WINNER prize\r\n"; break;
        }
    }
    return out + "[rfend]\r\n";
}

// The earlier pass: per message, read the rule file again and test every
// condition, lower-casing both sides each time.
qsizetype perRecordReadingPass(RecordStore &records, const QString &path)
{
    qsizetype marked = 0;
    for (qsizetype i = 0; i < records.count(); ++i) {
        const MessageRecord r = records.read(i);
        const RuleBlock rules = readRuleFile(path);
        bool matched = false;
        for (const RuleCondition &c : rules.conditions) {
            const QString value = c.value.toLower();
            switch (c.key) {
            case RuleKey::SubjectContains: matched |= r.subject.toLower().contains(value); break;
            case RuleKey::FromContains: matched |= r.from.toLower().contains(value); break;
            case RuleKey::SubjectIs: matched |= r.subject.toLower() == value; break;
            case RuleKey::FromIs: matched |= r.from.toLower() == value; break;
            case RuleKey::SizeGreaterThan: {
                const auto size = parseWholeNumber(r.size), limit = parseWholeNumber(c.value);
                matched |= size && limit && *size > *limit;
                break;
            }
            default:  // the bench's rule file holds only the first five forms
                break;
            }
        }
        records.rewriteMark(i, matched);
        marked += matched;
    }
    return marked;
}

template <typename F>
double medianMs(int runs, F &&body)
{
    std::vector<double> times;
    for (int r = 0; r < runs; ++r) {
        QElapsedTimer timer;
        timer.start();
        body();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

int argValue(const QStringList &args, const char *name, int fallback)
{
    const qsizetype at = args.indexOf(QLatin1String(name));
    return at >= 0 && at + 1 < args.size() ? args[at + 1].toInt() : fallback;
}

} // namespace

int main(int argc, char **argv)
{
    QApplication app(argc, argv);
    const QStringList args = app.arguments();
    const int recordCount = argValue(args, "--records", 50000);
    const int ruleLines = argValue(args, "--rules", 200);
    const int runs = std::max(1, argValue(args, "--runs", 5));

    QTemporaryDir dir;
    const QString path = dir.filePath(QStringLiteral("filters.txt"));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(ruleFile(ruleLines)) < 0)
        return 1;
    file.close();

    RecordStore records;
    fillRecords(records, recordCount);

    CountingList list;
    const double pass = medianMs(runs, [&] { runFilterPass(records, list, readRuleFile(path)); });
    const qsizetype marked = list.checked;

    // The same pass filling the real window's list.
    EmailPreview window;
    fillRecords(window.records(), recordCount);
    const double windowPass = medianMs(runs, [&] {
        (void)window.readRules();
        (void)window.displayThroughFilter();
    });

    qsizetype baselineMarked = 0;
    const double baseline = medianMs(1, [&] { baselineMarked = perRecordReadingPass(records, path); });

    std::printf("filter pass, %d records, %d rule lines (median of %d runs)\n", recordCount, ruleLines, runs);
    std::printf("  %-44s %10.1f ms\n", "pass, rules read once (list sink)", pass);
    std::printf("  %-44s %10.1f ms\n", "pass, rules read once (window list)", windowPass);
    std::printf("  %-44s %10.1f ms\n", "per-record file reading (one run)", baseline);
    std::printf("  speed-up over per-record reading: %.0fx; marked %lld of %d (baseline %lld)\n", baseline / pass,
                qlonglong(marked), recordCount, qlonglong(baselineMarked));
    return marked == baselineMarked ? 0 : 2;
}
