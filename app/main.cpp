#include "app/EmailPreview.h"

#include <QApplication>
#include <QIcon>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Purgelet"));
    QApplication::setApplicationVersion(QStringLiteral(PURGELET_VERSION));
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/purgelet.png")));
    EmailPreview window;
    // For demonstrations and scripts: the log-in boxes can be filled from the
    // environment, over the remembered log-in.
    window.presetLogIn(qEnvironmentVariable("PURGELET_PRESET_HOST"), qEnvironmentVariable("PURGELET_PRESET_USER"));
    window.show();
    return app.exec();
}
