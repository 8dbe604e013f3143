#include "app/ApplicationFolder.h"
#include "filter/SummaryLine.h"
#include "tests/support/QtPrinting.h"
#include "tests/support/WindowDriver.h"

#include <QDesktopServices>
#include <QPlainTextEdit>
#include <QUrl>
#include <gtest/gtest.h>

namespace {

struct PreviewDriver : WindowDriver
{
    QPlainTextEdit *box() { return window.findChild<QPlainTextEdit *>(QStringLiteral("HeaderBox")); }
    QColor background() { return box()->palette().color(QPalette::Base); }
    QColor textColour() { return box()->palette().color(QPalette::Text); }

    void add(const char *from, const char *subject, const char *mark)
    {
        MessageRecord r;
        r.extraA = QStringLiteral("uid");
        r.extraB = QStringLiteral("<id@example.org>");
        r.date = QStringLiteral("Tue, 8 Dec 2026 09:30:00 +0100");
        r.from = QString::fromUtf8(from);
        r.subject = QString::fromUtf8(subject);
        r.size = QStringLiteral("2048");
        r.mark = QString::fromLatin1(mark);
        window.records().append(r);
        window.appendLine(summaryLine(r.from, r.subject), r.isMarked());
    }
};

TEST(PreviewWindow, CurrentLineShowsItsRecordInItsColours)
{
    PreviewDriver d;
    d.add("Mega Deals <promo@deals.example>", "FREE OFFER", "DOFILTER");
    d.add("Alice <alice@example.org>", "", "NOFILTER");
    d.add("Bob <bob@example.org>", "Hi", "FMARK");

    d.list()->setCurrentRow(0);
    EXPECT_EQ(d.box()->toPlainText(), QStringLiteral("MESSAGE MARKED FOR DELETION\nFROM        : Mega Deals <promo@deals.example>\n"
                                                     "SUBJECT     : FREE OFFER\nDATE        : Tue, 8 Dec 2026 09:30:00 +0100\n"
                                                     "SIZE        : 2048"));
    EXPECT_EQ(d.background(), QColor(255, 0, 0));
    EXPECT_EQ(d.textColour(), QColor(255, 255, 255));

    QTest::keyClick(d.list(), Qt::Key_Down);  // the keyboard moves the current line too
    EXPECT_EQ(d.box()->toPlainText(), QStringLiteral("FROM        : Alice <alice@example.org>\nSUBJECT     : \n"
                                                     "DATE        : Tue, 8 Dec 2026 09:30:00 +0100\nSIZE        : 2048"));
    EXPECT_EQ(d.background(), QColor(255, 255, 255));
    EXPECT_EQ(d.textColour(), QColor(0, 0, 0));
    EXPECT_EQ(d.box()->textCursor().position(), d.box()->toPlainText().size());

    // A mouse click on a line.
    const QRect third = d.list()->visualItemRect(d.list()->item(2));
    QTest::mouseClick(d.list()->viewport(), Qt::LeftButton, {}, third.center());
    EXPECT_TRUE(d.box()->toPlainText().startsWith(QStringLiteral("FROM        : Bob")));
    EXPECT_EQ(d.background(), QColor(255, 255, 255));
}

TEST(PreviewWindow, NoCurrentLineLeavesThePreviewAlone)
{
    PreviewDriver d;
    const QString initial = d.box()->toPlainText();
    d.add("a", "b", "DOFILTER");
    d.list()->setCurrentRow(-1);
    EXPECT_EQ(d.box()->toPlainText(), initial);

    d.list()->setCurrentRow(0);
    const QString shown = d.box()->toPlainText();
    d.window.clearLines();  // a new download empties the list
    EXPECT_EQ(d.box()->toPlainText(), shown);
}

TEST(PreviewWindow, CheckBoxesRewriteOnlyTheirRecordsMark)
{
    PreviewDriver d;
    d.add("Shop #1", "Sale ##5", "NOFILTER");
    d.add("Bob", "Hi", "FMARK");
    d.add("Carol", "Photos", "DOFILTER");
    const QString line1 = d.window.records().line(1), line2 = d.window.records().line(2);

    d.list()->setCurrentRow(0);
    const QString preview = d.box()->toPlainText();
    // Space on the current line toggles its check box, as a user would.
    QTest::keyClick(d.list(), Qt::Key_Space);
    ASSERT_EQ(d.list()->item(0)->checkState(), Qt::Checked);
    EXPECT_EQ(d.window.records().read(0).mark, QStringLiteral("DOFILTER"));
    EXPECT_EQ(d.box()->toPlainText(), preview) << "a check change does not rebuild the preview";
    QTest::keyClick(d.list(), Qt::Key_Space);
    EXPECT_EQ(d.window.records().read(0).mark, QStringLiteral("NOFILTER"));
    EXPECT_EQ(d.window.records().read(0).from, QStringLiteral("Shop #1"));
    EXPECT_EQ(d.window.records().read(0).subject, QStringLiteral("Sale ##5"));

    // Checking the FMARK line marks it; a text change of a line is no check change.
    d.list()->item(1)->setCheckState(Qt::Checked);
    EXPECT_EQ(d.window.records().read(1).mark, QStringLiteral("DOFILTER"));
    d.list()->item(1)->setCheckState(Qt::Unchecked);
    EXPECT_EQ(d.window.records().line(1), QString(line1).replace(QStringLiteral("FMARK"), QStringLiteral("NOFILTER")));
    d.list()->item(2)->setText(QStringLiteral("renamed"));
    EXPECT_EQ(d.window.records().line(2), line2);
    EXPECT_EQ(d.window.records().count(), 3);
}

// Records the desktop requests instead of opening anything.
class UrlRecorder : public QObject
{
    Q_OBJECT
public:
    QList<QUrl> urls;
public slots:
    void open(const QUrl &url) { urls << url; }
};

TEST(DocumentsAndLinks, EachClickMakesOneRequest)
{
    UrlRecorder recorder;
    for (const char *scheme : {"file", "mailto", "https"})
        QDesktopServices::setUrlHandler(QLatin1String(scheme), &recorder, "open");
    PreviewDriver d;

    d.click("CmdViewReadme");
    d.click("CmdViewReadme");
    QFile::remove(ruleFilePath());  // no rule file: the request is made all the same
    d.click("CmdFilters");
    auto clickLabel = [&](const char *name) {
        QLabel *l = d.label(name);
        QTest::mouseClick(l, Qt::LeftButton, {}, l->rect().center());
    };
    clickLabel("LabEmail");
    clickLabel("LabURL");
    for (const char *scheme : {"file", "mailto", "https"})
        QDesktopServices::unsetUrlHandler(QLatin1String(scheme));

    const QUrl readme = QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + QStringLiteral("/readme.txt"));
    const QUrl rules = QUrl::fromLocalFile(QCoreApplication::applicationDirPath() + QStringLiteral("/filters.txt"));
    EXPECT_EQ(recorder.urls, (QList<QUrl>{readme, readme, rules, QUrl(QStringLiteral("mailto:purgelet@example.org")),
                                          QUrl(QStringLiteral("https://purgelet.example.org/"))}));
    EXPECT_EQ(d.label("LabStatus")->text(), QStringLiteral("Not Connected")) << "nothing reported in the window";
}

} // namespace

#include "PreviewWindowTest.moc"
