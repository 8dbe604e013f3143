#include "app/ApplicationFolder.h"
#include "filter/SummaryLine.h"
#include "tests/support/QtPrinting.h"
#include "tests/support/WindowDriver.h"

#include <QMessageBox>
#include <QTemporaryDir>
#include <QPlainTextEdit>
#include <functional>
#include <gtest/gtest.h>

namespace {

struct PreviewDriver : WindowDriver
{
    QPlainTextEdit *box() { return preview(); }
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
        window.linesDone();
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

    QTest::keyClick(d.list().view(), Qt::Key_Down);  // the keyboard moves the current line too
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

TEST(PreviewWindow, NoCurrentLineLeavesThePreviewAloneAnEmptiedListEmptiesIt)
{
    PreviewDriver d;
    const QString initial = d.box()->toPlainText();
    d.add("a", "b", "DOFILTER");
    d.list()->setCurrentRow(-1);
    EXPECT_EQ(d.box()->toPlainText(), initial);

    d.list()->setCurrentRow(0);
    EXPECT_EQ(d.background(), QColor(255, 0, 0));
    d.window.clearLines();  // a new download empties the list, and the preview with it
    EXPECT_EQ(d.box()->toPlainText(), QString());
    EXPECT_NE(d.background(), QColor(255, 0, 0));
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
    // Space on the current line toggles its check box, as a user would, and
    // the preview follows.
    QTest::keyClick(d.list().view(), Qt::Key_Space);
    ASSERT_EQ(d.list()->item(0)->checkState(), Qt::Checked);
    EXPECT_EQ(d.window.records().read(0).mark, QStringLiteral("DOFILTER"));
    EXPECT_EQ(d.box()->toPlainText(), QStringLiteral("MESSAGE MARKED FOR DELETION\n") + preview);
    EXPECT_EQ(d.background(), QColor(255, 0, 0));
    d.list()->item(2)->setCheckState(Qt::Unchecked);  // not the current line: its preview is not shown
    EXPECT_EQ(d.box()->toPlainText(), QStringLiteral("MESSAGE MARKED FOR DELETION\n") + preview);
    d.list()->item(2)->setCheckState(Qt::Checked);
    QTest::keyClick(d.list().view(), Qt::Key_Space);
    EXPECT_EQ(d.box()->toPlainText(), preview);
    EXPECT_EQ(d.background(), QColor(255, 255, 255));
    EXPECT_EQ(d.window.records().read(0).mark, QStringLiteral("NOFILTER"));
    EXPECT_EQ(d.window.records().read(0).from, QStringLiteral("Shop #1"));
    EXPECT_EQ(d.window.records().read(0).subject, QStringLiteral("Sale ##5"));

    // Checking the FMARK line marks it; a text change of a line is no check change.
    d.list()->item(1)->setCheckState(Qt::Checked);
    EXPECT_EQ(d.window.records().read(1).mark, QStringLiteral("DOFILTER"));
    d.list()->item(1)->setCheckState(Qt::Unchecked);
    EXPECT_EQ(d.window.records().line(1), QString(line1).replace(QStringLiteral("FMARK"), QStringLiteral("NOFILTER")));
    EXPECT_FALSE(d.list().view()->model()->setData(d.list()->item(2).index(1), QStringLiteral("renamed"), Qt::EditRole));
    EXPECT_EQ(d.window.records().line(2), line2);
    EXPECT_EQ(d.window.records().count(), 3);
}

// The desktop's opener on PATH for the life of the object: a stand-in for
// xdg-open that logs what it was asked to open and ends with the given code,
// or none at all (exitCode < 0), as on a desktop without xdg-utils.
struct DesktopOpenerStandIn
{
    QTemporaryDir dir;
    QByteArray oldPath = qgetenv("PATH");
    explicit DesktopOpenerStandIn(int exitCode)
    {
        if (exitCode >= 0) {
            QFile script(dir.filePath(QStringLiteral("xdg-open")));
            EXPECT_TRUE(script.open(QIODevice::WriteOnly));
            script.write("#!/bin/sh\nprintf '%s\\n' \"$1\" >> '" + log().toUtf8() + "'\nexit " + QByteArray::number(exitCode) + "\n");
            script.setPermissions(script.permissions() | QFileDevice::ExeOwner);
        }
        qputenv("PATH", dir.path().toUtf8());
    }
    ~DesktopOpenerStandIn() { qputenv("PATH", oldPath); }
    QString log() const { return dir.filePath(QStringLiteral("opened.txt")); }
    QStringList opened() const
    {
        QFile file(log());
        return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()).split(u'\n', Qt::SkipEmptyParts) : QStringList();
    }
};

void clickLabel(WindowDriver &d, const char *name)
{
    QLabel *l = d.label(name);
    QTest::mouseClick(l, Qt::LeftButton, {}, l->rect().center());
}

TEST(DocumentsAndLinks, EachClickHandsOneRequestToTheDesktop)
{
    DesktopOpenerStandIn opener(0);
    PreviewDriver d;
    const QString readme = QCoreApplication::applicationDirPath() + QStringLiteral("/readme.txt");
    const QString rules = ruleFilePath();
    QFile::remove(rules);

    d.click("CmdViewReadme");
    d.click("CmdViewReadme");
    d.click("CmdFilters");  // no rule file: it is made from the built-in sample
    EXPECT_EQ(d.label("LabStatus")->text(), QStringLiteral("Made the rule file %1 from the sample").arg(rules));
    QFile made(rules), sample(QStringLiteral(PURGELET_SAMPLE_RULES));
    ASSERT_TRUE(made.open(QIODevice::ReadOnly) && sample.open(QIODevice::ReadOnly));
    EXPECT_EQ(made.readAll(), sample.readAll());
    EXPECT_TRUE(made.permissions() & QFileDevice::WriteOwner);
    d.click("CmdFilters");
    EXPECT_EQ(d.label("LabStatus")->text(), QStringLiteral("Rule file: %1").arg(rules));
    clickLabel(d, "LabEmail");
    clickLabel(d, "LabURL");
    QTRY_COMPARE(opener.opened(), (QStringList{readme, readme, rules, rules, QStringLiteral("mailto:purgelet@example.org"),
                                                QStringLiteral("https://purgelet.example.org/")}));
    QTest::qWait(50);
    EXPECT_TRUE(d.window.findChildren<QMessageBox *>().isEmpty());
    QFile::remove(rules);
}

TEST(DocumentsAndLinks, WhatCannotBeOpenedIsSaidWithItsPathToCopy)
{
    const struct { const char *name; int exitCode; const char *reason; } openers[] = {
        {"no program for it", 3, "no program on this computer is set up to open it"},
        {"no xdg-open", -1, "xdg-utils"},
    };
    for (const auto &o : openers) {
        DesktopOpenerStandIn opener(o.exitCode);
        PreviewDriver d;
        const std::pair<std::function<void()>, QString> requests[] = {
            {[&] { d.click("CmdViewReadme"); }, QCoreApplication::applicationDirPath() + QStringLiteral("/readme.txt")},
            {[&] { clickLabel(d, "LabURL"); }, QStringLiteral("https://purgelet.example.org/")},
        };
        for (const auto &[request, target] : requests) {
            request();
            QTRY_COMPARE(d.window.findChildren<QMessageBox *>().size(), 1);
            QMessageBox *box = d.window.findChildren<QMessageBox *>().first();
            EXPECT_TRUE(box->text().contains(QString::fromUtf8(o.reason))) << o.name << qPrintable(box->text());
            EXPECT_TRUE(box->text().endsWith(QStringLiteral("\n\n") + target)) << o.name << qPrintable(box->text());
            EXPECT_TRUE(box->textInteractionFlags() & Qt::TextSelectableByMouse);
            box->accept();
            QTRY_VERIFY(d.window.findChildren<QMessageBox *>().isEmpty());
        }
    }
    // A read-me that is gone is said before anything is started.
    DesktopOpenerStandIn opener(0);
    PreviewDriver d;
    QTemporaryDir elsewhere;
    const QString readme = QCoreApplication::applicationDirPath() + QStringLiteral("/readme.txt");
    ASSERT_TRUE(QFile::rename(readme, elsewhere.filePath(QStringLiteral("readme.txt"))));
    d.click("CmdViewReadme");
    const QList<QMessageBox *> boxes = d.window.findChildren<QMessageBox *>();
    QFile::rename(elsewhere.filePath(QStringLiteral("readme.txt")), readme);
    ASSERT_EQ(boxes.size(), 1);
    EXPECT_TRUE(boxes.first()->text().contains(QStringLiteral("the file was not found")));
    EXPECT_TRUE(opener.opened().isEmpty());
}

} // namespace

