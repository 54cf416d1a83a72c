#pragma once

#include "serial/ComSyncHost.h"

namespace report {
class Reporter;
}

// Runs the serial port's deliveries on the Qt main thread, through its event loop; the errors
// no caller can take go to the program's error report.
class QtComSyncHost : public ComSyncHost {
public:
    // The reporter must outlive the host.
    explicit QtComSyncHost(const report::Reporter& reports) : reports_(reports) {}

    void PostToMainThread(std::function<void()> call) override;
    void ReportException(std::exception_ptr error) override;

private:
    const report::Reporter& reports_;
};
