#include "PtyTestPrinter.h"
#include "PtyRead.h"

#include <algorithm>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <sys/ioctl.h>
#include <system_error>
#include <unistd.h>

namespace {

// Written into the line to fill it; not sent by the spooler in the tests that stall the line,
// and dropped when read back.
const char kFiller = '\xFE';
// The longest the reader waits on the line without looking at what the test asked for.
constexpr int kLookMs = 200;

cardsim::CardPrinter::Timing Manual() {
    cardsim::CardPrinter::Timing timing;
    timing.automatic = false;
    return timing;
}

} // namespace

std::unique_ptr<cardsim::CardPrinter> PtyTestPrinter::NewModel() {
    return std::make_unique<cardsim::CardPrinter>(Manual(),
                                                  static_cast<cardsim::PrinterListener&>(*this));
}

PtyTestPrinter::PtyTestPrinter() : model_(NewModel()) {
    if (::pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0)
        throw std::runtime_error("cannot make a pipe");
    thread_ = std::thread([this] { Run(); });
}

PtyTestPrinter::~PtyTestPrinter() {
    stop_ = true;
    [[maybe_unused]] ssize_t n = ::write(wake_[1], "x", 1);
    thread_.join();
    ::close(wake_[0]);
    ::close(wake_[1]);
}

void PtyTestPrinter::Script(std::deque<std::string> replies) {
    std::lock_guard lock(mutex_);
    script_ = std::move(replies);
}

void PtyTestPrinter::Send(const std::string& bytes) {
    std::lock_guard lock(mutex_);
    Answer(bytes);
}

void PtyTestPrinter::Unplug() {
    // The reader closes the line itself, so it never polls a descriptor that the system may
    // already have given to another file.
    std::unique_lock lock(mutex_);
    unplug_ = true;
    [[maybe_unused]] ssize_t n = ::write(wake_[1], "u", 1);
    changed_.wait(lock, [&] { return pty_.MasterFd() < 0; });
}

std::string PtyTestPrinter::Received() const {
    std::lock_guard lock(mutex_);
    return all_;
}

PtyTestPrinter::Clock::time_point PtyTestPrinter::ArrivalOf(std::size_t offset) const {
    std::lock_guard lock(mutex_);
    std::size_t seen = 0;
    for (const Chunk& c : chunks_) {
        if (offset < seen + c.bytes.size())
            return c.at;
        seen += c.bytes.size();
    }
    return Clock::time_point::max();
}

int PtyTestPrinter::StatusRequests() const {
    std::lock_guard lock(mutex_);
    return requests_;
}

void PtyTestPrinter::Clear() {
    std::lock_guard lock(mutex_);
    chunks_.clear();
    all_.clear();
    decoder_ = cardsim::EscPosDecoder();
    model_ = NewModel();
    script_.clear();
    requests_ = 0;
    phaseRequests_ = 0;
}

bool PtyTestPrinter::WaitFor(const std::string& needle, std::chrono::milliseconds timeout) const {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [&] { return all_.find(needle) != std::string::npos; });
}

void PtyTestPrinter::StallAfter(const std::string& needle) {
    std::lock_guard lock(mutex_);
    stallNeedle_ = needle;
    stallArmed_ = true;
    if (needle.empty() || all_.find(needle) != std::string::npos) {
        stallArmed_ = false;
        stalled_ = true;
        FillLine();
    }
}

void PtyTestPrinter::Resume() {
    stalled_ = false;
    [[maybe_unused]] ssize_t n = ::write(wake_[1], "r", 1);
}

void PtyTestPrinter::FillLine() {
    const std::string block(1024, kFiller);
    auto fill = [&] {
        std::size_t written = 0;
        for (std::size_t size : {block.size(), std::size_t{1}})
            for (ssize_t n; (n = ::write(pty_.DeviceFd(), block.data(), size)) > 0;)
                written += static_cast<std::size_t>(n);
        fillerLeft_ += written;
        return written;
    };
    auto waiting = [&] {
        int count = 0;
        ::ioctl(pty_.MasterFd(), FIONREAD, &count);
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

void PtyTestPrinter::Run() {
    char buf[4096];
    while (!stop_) {
        int fd;
        {
            std::lock_guard lock(mutex_);
            fd = pty_.MasterFd();
        }
        const bool reading = fd >= 0 && !stalled_;
        pollfd fds[2] = {{wake_[0], POLLIN, 0}, {fd, POLLIN, 0}};
        ::poll(fds, reading ? 2 : 1, kLookMs);
        if (fds[0].revents & POLLIN) {
            char c[16];
            while (::read(wake_[0], c, sizeof c) > 0) {
            }
            std::lock_guard lock(mutex_);
            if (unplug_ && pty_.MasterFd() >= 0) {
                pty_.CloseMaster();
                changed_.notify_all();
            }
            continue;
        }
        // A stall asked for while the reader waited holds from now on.
        if (!reading || stalled_ || !(fds[1].revents & POLLIN))
            continue;
        // When nobody holds the line's far side any more, the spooler sees its own error.
        const std::size_t got = ReadOrPause(pty_, buf, sizeof buf, std::chrono::milliseconds(10));
        if (got > 0)
            OnBytes(std::string(buf, got), Clock::now());
    }
}

void PtyTestPrinter::OnBytes(std::string bytes, Clock::time_point at) {
    std::lock_guard lock(mutex_);
    if (fillerLeft_ > 0) {
        const auto end = std::remove_if(bytes.begin(), bytes.end(), [&](char c) {
            if (c != kFiller || fillerLeft_ == 0)
                return false;
            --fillerLeft_;
            return true;
        });
        bytes.erase(end, bytes.end());
        if (bytes.empty())
            return;
    }
    chunks_.push_back({at, bytes});
    all_ += bytes;

    std::vector<cardsim::Event> events;
    decoder_.Feed(std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()),
                  events);
    const auto now = std::chrono::duration_cast<cardsim::Micros>(at.time_since_epoch());
    for (const cardsim::Event& event : events) {
        if (event.kind == cardsim::EventKind::StatusRequest && event.Parameter(0) == 0x05) {
            StatusRequest(event);
        } else {
            model_->Handle(event, now);
        }
    }

    if (stallArmed_ && all_.find(stallNeedle_) != std::string::npos) {
        stallArmed_ = false;
        stalled_ = true;
        FillLine();
    }
    changed_.notify_all();
}

void PtyTestPrinter::StatusRequest(const cardsim::Event& request) {
    using cardsim::CardState;
    ++requests_;
    ++phaseRequests_;
    if (!script_.empty()) {
        const std::string reply = script_.front();
        script_.pop_front();
        const CardState state = model_->State();
        const char last = reply.empty() ? '\0' : reply.back();
        if (last == '\x12' && (state == CardState::Empty || state == CardState::Taken))
            model_->Insert();
        else if (last == '\x72' && state == CardState::Released)
            model_->Remove();
        Answer(reply);
        return;
    }
    const CardState state = model_->State();
    if ((state == CardState::Empty || state == CardState::Taken) && phaseRequests_ >= insertAfter_)
        model_->Insert();
    else if (state == CardState::Released && phaseRequests_ >= removeAfter_)
        model_->Remove();
    model_->Handle(request,
                   std::chrono::duration_cast<cardsim::Micros>(Clock::now().time_since_epoch()));
}

void PtyTestPrinter::Answer(const std::string& bytes) {
    if (pty_.MasterFd() >= 0 && !bytes.empty())
        pty_.Write(bytes.data(), bytes.size());
}

void PtyTestPrinter::StateChanged(cardsim::CardState) {
    phaseRequests_ = 0;
}
