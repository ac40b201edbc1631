// Barwise: a desktop editor for MetaStock / CompuTrac quote databases.
#include <QApplication>

#include "app/barwiseapp.h"
#include "app/mainframe.h"
#include "app/screenshottour.h"

int main(int argc, char* argv[]) {
    QApplication qt(argc, argv);
    QApplication::setOrganizationName(QString::fromLatin1(barwise::kOrganisationName));
    QApplication::setApplicationName(QString::fromLatin1(barwise::kApplicationName));
    Q_INIT_RESOURCE(barwise);

    CBarwiseApp app;
    if (!app.InitInstance()) return 1;
    const QString shots = QString::fromLocal8Bit(qgetenv("BARWISE_SCREENSHOTS"));
    if (!shots.isEmpty()) StartScreenshotTour(*app.MainFrame(), shots);
    const int result = QApplication::exec();
    app.ExitInstance();
    return result;
}
