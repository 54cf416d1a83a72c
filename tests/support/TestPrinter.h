#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

// A card printer on the far side of a pseudo-terminal, for tests: it records every byte the
// spooler writes with its arrival time and answers status requests (10 04 05).
//
// Unless replies are scripted, a card is reported in place (12) from the `insertAfter`-th
// request of a card's wait, and removed (72) from the `removeAfter`-th request after the
// release command (1B 71).
class FakePrinter {
public:
    using Clock = std::chrono::steady_clock;
    struct Chunk {
        Clock::time_point at;
        std::string bytes;
    };

    FakePrinter();
    ~FakePrinter();

    const std::string& DevicePath() const { return path_; }

    int insertAfter = 1;
    int removeAfter = 1;

    // Replies sent, one per status request, before the default rule applies again.
    void Script(std::deque<std::string> replies);
    // Bytes sent to the spooler now, unasked.
    void Send(const std::string& bytes);

    std::string Received() const;
    std::vector<Chunk> Chunks() const;
    // Time at which the byte at `offset` of everything received arrived.
    Clock::time_point ArrivalOf(std::size_t offset) const;
    int StatusRequests() const;
    void Clear();

    // Waits until the bytes received contain `needle`; false after `timeout`.
    bool WaitFor(const std::string& needle, std::chrono::milliseconds timeout) const;

    // Closes the device, as an unplugged printer would.
    void Unplug();

private:
    void Run();
    void OnBytes(const std::string& bytes);

    int master_ = -1;
    int wake_[2] = {-1, -1};
    std::string path_;
    std::thread thread_;
    std::atomic<bool> stop_{false};
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<Chunk> chunks_;
    std::string all_;
    std::deque<std::string> script_;
    std::string pending_; // a status request split over reads
    bool released_ = false;
    bool unplug_ = false;
    int requests_ = 0;
    int phaseRequests_ = 0;
};
