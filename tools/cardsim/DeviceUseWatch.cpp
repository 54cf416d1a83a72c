#include "DeviceUseWatch.h"

#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/inotify.h>
#endif

namespace cardsim {

DeviceUseWatch::DeviceUseWatch(const std::string& path, int heldFd) : held_(heldFd) {
#ifdef __linux__
    watch_ = inotify_init1(IN_NONBLOCK | IN_CLOEXEC);
    if (watch_ >= 0 && inotify_add_watch(watch_, path.c_str(), IN_OPEN | IN_CLOSE) < 0) {
        close(watch_);
        watch_ = -1;
    }
#else
    (void)path;
#endif
}

DeviceUseWatch::~DeviceUseWatch() {
    if (watch_ >= 0) {
        close(watch_);
    }
}

std::vector<DeviceUse> DeviceUseWatch::Check() {
    std::vector<DeviceUse> changes;
#ifdef __linux__
    alignas(inotify_event) char buffer[4096];
    for (;;) {
        const ssize_t got = read(watch_, buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        for (char* at = buffer; at < buffer + got;) {
            const auto* event = reinterpret_cast<const inotify_event*>(at);
            if (event->mask & IN_OPEN) {
                if (openers_++ == 0) {
                    changes.push_back(DeviceUse::Opened);
                }
            } else if ((event->mask & IN_CLOSE) && openers_ > 0 && --openers_ == 0) {
                ioctl(held_, TIOCNXCL);
                changes.push_back(DeviceUse::Closed);
            }
            at += sizeof(inotify_event) + event->len;
        }
    }
#endif
    return changes;
}

} // namespace cardsim
