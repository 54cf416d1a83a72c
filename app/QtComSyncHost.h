#pragma once

#include "serial/ComSyncHost.h"

// Runs the serial port's deliveries on the Qt main thread, through its event loop.
class QtComSyncHost : public ComSyncHost {
public:
    void PostToMainThread(std::function<void()> call) override;
    void ReportException(std::exception_ptr error) override;
};
