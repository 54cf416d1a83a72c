// The one GoogleTest entry of every test program. A program says what its cases need before the
// first of them runs through definitions that plinova_add_test sets from its MAIN list
// (cmake/PlinovaTesting.cmake):
//   PLINOVA_TEST_MAIN_DB_WORKERS     the database's worker threads prepared, as the program does
//   PLINOVA_TEST_MAIN_MODEM_WAKE     the modem wake signal claimed, as every program that opens a
//                                    port does
//   PLINOVA_TEST_MAIN_CORE_APP       a QCoreApplication (Qt SQL's driver plugins need one)
//   PLINOVA_TEST_MAIN_WIDGETS_APP    a QApplication (widgets need one)
// and, with an application, through these string definitions:
//   PLINOVA_TEST_QT_PLATFORM         Qt's platform, whatever the caller's environment says
//   PLINOVA_TEST_QT_PLATFORM_DEFAULT Qt's platform unless the caller chose another
//   PLINOVA_TEST_APPLICATION_NAME    the application's name, where settings are kept under it
// A program that asks for none of these gets GoogleTest's plain main.
#include <gtest/gtest.h>

#if defined(PLINOVA_TEST_MAIN_CORE_APP) && defined(PLINOVA_TEST_MAIN_WIDGETS_APP)
#error "A test program has one application object: CORE_APP or WIDGETS_APP, not both"
#endif

#if defined(PLINOVA_TEST_MAIN_WIDGETS_APP)
#include <QApplication>
#elif defined(PLINOVA_TEST_MAIN_CORE_APP)
#include <QCoreApplication>
#endif
#if defined(PLINOVA_TEST_MAIN_DB_WORKERS)
#include "db/WorkerThreads.h"
#endif
#if defined(PLINOVA_TEST_MAIN_MODEM_WAKE)
#include "serial/ModemWakeSignal.h"
#endif

int main(int argc, char** argv) {
#if defined(PLINOVA_TEST_MAIN_DB_WORKERS)
    db::PrepareWorkerThreads();
#endif
#if defined(PLINOVA_TEST_MAIN_MODEM_WAKE)
    serial::ClaimModemWakeSignal(serial::DefaultModemWakeSignal());
#endif
#if defined(PLINOVA_TEST_QT_PLATFORM)
    qputenv("QT_QPA_PLATFORM", PLINOVA_TEST_QT_PLATFORM);
#elif defined(PLINOVA_TEST_QT_PLATFORM_DEFAULT)
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", PLINOVA_TEST_QT_PLATFORM_DEFAULT);
    }
#endif
#if defined(PLINOVA_TEST_MAIN_WIDGETS_APP)
    QApplication app(argc, argv);
#elif defined(PLINOVA_TEST_MAIN_CORE_APP)
    QCoreApplication app(argc, argv);
#endif
#if defined(PLINOVA_TEST_APPLICATION_NAME)
    QCoreApplication::setApplicationName(QStringLiteral(PLINOVA_TEST_APPLICATION_NAME));
#endif
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
