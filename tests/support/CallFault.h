// Fails the Nth call made from now on, once or from then on, with a chosen error: the fault
// injection of the test doubles (the scripted serial platform, the simulated system calls) and
// of any seam that counts its calls. Only the
// calls of the thread that armed it count unless every thread is asked for, so that the
// count does not depend on what other threads happen to do meanwhile.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <thread>

class CallFault {
public:
    // The nth counted call (1: the next one) fails with `error`; with `fromThenOn` every
    // counted call after it fails too.
    void Arm(int n, std::uint32_t error, bool fromThenOn = false, bool anyThread = false) {
        std::lock_guard lock(mutex_);
        left_ = n;
        error_ = error;
        fromThenOn_ = fromThenOn;
        anyThread_ = anyThread;
        thread_ = std::this_thread::get_id();
        failed_.clear();
        armed_ = true;
    }
    void Disarm() {
        std::lock_guard lock(mutex_);
        armed_ = false;
    }
    // Counts a call; true, with the error to report, when it must fail.
    bool Strikes(const char* call, std::uint32_t& error) {
        std::lock_guard lock(mutex_);
        if (!armed_ || (!anyThread_ && std::this_thread::get_id() != thread_))
            return false;
        if (left_ > 1) {
            --left_;
            return false;
        }
        left_ = 0;
        armed_ = fromThenOn_;
        if (failed_.empty())
            failed_ = call;
        error = error_;
        return true;
    }
    // The first call that failed; empty while none has.
    std::string Failed() const {
        std::lock_guard lock(mutex_);
        return failed_;
    }

private:
    mutable std::mutex mutex_;
    bool armed_ = false;
    int left_ = 0;
    std::uint32_t error_ = 0;
    bool fromThenOn_ = false;
    bool anyThread_ = false;
    std::thread::id thread_;
    std::string failed_;
};
