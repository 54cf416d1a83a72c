#include <QCoreApplication>
#include <QDir>

#include "app/CloseOnSignal.h"
#include "app/ErrorReport.h"
#include "app/InfoOptions.h"
#include "app/MainWindow.h"
#include "app/QtComSyncHost.h"

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

    // The station's folder is the one the program is started in; nothing below reads the
    // working directory.
    Spooler::Setup setup;
    setup.programFolder = QCoreApplication::applicationDirPath();
    setup.stationFolder = QDir::currentPath();
    Tmain window(setup);
    if (window.Terminated())
        return 1;
    CloseOnSignal closer(&window);
    window.show();
    return app.exec();
}
