// GoogleTest entry for tests that use Qt SQL: its driver plugins need an application object.
#include <QCoreApplication>
#include <gtest/gtest.h>

#include "db/WorkerThreads.h"

int main(int argc, char** argv) {
    db::PrepareWorkerThreads();
    QCoreApplication app(argc, argv);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
