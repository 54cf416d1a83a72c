#include "CloseOnSignal.h"

#include <QSocketNotifier>
#include <QWidget>
#include <atomic>
#include <cerrno>
#include <csignal>
#include <fcntl.h>
#include <stdexcept>
#include <system_error>
#include <thread>
#include <unistd.h>

namespace {

// What the signal handler reaches, which can only be plain data: the write end of the
// listening instance's pipe (-1 while none listens), and how many handlers are running, so
// that the pipe is closed only once none can write to it any more.
std::atomic<int> listeningPipe{-1};
std::atomic<int> handlersRunning{0};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler must not take a lock");

void OnSignal(int) {
    ++handlersRunning;
    const int savedErrno = errno;
    // Nothing else is safe in a signal handler; the event loop reads the pipe.
    if (const int fd = listeningPipe.load(); fd >= 0) {
        const char c = 1;
        [[maybe_unused]] ssize_t n = ::write(fd, &c, 1);
    }
    errno = savedErrno;
    --handlersRunning;
}

} // namespace

// SIGTERM and SIGINT through a pipe of its own that the event loop watches. A signal's
// handler is the whole process's, so only one instance listens at a time: a second one
// while the first lives is refused rather than taking the signals from it.
class CloseOnSignal::Source {
public:
    explicit Source(CloseOnSignal* owner) {
        if (::pipe2(pipe_, O_CLOEXEC | O_NONBLOCK) != 0)
            throw std::system_error(errno, std::generic_category(),
                                    "no pipe to take SIGTERM and SIGINT through");
        int none = -1;
        if (!listeningPipe.compare_exchange_strong(none, pipe_[1])) {
            ClosePipe();
            throw std::logic_error("SIGTERM and SIGINT already close another window");
        }
        notifier_ = std::make_unique<QSocketNotifier>(pipe_[0], QSocketNotifier::Read);
        QObject::connect(notifier_.get(), &QSocketNotifier::activated, owner, [this, owner] {
            char buf[16];
            while (::read(pipe_[0], buf, sizeof buf) > 0) {
            }
            owner->Close();
        });
        struct sigaction sa {};
        sa.sa_handler = OnSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        sigaction(SIGTERM, &sa, &previousTerm_);
        sigaction(SIGINT, &sa, &previousInt_);
    }

    ~Source() {
        // What the process did with the signals before, then no handler writes any more.
        sigaction(SIGTERM, &previousTerm_, nullptr);
        sigaction(SIGINT, &previousInt_, nullptr);
        listeningPipe = -1;
        while (handlersRunning.load() > 0)
            std::this_thread::yield();
        notifier_.reset();
        ClosePipe();
    }

    Source(const Source&) = delete;
    Source& operator=(const Source&) = delete;

private:
    void ClosePipe() {
        ::close(pipe_[0]);
        ::close(pipe_[1]);
    }

    int pipe_[2] = {-1, -1};
    std::unique_ptr<QSocketNotifier> notifier_;
    struct sigaction previousTerm_ {};
    struct sigaction previousInt_ {};
};

CloseOnSignal::CloseOnSignal(QWidget* window)
    : QObject(window), window_(window), source_(std::make_unique<Source>(this)) {}

CloseOnSignal::~CloseOnSignal() = default;
