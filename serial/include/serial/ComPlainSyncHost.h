// A sync host for programs without an event loop, and for tests: posted calls wait in a
// queue until the owner of the main thread runs them.
#pragma once

#include "serial/ComSyncHost.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

class ComPlainSyncHost : public ComSyncHost {
public:
    void PostToMainThread(std::function<void()> call) override;
    // Keeps the error's text for Reported().
    void ReportException(std::exception_ptr error) override;

    // Runs the calls queued so far; returns how many ran.
    int RunPending();
    // Runs calls as they come until `done` holds or the time is up; returns whether it held.
    bool RunUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout);
    std::vector<std::string> Reported() const;

private:
    mutable std::mutex mutex_;
    std::condition_variable posted_;
    std::deque<std::function<void()>> calls_;
    std::vector<std::string> reported_;
};
