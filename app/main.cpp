#include <QCoreApplication>

#include "app/CloseOnSignal.h"
#include "app/ErrorReport.h"
#include "app/_main.h"

int main(int argc, char** argv) {
    PlinovaApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Plinova"));
    QApplication::setApplicationDisplayName(QStringLiteral("Plinova"));
    QApplication::setQuitOnLastWindowClosed(true);

    Tmain window(QCoreApplication::applicationDirPath());
    if (window.Terminated())
        return 1;
    CloseOnSignal closer(&window);
    window.show();
    return app.exec();
}
