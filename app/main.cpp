// Barwise: a desktop editor for MetaStock / CompuTrac quote databases.
#include <QApplication>

#include "app/barwiseapp.h"

int main(int argc, char* argv[]) {
    QApplication qt(argc, argv);
    QApplication::setOrganizationName(QString::fromLatin1(barwise::kOrganisationName));
    QApplication::setApplicationName(QString::fromLatin1(barwise::kApplicationName));
    Q_INIT_RESOURCE(barwise);

    CBarwiseApp app;
    if (!app.InitInstance()) return 1;
    const int result = QApplication::exec();
    app.ExitInstance();
    return result;
}
