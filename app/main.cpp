#include <QCoreApplication>

#include "app/CloseOnSignal.h"
#include "app/ErrorReport.h"
#include "app/InfoOptions.h"
#include "app/QtComSyncHost.h"
#include "app/_main.h"

int main(int argc, char** argv) {
    if (const auto status = AnswerInfoOption(argc, argv))
        return *status;
    PlinovaApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Plinova"));
    QApplication::setApplicationDisplayName(QStringLiteral("Plinova"));
    QApplication::setQuitOnLastWindowClosed(true);

    // The serial port's line events reach the window's thread through the event loop.
    QtComSyncHost comSyncHost;
    SetDefaultComSyncHost(&comSyncHost);

    Tmain window(QCoreApplication::applicationDirPath());
    if (window.Terminated())
        return 1;
    CloseOnSignal closer(&window);
    window.show();
    return app.exec();
}
