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
    window.show();
    return app.exec();
}
