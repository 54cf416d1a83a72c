#include "Raised.h"
#include "ScriptedComPlatform.h"
#include "serial/CPort.h"
#include "serial/ComPlainSyncHost.h"

#include "WaitFor.h"

#include <gtest/gtest.h>

namespace {

using namespace serial;

class LifecycleTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform.AddDevice("COM1");
        platform.AddDevice("com1");
        port.SetSyncHost(&host);
        port.SetEvents(TComEvents{});
        auto record = [this](const char* what) {
            return [this, what](TComponent*) { order.push_back(what); };
        };
        port.OnBeforeOpen = record("BeforeOpen");
        port.OnAfterOpen = record("AfterOpen");
        port.OnBeforeClose = record("BeforeClose");
        port.OnAfterClose = record("AfterClose");
        port.OnCTSChange = [this](TComponent*, bool on) {
            order.push_back(on ? "CTS on" : "CTS off");
        };
    }
    ScriptedComPlatform platform;
    ComPlainSyncHost host;
    std::vector<std::string> order;
    TComPort port{nullptr, &platform};
};

TEST_F(LifecycleTest, FreshComponent) {
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.Port(), "COM1");
    EXPECT_EQ(port.BaudRate(), br9600);
    EXPECT_EQ(port.DataBits(), dbEight);
    EXPECT_EQ(port.StopBits(), sbOneStopBit);
    EXPECT_EQ(port.Parity().Bits(), prNone);
    EXPECT_EQ(port.SyncMethod(), smThreadSync);
    EXPECT_EQ(port.DeviceHandle(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(TComPort(nullptr, &platform).Events(), AllComEvents);
    EXPECT_EQ(port.StoredGroups(), TStoredGroups{sgBasic});
    EXPECT_TRUE(port.RxCountMode());
}

TEST_F(LifecycleTest, OpenAppliesEverythingInOrderAndCloseUndoesIt) {
    platform.SetModemStatus(MS_CTS_ON);
    port.Open();
    EXPECT_TRUE(port.Connected());
    EXPECT_FALSE(port.WatchThreadRunning());
    port.Open();
    port.Close();
    port.Close();
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(port.DeviceHandle(), INVALID_HANDLE_VALUE);
    EXPECT_EQ(
        platform.Calls(),
        (std::vector<std::string>{"CreateFile(COM1)", "SetupComm(1024,1024)", "SetCommState(9600)",
                                  "SetCommTimeouts", "GetCommModemStatus", "GetCommModemStatus",
                                  "GetCommModemStatus", "PurgeComm(3)", "CloseHandle(device)"}));
    EXPECT_EQ(order, (std::vector<std::string>{"BeforeOpen", "AfterOpen", "CTS on", "CTS off",
                                               "BeforeClose", "AfterClose"}));
}

TEST_F(LifecycleTest, MissingOrBusyDeviceLeavesThePortClosed) {
    port.SetPort("COM7");
    const EComPort e = Raised([&] { port.Open(); });
    EXPECT_EQ(e.ErrorCode(), 1);
    EXPECT_STREQ(e.what(), "Unable to open com port (win error code: 2)");
    EXPECT_FALSE(port.Connected());
    TComPort other(nullptr, &platform);
    other.SetEvents(TComEvents{});
    other.Open();
    port.SetPort("COM1");
    EXPECT_EQ(Raised([&] { port.Open(); }).SystemErrorCode(), 5);
    EXPECT_EQ(order, (std::vector<std::string>{"BeforeOpen", "BeforeOpen"}));
}

TEST_F(LifecycleTest, RefusedSettingsCloseTheDeviceAgain) {
    platform.FailCall("SetCommTimeouts", 87);
    EXPECT_EQ(Raised([&] { port.Open(); }).ErrorCode(), 8);
    EXPECT_FALSE(port.Connected());
    EXPECT_FALSE(platform.IsOpen("COM1"));
    EXPECT_EQ(port.DeviceHandle(), INVALID_HANDLE_VALUE);
}

TEST_F(LifecycleTest, FailedAbortKeepsThePortOpen) {
    port.Open();
    platform.FailCall("PurgeComm", 6);
    EXPECT_EQ(Raised([&] { port.Close(); }).ErrorCode(), 5);
    EXPECT_TRUE(port.Connected());
    platform.CallSucceeds("PurgeComm");
}

TEST_F(LifecycleTest, ChangingPortReopensEvenForACaseChange) {
    port.Open();
    platform.ClearCalls();
    port.SetPort("COM1");
    EXPECT_TRUE(platform.Calls().empty());
    port.SetPort("com1");
    EXPECT_TRUE(port.Connected());
    EXPECT_TRUE(platform.IsOpen("com1"));
    EXPECT_FALSE(platform.IsOpen("COM1"));
}

TEST_F(LifecycleTest, ConnectedWrittenWhileLoadingOpensAtTheEndOfLoading) {
    port.BeginLoading();
    port.SetConnected(true);
    EXPECT_TRUE(platform.Calls().empty());
    port.Loaded();
    EXPECT_TRUE(port.Connected());
    EXPECT_TRUE(platform.IsOpen("COM1"));
    port.SetConnected(false);
    EXPECT_FALSE(port.Connected());
}

TEST_F(LifecycleTest, FailureAtTheEndOfLoadingIsReportedNotRaised) {
    port.SetPort("COM9");
    port.BeginLoading();
    port.SetConnected(true);
    EXPECT_NO_THROW(port.Loaded());
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(host.Reported(),
              (std::vector<std::string>{"Unable to open com port (win error code: 2)"}));
}

TEST_F(LifecycleTest, DesignModeNeverOpens) {
    port.SetDesigning(true);
    port.Open();
    EXPECT_FALSE(port.Connected());
    EXPECT_TRUE(platform.Calls().empty());
}

TEST_F(LifecycleTest, DestroyingAnOpenPortClosesItAndTellsTheHandlers) {
    {
        TComPort owner(nullptr, &platform);
        auto* owned = new TComPort(&owner, &platform);
        owned->SetEvents(TComEvents{});
        owned->OnAfterClose = [this](TComponent*) { order.push_back("owned closed"); };
        owned->Open();
    }
    EXPECT_EQ(order, (std::vector<std::string>{"owned closed"}));
    EXPECT_FALSE(platform.IsOpen("COM1"));
}

TEST_F(LifecycleTest, EventThreadArmsTheMaskAndIsStoppedByClose) {
    port.SetEvents(TComEvents{evRxChar, evCTS});
    port.Open();
    EXPECT_TRUE(port.WatchThreadRunning());
    EXPECT_EQ(platform.CommMask(), EV_RXCHAR | EV_CTS);
    ASSERT_TRUE(WaitFor([&] { return platform.WaitPending(); }));
    port.Close();
    EXPECT_FALSE(port.WatchThreadRunning());
    const auto calls = platform.Calls();
    // The thread clears the mask and discards both queues before the device closes.
    const std::vector<std::string> tail(calls.end() - 4, calls.end());
    EXPECT_EQ(tail, (std::vector<std::string>{"PurgeComm(3)", "SetCommMask(0)", "PurgeComm(12)",
                                              "CloseHandle(device)"}));
}

} // namespace
