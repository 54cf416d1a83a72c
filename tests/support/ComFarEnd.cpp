// plinova_com_far_end: the far end of a serial line for a Windows test program run under
// wine. It makes a pseudo-terminal pair, maps wine's port COMn onto its device
// ($WINEPREFIX/dosdevices/comN), runs the command given after "--" and plays the line's
// other end while it runs: every byte received is appended to a record file, whose path the
// command finds in PLINOVA_FAR_END_RECORD, and each status request (DLE EOT n) is answered
// with the byte kStatusReply. Ends with the command's exit status.
//
//   plinova_com_far_end --com 5 --record FILE -- wine64 test.exe ...
#include "tools/pty/PseudoTerminal.h"

#include <poll.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr char kStatusReply = 0x12;

int Usage() {
    std::cerr << "usage: plinova_com_far_end --com N --record FILE -- COMMAND [ARGS...]\n";
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
        std::size_t got = 0;
        try {
            got = line.Read(buffer, sizeof buffer);
        } catch (const std::exception&) {
            // The device side hung up for a moment (the port was closed): wait for it again.
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
            continue;
        }
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

} // namespace

int main(int argc, char** argv) {
    std::string com;
    std::string recordPath;
    int i = 1;
    for (; i < argc; ++i) {
        const std::string arg = argv[i];
        if (arg == "--com" && i + 1 < argc)
            com = argv[++i];
        else if (arg == "--record" && i + 1 < argc)
            recordPath = argv[++i];
        else if (arg == "--")
            break;
        else
            return Usage();
    }
    const char* prefix = std::getenv("WINEPREFIX");
    if (com.empty() || recordPath.empty() || i + 1 >= argc || prefix == nullptr)
        return Usage();

    PseudoTerminal line(PseudoTerminal::Device::Held);
    const std::filesystem::path link = std::filesystem::path(prefix) / "dosdevices" / ("com" + com);
    std::filesystem::create_directories(link.parent_path());
    std::filesystem::remove(link);
    std::filesystem::create_symlink(line.DevicePath(), link);
    std::ofstream(recordPath, std::ios::binary | std::ios::trunc);
    setenv("PLINOVA_FAR_END_RECORD", recordPath.c_str(), 1);

    std::atomic<bool> stop{false};
    std::thread farEnd(PlayFarEnd, std::ref(line), recordPath, std::cref(stop));
    int status = 1;
    const pid_t child = fork();
    if (child == 0) {
        execvp(argv[i + 1], argv + i + 1);
        std::perror(argv[i + 1]);
        _exit(127);
    }
    if (child > 0 && waitpid(child, &status, 0) == child)
        status = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    stop = true;
    farEnd.join();
    std::filesystem::remove(link);
    return status;
}
