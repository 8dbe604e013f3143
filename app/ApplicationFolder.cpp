#include "app/ApplicationFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
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
    const QString installed = QDir(sharedFolder).filePath(RuleFileName);
    return QFile::exists(installed) ? installed : QStringLiteral(":/sample/filters.txt");
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

QString trustedCertificatesFile()
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation)).filePath(QStringLiteral("certificates.txt"));
}

QString applicationFolderFile(const QString &fileName)
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(fileName);
}

QString ensureRuleFile(const DocumentFolders &folders)
{
    const QString rules = folders.ruleFile();
    if (!QFile::exists(rules)) {
        QDir().mkpath(QFileInfo(rules).absolutePath());
        // A copy of a read-only file (the installed sample, the built-in one)
        // is read-only too; the user's rule file is theirs to edit.
        if (QFile::copy(folders.sampleRuleFile(), rules))
            QFile::setPermissions(rules, QFile::permissions(rules) | QFileDevice::WriteOwner | QFileDevice::WriteUser);
    }
    return rules;
}
