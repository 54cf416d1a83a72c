#include "PtyPair.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <poll.h>
#include <stdexcept>
#include <termios.h>
#include <unistd.h>

PtyPair::PtyPair() {
    master_ = posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (master_ < 0 || grantpt(master_) != 0 || unlockpt(master_) != 0)
        throw std::runtime_error("cannot create a pseudo-terminal");
    char name[128];
    if (ptsname_r(master_, name, sizeof name) != 0)
        throw std::runtime_error("cannot name the pseudo-terminal");
    slavePath_ = name;
    termios t{};
    tcgetattr(master_, &t);
    cfmakeraw(&t);
    tcsetattr(master_, TCSANOW, &t);
    fcntl(master_, F_SETFL, fcntl(master_, F_GETFL) | O_NONBLOCK);
}

PtyPair::~PtyPair() {
    CloseMaster();
}

void PtyPair::CloseMaster() {
    if (master_ >= 0)
        close(master_);
    master_ = -1;
}

void PtyPair::Send(const std::string& bytes) {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t n = write(master_, bytes.data() + sent, bytes.size() - sent);
        if (n > 0) {
            sent += static_cast<std::size_t>(n);
        } else if (n < 0 && errno == EAGAIN) {
            pollfd p{master_, POLLOUT, 0};
            poll(&p, 1, 100);
        } else if (!(n < 0 && errno == EINTR)) {
            throw std::runtime_error("cannot write to the pseudo-terminal");
        }
    }
}

std::string PtyPair::Receive(std::size_t count, std::chrono::milliseconds limit) {
    std::string got;
    const auto deadline = std::chrono::steady_clock::now() + limit;
    while (got.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd p{master_, POLLIN, 0};
        if (poll(&p, 1, static_cast<int>(left.count())) <= 0)
            continue;
        char buffer[4096];
        const ssize_t n = read(master_, buffer, std::min(sizeof buffer, count - got.size()));
        if (n > 0)
            got.append(buffer, static_cast<std::size_t>(n));
    }
    return got;
}
