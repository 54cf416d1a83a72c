// plinova_com_far_end: the far end of serial lines for a Windows test program run under
// wine. It runs the command given after "--" and, while it runs, plays the other end of
// the lines the command uses, on pseudo-terminals whose devices it maps onto wine's COM
// ports ($WINEPREFIX/dosdevices/comN). Ends with the command's exit status.
//
// --com N --record FILE: one line on COMN; every byte received is appended to the record
// file, whose path the command finds in PLINOVA_FAR_END_RECORD, and each status request
// (DLE EOT n) is answered with the byte kStatusReply.
// --printers: test printers made on the command's request (PrinterServer), each on a free
// COM port; the command finds the server's address in PLINOVA_TEST_HOST.
//
//   plinova_com_far_end --com 5 --record FILE -- wine64 test.exe ...
//   plinova_com_far_end --printers -- wine64 test.exe ...
#include "PrinterServer.h"
#include "PtyRead.h"
#include "tools/pty/PseudoTerminal.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr char kStatusReply = 0x12;

int Usage() {
    std::cerr << "usage: plinova_com_far_end [--com N --record FILE] [--printers] -- COMMAND "
                 "[ARGS...]\n";
    return 2;
}

// Appends what arrives to the record and answers status requests, until told to stop.
void PlayFarEnd(PseudoTerminal& line, const std::string& recordPath,
                const std::atomic<bool>& stop) {
    std::string tail; // the last bytes, for a status request split across reads
    while (!stop) {
        pollfd watch{line.MasterFd(), POLLIN, 0};
        if (poll(&watch, 1, 20) <= 0)
            continue;
        char buffer[256];
        // The device side hangs up for a moment when the port is closed: it is waited for.
        const std::size_t got =
            ReadOrPause(line, buffer, sizeof buffer, std::chrono::milliseconds(5));
        if (got == 0)
            continue;
        {
            std::ofstream record(recordPath, std::ios::binary | std::ios::app);
            record.write(buffer, static_cast<std::streamsize>(got));
        }
        for (std::size_t i = 0; i < got; ++i) {
            tail += buffer[i];
            if (tail.size() > 3)
                tail.erase(0, tail.size() - 3);
            if (tail.size() == 3 && tail[0] == '\x10' && tail[1] == '\x04') {
                line.Send(std::string(1, kStatusReply));
                tail.clear();
            }
        }
    }
}

// Copies the command's output and errors to ours until the command has ended and nothing more
// came for a moment, or for a second at most: whoever else still holds the pipes (a wine
// service that keeps writing) is not waited for.
void RelayOutput(int out, int err, const std::atomic<bool>& ended) {
    using Clock = std::chrono::steady_clock;
    constexpr int kQuietMs = 200;
    constexpr auto kAfterEnd = std::chrono::seconds(1);
    pollfd watch[2] = {{out, POLLIN, 0}, {err, POLLIN, 0}};
    const int targets[2] = {STDOUT_FILENO, STDERR_FILENO};
    bool open[2] = {true, true};
    std::optional<Clock::time_point> endedAt;
    while (open[0] || open[1]) {
        if (ended && !endedAt)
            endedAt = Clock::now();
        if (endedAt && Clock::now() - *endedAt > kAfterEnd)
            return;
        for (int k = 0; k < 2; ++k)
            watch[k].fd = open[k] ? (k == 0 ? out : err) : -1;
        const int ready = poll(watch, 2, kQuietMs);
        if (ready == 0 && ended)
            return;
        for (int k = 0; k < 2; ++k) {
            if (!(watch[k].revents & (POLLIN | POLLHUP | POLLERR)))
                continue;
            char buffer[4096];
            const ssize_t got = read(watch[k].fd, buffer, sizeof buffer);
            if (got <= 0) {
                open[k] = false;
                continue;
            }
            for (ssize_t put = 0; put < got;) {
                const ssize_t n =
                    write(targets[k], buffer + put, static_cast<std::size_t>(got - put));
                if (n <= 0)
                    break;
                put += n;
            }
        }
    }
}

} // namespace

int main(int argc, char** argv) {
    std::string com;
    std::string recordPath;
    bool printers = false;
    int i = 1;
    for (; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--com" && i + 1 < argc)
            com = argv[++i];
        else if (arg == "--record" && i + 1 < argc)
            recordPath = argv[++i];
        else if (arg == "--printers")
            printers = true;
        else if (arg == "--")
            break;
        else
            return Usage();
    }
    const char* prefix = std::getenv("WINEPREFIX");
    if (com.empty() != recordPath.empty() || i + 1 >= argc || prefix == nullptr)
        return Usage();
    const std::filesystem::path dosdevices = std::filesystem::path(prefix) / "dosdevices";

    std::unique_ptr<PrinterServer> server;
    if (printers) {
        server = std::make_unique<PrinterServer>(dosdevices);
        setenv(hostwire::kAddressVariable, server->Address().c_str(), 1);
    }

    std::unique_ptr<PseudoTerminal> line;
    std::filesystem::path link;
    std::atomic<bool> stop{false};
    std::thread farEnd;
    if (!com.empty()) {
        line = std::make_unique<PseudoTerminal>(PseudoTerminal::Device::Held);
        link = dosdevices / ("com" + com);
        std::filesystem::create_directories(link.parent_path());
        std::filesystem::remove(link);
        std::filesystem::create_symlink(line->DevicePath(), link);
        std::ofstream(recordPath, std::ios::binary | std::ios::trunc);
        setenv("PLINOVA_FAR_END_RECORD", recordPath.c_str(), 1);
        farEnd = std::thread(PlayFarEnd, std::ref(*line), recordPath, std::cref(stop));
    }

    // The command's output goes through pipes of our own: wine's service processes, started by
    // the command, keep them open after it ended, and the caller must see the end of our output
    // when the command ends, not when wine's services do.
    int out[2] = {-1, -1};
    int err[2] = {-1, -1};
    if (pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) {
        std::perror("plinova_com_far_end: pipe");
        return 1;
    }
    int status = 1;
    const pid_t child = fork();
    if (child == 0) {
        dup2(out[1], STDOUT_FILENO);
        dup2(err[1], STDERR_FILENO);
        execvp(argv[i + 1], argv + i + 1);
        std::perror(argv[i + 1]);
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    std::atomic<bool> ended{false};
    std::thread relay(RelayOutput, out[0], err[0], std::cref(ended));
    if (child > 0 && waitpid(child, &status, 0) == child)
        status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    ended = true;
    relay.join();
    close(out[0]);
    close(err[0]);
    stop = true;
    if (farEnd.joinable())
        farEnd.join();
    if (!link.empty())
        std::filesystem::remove(link);
    return status;
}
