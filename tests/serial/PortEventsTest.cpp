#include "serial/CPort.h"
#include "serial/ComPlainSyncHost.h"
#include "serial/scripted/ScriptedComPlatform.h"

#include "HeardEvents.h"
#include "WaitFor.h"

#include <gtest/gtest.h>

#include <atomic>

namespace {

using namespace serial;

using namespace std::chrono_literals;

constexpr std::uint32_t allEvents = EV_RXCHAR | EV_RXFLAG | EV_TXEMPTY | EV_CTS | EV_DSR | EV_RLSD |
                                    EV_BREAK | EV_ERR | EV_RING | EV_RX80FULL;

class EventsTest : public ::testing::Test, protected HeardEvents {
protected:
    void SetUp() override {
        platform.AddDevice("COM1");
        port.SetSyncHost(&host);
    }
    void RecordEveryEvent() {
        port.OnRxChar = [this](TComponent*, std::int32_t n) {
            Record("RxChar " + std::to_string(n));
        };
        port.OnRxBuf = [this](TComponent*, const void* b, std::int32_t n) {
            Record("RxBuf " + std::string(static_cast<const char*>(b), n));
        };
        port.OnTxEmpty = [this](TComponent*) { Record("TxEmpty"); };
        port.OnRxFlag = [this](TComponent*) { Record("RxFlag"); };
        port.OnRing = [this](TComponent*) { Record("Ring"); };
        port.OnBreak = [this](TComponent*) { Record("Break"); };
        port.OnCTSChange = [this](TComponent*, bool on) { Record(on ? "CTS on" : "CTS off"); };
        port.OnDSRChange = [this](TComponent*, bool on) { Record(on ? "DSR on" : "DSR off"); };
        port.OnRLSDChange = [this](TComponent*, bool on) { Record(on ? "RLSD on" : "RLSD off"); };
        port.OnError = [this](TComponent*, TComErrors e) {
            Record("Error " + std::to_string(e.ToBits()));
        };
        port.OnRx80Full = [this](TComponent*) { Record("Rx80Full"); };
    }
    void OpenAndClear() {
        port.Open();
        ASSERT_TRUE(WaitFor([&] { return platform.WaitPending(); }));
        Forget();
    }

    ScriptedComPlatform platform;
    ComPlainSyncHost host;
    TComPort port{nullptr, &platform};
};

TEST_F(EventsTest, OneBatchIsDeliveredInTheFixedOrder) {
    port.SetSyncMethod(smNone);
    RecordEveryEvent();
    OpenAndClear();
    platform.FeedInput("abc");
    platform.SetLineErrors(CE_FRAME);
    platform.SetModemStatus(MS_DSR_ON);
    platform.RaiseEvents(allEvents);
    ASSERT_TRUE(WaitFor([&] { return HeardCount() == 10; }));
    EXPECT_EQ(Heard(),
              (std::vector<std::string>{"Error 1", "RxChar 3", "TxEmpty", "Break", "Ring",
                                        "CTS off", "DSR on", "RxFlag", "RLSD off", "Rx80Full"}));
    EXPECT_EQ(port.InputQueued(), 3) << "counting mode leaves the bytes queued";
}

TEST_F(EventsTest, NothingToReportCallsNoHandler) {
    port.SetSyncMethod(smNone);
    RecordEveryEvent();
    OpenAndClear();
    platform.RaiseEvents(EV_ERR | EV_RXCHAR);
    platform.RaiseEvents(EV_TXEMPTY);
    ASSERT_TRUE(WaitFor([&] { return HeardCount() == 1; }));
    EXPECT_EQ(Heard(), (std::vector<std::string>{"TxEmpty"}));
}

TEST_F(EventsTest, ReadOutModeHandsTheBytesOverOnce) {
    port.SetSyncMethod(smNone);
    port.SetRxCountMode(false);
    RecordEveryEvent();
    OpenAndClear();
    platform.FeedInput(std::string("q\0r", 3));
    platform.RaiseEvents(EV_RXCHAR);
    ASSERT_TRUE(WaitFor([&] { return HeardCount() == 1; }));
    EXPECT_EQ(Heard(), (std::vector<std::string>{std::string("RxBuf q\0r", 9)}));
    EXPECT_EQ(port.InputQueued(), 0);
}

TEST_F(EventsTest, ThreadSyncDeliversOnTheMainThreadOnly) {
    std::atomic<bool> onMain{false};
    const auto mainThread = std::this_thread::get_id();
    port.OnRxChar = [&](TComponent*, std::int32_t) {
        onMain = std::this_thread::get_id() == mainThread;
        Record("RxChar");
    };
    OpenAndClear();
    platform.FeedInput("z");
    platform.RaiseEvents(EV_RXCHAR);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(HeardCount(), 0u) << "nothing runs until the main thread serves the host";
    ASSERT_TRUE(host.RunUntil([&] { return HeardCount() == 1; }, 5s));
    EXPECT_TRUE(onMain);
    port.Close();
}

TEST_F(EventsTest, CloseServesAQueuedDeliveryInsteadOfDeadlocking) {
    RecordEveryEvent();
    OpenAndClear();
    platform.FeedInput("z");
    platform.RaiseEvents(EV_RXCHAR);
    // Give the event thread time to queue its call; the host is never served.
    std::this_thread::sleep_for(20ms);
    port.Close();
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(Heard(), (std::vector<std::string>{"CTS off", "DSR off", "RLSD off", "RxChar 1"}));
    // Calls the host still holds find nothing to do.
    host.RunPending();
}

TEST_F(EventsTest, HandlerErrorEndsTheThreadButThePortStaysUsable) {
    port.SetSyncMethod(smNone);
    port.OnTxEmpty = [this](TComponent*) {
        Record("TxEmpty");
        throw std::runtime_error("handler failed");
    };
    port.OnRing = [this](TComponent*) { Record("Ring"); };
    OpenAndClear();
    platform.RaiseEvents(EV_TXEMPTY | EV_RING);
    ASSERT_TRUE(WaitFor([&] { return !platform.WaitPending() && HeardCount() == 1; }));
    std::this_thread::sleep_for(20ms);
    platform.RaiseEvents(EV_RING);
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(Heard(), (std::vector<std::string>{"TxEmpty"}));
    EXPECT_TRUE(port.Connected());
    EXPECT_EQ(port.WriteText("ok"), 2);
    port.Close();
    EXPECT_FALSE(port.Connected());
}

TEST_F(EventsTest, WindowSyncReportsAHandlerErrorAndGoesOn) {
    port.SetSyncMethod(smWindowSync);
    port.OnTxEmpty = [this](TComponent*) {
        Record("TxEmpty");
        throw std::runtime_error("handler failed");
    };
    port.OnRing = [this](TComponent*) { Record("Ring"); };
    OpenAndClear();
    EXPECT_TRUE(port.HasNotifyWindow());
    platform.RaiseEvents(EV_TXEMPTY | EV_RING);
    ASSERT_TRUE(host.RunUntil([&] { return HeardCount() == 2; }, 5s));
    platform.RaiseEvents(EV_RING);
    ASSERT_TRUE(host.RunUntil([&] { return HeardCount() == 3; }, 5s));
    EXPECT_EQ(Heard(), (std::vector<std::string>{"TxEmpty", "Ring", "Ring"}));
    EXPECT_EQ(host.Reported(), (std::vector<std::string>{"handler failed"}));
    port.Close();
    EXPECT_FALSE(port.HasNotifyWindow());
}

// A handler that closes its own port: the thread delivering to it cannot be waited for
// there, yet the port closes, the rest of the batch is dropped and the port opens again.
class CloseInHandlerTest : public EventsTest, public ::testing::WithParamInterface<TSyncMethod> {};

TEST_P(CloseInHandlerTest, HandlerClosesItsOwnPort) {
    port.SetSyncMethod(GetParam());
    port.OnRxChar = [this](TComponent*, std::int32_t) {
        Record("RxChar");
        port.Close();
        Record("closed");
    };
    port.OnTxEmpty = [this](TComponent*) { Record("TxEmpty"); };
    OpenAndClear();
    platform.FeedInput("a");
    platform.RaiseEvents(EV_RXCHAR | EV_TXEMPTY);
    auto closed = [&] {
        const auto got = Heard();
        return !got.empty() && got.back() == "closed";
    };
    if (GetParam() == smNone)
        ASSERT_TRUE(WaitFor(closed));
    else
        ASSERT_TRUE(host.RunUntil(closed, 5s));
    // A message already sent is still served while the port closes.
    const std::vector<std::string> expected =
        GetParam() == smWindowSync ? std::vector<std::string>{"RxChar", "TxEmpty", "closed"}
                                   : std::vector<std::string>{"RxChar", "closed"};
    EXPECT_EQ(Heard(), expected);
    EXPECT_FALSE(port.Connected());
    port.OnRxChar = nullptr;
    port.Open();
    EXPECT_TRUE(port.Connected());
    port.Close();
}

INSTANTIATE_TEST_SUITE_P(SyncMethods, CloseInHandlerTest,
                         ::testing::Values(smThreadSync, smWindowSync, smNone));

TEST_F(EventsTest, BufferLinkForcesTheReadOutInCountingMode) {
    port.SetSyncMethod(smNone);
    RecordEveryEvent();
    PortLink link;
    link.RxBufSlot = [this](TComponent*, const void* b, std::int32_t n) {
        Record("link " + std::string(static_cast<const char*>(b), n));
    };
    link.RxActivitySlot = [this](TComponent*, bool on) { Record(on ? "active" : "idle"); };
    port.RegisterLink(&link);
    EXPECT_TRUE(port.HasBufferLink());
    OpenAndClear();
    platform.FeedInput("hi");
    platform.RaiseEvents(EV_RXCHAR);
    ASSERT_TRUE(WaitFor([&] { return HeardCount() == 4; }));
    EXPECT_EQ(Heard(), (std::vector<std::string>{"active", "idle", "RxBuf hi", "link hi"}));
    EXPECT_THROW(port.UnregisterLink(&link), EComPort) << "not while the thread delivers alone";
    port.Close();
    port.UnregisterLink(&link);
    EXPECT_FALSE(port.HasBufferLink());
}

TEST_F(EventsTest, OpenAndCloseReportTheModemSignals) {
    RecordEveryEvent();
    port.SetEvents(TComEvents{});
    port.OnAfterOpen = [this](TComponent*) { Record("AfterOpen"); };
    port.OnBeforeClose = [this](TComponent*) { Record("BeforeClose"); };
    platform.SetModemStatus(MS_CTS_ON | MS_RLSD_ON);
    port.Open();
    port.Close();
    EXPECT_EQ(Heard(), (std::vector<std::string>{"AfterOpen", "CTS on", "DSR off", "RLSD on",
                                                 "CTS off", "DSR off", "RLSD off", "BeforeClose"}));
}

} // namespace
