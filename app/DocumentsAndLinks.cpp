// The read-me, the rule file and the two links: each click hands one request
// to the desktop (text editor, mail program, browser) and returns at once.
// What the desktop makes of it is not reported.
#include "app/ApplicationFolder.h"
#include "app/ClickableLabel.h"
#include "app/EmailPreview.h"

#include <QDesktopServices>
#include <QPushButton>
#include <QUrl>

void EmailPreview::connectDocumentsAndLinks()
{
    connect(CmdViewReadme, &QPushButton::clicked, this, [] {
        QDesktopServices::openUrl(QUrl::fromLocalFile(DocumentFolders::forThisProgram().readmeFile()));
    });
    // An installed copy first makes the user's own rule file from the sample.
    connect(CmdFilters, &QPushButton::clicked, this, [] {
        QDesktopServices::openUrl(QUrl::fromLocalFile(ensureRuleFile(DocumentFolders::forThisProgram())));
    });
    connect(LabEmail, &ClickableLabel::clicked, this, [this] {
        QDesktopServices::openUrl(QUrl(QStringLiteral("mailto:") + LabEmail->text()));
    });
    connect(LabURL, &ClickableLabel::clicked, this, [this] { QDesktopServices::openUrl(QUrl(LabURL->text())); });
}
