// SIGTERM and SIGINT are the whole process's: one window takes them at a time, and once it no
// longer does, the process handles them as it did before.
#include <QWidget>
#include <csignal>
#include <gtest/gtest.h>
#include <stdexcept>
#include <unistd.h>

#include "CloseOnSignal.h"
#include "EventLoopWait.h"

namespace {

using namespace std::chrono_literals;

void Unused(int) {}

TEST(CloseOnSignal, OneWindowAtATimeAndTheEarlierHandlingBackAfterIt) {
    struct sigaction own {};
    own.sa_handler = Unused;
    sigemptyset(&own.sa_mask);
    struct sigaction ignore {};
    ignore.sa_handler = SIG_IGN;
    sigemptyset(&ignore.sa_mask);
    struct sigaction savedTerm {};
    struct sigaction savedInt {};
    ASSERT_EQ(sigaction(SIGTERM, &own, &savedTerm), 0);
    ASSERT_EQ(sigaction(SIGINT, &ignore, &savedInt), 0);

    QWidget window;
    window.show();
    {
        CloseOnSignal closer(&window);
        QWidget other;
        EXPECT_THROW(CloseOnSignal second(&other), std::logic_error);
        // The refused one took nothing from the first.
        ::kill(::getpid(), SIGTERM);
        EXPECT_TRUE(WaitUntil([&] { return !window.isVisible(); }, 10s));
    }
    struct sigaction term {};
    struct sigaction interrupt {};
    sigaction(SIGTERM, nullptr, &term);
    sigaction(SIGINT, nullptr, &interrupt);
    EXPECT_EQ(term.sa_handler, Unused);
    EXPECT_EQ(interrupt.sa_handler, SIG_IGN);

    // Another window takes them again.
    window.show();
    {
        CloseOnSignal closer(&window);
        ::kill(::getpid(), SIGINT);
        EXPECT_TRUE(WaitUntil([&] { return !window.isVisible(); }, 10s));
    }

    sigaction(SIGTERM, &savedTerm, nullptr);
    sigaction(SIGINT, &savedInt, nullptr);
}

} // namespace
