#include "ComErrorCodes.h"
#include "posix/ComPlatformPosix.h"
#include "serial/DevicePath.h"

#include "PtyPair.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace serial;

TEST(PosixDeviceNames, MapToDevicePaths) {
    EXPECT_EQ(ComPlatformPosix::DevicePath("COM1"), "/dev/ttyS0");
    EXPECT_EQ(ComPlatformPosix::DevicePath("com12"), "/dev/ttyS11");
    EXPECT_EQ(ComPlatformPosix::DevicePath("\\\\.\\COM3"), "/dev/ttyS2");
    EXPECT_EQ(ComPlatformPosix::DevicePath("/dev/ttyUSB0"), "/dev/ttyUSB0");
    EXPECT_EQ(ComPlatformPosix::DevicePath("COM0"), "");
    EXPECT_EQ(ComPlatformPosix::DevicePath("COM01"), "");
    EXPECT_EQ(ComPlatformPosix::DevicePath("COM"), "");
    EXPECT_EQ(ComPlatformPosix::DevicePath("COM1 "), "");
    EXPECT_EQ(ComPlatformPosix::DevicePath("LPT1"), "");
    EXPECT_EQ(ComPlatformPosix::DevicePath(std::string("/dev/tty\0S0", 11)), "");
    EXPECT_EQ(ComPlatformPosix::DevicePath("COM" + std::string(300, '1')), "");

    EXPECT_EQ(DevicePathFor(1), "/dev/ttyS0");
    EXPECT_EQ(DevicePathFor(12), "/dev/ttyS11");
    EXPECT_EQ(DevicePathFor(0), "");
    EXPECT_EQ(DevicePathFor(-3), "");
}

TEST(PosixOpen, RefusesMissingBusyAndNonSerialDevices) {
    ComPlatformPosix platform;
    EXPECT_EQ(platform.CreateFile("/dev/plinova-no-such-device"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform.GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(platform.CreateFile("COM0"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform.GetLastError(), ERROR_FILE_NOT_FOUND);
    EXPECT_EQ(platform.CreateFile("/" + std::string(300, 'a')), INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform.GetLastError(), ERROR_INVALID_NAME);
    EXPECT_EQ(platform.CreateFile("/dev/null"), INVALID_HANDLE_VALUE);
    EXPECT_EQ(platform.GetLastError(), ERROR_FILE_NOT_FOUND);

    PtyPair pty;
    const THandle first = platform.CreateFile(pty.SlavePath());
    ASSERT_NE(first, INVALID_HANDLE_VALUE);
    ComPlatformPosix otherProcessLike;
    EXPECT_EQ(otherProcessLike.CreateFile(pty.SlavePath()), INVALID_HANDLE_VALUE);
    EXPECT_EQ(otherProcessLike.GetLastError(), ERROR_ACCESS_DENIED);
    EXPECT_TRUE(platform.CloseHandle(first));
    const THandle again = otherProcessLike.CreateFile(pty.SlavePath());
    EXPECT_NE(again, INVALID_HANDLE_VALUE) << "closing frees the device";
    otherProcessLike.CloseHandle(again);
}

TEST(PosixOpen, CallsOnAnUnknownHandleFail) {
    ComPlatformPosix platform;
    TComStat stat;
    std::uint32_t errors = 0;
    EXPECT_FALSE(platform.ClearCommError(12345, &errors, &stat));
    EXPECT_EQ(platform.GetLastError(), ERROR_INVALID_HANDLE);
    EXPECT_FALSE(platform.CloseHandle(INVALID_HANDLE_VALUE));
    EXPECT_EQ(platform.GetLastError(), ERROR_INVALID_HANDLE);
}

TEST(PosixSettings, RefusesBlocksNoLineCanTake) {
    ComPlatformPosix platform;
    PtyPair pty;
    const THandle device = platform.CreateFile(pty.SlavePath());
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    TDCB dcb;
    dcb.BaudRate = 9600;
    dcb.ByteSize = 8;
    dcb.XonChar = 17;
    dcb.XoffChar = 19;
    EXPECT_TRUE(platform.SetCommState(device, dcb));
    dcb.BaudRate = 250000;
    EXPECT_TRUE(platform.SetCommState(device, dcb)) << "rates without a termios constant";
    TDCB bad = dcb;
    bad.ByteSize = 9;
    EXPECT_FALSE(platform.SetCommState(device, bad));
    EXPECT_EQ(platform.GetLastError(), ERROR_INVALID_PARAMETER);
    bad = dcb;
    bad.fOutX = 1;
    bad.XoffChar = bad.XonChar;
    EXPECT_FALSE(platform.SetCommState(device, bad));
    EXPECT_FALSE(platform.SetupComm(device, 0, 0));
    TCommTimeouts impossible{MAXDWORD, MAXDWORD, MAXDWORD, 0, 0};
    EXPECT_FALSE(platform.SetCommTimeouts(device, impossible));
    std::uint32_t status = 0xFF;
    EXPECT_TRUE(platform.GetCommModemStatus(device, &status));
    EXPECT_EQ(status, 0u) << "a pseudo-terminal has no modem lines";
    platform.CloseHandle(device);
}

// A read that waits without a time limit, waited for on another thread, ends when the
// request is aborted or the device is closed under it.
class PendingReadTest : public ::testing::TestWithParam<bool> {};

TEST_P(PendingReadTest, EndsWhenAbortedOrClosedFromAnotherThread) {
    const bool closeDevice = GetParam();
    ComPlatformPosix platform;
    PtyPair pty;
    const THandle device = platform.CreateFile(pty.SlavePath());
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(platform.SetCommTimeouts(device, TCommTimeouts{}));
    TOverlapped overlapped;
    overlapped.hEvent = platform.CreateEvent(true, true);
    char buffer[8];
    std::uint32_t read = 0;
    ASSERT_FALSE(platform.ReadFile(device, buffer, sizeof buffer, &read, &overlapped));
    ASSERT_EQ(platform.GetLastError(), ERROR_IO_PENDING);
    std::uint32_t waitResult = WAIT_FAILED;
    bool ok = true;
    std::uint32_t error = 0;
    std::thread waiter([&] {
        waitResult = platform.WaitForSingleObject(overlapped.hEvent, INFINITE);
        ok = platform.GetOverlappedResult(device, &overlapped, &read, false);
        error = platform.GetLastError();
    });
    pty.Send("ab");
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    if (closeDevice)
        platform.CloseHandle(device);
    else
        platform.PurgeComm(device, PURGE_RXABORT);
    waiter.join();
    EXPECT_EQ(waitResult, WAIT_OBJECT_0);
    EXPECT_FALSE(ok);
    EXPECT_EQ(error, closeDevice ? ERROR_INVALID_HANDLE : ERROR_OPERATION_ABORTED);
    if (!closeDevice) {
        EXPECT_EQ(read, 2u) << "the bytes taken so far are reported";
    }
    platform.CloseHandle(overlapped.hEvent);
    if (!closeDevice)
        platform.CloseHandle(device);
}

INSTANTIATE_TEST_SUITE_P(PosixPlatform, PendingReadTest, ::testing::Bool());

// A read with a time limit ends at its limit also when it is waited for together with
// other objects, or only polled, instead of through its own event.
TEST(PosixTimeouts, ReadEndsAtItsLimitWhateverWaitsForIt) {
    ComPlatformPosix platform;
    PtyPair pty;
    const THandle device = platform.CreateFile(pty.SlavePath());
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(platform.SetCommTimeouts(device, TCommTimeouts{0, 0, 50, 0, 0}));
    TOverlapped first;
    first.hEvent = platform.CreateEvent(true, true);
    const THandle other = platform.CreateEvent(true, false);
    char buffer[8];
    std::uint32_t read = 0;
    pty.Send("x");
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    ASSERT_FALSE(platform.ReadFile(device, buffer, sizeof buffer, &read, &first));
    const THandle both[2] = {other, first.hEvent};
    EXPECT_EQ(platform.WaitForMultipleObjects(2, both, false, 5000), WAIT_OBJECT_0 + 1);
    EXPECT_TRUE(platform.GetOverlappedResult(device, &first, &read, false));
    EXPECT_EQ(read, 1u);

    TOverlapped second;
    second.hEvent = platform.CreateEvent(true, true);
    ASSERT_FALSE(platform.ReadFile(device, buffer, sizeof buffer, &read, &second));
    bool ended = false;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
    while (!ended && std::chrono::steady_clock::now() < deadline) {
        ended = platform.GetOverlappedResult(device, &second, &read, false);
        if (!ended) {
            ASSERT_EQ(platform.GetLastError(), ERROR_IO_INCOMPLETE);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    EXPECT_TRUE(ended);
    EXPECT_EQ(read, 0u);
    for (THandle h : {first.hEvent, second.hEvent, other, device})
        platform.CloseHandle(h);
}

// Reads queue behind one another; a read that returns at once does so when its turn comes,
// and a queue count that takes bytes from the driver hands them to a waiting read.
TEST(PosixReads, QueuedReadsEndWhenTheBytesOrTheirTurnCome) {
    ComPlatformPosix platform;
    PtyPair pty;
    const THandle device = platform.CreateFile(pty.SlavePath());
    ASSERT_NE(device, INVALID_HANDLE_VALUE);
    ASSERT_TRUE(platform.SetCommTimeouts(device, TCommTimeouts{}));
    TOverlapped first, second;
    first.hEvent = platform.CreateEvent(true, true);
    second.hEvent = platform.CreateEvent(true, true);
    char a[2], b[8];
    std::uint32_t read = 0;
    ASSERT_FALSE(platform.ReadFile(device, a, sizeof a, &read, &first));
    ASSERT_TRUE(platform.SetCommTimeouts(device, TCommTimeouts{MAXDWORD, 0, 0, 0, 0}));
    ASSERT_FALSE(platform.ReadFile(device, b, sizeof b, &read, &second));
    EXPECT_EQ(platform.GetLastError(), ERROR_IO_PENDING) << "it waits for its turn";
    pty.Send("xy");
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    // The count pulls the bytes from the driver; the first read must get them.
    std::uint32_t errors = 0;
    TComStat stat;
    ASSERT_TRUE(platform.ClearCommError(device, &errors, &stat));
    EXPECT_EQ(platform.WaitForSingleObject(first.hEvent, 2000), WAIT_OBJECT_0);
    EXPECT_TRUE(platform.GetOverlappedResult(device, &first, &read, false));
    EXPECT_EQ(std::string(a, read), "xy");
    EXPECT_EQ(platform.WaitForSingleObject(second.hEvent, 2000), WAIT_OBJECT_0);
    EXPECT_TRUE(platform.GetOverlappedResult(device, &second, &read, false));
    EXPECT_EQ(read, 0u);
    for (THandle h : {first.hEvent, second.hEvent, device})
        platform.CloseHandle(h);
}

} // namespace
