#include "app/CloseOnSignal.h"

#include <QCoreApplication>
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

CloseOnSignal::CloseOnSignal(QWidget* window) : QObject(window), window_(window) {
    if (g_pipe[0] < 0) {
        if (::pipe2(g_pipe, O_CLOEXEC | O_NONBLOCK) != 0)
            return;
    }
    notifier_ = new QSocketNotifier(g_pipe[0], QSocketNotifier::Read, this);
    connect(notifier_, &QSocketNotifier::activated, this, [this] {
        char buf[16];
        while (::read(g_pipe[0], buf, sizeof buf) > 0) {
        }
        // A window busy with a card closes itself once the card is done; the application
        // then ends with its last window.
        if (window_->close())
            QCoreApplication::quit();
    });
    struct sigaction sa {};
    sa.sa_handler = OnSignal;
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
}

CloseOnSignal::~CloseOnSignal() {
    signal(SIGTERM, SIG_DFL);
    signal(SIGINT, SIG_DFL);
}
