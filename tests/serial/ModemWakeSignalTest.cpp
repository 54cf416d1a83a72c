// The modem wake signal is the program's to claim: before it, no port opens on the system's
// devices; once claimed, the signal ends a blocking call in the thread it is sent to, as it
// must end a modem watch's wait. This program's main claims nothing, so the claim is made here,
// once, for the rest of the process.
#include "serial/ModemWakeSignal.h"
#include "posix/PosixSys.h"
#include "serial/CPort.h"

#include "PtyPair.h"
#include "WaitFor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <stdexcept>
#include <thread>
#include <unistd.h>

namespace {

using namespace std::chrono_literals;

TEST(ModemWakeSignal, PortsOpenOnlyOnceClaimedAndTheSignalEndsAWait) {
    PtyPair pty;
    TComPort port(nullptr);
    port.SetPort(pty.SlavePath());
    EXPECT_THROW(port.Open(), std::logic_error);
    EXPECT_FALSE(port.Connected());

    // A signal someone else handles is not taken from them.
    const int wake = serial::DefaultModemWakeSignal();
    struct sigaction theirs {};
    theirs.sa_handler = [](int) {};
    sigemptyset(&theirs.sa_mask);
    struct sigaction before {};
    ASSERT_EQ(sigaction(wake + 1, &theirs, &before), 0);
    EXPECT_THROW(serial::ClaimModemWakeSignal(wake + 1), std::logic_error);
    sigaction(wake + 1, &before, nullptr);

    serial::ClaimModemWakeSignal(wake);
    EXPECT_THROW(serial::ClaimModemWakeSignal(wake), std::logic_error);
    port.Open();
    EXPECT_TRUE(port.Connected());
    port.Close();

    // A thread blocked in a read that nothing else ends, woken as the modem watch is: sent
    // again until it arrives while the thread is in the call, as the port does.
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::atomic<bool> ended{false};
    ssize_t result = 0;
    int error = 0;
    std::thread waiter([&] {
        char byte = 0;
        result = read(fds[0], &byte, 1);
        error = errno;
        ended = true;
    });
    const bool woken = WaitFor(
        [&] {
            if (ended)
                return true;
            serial::KernelSys().WakeModemWait(waiter.native_handle());
            return false;
        },
        10s);
    if (!woken) {
        // A read the signal restarts never ends: a byte ends it, so that the test fails.
        [[maybe_unused]] const ssize_t n = write(fds[1], "x", 1);
    }
    waiter.join();
    close(fds[0]);
    close(fds[1]);
    EXPECT_TRUE(woken);
    EXPECT_EQ(result, -1);
    EXPECT_EQ(error, EINTR);
}

} // namespace
