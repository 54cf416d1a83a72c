// Measures the card printer's status round trip (write 10 04 05, wait for the one-byte
// reply, read it) on a pseudo-terminal through three clients: the serial port component,
// Boost.Asio's serial_port and plain write()/poll()/read(). A child process plays the
// printer on the master side, so the CPU figures are the client's alone. Then it measures
// the CPU an open, idle port costs.
//
// Usage: bench_serial [round trips per client, default 5000] [idle seconds, default 10]

#include "serial/CPort.h"
#include "serial/ComPlainSyncHost.h"
#include "serial/ModemWakeSignal.h"
#include "tools/pty/PseudoTerminal.h"

#include <boost/asio/io_context.hpp>
#include <boost/asio/read.hpp>
#include <boost/asio/serial_port.hpp>
#include <boost/asio/write.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <poll.h>
#include <signal.h>
#include <stdexcept>
#include <string>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;
const std::string statusRequest("\x10\x04\x05", 3);

double CpuSeconds() {
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The printer: answers every status request with one byte. It ends with the benchmark, however
// that ends: the kernel stops it when its parent goes, and it keeps neither the line's device
// (whose closing it would otherwise not see) nor the benchmark's output open, so a reader of
// that output (`bench_serial | tail`) gets its end.
pid_t StartPrinter(int master, int device) {
    const pid_t parent = getpid();
    const pid_t child = fork();
    if (child != 0)
        return child;
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    if (getppid() != parent)
        _exit(0);
    close(device);
    const int null = open("/dev/null", O_WRONLY);
    dup2(null, STDOUT_FILENO);
    dup2(null, STDERR_FILENO);
    std::string pending;
    for (;;) {
        pollfd p{master, POLLIN, 0};
        if (poll(&p, 1, -1) <= 0)
            continue;
        char buffer[256];
        const ssize_t n = read(master, buffer, sizeof buffer);
        if (n <= 0)
            _exit(0);
        pending.append(buffer, static_cast<std::size_t>(n));
        std::size_t at;
        while ((at = pending.find(statusRequest)) != std::string::npos) {
            pending.erase(0, at + statusRequest.size());
            const char reply = 0x12;
            if (write(master, &reply, 1) != 1)
                _exit(1);
        }
    }
}

// Samples of one client gathered over every pass.
struct Client {
    std::string name;
    std::vector<double> samples;
    double cpuUs = 0;
};

void Measure(Client& client, int rounds, const std::function<void()>& roundTrip) {
    for (int i = 0; i < rounds / 10; ++i)
        roundTrip();
    const double cpuBefore = CpuSeconds();
    for (int i = 0; i < rounds; ++i) {
        const auto t0 = Clock::now();
        roundTrip();
        client.samples.push_back(
            std::chrono::duration<double, std::micro>(Clock::now() - t0).count());
    }
    client.cpuUs += (CpuSeconds() - cpuBefore) * 1e6;
}

void Print(Client& client) {
    std::vector<double>& s = client.samples;
    std::sort(s.begin(), s.end());
    double sum = 0;
    for (double v : s)
        sum += v;
    std::printf("%-34s %10.1f %10.1f %10.1f %12.1f\n", client.name.c_str(), s[s.size() / 2],
                s[s.size() * 99 / 100], sum / static_cast<double>(s.size()),
                client.cpuUs / static_cast<double>(s.size()));
}

void Check(bool ok, const char* what) {
    if (!ok)
        throw std::runtime_error(what);
}

} // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::atoi(argv[1]) : 5000;
    const int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 10;
    serial::ClaimModemWakeSignal(serial::DefaultModemWakeSignal());
    // The device is held open throughout so that the line does not hang up between two clients.
    PseudoTerminal line(PseudoTerminal::Device::Held);
    const std::string slave = line.DevicePath();
    const pid_t printer = StartPrinter(line.MasterFd(), line.DeviceFd());

    std::vector<Client> clients = {{"component, event thread on", {}, 0},
                                   {"component, no event thread", {}, 0},
                                   {"component, InputQueued busy wait", {}, 0},
                                   {"Boost.Asio serial_port", {}, 0},
                                   {"write/poll/read", {}, 0}};
    // The clients take turns in several passes so that a busy moment of the machine does
    // not fall on one client alone.
    const int passes = 5;
    for (int pass = 0; pass < passes; ++pass) {
        const int n = rounds / passes;
        {
            ComPlainSyncHost unserved;
            TComPort port(nullptr);
            port.SetSyncHost(&unserved);
            port.SetPort(slave);
            // Wait for the first byte, then return at once with it.
            port.Timeouts().SetReadInterval(-1);
            port.Timeouts().SetReadTotalMultiplier(-1);
            port.Timeouts().SetReadTotalConstant(1000);
            std::string reply;
            auto roundTrip = [&] {
                port.WriteText(statusRequest);
                Check(port.ReadText(reply, 1) == 1, "no reply");
            };
            port.Open();
            Measure(clients[0], n, roundTrip);
            port.Close();
            port.SetEvents(TComEvents{});
            port.Open();
            Measure(clients[1], n, roundTrip);
            // The printer dialogue's own way: poll the input count, then read one byte.
            Measure(clients[2], n, [&] {
                port.WriteText(statusRequest);
                while (port.InputQueued() == 0) {
                }
                Check(port.ReadText(reply, 1) == 1, "no reply");
            });
            port.Close();
        }
        {
            boost::asio::io_context io;
            boost::asio::serial_port port(io, slave);
            port.set_option(boost::asio::serial_port::baud_rate(9600));
            char reply = 0;
            Measure(clients[3], n, [&] {
                boost::asio::write(port, boost::asio::buffer(statusRequest));
                boost::asio::read(port, boost::asio::buffer(&reply, 1));
            });
        }
        {
            const int fd = open(slave.c_str(), O_RDWR | O_NOCTTY);
            Check(fd >= 0, "cannot open the pseudo-terminal");
            termios t{};
            tcgetattr(fd, &t);
            cfmakeraw(&t);
            tcsetattr(fd, TCSANOW, &t);
            Measure(clients[4], n, [&] {
                Check(write(fd, statusRequest.data(), statusRequest.size()) == 3, "write failed");
                pollfd p{fd, POLLIN, 0};
                Check(poll(&p, 1, 1000) == 1, "no reply");
                char reply = 0;
                Check(read(fd, &reply, 1) == 1, "read failed");
            });
            close(fd);
        }
    }

    std::printf("Status round trip, %d per client in %d passes, pseudo-terminal, printer in a "
                "child process\n",
                rounds, passes);
    std::printf("%-34s %10s %10s %10s %12s\n", "client", "median us", "p99 us", "mean us",
                "CPU us/op");
    for (Client& c : clients)
        Print(c);

    {
        ComPlainSyncHost host;
        TComPort port(nullptr);
        port.SetSyncHost(&host);
        port.SetPort(slave);
        port.Open();
        // Let the threads the port starts settle first.
        host.RunUntil([] { return false; }, std::chrono::seconds(1));
        const double cpuBefore = CpuSeconds();
        const auto start = Clock::now();
        // The main thread serves deliveries as an application's event loop would.
        host.RunUntil([] { return false; }, std::chrono::seconds(idleSeconds));
        const double wall = std::chrono::duration<double>(Clock::now() - start).count();
        const double cpu = CpuSeconds() - cpuBefore;
        port.Close();
        std::printf("Open idle port (all ten events watched, smThreadSync): %.3f ms CPU in %.1f s "
                    "(%.4f %%)\n",
                    cpu * 1e3, wall, cpu / wall * 100.0);
    }
    kill(printer, SIGTERM);
    waitpid(printer, nullptr, 0);
    return 0;
}
