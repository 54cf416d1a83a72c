#include "ComErrorCodes.h"
#include "ScriptedComPlatform.h"
#include "serial/CPort.h"
#include "serial/ComPlainSyncHost.h"

#include "HeardEvents.h"
#include "Raised.h"
#include "WaitFor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <tuple>

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
    // A TxEmpty handler that fails after it is heard, and a Ring handler that is only heard.
    void FailingTxEmptyAndRing() {
        port.OnTxEmpty = [this](TComponent*) {
            Record("TxEmpty");
            throw std::runtime_error("handler failed");
        };
        port.OnRing = [this](TComponent*) { Record("Ring"); };
    }
    void OpenAndClear() {
        port.Open();
        ASSERT_TRUE(WaitFor([&] { return platform.WaitPending(); }));
        Forget();
    }
    // Serves the main thread until the condition holds, also one that no delivery makes true
    // (the event thread waiting again).
    bool Until(const std::function<bool()>& done) {
        return WaitFor([&] {
            host.RunPending();
            return done();
        });
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
    FailingTxEmptyAndRing();
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
    FailingTxEmptyAndRing();
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

// A driver that keeps no modem status (a virtual port, some USB adapters, wine on a
// pseudo-terminal) refuses to read the lines with one of these codes. Such a port opens and
// goes on delivering its other events; a line it cannot read is told to no one, and only an
// explicit request for the lines fails.
struct HeldLink {
    PortLink link; // as a base, it outlives the port that may still tell it of a close
};
class NoModemStatusTest
    : protected HeldLink,
      public EventsTest,
      public ::testing::WithParamInterface<std::tuple<TSyncMethod, std::uint32_t>> {};

TEST_P(NoModemStatusTest, ThePortOpensAndTellsNoLineItCannotRead) {
    const auto [sync, code] = GetParam();
    port.SetSyncMethod(sync);
    RecordEveryEvent();
    port.OnAfterOpen = [this](TComponent*) { Record("AfterOpen"); };
    port.OnBeforeClose = [this](TComponent*) { Record("BeforeClose"); };
    link.CTSSlot = [this](TComponent*, bool on) { Record(on ? "link CTS on" : "link CTS off"); };
    link.ConnectSlot = [this](TComponent*, bool on) { Record(on ? "connect" : "disconnect"); };
    port.RegisterLink(&link);
    platform.FailCall("GetCommModemStatus", code);

    ASSERT_NO_THROW(port.Open());
    EXPECT_TRUE(port.Connected());
    EXPECT_TRUE(port.WatchThreadRunning());
    EXPECT_EQ(Heard(), (std::vector<std::string>{"connect", "AfterOpen"}));
    const EComPort asked = Raised([&] { port.ModemSignals(); });
    EXPECT_EQ(asked.ErrorCode(), 11);
    EXPECT_EQ(asked.SystemErrorCode(), static_cast<std::int32_t>(code));
    ASSERT_TRUE(WaitFor([&] { return platform.WaitPending(); }));
    Forget();

    // Line changes in a batch with a byte: the byte is told, the lines are not, and the
    // event thread goes on to the next batch.
    platform.FeedInput("a");
    platform.RaiseEvents(EV_CTS | EV_DSR | EV_RLSD | EV_RXCHAR);
    // With smWindowSync each event is a message of its own: the thread waits again only once
    // the main thread has taken the line changes' messages too.
    ASSERT_TRUE(Until([&] { return platform.WaitPending(); }));
    platform.RaiseEvents(EV_RING);
    ASSERT_TRUE(Until([&] { return HeardCount() == 2; }));
    EXPECT_EQ(Heard(), (std::vector<std::string>{"RxChar 1", "Ring"}));
    EXPECT_TRUE(host.Reported().empty());

    // A driver that reads its lines again has them told again.
    platform.CallSucceeds("GetCommModemStatus");
    platform.SetModemStatus(MS_CTS_ON);
    ASSERT_TRUE(Until([&] { return platform.WaitPending(); }));
    platform.RaiseEvents(EV_CTS);
    ASSERT_TRUE(Until([&] { return HeardCount() == 4; }));
    EXPECT_EQ(Heard(), (std::vector<std::string>{"RxChar 1", "Ring", "link CTS on", "CTS on"}));
    Forget();

    // Closing tells every line off, as it always does.
    port.Close();
    EXPECT_EQ(Heard(), (std::vector<std::string>{"link CTS off", "CTS off", "DSR off", "RLSD off",
                                                 "BeforeClose", "disconnect"}));
}

INSTANTIATE_TEST_SUITE_P(DriverCodes, NoModemStatusTest,
                         ::testing::Combine(::testing::Values(smThreadSync, smWindowSync, smNone),
                                            ::testing::Values(ERROR_INVALID_FUNCTION,
                                                              ERROR_NOT_SUPPORTED)));

// Any other failure to read the lines is a port that does not work, and fails as before: Open
// raises (leaving the port open, as any failing after-open delivery does), and so does a
// line-change delivery.
TEST_F(EventsTest, OtherModemStatusFailuresStillFail) {
    for (const std::uint32_t code :
         {ERROR_GEN_FAILURE, ERROR_DEVICE_NOT_CONNECTED, ERROR_INVALID_PARAMETER}) {
        SCOPED_TRACE(code);
        platform.FailCall("GetCommModemStatus", code);
        const EComPort e = Raised([&] { port.Open(); });
        EXPECT_EQ(e.ErrorCode(), 11);
        EXPECT_EQ(e.SystemErrorCode(), static_cast<std::int32_t>(code));
        port.Close();
        platform.CallSucceeds("GetCommModemStatus");
    }
    port.SetSyncMethod(smWindowSync);
    OpenAndClear();
    platform.FailCall("GetCommModemStatus", ERROR_GEN_FAILURE);
    platform.RaiseEvents(EV_CTS);
    ASSERT_TRUE(host.RunUntil([&] { return !host.Reported().empty(); }, 5s));
    EXPECT_EQ(host.Reported(), (std::vector<std::string>{
                                   "GetCommModemStatus function failed (win error code: 31)"}));
    port.Close();
}

} // namespace
