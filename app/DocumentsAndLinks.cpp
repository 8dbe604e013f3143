// The read-me, the rule file and the two links: each click hands one request
// to the desktop (text editor, mail program, browser) and returns at once;
// a request nothing could open is reported in a box.
#include "app/ApplicationFolder.h"
#include "app/ClickableLabel.h"
#include "app/DesktopOpener.h"
#include "app/EmailPreview.h"

#include <QDir>
#include <QFile>
#include <QPushButton>

void EmailPreview::connectDocumentsAndLinks()
{
    connect(CmdViewReadme, &QPushButton::clicked, this, [this] {
        openFileOnDesktop(this, QStringLiteral("the read-me"), DocumentFolders::forThisProgram().readmeFile());
    });
    // A missing rule file is first made from the sample, and the status line
    // says which file the user is editing.
    connect(CmdFilters, &QPushButton::clicked, this, [this] {
        const DocumentFolders folders = DocumentFolders::forThisProgram();
        const bool existed = QFile::exists(folders.ruleFile());
        const QString rules = ensureRuleFile(folders);
        const QString shown = QDir::toNativeSeparators(rules);
        if (existed)
            setStatus(QStringLiteral("Rule file: %1").arg(shown));
        else if (QFile::exists(rules))
            setStatus(QStringLiteral("Made the rule file %1 from the sample").arg(shown));
        else
            setStatus(QStringLiteral("Could not make the rule file %1").arg(shown));
        openFileOnDesktop(this, QStringLiteral("the rule file"), rules);
    });
    connect(LabEmail, &ClickableLabel::clicked, this, [this] {
        openOnDesktop(this, QStringLiteral("a new mail"), QStringLiteral("mailto:") + LabEmail->text());
    });
    connect(LabURL, &ClickableLabel::clicked, this,
            [this] { openOnDesktop(this, QStringLiteral("the web page"), LabURL->text()); });
}
