#include "app/ApplicationFolder.h"
#include "tests/support/RuleFileInAppFolder.h"
#include "tests/support/TestServers.h"
#include "tests/support/WindowDriver.h"

#include <QFile>
#include <gtest/gtest.h>

namespace {

QByteArray fileBytes(const char *path)
{
    QFile file(QString::fromUtf8(path));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << path;
    return file.readAll();
}

TEST(FilterWindow, SampleChecksNothingAndDemoRulesCheckExactlyTheDemoSpam)
{
    const auto &f = DovecotFixture::get();
    RuleFileInAppFolder rules(fileBytes(PURGELET_SAMPLE_RULES));
    WindowDriver d;
    BoxAnswerer boxes;
    d.logIn(f.host(), QStringLiteral("alice"), f.password);
    d.click("cmdcheck");
    ASSERT_EQ(d.list()->count(), 14);
    EXPECT_EQ(d.checkedRows(), QList<int>()) << "the shipped sample only shows examples";

    rules.write(fileBytes(PURGELET_DEMO_RULES));
    d.click("CmdUpdate");
    EXPECT_TRUE(boxes.boxes().isEmpty());
    ASSERT_EQ(d.list()->count(), 14);
    // 02, 05, 07, 09, 11 and 13 of the demo mailbox are the spam.
    EXPECT_EQ(d.checkedRows(), QList<int>({1, 4, 6, 8, 10, 12}));
    for (int k = 0; k < 14; ++k) {
        const MessageRecord record = d.window.records().read(k);
        EXPECT_EQ(record.isMarked(), d.list()->item(k)->checkState() == Qt::Checked) << k;
        EXPECT_EQ(record.mark, record.isMarked() ? QStringLiteral("DOFILTER") : QStringLiteral("NOFILTER")) << k;
    }
    EXPECT_TRUE(d.list()->item(10)->text(MessageListModel::From).startsWith(QString::fromUtf8("Продвижение бизнеса")));
    EXPECT_TRUE(d.list()->item(10)->text(MessageListModel::Subject).startsWith(QString::fromUtf8("Ваш бизнес на в")));
    EXPECT_FALSE(d.list()->item(10)->text(MessageListModel::Rule).isEmpty()) << "the Rule column names the rule";
    // The preview says which rule checked a message: the first that holds.
    d.list()->setCurrentRow(8);
    EXPECT_TRUE(d.preview()->toPlainText().endsWith(QStringLiteral("\nRULE        : msgsizeisgreaterthan=1000000")))
        << qPrintable(d.preview()->toPlainText());
    d.list()->setCurrentRow(12);
    EXPECT_TRUE(d.preview()->toPlainText().endsWith(QStringLiteral("\nRULE        : msgsubjectcontains=free offer")));
    d.list()->setCurrentRow(0);
    EXPECT_FALSE(d.preview()->toPlainText().contains(QStringLiteral("RULE")));
    EXPECT_TRUE(d.label("LabStatus")->text().startsWith(QStringLiteral("Disconnected from 127.0.0.1")))
        << qPrintable(d.label("LabStatus")->text());
}

TEST(FilterWindow, RuleFileEditsTakeEffectAtTheNextCheck)
{
    const auto &f = DovecotFixture::get();
    RuleFileInAppFolder rules("[rfstart]\r\nMsgFromIs=Alice Walker <ALICE.WALKER@example.org>\r\n[rfend]\r\n");
    WindowDriver d;
    BoxAnswerer boxes;
    d.logIn(f.host(), QStringLiteral("alice"), f.password);
    d.click("cmdcheck");
    EXPECT_EQ(d.checkedRows(), QList<int>({0, 11}));

    // Sizes beyond 16 bits compare as they are: only the 1.5 MB message is
    // over 1,000,000 octets, the 400 kB one is not.
    rules.write("[rfstart]\rmsgsizeisgreaterthan=1000000\rmsgsubjectis=\r[rfend]\r");
    d.click("CmdUpdate");
    EXPECT_EQ(d.checkedRows(), QList<int>({8, 13}));
    EXPECT_TRUE(boxes.boxes().isEmpty());
}

TEST(FilterWindow, BrokenRuleFileChecksNothingAndSaysSoOnce)
{
    const auto &f = DovecotFixture::get();
    const struct { const char *name; QByteArray file; const char *notice; } cases[] = {
        {"no end", "[rfstart]\r\nmsgsubjectcontains=\r\n", "No rules applied: filters.txt has no [rfend] line"},
        {"no start", "msgsubjectcontains=\r\n[rfend]\r\n", "No rules applied: filters.txt has no [rfstart] line"},
    };
    for (const auto &c : cases) {
        RuleFileInAppFolder rules(c.file);
        WindowDriver d;
        BoxAnswerer boxes;
        d.logIn(f.host(), QStringLiteral("alice"), f.password);
        d.click("cmdcheck");
        EXPECT_TRUE(boxes.boxes().isEmpty()) << c.name;
        EXPECT_EQ(d.list()->count(), 14) << c.name;
        EXPECT_TRUE(d.checkedRows().isEmpty()) << c.name;
        EXPECT_EQ(d.label("LabStatus")->text(), QString::fromLatin1(c.notice)) << c.name;
        EXPECT_EQ(d.label("LabTitle")->text(), QStringLiteral("Total 14 Messages in Inbox of alice")) << c.name;
    }
}

} // namespace
