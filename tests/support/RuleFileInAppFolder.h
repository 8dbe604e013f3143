#pragma once

#include "app/ApplicationFolder.h"

#include <QFile>
#include <gtest/gtest.h>

// A rule file in the application folder for the life of the object.
struct RuleFileInAppFolder
{
    explicit RuleFileInAppFolder(const QByteArray &bytes) { write(bytes); }
    ~RuleFileInAppFolder() { QFile::remove(ruleFilePath()); }
    void write(const QByteArray &bytes)
    {
        QFile file(ruleFilePath());
        if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
            ADD_FAILURE() << "cannot write " << ruleFilePath().toStdString();
        file.write(bytes);
    }
};
