#include "app/ApplicationFolder.h"
#include "filter/RuleFile.h"
#include "tests/support/QtPrinting.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <gtest/gtest.h>

namespace {

void write(const QString &path, const QByteArray &bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    file.write(bytes);
}

struct Layout
{
    QTemporaryDir root;
    DocumentFolders folders{root.filePath(QStringLiteral("usr/bin")), root.filePath(QStringLiteral("usr/share/purgelet")),
                            root.filePath(QStringLiteral("home/.config/Purgelet"))};
    Layout() { QDir().mkpath(folders.applicationFolder); }
};

TEST(DocumentFolders, PortableFolderUsesTheFilesBesideTheProgram)
{
    Layout l;
    write(l.folders.applicationFolder + QStringLiteral("/filters.txt"), "[rfstart]\r\n[rfend]\r\n");
    write(l.folders.sharedFolder + QStringLiteral("/filters.txt"), "sample");  // even with an installed sample
    EXPECT_TRUE(l.folders.portable());
    EXPECT_EQ(l.folders.ruleFile(), l.folders.applicationFolder + QStringLiteral("/filters.txt"));
    EXPECT_EQ(l.folders.readmeFile(), l.folders.applicationFolder + QStringLiteral("/readme.txt"));
    EXPECT_EQ(ensureRuleFile(l.folders), l.folders.ruleFile());
    EXPECT_FALSE(QFile::exists(l.folders.configFolder + QStringLiteral("/filters.txt"))) << "nothing copied";
}

TEST(DocumentFolders, BuildFolderWithoutAnyRuleFileStaysPortableAndGetsTheSample)
{
    Layout l;  // no file anywhere: a build whose rule file was removed
    EXPECT_TRUE(l.folders.portable());
    EXPECT_EQ(l.folders.ruleFile(), l.folders.applicationFolder + QStringLiteral("/filters.txt"));
    EXPECT_EQ(ensureRuleFile(l.folders), l.folders.ruleFile());
    // Made from the built-in sample, which checks nothing.
    const RuleBlock made = readRuleFile(l.folders.ruleFile());
    EXPECT_TRUE(made.usable());
    EXPECT_TRUE(made.conditions.isEmpty());
}

TEST(DocumentFolders, InstalledCopyKeepsRulesInTheConfigFolderSeededOnce)
{
    Layout l;
    write(l.folders.sharedFolder + QStringLiteral("/filters.txt"), "shipped sample");
    write(l.folders.sharedFolder + QStringLiteral("/readme.txt"), "guide");
    EXPECT_FALSE(l.folders.portable());
    const QString rules = l.folders.configFolder + QStringLiteral("/filters.txt");
    EXPECT_EQ(l.folders.ruleFile(), rules);
    EXPECT_EQ(l.folders.readmeFile(), l.folders.sharedFolder + QStringLiteral("/readme.txt"));
    EXPECT_FALSE(QFile::exists(rules)) << "nothing is made before Create Filters";

    EXPECT_EQ(ensureRuleFile(l.folders), rules);
    QFile seeded(rules);
    ASSERT_TRUE(seeded.open(QIODevice::ReadWrite));
    EXPECT_EQ(seeded.readAll(), QByteArray("shipped sample"));
    seeded.write(" and my edits");
    seeded.close();
    ensureRuleFile(l.folders);  // a second press keeps the user's file
    QFile again(rules);
    ASSERT_TRUE(again.open(QIODevice::ReadOnly));
    EXPECT_EQ(again.readAll(), QByteArray("shipped sample and my edits"));
}

} // namespace
