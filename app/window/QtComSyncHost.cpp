#include "QtComSyncHost.h"

#include <QCoreApplication>
#include <QMetaObject>

#include "ErrorReport.h"

void QtComSyncHost::PostToMainThread(std::function<void()> call) {
    QMetaObject::invokeMethod(QCoreApplication::instance(), std::move(call), Qt::QueuedConnection);
}

void QtComSyncHost::ReportException(std::exception_ptr error) {
    reports_.Run([&] { std::rethrow_exception(error); });
}
