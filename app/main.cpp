#include "app/CommandLine.h"
#include "app/EmailPreview.h"

#include <QApplication>
#include <QIcon>

namespace {
void describeProgram()
{
    QCoreApplication::setApplicationName(QStringLiteral("Purgelet"));
    QCoreApplication::setApplicationVersion(QStringLiteral(PURGELET_VERSION));
}
} // namespace

int main(int argc, char *argv[])
{
    // The command line needs no display: over ssh, from a timer.
    if (CommandLine::wanted(argc, argv)) {
        QCoreApplication app(argc, argv);
        describeProgram();
        return CommandLine::run(QCoreApplication::arguments());
    }
    QApplication app(argc, argv);
    describeProgram();
    QApplication::setWindowIcon(QIcon(QStringLiteral(":/purgelet.png")));
    EmailPreview window;
    // For demonstrations and scripts: the log-in boxes can be filled from the
    // environment, over the remembered log-in.
    window.presetLogIn(qEnvironmentVariable("PURGELET_PRESET_HOST"), qEnvironmentVariable("PURGELET_PRESET_USER"));
    window.show();
    return app.exec();
}
