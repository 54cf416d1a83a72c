#pragma once

#include <QApplication>
#include <chrono>
#include <cstdio>
#include <ctime>
#include <fstream>
#include <malloc.h>
#include <memory>
#include <string>

#include "MainWindow.h"
#include "Station.h"
#include "serial/ModemWakeSignal.h"

// What the spooler's benchmarks share: clocks, the resident memory, the application object
// that a window needs, and a station's window started.
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

// An off-screen application with the modem wake signal claimed, as the program has them; a
// station's window gets its port's delivery host from the station.
class Application {
public:
    Application(int& argc, char** argv) : app_(Offscreen(argc), argv) {
        QCoreApplication::setApplicationName(QStringLiteral("Plinova"));
        serial::ClaimModemWakeSignal(serial::DefaultModemWakeSignal());
    }

private:
    // No display is needed: the platform is chosen before the application object exists.
    static int& Offscreen(int& argc) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        return argc;
    }

    QApplication app_;
};

// A station on a backend with its window started (start-up timed) and polling stopped.
struct StartedStation {
    std::unique_ptr<Station> st;
    std::unique_ptr<Tmain> w;
    double startupMs = 0;
    explicit operator bool() const { return w != nullptr; }
};

// Starts a station on `backend`, its pauses on `ticks` (the system's clock when null); when the
// backend is not available here or start-up fails, a table row says so (`emptyCells` completes
// it) and none is returned.
inline StartedStation StartStation(Backend backend, const char* emptyCells,
                                   pacing::TickSource* ticks = nullptr) {
    StartedStation started;
    const std::string name = dbtest::BackendName(backend);
    QString why;
    if (!dbtest::BackendAvailable(backend, &why)) {
        std::printf("| %s | skipped: %s |%s\n", name.c_str(), why.toUtf8().constData(), emptyCells);
        return started;
    }
    started.st = std::make_unique<Station>(backend);
    started.st->WriteDefaults();
    started.st->ticks = ticks;
    const double t0 = Now();
    auto w = started.st->Start();
    started.startupMs = Now() - t0;
    if (w->Terminated() || !w->Core().Polling()) {
        std::printf("| %s | start-up failed |%s\n", name.c_str(), emptyCells);
        return started;
    }
    w->Core().StopPolling();
    started.w = std::move(w);
    return started;
}

} // namespace bench
