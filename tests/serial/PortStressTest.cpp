// The port on pseudo-terminal pairs with the event thread running while a peer streams bytes:
// reads that complete while another thread serves the device, a port opened on a full input
// queue, handlers that close their port on the event thread, and reads queued behind others.
#include "ComErrorCodes.h"
#include "serial/CPort.h"
#include "serial/ComPlainSyncHost.h"

#include "PtyPair.h"
#include "PtyPortFixture.h"
#include "Raised.h"
#include "WaitFor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <thread>

namespace {

using namespace serial;
using namespace std::chrono_literals;

// The far end of the line sending a counting sequence of bytes, three every millisecond,
// until it is destroyed.
class StreamingPeer {
public:
    explicit StreamingPeer(PtyPair& pty) : pty_(pty), thread_([this] { Run(); }) {}
    ~StreamingPeer() {
        stop_ = true;
        thread_.join();
    }

private:
    void Run() {
        while (!stop_) {
            char bytes[3];
            for (char& b : bytes)
                b = static_cast<char>(next_++);
            std::size_t sent = 0;
            while (sent < sizeof bytes && !stop_)
                sent += pty_.Write(bytes + sent, sizeof bytes - sent);
            std::this_thread::sleep_for(1ms);
        }
    }

    PtyPair& pty_;
    std::atomic<bool> stop_{false};
    unsigned char next_ = 0;
    std::thread thread_;
};

// Checks that what a reader gets continues the peer's counting sequence.
class SequenceCheck {
public:
    void Take(const char* bytes, std::int32_t count) {
        for (std::int32_t i = 0; i < count; ++i) {
            const auto b = static_cast<unsigned char>(bytes[i]);
            if (b != expected_ && gaps_++ == 0)
                ADD_FAILURE() << "byte " << int(b) << " where " << int(expected_) << " was due";
            expected_ = static_cast<unsigned char>(b + 1);
        }
        taken_ += count;
    }
    long Taken() const { return taken_; }

private:
    unsigned char expected_ = 0;
    long taken_ = 0;
    int gaps_ = 0;
};

class PortStressTest : public PtyPortFixture {};

// A read that another thread (the device's service thread, or an event delivery asking for the
// queue count) completes while its owner waits for it: the owner must see it complete, with its
// bytes, and must not free it while the device still writes its result.
TEST_F(PortStressTest, ReadsCompletedByAnotherThreadKeepTheirBytes) {
    port.SetSyncMethod(smNone);
    port.Open();
    // Each read waits for its first byte.
    port.Timeouts().SetReadInterval(-1);
    port.Timeouts().SetReadTotalMultiplier(-1);
    port.Timeouts().SetReadTotalConstant(200);
    StreamingPeer peer(pty);
    SequenceCheck check;
    const auto end = std::chrono::steady_clock::now() + 700ms;
    while (std::chrono::steady_clock::now() < end) {
        std::string text;
        const std::int32_t got = port.ReadText(text, 64);
        check.Take(text.data(), got);
    }
    const auto asyncEnd = std::chrono::steady_clock::now() + 700ms;
    while (std::chrono::steady_clock::now() < asyncEnd) {
        char buffer[64];
        TComRequest* request = port.CreateRequest();
        port.StartRead(buffer, sizeof buffer, request);
        const std::int32_t got = port.WaitForRequest(request);
        port.FreeRequest(request);
        check.Take(buffer, got);
    }
    EXPECT_GT(check.Taken(), 0);
    port.Close();
}

// A port that a derived class makes look at its input while it opens, before the event thread
// has set the device's event mask.
class PortReadingAsItOpens : public TComPort {
public:
    using TComPort::TComPort;
    void ApplyAllSettings() override {
        TComPort::ApplyAllSettings();
        InputQueued();
    }
};

class FullQueueAtOpen : public ::testing::TestWithParam<TSyncMethod> {};

// Bytes taken into a full input queue before the event mask was set raise their event when the
// event thread starts waiting: nothing more comes in until someone reads, so no later byte would.
TEST_P(FullQueueAtOpen, RaisesTheBytesEvent) {
    PtyPair pty;
    std::string waiting(5000, 'w');
    std::size_t sent = 0;
    while (sent < waiting.size()) {
        const std::size_t n = pty.Write(waiting.data() + sent, waiting.size() - sent);
        if (n == 0)
            break;
        sent += n;
    }
    ASSERT_GT(sent, 1024u);
    ComPlainSyncHost host;
    PortReadingAsItOpens port(nullptr);
    port.SetPort(pty.SlavePath());
    port.SetSyncHost(&host);
    port.SetSyncMethod(GetParam());
    port.Buffer().SetInputSize(1024);
    std::atomic<int> heard{0};
    port.OnRxChar = [&](TComponent*, std::int32_t) { ++heard; };
    port.Open();
    EXPECT_GE(port.InputQueued(), 1024);
    EXPECT_TRUE(WaitFor([&] {
        host.RunPending();
        return heard > 0;
    }));
    port.Close();
}

INSTANTIATE_TEST_SUITE_P(EverySyncMethod, FullQueueAtOpen,
                         ::testing::Values(smThreadSync, smWindowSync, smNone));

// smNone: a handler that reads and closes its port from its first delivery, with bytes already
// waiting at Open. The event thread starts only once Open has finished, so Open itself never
// meets a port its handler closed.
TEST_F(PortStressTest, HandlerClosingOnItsFirstDeliveryDoesNotDisturbOpen) {
    port.SetSyncMethod(smNone);
    std::atomic<int> closedByHandler{0};
    port.OnRxChar = [&](TComponent*, std::int32_t count) {
        std::string text;
        port.ReadText(text, count);
        port.Close();
        ++closedByHandler;
    };
    // A slow after-open handler leaves the event thread, were it running, time to close.
    port.OnAfterOpen = [](TComponent*) { std::this_thread::sleep_for(5ms); };
    for (int round = 0; round < 10; ++round) {
        pty.Send("abc");
        const int before = closedByHandler;
        port.Open();
        ASSERT_TRUE(WaitFor([&] { return closedByHandler > before; })) << "round " << round;
        EXPECT_FALSE(port.Connected());
    }
}

// smNone: the main thread closes while a handler's Close runs on the event thread; the main
// thread's Close returns only once the port is closed.
TEST_F(PortStressTest, MainThreadCloseWaitsForAHandlersClose) {
    port.SetSyncMethod(smNone);
    const auto mainThread = std::this_thread::get_id();
    std::atomic<bool> handlerClosing{false};
    port.OnRxChar = [&](TComponent*, std::int32_t) { port.Close(); };
    port.OnBeforeClose = [&](TComponent*) {
        if (std::this_thread::get_id() == mainThread)
            return;
        handlerClosing = true;
        // Keeps the handler's Close running while the main thread closes too.
        std::this_thread::sleep_for(50ms);
    };
    for (int round = 0; round < 3; ++round) {
        handlerClosing = false;
        port.Open();
        pty.Send("x");
        ASSERT_TRUE(WaitFor([&] { return handlerClosing.load(); }));
        port.Close();
        EXPECT_FALSE(port.Connected()) << "round " << round;
    }
}

// A read queued behind another starts its time-out when its turn comes.
TEST_F(PortStressTest, AQueuedReadsTimeOutStartsAtItsTurn) {
    port.Open();
    port.Timeouts().SetReadInterval(0);
    port.Timeouts().SetReadTotalMultiplier(0);
    port.Timeouts().SetReadTotalConstant(300);
    const auto start = std::chrono::steady_clock::now();
    char first[8], second[8];
    TComRequest* a = port.CreateRequest();
    TComRequest* b = port.CreateRequest();
    port.StartRead(first, sizeof first, a);
    port.StartRead(second, sizeof second, b);
    EXPECT_EQ(port.WaitForRequest(b), 0);
    EXPECT_GE(std::chrono::steady_clock::now() - start, 600ms);
    EXPECT_EQ(port.WaitForRequest(a), 0);
    port.FreeRequest(a);
    port.FreeRequest(b);
}

} // namespace
