#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>

// A card printer on a pseudo-terminal that can stop taking bytes, as a printer holding its
// handshake line does: once stalled it reads nothing, and the line's buffer is filled up so
// that the spooler's next write finds no room. Resumed, it reads everything again (dropping
// the filler) and answers status requests at once: a card in place (12) until the release
// (1B 71), taken out (72) from then on. It holds one card: a test prints one job with it.
class StallingPrinter {
public:
    StallingPrinter();
    ~StallingPrinter();

    const std::string& DevicePath() const { return path_; }

    // Stalls as soon as the bytes received contain `needle` (at once for an empty needle).
    void StallAfter(const std::string& needle);
    bool Stalled() const { return stalled_; }
    void Resume();

    std::string Received() const;
    bool WaitFor(const std::string& needle, std::chrono::milliseconds timeout) const;

private:
    void Run();
    void FillLine();
    void OnBytes(const std::string& bytes);

    int master_ = -1;
    int filler_ = -1; // the test's own opening of the device, for filling its buffer
    std::string path_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    std::atomic<bool> stalled_{false};
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::string all_;
    std::string pending_;
    std::string stallNeedle_;
    bool stallArmed_ = false;
    bool released_ = false;
};
