#include "app/ApplicationFolder.h"

#include <QCoreApplication>
#include <QDir>

QString applicationFolderFile(const QString &fileName)
{
    return QDir(QCoreApplication::applicationDirPath()).filePath(fileName);
}

QString ruleFilePath()
{
    return applicationFolderFile(QStringLiteral("filters.txt"));
}
