#include "TestPrinter.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

namespace {

const std::string kStatusRequest("\x10\x04\x05", 3);
const std::string kRelease("\x1B\x71", 2);

} // namespace

FakePrinter::FakePrinter() {
    master_ = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || ::grantpt(master_) != 0 || ::unlockpt(master_) != 0)
        throw std::runtime_error("cannot open a pseudo-terminal");
    path_ = ::ptsname(master_);
    // Raw line on the spooler's side before it opens it, so nothing is echoed or translated.
    const int slave = ::open(path_.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    ::tcgetattr(slave, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(slave, TCSANOW, &tio);
    ::close(slave);
    if (::pipe2(wake_, O_CLOEXEC) != 0)
        throw std::runtime_error("cannot make a pipe");
    thread_ = std::thread([this] { Run(); });
}

FakePrinter::~FakePrinter() {
    stop_ = true;
    [[maybe_unused]] ssize_t n = ::write(wake_[1], "x", 1);
    thread_.join();
    if (master_ >= 0)
        ::close(master_);
    ::close(wake_[0]);
    ::close(wake_[1]);
}

void FakePrinter::Script(std::deque<std::string> replies) {
    std::lock_guard lock(mutex_);
    script_ = std::move(replies);
}

void FakePrinter::Send(const std::string& bytes) {
    std::lock_guard lock(mutex_);
    if (master_ >= 0) [[maybe_unused]]
        ssize_t n = ::write(master_, bytes.data(), bytes.size());
}

void FakePrinter::Unplug() {
    // The reader thread closes the device itself, so it never polls a number that the
    // system may already have given to another file.
    std::unique_lock lock(mutex_);
    unplug_ = true;
    [[maybe_unused]] ssize_t n = ::write(wake_[1], "u", 1);
    changed_.wait(lock, [&] { return master_ < 0; });
}

std::string FakePrinter::Received() const {
    std::lock_guard lock(mutex_);
    return all_;
}

std::vector<FakePrinter::Chunk> FakePrinter::Chunks() const {
    std::lock_guard lock(mutex_);
    return chunks_;
}

FakePrinter::Clock::time_point FakePrinter::ArrivalOf(std::size_t offset) const {
    std::lock_guard lock(mutex_);
    std::size_t seen = 0;
    for (const Chunk& c : chunks_) {
        if (offset < seen + c.bytes.size())
            return c.at;
        seen += c.bytes.size();
    }
    return Clock::time_point::max();
}

int FakePrinter::StatusRequests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void FakePrinter::Clear() {
    std::lock_guard lock(mutex_);
    chunks_.clear();
    all_.clear();
    pending_.clear();
    script_.clear();
    released_ = false;
    requests_ = 0;
    phaseRequests_ = 0;
}

bool FakePrinter::WaitFor(const std::string& needle, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return all_.find(needle) != std::string::npos; });
}

void FakePrinter::Run() {
    char buf[4096];
    while (!stop_) {
        int fd;
        {
            std::lock_guard lock(mutex_);
            fd = master_;
        }
        pollfd fds[2] = {{wake_[0], POLLIN, 0}, {fd, POLLIN, 0}};
        const int n = ::poll(fds, fd >= 0 ? 2 : 1, 200);
        if (fds[0].revents & POLLIN) {
            char c;
            [[maybe_unused]] ssize_t r = ::read(wake_[0], &c, 1);
            std::lock_guard lock(mutex_);
            if (unplug_ && master_ >= 0) {
                ::close(master_);
                master_ = -1;
                changed_.notify_all();
            }
            continue;
        }
        if (n <= 0 || fd < 0 || !(fds[1].revents & (POLLIN | POLLHUP)))
            continue;
        const ssize_t got = ::read(fd, buf, sizeof buf);
        if (got > 0) {
            OnBytes(std::string(buf, static_cast<std::size_t>(got)));
        } else if (fds[1].revents & POLLHUP) {
            // Nobody holds the device open: wait for the spooler to open it.
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
}

void FakePrinter::OnBytes(const std::string& bytes) {
    std::lock_guard lock(mutex_);
    chunks_.push_back({Clock::now(), bytes});
    all_ += bytes;
    pending_ += bytes;
    // Answer each complete status request, in order, and note releases.
    for (;;) {
        const std::size_t req = pending_.find(kStatusRequest);
        const std::size_t rel = pending_.find(kRelease);
        if (rel != std::string::npos && (req == std::string::npos || rel < req)) {
            released_ = true;
            phaseRequests_ = 0;
            pending_.erase(0, rel + kRelease.size());
            continue;
        }
        if (req == std::string::npos)
            break;
        pending_.erase(0, req + kStatusRequest.size());
        ++requests_;
        ++phaseRequests_;
        std::string reply;
        if (!script_.empty()) {
            reply = script_.front();
            script_.pop_front();
        } else if (!released_) {
            reply = phaseRequests_ >= insertAfter ? "\x12" : std::string(1, '\x10');
        } else {
            reply = phaseRequests_ >= removeAfter ? "\x72" : std::string(1, '\x10');
            if (phaseRequests_ >= removeAfter) {
                released_ = false;
                phaseRequests_ = 0;
            }
        }
        if (!reply.empty() && master_ >= 0) [[maybe_unused]]
            ssize_t n = ::write(master_, reply.data(), reply.size());
    }
    // Keep only a tail that may start a split command.
    if (pending_.size() > 2)
        pending_.erase(0, pending_.size() - 2);
    changed_.notify_all();
}
