#include "serial/ComPlainSyncHost.h"

#include <stdexcept>

void ComPlainSyncHost::PostToMainThread(std::function<void()> call) {
    {
        std::lock_guard lock(mutex_);
        calls_.push_back(std::move(call));
    }
    posted_.notify_all();
}

void ComPlainSyncHost::ReportException(std::exception_ptr error) {
    std::string text = "unknown error";
    try {
        std::rethrow_exception(error);
    } catch (const std::exception& e) {
        text = e.what();
    } catch (...) {
    }
    std::lock_guard lock(mutex_);
    reported_.push_back(text);
}

std::vector<std::string> ComPlainSyncHost::Reported() const {
    std::lock_guard lock(mutex_);
    return reported_;
}

int ComPlainSyncHost::RunPending() {
    int ran = 0;
    for (;;) {
        std::function<void()> call;
        {
            std::lock_guard lock(mutex_);
            if (calls_.empty())
                return ran;
            call = std::move(calls_.front());
            calls_.pop_front();
        }
        call();
        ++ran;
    }
}

bool ComPlainSyncHost::RunUntil(const std::function<bool()>& done,
                                std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        RunPending();
        if (done())
            return true;
        std::unique_lock lock(mutex_);
        if (calls_.empty() &&
            !posted_.wait_until(lock, deadline, [&] { return !calls_.empty(); })) {
            lock.unlock();
            RunPending();
            return done();
        }
    }
}
