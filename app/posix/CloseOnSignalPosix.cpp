#include "app/CloseOnSignal.h"

#include <QSocketNotifier>
#include <QWidget>
#include <csignal>
#include <fcntl.h>
#include <unistd.h>

namespace {

int g_pipe[2] = {-1, -1};

void OnSignal(int) {
    const char c = 1;
    // Nothing else is safe in a signal handler; the event loop reads the pipe.
    [[maybe_unused]] ssize_t n = ::write(g_pipe[1], &c, 1);
}

} // namespace

// SIGTERM and SIGINT through a pipe that the event loop watches.
class CloseOnSignal::Source {
public:
    explicit Source(CloseOnSignal* owner) {
        if (g_pipe[0] < 0) {
            if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
                return;
        }
        notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, owner);
        QObject::connect(notifier_, &QSocketNotifier::activated, owner, [owner] {
            char buf[16];
            while (::read(g_pipe[0], buf, sizeof buf) > 0) {
            }
            owner->Close();
        });
        struct sigaction sa {};
        sa.sa_handler = OnSignal;
        sigemptyset(&sa.sa_mask);
        sa.sa_flags = SA_RESTART;
        sigaction(SIGTERM, &sa, nullptr);
        sigaction(SIGINT, &sa, nullptr);
    }

    ~Source() {
        signal(SIGTERM, SIG_DFL);
        signal(SIGINT, SIG_DFL);
    }

private:
    QSocketNotifier* notifier_ = nullptr; // owned by the CloseOnSignal
};

CloseOnSignal::CloseOnSignal(QWidget* window)
    : QObject(window), window_(window), source_(std::make_unique<Source>(this)) {}

CloseOnSignal::~CloseOnSignal() = default;
