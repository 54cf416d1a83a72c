#include "ComErrorCodes.h"
#include "ScriptedComPlatform.h"

#include <gtest/gtest.h>

#include <thread>

namespace {

using namespace serial;

TEST(ComEvents, WaitsReportTheFirstSignalledObject) {
    ScriptedComPlatform platform;
    const THandle manual = platform.CreateEvent(true, false);
    const THandle automatic = platform.CreateEvent(false, true);
    const THandle both[2] = {manual, automatic};
    EXPECT_EQ(platform.WaitForMultipleObjects(2, both, false, 0), WAIT_OBJECT_0 + 1);
    EXPECT_EQ(platform.WaitForMultipleObjects(2, both, false, 10), WAIT_TIMEOUT)
        << "an automatic event is taken by the wait that saw it";
    platform.SetEvent(manual);
    platform.SetEvent(automatic);
    EXPECT_EQ(platform.WaitForMultipleObjects(2, both, false, INFINITE), WAIT_OBJECT_0);
    EXPECT_EQ(platform.WaitForSingleObject(manual, 0), WAIT_OBJECT_0) << "a manual one stays set";
    platform.ResetEvent(manual);
    EXPECT_EQ(platform.WaitForSingleObject(manual, 0), WAIT_TIMEOUT);
    EXPECT_EQ(platform.WaitForSingleObject(12345, 0), WAIT_FAILED);
    EXPECT_EQ(platform.GetLastError(), ERROR_INVALID_HANDLE);
    platform.CloseHandle(manual);
    platform.CloseHandle(automatic);
}

TEST(ComEvents, AWaiterWakesForItsEventOrWhenTheEventIsClosed) {
    ScriptedComPlatform platform;
    const THandle first = platform.CreateEvent(true, false);
    const THandle second = platform.CreateEvent(true, false);
    std::uint32_t result = 0;
    std::thread waiter([&] { result = platform.WaitForSingleObject(second, INFINITE); });
    platform.SetEvent(first);
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    platform.SetEvent(second);
    waiter.join();
    EXPECT_EQ(result, WAIT_OBJECT_0);

    const THandle doomed = platform.CreateEvent(true, false);
    std::thread orphan([&] { result = platform.WaitForSingleObject(doomed, INFINITE); });
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
    platform.CloseHandle(doomed);
    orphan.join();
    EXPECT_EQ(result, WAIT_FAILED);
    platform.CloseHandle(first);
    platform.CloseHandle(second);
}

} // namespace
