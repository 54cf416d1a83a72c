// Runs the real simulator and talks to it through its pseudo-terminal, as the spooler does.
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <poll.h>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

std::string ReadFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

// The simulator as a child process whose standard output the test reads.
class Simulator {
public:
    explicit Simulator(std::vector<std::string> arguments) {
        int out[2];
        EXPECT_EQ(pipe(out), 0);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_addclose(&actions, out[0]);
        arguments.insert(arguments.begin(), CARDSIM_PROGRAM);
        std::vector<char*> argv;
        for (std::string& a : arguments) {
            argv.push_back(a.data());
        }
        argv.push_back(nullptr);
        EXPECT_EQ(posix_spawn(&pid_, CARDSIM_PROGRAM, &actions, nullptr, argv.data(), environ), 0);
        posix_spawn_file_actions_destroy(&actions);
        close(out[1]);
        out_ = out[0];
    }

    ~Simulator() {
        if (pid_ > 0) {
            kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        close(out_);
    }

    // Standard output read so far, reading more for up to `wait`.
    const std::string& Output(std::chrono::milliseconds wait = 0ms) {
        const auto until = std::chrono::steady_clock::now() + wait;
        for (;;) {
            pollfd fd{out_, POLLIN, 0};
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                until - std::chrono::steady_clock::now());
            if (poll(&fd, 1, static_cast<int>(std::max<long long>(left.count(), 0))) <= 0) {
                return output_;
            }
            char buffer[4096];
            const ssize_t got = read(out_, buffer, sizeof buffer);
            if (got <= 0) {
                return output_;
            }
            output_.append(buffer, static_cast<std::size_t>(got));
        }
    }

    // The device named on the first line.
    std::string Device() {
        const auto until = std::chrono::steady_clock::now() + 5s;
        while (output_.find('\n') == std::string::npos &&
               std::chrono::steady_clock::now() < until) {
            Output(50ms);
        }
        const std::string first = output_.substr(0, output_.find('\n'));
        EXPECT_EQ(first.rfind("device: ", 0), 0u) << output_;
        return first.substr(8);
    }

    void Signal(int signal) { kill(pid_, signal); }

    // The exit status, or -1 when the process has not ended within `wait`.
    int Wait(std::chrono::milliseconds wait) {
        const auto until = std::chrono::steady_clock::now() + wait;
        while (std::chrono::steady_clock::now() < until) {
            int status = 0;
            if (waitpid(pid_, &status, WNOHANG) == pid_) {
                pid_ = -1;
                Output(200ms);
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            std::this_thread::sleep_for(10ms);
        }
        return -1;
    }

private:
    pid_t pid_ = -1;
    int out_ = -1;
    std::string output_;
};

// The spooler's side of the line.
class Port {
public:
    explicit Port(const std::string& device) : fd_(open(device.c_str(), O_RDWR | O_NOCTTY)) {
        EXPECT_GE(fd_, 0) << device;
        termios settings{};
        tcgetattr(fd_, &settings);
        cfmakeraw(&settings);
        tcsetattr(fd_, TCSANOW, &settings);
    }
    ~Port() { close(fd_); }

    int Fd() const { return fd_; }

    void Write(const Bytes& bytes) {
        EXPECT_EQ(write(fd_, bytes.data(), bytes.size()), static_cast<ssize_t>(bytes.size()));
    }
    void Write(const std::string& text) { Write(Bytes(text.begin(), text.end())); }

    Bytes ReadAvailable(std::chrono::milliseconds wait) {
        Bytes bytes;
        pollfd fd{fd_, POLLIN, 0};
        while (poll(&fd, 1, static_cast<int>(wait.count())) > 0) {
            std::uint8_t buffer[256];
            const ssize_t got = read(fd_, buffer, sizeof buffer);
            if (got <= 0) {
                break;
            }
            bytes.insert(bytes.end(), buffer, buffer + got);
            wait = 0ms;
        }
        return bytes;
    }

    // Polls with 10 04 05 every 50 ms until the last byte of a pass is `wanted`.
    bool PollUntil(std::uint8_t wanted, std::chrono::milliseconds limit) {
        const auto until = std::chrono::steady_clock::now() + limit;
        while (std::chrono::steady_clock::now() < until) {
            Write(Bytes{0x10, 0x04, 0x05});
            const Bytes reply = ReadAvailable(50ms);
            if (!reply.empty() && reply.back() == wanted) {
                return true;
            }
        }
        return false;
    }

private:
    int fd_;
};

class CardsimEndToEnd : public ::testing::Test {
protected:
    void SetUp() override {
        char pattern[] = "/tmp/cardsim-test-XXXXXX";
        ASSERT_NE(mkdtemp(pattern), nullptr);
        dir_ = pattern;
    }
    void TearDown() override { fs::remove_all(dir_); }

    fs::path dir_;
};

TEST_F(CardsimEndToEnd, PrintsACardThroughThePseudoTerminal) {
    Simulator simulator({"--device-file", (dir_ / "device").string(), "--link",
                         (dir_ / "printer").string(), "--insert-delay", "100", "--remove-delay",
                         "150", "--png-dir", (dir_ / "cards").string(), "--trace",
                         (dir_ / "trace").string(), "--exit-after-cards", "1", "--timeout", "10"});
    const std::string device = simulator.Device();
    EXPECT_EQ(ReadFile(dir_ / "device"), device + "\n");
    EXPECT_EQ(fs::read_symlink(dir_ / "printer"), device);

    Port port((dir_ / "printer").string());
    for (const Bytes& write : std::vector<Bytes>{
             {0x10, 0x04, 0x01},
             {0x1B, 0x3D, 0x01, 0x1D, 0x61, 0x27},
             {0x1B, 0x52, 0x00},
             {0x1B, 0x74, 0x10},
             {0x1B, 0x3D, 0x01},
             {0x1B, 0x63, 0x34, 0x10},
             {0x1B, 0x46, 0x01},
             {0x1B, 0x63, 0x34, 0x10},
             {0x1B, 0x63, 0x30, 0x04},
             {0x1B, 0x63, 0x31, 0x04},
             {0x1B, 0x55, 0x00},
             {0x1B, 0x74, 0x02},
         }) {
        port.Write(write);
    }
    EXPECT_EQ(port.ReadAvailable(10s).size(), 1u); // the start-up status reply
    port.Write(Bytes{0x1B, 0x70, 0x00, 0xC8, 0xC8});
    ASSERT_TRUE(port.PollUntil(0x12, 10s));
    port.Write("\r\n");
    port.Write(Bytes{0x1B, 0x21, 0x31});
    port.Write("MESA 12\r\n");
    port.Write(Bytes{0x1B, 0x21, 0x01});
    port.Write("Galao \x82 3\r\n"); // 0x82 is "é" in code page 850
    port.Write(Bytes{0x0C});
    port.Write(Bytes{0x1B, 0x71});
    ASSERT_TRUE(port.PollUntil(0x72, 10s));

    ASSERT_EQ(simulator.Wait(10s), 0) << simulator.Output();
    const std::string out = simulator.Output();
    EXPECT_NE(out.find("drawer pulse (pin 2, 200/200)\n"), std::string::npos) << out;
    EXPECT_NE(out.find("card 1, 3 lines\n"), std::string::npos) << out;
    EXPECT_NE(out.find("\u2502 M E S A   1 2 "), std::string::npos) << out;
    EXPECT_NE(out.find("\u2502 Galao \u00E9 3 "), std::string::npos) << out;
    // The device file and the link go away with the simulator.
    EXPECT_FALSE(fs::exists(dir_ / "device"));
    EXPECT_FALSE(fs::is_symlink(dir_ / "printer"));

    const std::string picture = ReadFile(dir_ / "cards" / "card-0001.png");
    ASSERT_GT(picture.size(), 24u);
    EXPECT_EQ(picture.substr(0, 8), "\x89PNG\r\n\x1A\n");

    // The trace holds every byte received, in order, with rising times.
    std::istringstream trace(ReadFile(dir_ / "trace"));
    std::string line;
    std::string received;
    long long last = -1;
    int inserted = 0;
    long long start = -1;
    while (std::getline(trace, line)) {
        if (line.rfind("# start: ", 0) == 0) {
            start = std::stoll(line.substr(9));
        }
        if (line.empty() || line[0] == '#') {
            continue;
        }
        std::istringstream fields(line);
        long long at = 0;
        std::string direction;
        fields >> at >> direction;
        EXPECT_GE(at, last) << line;
        last = at;
        std::string rest;
        std::getline(fields, rest);
        if (direction == "rx") {
            received += rest;
        } else if (direction == "ev" && rest == " card-inserted") {
            ++inserted;
        }
    }
    EXPECT_EQ(inserted, 1);
    // The start puts the trace on this process's steady clock.
    const long long now = std::chrono::duration_cast<std::chrono::microseconds>(
                              std::chrono::steady_clock::now().time_since_epoch())
                              .count();
    EXPECT_GT(start, 0);
    EXPECT_LT(start + last, now);
    EXPECT_GT(start, now - 300'000'000);
    EXPECT_EQ(received.rfind(" 10 04 01 1B 3D 01 1D 61 27", 0), 0u) << received;
    EXPECT_NE(received.find(" 1B 21 31 4D 45 53 41 20 31 32 0D 0A 1B 21 01"), std::string::npos);
    EXPECT_NE(received.find(" 0C 1B 71"), std::string::npos);
}

TEST_F(CardsimEndToEnd, TheDeviceCanBeOpenedAgainAfterAnExclusiveUser) {
    Simulator simulator({"--timeout", "10"});
    const std::string device = simulator.Device();
    {
        Port port(device);
        ASSERT_EQ(ioctl(port.Fd(), TIOCEXCL), 0);
    }
    const auto until = std::chrono::steady_clock::now() + 10s;
    while (simulator.Output().find("device closed\n") == std::string::npos &&
           std::chrono::steady_clock::now() < until) {
        simulator.Output(50ms);
    }
    ASSERT_NE(simulator.Output().find("device opened\ndevice closed\n"), std::string::npos)
        << simulator.Output();
    Port again(device);
    int exclusive = -1;
    ASSERT_EQ(ioctl(again.Fd(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
}

TEST_F(CardsimEndToEnd, StopsOnATermSignalAndOnInactivity) {
    {
        Simulator simulator({"--device-file", (dir_ / "device").string(), "--quiet"});
        simulator.Device();
        simulator.Signal(SIGTERM);
        EXPECT_EQ(simulator.Wait(10s), 0);
        EXPECT_FALSE(fs::exists(dir_ / "device"));
    }
    {
        Simulator simulator({"--timeout", "1", "--quiet"});
        simulator.Device();
        EXPECT_EQ(simulator.Wait(10s), 3);
    }
    {
        Simulator simulator({"--insert-delay", "soon"});
        EXPECT_EQ(simulator.Wait(10s), 2);
    }
}

} // namespace
