#include "win/ConsoleStop.h"

#ifndef NOMINMAX
#define NOMINMAX
#endif
#define WIN32_LEAN_AND_MEAN
#include <windows.h>

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <memory>
#include <stdexcept>
#include <thread>

#include "WaitFor.h"

namespace {

using namespace std::chrono_literals;

// The system's handler thread runs ConsoleStop::Deliver for each event. (Wine refuses
// GenerateConsoleCtrlEvent without a real console, so the events are delivered here as the
// handler receives them.)

// Each console event is one stop request, however often it comes, and none reaches a listener
// that is gone.
TEST(ConsoleStop, EventsAskOnceAndOnlyWhileListening) {
    for (const DWORD event : {DWORD(CTRL_C_EVENT), DWORD(CTRL_BREAK_EVENT)}) {
        std::atomic<int> stops{0};
        {
            ConsoleStop listening([&] { ++stops; });
            EXPECT_TRUE(ConsoleStop::Deliver(event));
            EXPECT_TRUE(ConsoleStop::Deliver(event));
            EXPECT_EQ(stops.load(), 1) << event;
        }
        EXPECT_FALSE(ConsoleStop::Deliver(event));
        ConsoleStop next([&] { ++stops; });
        EXPECT_FALSE(ConsoleStop::Deliver(7)); // not a console event
        EXPECT_EQ(stops.load(), 1);
        EXPECT_TRUE(ConsoleStop::Deliver(event));
        EXPECT_EQ(stops.load(), 2);
    }
}

// The system's handler is the whole process's: a second listener while one lives is refused,
// and the first still takes the events.
TEST(ConsoleStop, ASecondListenerIsRefused) {
    std::atomic<int> stops{0};
    ConsoleStop listening([&] { ++stops; });
    EXPECT_THROW({ ConsoleStop second([] {}); }, std::logic_error);
    EXPECT_TRUE(ConsoleStop::Deliver(CTRL_C_EVENT));
    EXPECT_EQ(stops.load(), 1);
}

// When the console closes or the session ends, the system ends the process as soon as the
// handler returns: it must not return before the program has closed.
TEST(ConsoleStop, EndingEventsWaitForTheClose) {
    for (const DWORD event :
         {DWORD(CTRL_CLOSE_EVENT), DWORD(CTRL_LOGOFF_EVENT), DWORD(CTRL_SHUTDOWN_EVENT)}) {
        std::atomic<int> stops{0};
        std::atomic<bool> returned{false};
        auto listening = std::make_unique<ConsoleStop>([&] { ++stops; });
        std::thread system([&] { returned = ConsoleStop::Deliver(event); });
        ASSERT_TRUE(WaitFor([&] { return stops.load() == 1; }, 20s));
        EXPECT_FALSE(returned.load());
        listening.reset(); // the program's close is done
        system.join();
        EXPECT_TRUE(returned.load()) << event;
        EXPECT_EQ(stops.load(), 1);
    }
}

} // namespace
