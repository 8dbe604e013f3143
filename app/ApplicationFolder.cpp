#include "app/ApplicationFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QStandardPaths>

namespace {
const QString RuleFileName = QStringLiteral("filters.txt");
const QString ReadmeName = QStringLiteral("readme.txt");
} // namespace

bool DocumentFolders::portable() const
{
    return QFile::exists(QDir(applicationFolder).filePath(RuleFileName)) ||
           !QFile::exists(QDir(sharedFolder).filePath(RuleFileName));
}

QString DocumentFolders::ruleFile() const
{
    return QDir(portable() ? applicationFolder : configFolder).filePath(RuleFileName);
}

QString DocumentFolders::readmeFile() const
{
    const QString beside = QDir(applicationFolder).filePath(ReadmeName);
    return QFile::exists(beside) || portable() ? beside : QDir(sharedFolder).filePath(ReadmeName);
}

QString DocumentFolders::sampleRuleFile() const
{
    return QDir(sharedFolder).filePath(RuleFileName);
}

DocumentFolders DocumentFolders::forThisProgram()
{
    const QString app = QCoreApplication::applicationDirPath();
    return {app, QDir::cleanPath(app + QStringLiteral("/../share/purgelet")),
            QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)};
}

QString ruleFilePath()
{
    return DocumentFolders::forThisProgram().ruleFile();
}

QString applicationFolderFile(const QString &fileName)
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(fileName);
}

QString ensureRuleFile(const DocumentFolders &folders)
{
    const QString rules = folders.ruleFile();
    if (!folders.portable() && !QFile::exists(rules)) {
        QDir().mkpath(folders.configFolder);
        if (QFile::copy(folders.sampleRuleFile(), rules))
            QFile::setPermissions(rules, QFile::permissions(rules) | QFileDevice::WriteOwner | QFileDevice::WriteUser);
    }
    return rules;
}
