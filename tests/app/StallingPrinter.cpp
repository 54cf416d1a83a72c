#include "StallingPrinter.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

namespace {

const std::string kStatusRequest("\x10\x04\x05", 3);
const std::string kRelease("\x1B\x71", 2);
// Never sent by the spooler in these tests, so it can be told apart and dropped.
const char kFiller = '\xFE';

} // namespace

StallingPrinter::StallingPrinter() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
        throw std::runtime_error("cannot open a pseudo-terminal");
    path_ = ::ptsname(master_);
    filler_ = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (filler_ < 0)
        throw std::runtime_error("cannot open the pseudo-terminal's device");
    termios tio{};
    ::tcgetattr(filler_, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(filler_, TCSANOW, &tio);
    thread_ = std::thread([this] { Run(); });
}

StallingPrinter::~StallingPrinter() {
    stop_ = true;
    thread_.join();
    ::close(filler_);
    ::close(master_);
}

void StallingPrinter::StallAfter(const std::string& needle) {
    std::lock_guard lock(mutex_);
    stallNeedle_ = needle;
    stallArmed_ = true;
    if (needle.empty() || all_.find(needle) != std::string::npos) {
        stallArmed_ = false;
        stalled_ = true;
        FillLine();
    }
}

void StallingPrinter::Resume() {
    stalled_ = false;
}

std::string StallingPrinter::Received() const {
    std::lock_guard lock(mutex_);
    return all_;
}

bool StallingPrinter::WaitFor(const std::string& needle, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return all_.find(needle) != std::string::npos; });
}

void StallingPrinter::FillLine() {
    const std::string block(1024, kFiller);
    auto fill = [&] {
        std::size_t written = 0;
        for (std::size_t size : {block.size(), std::size_t{1}})
            for (ssize_t n; (n = ::write(filler_, block.data(), size)) > 0;)
                written += static_cast<std::size_t>(n);
        return written;
    };
    auto waiting = [&] {
        int count = 0;
        ::ioctl(master_, FIONREAD, &count);
        return count;
    };
    // The kernel moves written bytes on to the reading side's buffer in the background, which
    // frees room on the line again after a write found none. The line is full only once that
    // has settled: a round that writes nothing and leaves the reading side's count unchanged.
    for (int rounds = 0; rounds < 100; ++rounds) {
        const int before = waiting();
        const std::size_t written = fill();
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
        if (written == 0 && fill() == 0 && waiting() == before)
            return;
    }
}

void StallingPrinter::Run() {
    char buf[4096];
    while (!stop_) {
        if (stalled_) {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
        pollfd fd{master_, POLLIN, 0};
        if (::poll(&fd, 1, 20) <= 0 || !(fd.revents & POLLIN))
            continue;
        const ssize_t got = ::read(master_, buf, sizeof buf);
        if (got > 0)
            OnBytes(std::string(buf, static_cast<std::size_t>(got)));
    }
}

void StallingPrinter::OnBytes(const std::string& bytes) {
    std::lock_guard lock(mutex_);
    std::string kept = bytes;
    kept.erase(std::remove(kept.begin(), kept.end(), kFiller), kept.end());
    all_ += kept;
    pending_ += kept;
    for (;;) {
        const std::size_t req = pending_.find(kStatusRequest);
        const std::size_t rel = pending_.find(kRelease);
        if (rel != std::string::npos && (req == std::string::npos || rel < req)) {
            released_ = true;
            pending_.erase(0, rel + kRelease.size());
            continue;
        }
        if (req == std::string::npos)
            break;
        pending_.erase(0, req + kStatusRequest.size());
        const char reply = released_ ? '\x72' : '\x12';
        [[maybe_unused]] ssize_t n = ::write(master_, &reply, 1);
    }
    if (pending_.size() > 2)
        pending_.erase(0, pending_.size() - 2);
    if (stallArmed_ && all_.find(stallNeedle_) != std::string::npos) {
        stallArmed_ = false;
        stalled_ = true;
        FillLine();
    }
    changed_.notify_all();
}
