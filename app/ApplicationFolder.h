#pragma once

#include <QString>

// Where the program's documents are. Two layouts:
// - portable (a build, or a folder the user unpacked): filters.txt and
//   readme.txt sit beside the executable, and that rule file is the one used;
// - installed (the executable in PREFIX/bin, the shipped files in
//   PREFIX/share/purgelet): the program cannot write beside itself, so the
//   rule file is filters.txt in the user's configuration folder.
// Either way "Create Filters" makes a missing rule file from the sample: the
// installed one, else the copy built into the program.
struct DocumentFolders
{
    QString applicationFolder;  // the executable's folder
    QString sharedFolder;       // PREFIX/share/purgelet
    QString configFolder;       // the user's configuration folder for the program

    // The portable layout holds when a rule file sits beside the executable,
    // or when no installed sample exists.
    bool portable() const;
    QString ruleFile() const;
    QString readmeFile() const;
    QString sampleRuleFile() const;

    static DocumentFolders forThisProgram();
};

// The user's rule file (see DocumentFolders).
QString ruleFilePath();
// The certificates the user chose to trust, in the configuration folder.
QString trustedCertificatesFile();
// A file beside the executable.
QString applicationFolderFile(const QString &fileName);
// Makes the rule file from the sample when there is none yet; returns the
// rule file. Never overwrites an existing file.
QString ensureRuleFile(const DocumentFolders &folders);
