#include <QCoreApplication>
#include <QDir>
#include <memory>

#include "CloseOnSignal.h"
#include "ErrorReport.h"
#include "InfoOptions.h"
#include "MainWindow.h"
#include "QtComSyncHost.h"
#include "db/WorkerThreads.h"
#include "serial/ModemWakeSignal.h"

int main(int argc, char** argv) {
    db::PrepareWorkerThreads();
    if (const auto status = AnswerInfoOption(argc, argv))
        return *status;
    // The printer port's modem watch is woken by this signal; nothing else here uses it.
    serial::ClaimModemWakeSignal(serial::DefaultModemWakeSignal());
    PlinovaApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Plinova"));
    QApplication::setApplicationDisplayName(QStringLiteral("Plinova"));
    QApplication::setQuitOnLastWindowClosed(true);

    // The printer port's line events reach the window's thread through the event loop.
    QtComSyncHost comSyncHost(app.Reports());

    // The station's folder is the one the program is started in; nothing below reads the
    // working directory.
    Spooler::Setup setup;
    setup.programFolder = QCoreApplication::applicationDirPath();
    setup.stationFolder = QDir::currentPath();
    setup.syncHost = &comSyncHost;
    Tmain window(setup, app.Reports());
    if (window.Terminated())
        return 1;
    // Without it a stop from the system ends the program without its close; the station still
    // prints, so the error is shown and the program goes on.
    std::unique_ptr<CloseOnSignal> closer;
    app.Reports().Run([&] { closer = std::make_unique<CloseOnSignal>(&window); });
    window.show();
    return app.exec();
}
