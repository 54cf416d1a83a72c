#pragma once

#include <QApplication>
#include <chrono>
#include <ctime>
#include <fstream>
#include <malloc.h>
#include <string>

#include "app/QtComSyncHost.h"

// What the spooler's benchmarks share: clocks, the resident memory, and the application
// object with the serial port's delivery host that a window needs.
namespace bench {

inline double Now() {
    return std::chrono::duration<double, std::milli>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

inline double CpuNow() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

// The heap's bytes in use (glibc), in kB: unlike the resident size, it does not count what the
// allocator keeps after a free, so it tells a growing structure from a fragmented heap.
inline long HeapInUseKb() {
    return static_cast<long>(mallinfo2().uordblks / 1024);
}

inline long RssKb() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line))
        if (line.rfind("VmRSS:", 0) == 0)
            return std::stol(line.substr(6));
    return -1;
}

// An off-screen application whose ports deliver through its event loop.
class Application {
public:
    Application(int& argc, char** argv) : app_(Offscreen(argc), argv) {
        QCoreApplication::setApplicationName(QStringLiteral("Plinova"));
        SetDefaultComSyncHost(&host_);
    }
    ~Application() { SetDefaultComSyncHost(nullptr); }

private:
    // No display is needed: the platform is chosen before the application object exists.
    static int& Offscreen(int& argc) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return argc;
    }

    QApplication app_;
    QtComSyncHost host_;
};

} // namespace bench
