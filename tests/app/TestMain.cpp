#include <QApplication>
#include <gtest/gtest.h>

#include "db/WorkerThreads.h"
#include "serial/ModemWakeSignal.h"

int main(int argc, char** argv) {
    db::PrepareWorkerThreads();
    serial::ClaimModemWakeSignal(serial::DefaultModemWakeSignal());
    // Off screen, on a station's two screens (screens.json), so that a saved position can be on
    // either, or on neither.
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" PLINOVA_TEST_SCREENS);
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Plinova"));
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
