#include <QApplication>
#include <gtest/gtest.h>

#include "app/QtComSyncHost.h"

int main(int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("Plinova"));
    QtComSyncHost host;
    SetDefaultComSyncHost(&host);
    ::testing::InitGoogleTest(&argc, argv);
    const int rc = RUN_ALL_TESTS();
    SetDefaultComSyncHost(nullptr);
    return rc;
}
