// Handlers that close, reopen or fail while the port closes, and an event thread that
// leaves while a wait completes: the port must neither crash, hang nor leak its device.
#include "ComErrorCodes.h"
#include "ComPlatform.h"
#include "ScriptedComPlatform.h"
#include "serial/CPort.h"
#include "serial/ComPlainSyncHost.h"

#include "Raised.h"
#include "WaitFor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <memory>
#include <thread>

namespace {

using namespace serial;
using namespace std::chrono_literals;

// A plain host that counts the calls posted to it, so that a test knows a delivery waits.
class CountingHost : public ComPlainSyncHost {
public:
    void PostToMainThread(std::function<void()> call) override {
        ++posted;
        ComPlainSyncHost::PostToMainThread(std::move(call));
    }
    std::atomic<int> posted{0};
};

class PortFaultsTest : public ::testing::TestWithParam<TSyncMethod> {
protected:
    void SetUp() override {
        platform.AddDevice("COM1");
        platform.AddDevice("COM2");
        port = std::make_unique<TComPort>(nullptr, &platform);
        port->SetSyncHost(&host);
        port->SetSyncMethod(GetParam());
        port->SetEvents(TComEvents{evRxChar});
        rxChars = 0;
        rings = 0;
    }
    void OpenAndWait() {
        port->Open();
        ASSERT_TRUE(WaitFor([&] { return platform.WaitPending(); }));
    }
    // Raises a line event and waits until its delivery is handed to the main thread.
    void DeliveryWaitsForTheMainThread(std::uint32_t event) {
        const int before = host.posted;
        platform.RaiseEvents(event);
        ASSERT_TRUE(WaitFor([&] { return host.posted > before; }));
    }
    // Serves the main thread until the condition holds; an smNone port needs no serving.
    bool Until(const std::function<bool()>& done) {
        if (GetParam() == smNone)
            return WaitFor(done);
        return host.RunUntil(done, 5s);
    }

    ScriptedComPlatform platform;
    CountingHost host;
    std::unique_ptr<TComPort> port;
    std::atomic<int> rxChars{0};
    std::atomic<int> rings{0};
};

class MainThreadDeliveries : public PortFaultsTest {};

// The main thread closes (or destroys) the port while a delivery waits for it; serving
// that delivery runs a handler that closes the same port again.
TEST_P(MainThreadDeliveries, CloseReenteredByAHandlerWhileClosing) {
    for (const bool destroy : {false, true}) {
        SetUp();
        TComPort* self = port.get();
        port->SetEvents(TComEvents{evRing});
        port->OnRing = [&, self](TComponent*) {
            ++rings;
            self->Close();
        };
        OpenAndWait();
        DeliveryWaitsForTheMainThread(EV_RING);
        if (destroy)
            port.reset();
        else
            port->Close();
        EXPECT_EQ(rings, 1);
        EXPECT_FALSE(platform.IsOpen("COM1"));
        if (port) {
            EXPECT_FALSE(port->Connected());
        }
        host.RunPending();
    }
}

INSTANTIATE_TEST_SUITE_P(SyncMethods, MainThreadDeliveries,
                         ::testing::Values(smThreadSync, smWindowSync));

// A handler moves its own port to another device from inside a delivery, by SetPort (which
// closes and opens) or by Close, SetPort and Open itself; the port goes on delivering from the
// new device.
TEST_P(PortFaultsTest, HandlerReopensItsPortOnAnotherDevice) {
    for (const bool byHand : {false, true}) {
        SCOPED_TRACE(byHand ? "Close, SetPort, Open" : "SetPort");
        SetUp();
        std::atomic<bool> moved{false};
        port->OnRxChar = [&](TComponent*, std::int32_t) {
            if (++rxChars != 1)
                return;
            if (byHand) {
                port->Close();
                port->SetPort("COM2");
                port->Open();
            } else {
                port->SetPort("COM2");
            }
            moved = true;
        };
        OpenAndWait();
        platform.FeedInput("a");
        platform.RaiseEvents(EV_RXCHAR);
        ASSERT_TRUE(Until([&] { return moved.load(); }));
        EXPECT_TRUE(port->Connected());
        EXPECT_TRUE(platform.IsOpen("COM2"));
        EXPECT_FALSE(platform.IsOpen("COM1"));
        ASSERT_TRUE(WaitFor([&] { return platform.WaitPending(); }));
        platform.FeedInput("b");
        platform.RaiseEvents(EV_RXCHAR);
        ASSERT_TRUE(Until([&] { return rxChars == 2; }));
        port->Close();
        EXPECT_FALSE(platform.IsOpen("COM2"));
        port.reset();
    }
}

// The driver takes the event thread's wait block just as the port closes and writes it
// a while later: the thread must not leave (and its block must not die) before that.
TEST_P(PortFaultsTest, CloseWaitsForAWaitCompletionInFlight) {
    port->OnRxChar = [&](TComponent*, std::int32_t) { ++rxChars; };
    OpenAndWait();
    platform.DelayCompletions(150ms);
    std::thread driver([&] { platform.RaiseEvents(EV_RXCHAR); });
    ASSERT_TRUE(WaitFor([&] { return platform.CompletionsInFlight() == 1; }));
    port->Close();
    EXPECT_EQ(platform.CompletionsInFlight(), 0) << "the thread left before its wait ended";
    driver.join();
    EXPECT_FALSE(port->Connected());
}

// Destroying a port whose Close raises still stops its event thread and releases the
// device; the error goes to the report.
TEST_P(PortFaultsTest, DestructionReleasesEverythingWhenCloseRaises) {
    for (const bool handlerFails : {true, false}) {
        SetUp();
        port->OnRxChar = [&](TComponent*, std::int32_t) { ++rxChars; };
        if (handlerFails)
            port->OnBeforeClose = [](TComponent*) { throw std::runtime_error("handler failed"); };
        OpenAndWait();
        if (!handlerFails)
            platform.FailCall("PurgeComm", ERROR_GEN_FAILURE);
        const auto reported = host.Reported().size();
        port.reset();
        platform.CallSucceeds("PurgeComm");
        EXPECT_EQ(host.Reported().size(), reported + 1);
        EXPECT_FALSE(platform.IsOpen("COM1"));
        EXPECT_EQ(platform.CommMask(), 0u) << "the event thread was not stopped";
        TComPort again(nullptr, &platform);
        again.SetEvents(TComEvents{});
        EXPECT_NO_THROW(again.Open());
    }
}

// Creating the event thread fails: the port is not left open half-way.
TEST_P(PortFaultsTest, FailedEventThreadCreationLeavesThePortClosed) {
    platform.FailCall("CreateEvent", ERROR_NOT_ENOUGH_MEMORY);
    const EComPort e = Raised([&] { port->Open(); });
    platform.CallSucceeds("CreateEvent");
    EXPECT_EQ(e.ErrorCode(), CError_OpenFailed);
    EXPECT_EQ(e.SystemErrorCode(), static_cast<int>(ERROR_NOT_ENOUGH_MEMORY));
    EXPECT_FALSE(port->Connected());
    EXPECT_FALSE(platform.IsOpen("COM1"));
    port->Open();
    EXPECT_TRUE(port->Connected());
}

INSTANTIATE_TEST_SUITE_P(SyncMethods, PortFaultsTest,
                         ::testing::Values(smThreadSync, smWindowSync, smNone));

// Deliveries made on the event thread itself call the port's virtual Emit methods: one that
// comes while the port is being destroyed (here while its close runs the before-close handler)
// must find the port whole. The thread sanitizer sees the vtable change under it otherwise.
class EventThreadDeliveries : public PortFaultsTest {};

TEST_P(EventThreadDeliveries, ADeliveryDuringDestructionFindsThePortWhole) {
    port->OnRxChar = [&](TComponent*, std::int32_t) { ++rxChars; };
    port->OnBeforeClose = [&](TComponent*) { WaitFor([&] { return rxChars.load() == 1; }); };
    OpenAndWait();
    // The line's byte comes from a thread of its own, with nothing ordering it against the
    // destruction.
    std::thread line([&] {
        std::this_thread::sleep_for(20ms);
        platform.FeedInput("a");
        platform.RaiseEvents(EV_RXCHAR);
    });
    port.reset();
    line.join();
    EXPECT_EQ(rxChars, 1);
}

INSTANTIATE_TEST_SUITE_P(SyncMethods, EventThreadDeliveries, ::testing::Values(smNone));

} // namespace
