#include <QApplication>
#include <gtest/gtest.h>

#include "app/QtComSyncHost.h"

int main(int argc, char** argv) {
    // Off screen, on a station's two screens (screens.json), so that a saved position can be on
    // either, or on neither.
    qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" PLINOVA_TEST_SCREENS);
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Plinova"));
    QtComSyncHost host;
    SetDefaultComSyncHost(&host);
    ::testing::InitGoogleTest(&argc, argv);
    const int rc = RUN_ALL_TESTS();
    SetDefaultComSyncHost(nullptr);
    return rc;
}
