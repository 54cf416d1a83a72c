#include "CloseOnSignal.h"

#include <QCoreApplication>
#include <QWidget>

void CloseOnSignal::Close() {
    if (window_->close())
        QCoreApplication::quit();
}
