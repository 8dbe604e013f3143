#pragma once

#include <QString>

// A file in the application folder, the folder that holds the executable.
QString applicationFolderFile(const QString &fileName);

// The user's rule file.
QString ruleFilePath();
