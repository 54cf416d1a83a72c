#include "ComErrorCodes.h"
#include "serial/CPort.h"
#include "serial/ComPlainSyncHost.h"

#include "HeardEvents.h"
#include "PtyPair.h"
#include "PtyPortFixture.h"
#include "Raised.h"
#include "WaitFor.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <fcntl.h>
#include <sys/ioctl.h>
#include <thread>
#include <unistd.h>

namespace {

using namespace serial;

using namespace std::chrono_literals;

class PtyPortTest : public PtyPortFixture, protected HeardEvents {};

std::string EveryByte() {
    std::string bytes;
    for (int i = 0; i < 256; ++i)
        bytes += static_cast<char>(i);
    return bytes;
}

TEST_F(PtyPortTest, EveryByteValueTravelsBothWays) {
    port.Open();
    const std::string bytes = EveryByte() + EveryByte();
    EXPECT_EQ(port.WriteText(bytes), static_cast<int>(bytes.size()));
    EXPECT_EQ(pty.Receive(bytes.size()), bytes);

    pty.Send(bytes);
    ASSERT_TRUE(WaitFor([&] { return port.InputQueued() == static_cast<int>(bytes.size()); }));
    std::string text;
    EXPECT_EQ(port.ReadText(text, 100), 100);
    EXPECT_EQ(port.InputQueued(), static_cast<int>(bytes.size()) - 100);
    std::string rest;
    EXPECT_EQ(port.ReadText(rest, 1000), static_cast<int>(bytes.size()) - 100);
    EXPECT_EQ(text + rest, bytes);
    EXPECT_EQ(port.ReadText(text, 10), 0) << "nothing queued: the read ends at once";
    EXPECT_EQ(port.OutputQueued(), 0);
    EXPECT_TRUE(port.ModemSignals().Empty());
}

TEST_F(PtyPortTest, ReadTimeoutsEndReadsShort) {
    port.Open();
    port.Timeouts().SetReadInterval(0);
    port.Timeouts().SetReadTotalConstant(100);
    pty.Send("abc");
    std::string text;
    EXPECT_EQ(port.ReadText(text, 10), 3);
    EXPECT_EQ(text, "abc");

    // Wait for the first byte, then return what came.
    port.Timeouts().SetReadInterval(-1);
    port.Timeouts().SetReadTotalMultiplier(-1);
    port.Timeouts().SetReadTotalConstant(5000);
    std::thread sender([&] {
        std::this_thread::sleep_for(30ms);
        pty.Send("xy");
    });
    const int got = port.ReadText(text, 10);
    sender.join();
    EXPECT_GE(got, 1);
    EXPECT_EQ(text, std::string("xy").substr(0, static_cast<std::size_t>(got)));
}

TEST_F(PtyPortTest, WriteTheLineCannotTakeEndsShortUnderFlowControl) {
    port.FlowControl().SetFlowControl(fcSoftware);
    port.Timeouts().SetWriteTotalMultiplier(0);
    port.Timeouts().SetWriteTotalConstant(150);
    port.Open();
    pty.Send("\x13");
    ASSERT_TRUE(WaitFor([&] { return port.InputQueued() == 0; }));
    std::this_thread::sleep_for(20ms);
    EXPECT_LT(port.WriteText(std::string(64, 'x')), 64);
    pty.Receive(64, 50ms);
    pty.Send("\x11");
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(port.WriteText("ok"), 2);
    EXPECT_EQ(pty.Receive(2), "ok");
}

TEST_F(PtyPortTest, AbortEndsAPendingRead) {
    port.Open();
    port.Timeouts().SetReadInterval(0);
    TComRequest* request = port.CreateRequest();
    char buffer[16];
    EXPECT_EQ(port.StartRead(buffer, sizeof buffer, request), 0);
    std::this_thread::sleep_for(10ms);
    port.AbortAllRequests();
    EComPort e = Raised([&] { port.WaitForRequest(request); });
    EXPECT_EQ(e.ErrorCode(), 3);
    EXPECT_EQ(e.SystemErrorCode(), static_cast<int>(ERROR_OPERATION_ABORTED));
    port.FreeRequest(request);
}

TEST_F(PtyPortTest, OpenRefusals) {
    port.Open();
    TComPort second(nullptr);
    second.SetPort(pty.SlavePath());
    EComPort busy = Raised([&] { second.Open(); });
    EXPECT_STREQ(busy.what(), "Unable to open com port (win error code: 5)");
    second.SetPort("/dev/plinova-missing");
    EXPECT_EQ(Raised([&] { second.Open(); }).SystemErrorCode(), 2);
    second.SetPort(std::string(300, 'C'));
    EXPECT_EQ(Raised([&] { second.Open(); }).ErrorCode(), 1);
    EXPECT_FALSE(second.Connected());
}

// The device is the port's alone while it is open and free again once it is closed. The
// terminal's exclusive mode outlives the port's descriptor on a pseudo-terminal whose far end
// is still there, and only the superuser passes it: left on, it kept out the next opener, the
// same port's next open included.
TEST_F(PtyPortTest, AClosedPortLeavesItsDeviceToTheNextOpener) {
    // 1 while the device is exclusive (an open refused as busy says so too), 0 when it is not.
    auto exclusive = [&] {
        const int fd = open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0)
            return errno == EBUSY ? 1 : -1;
        int on = -1;
        if (ioctl(fd, TIOCGEXCL, &on) != 0)
            on = -1;
        close(fd);
        return on;
    };
    port.Open();
    EXPECT_EQ(exclusive(), 1);
    port.Close();
    EXPECT_EQ(exclusive(), 0);
    port.Open();
    EXPECT_TRUE(port.Connected());
}

TEST_F(PtyPortTest, AFrameThePseudoTerminalCannotRunIsRefused) {
    port.SetBaudRate(br14400);
    port.Open();
    EComPort e = Raised([&] { port.SetDataBits(dbSeven); });
    EXPECT_EQ(e.ErrorCode(), 7);
    EXPECT_EQ(e.SystemErrorCode(), static_cast<int>(ERROR_INVALID_PARAMETER));
    port.Close();
    EXPECT_EQ(Raised([&] { port.Open(); }).ErrorCode(), 7);
    EXPECT_FALSE(port.Connected());
}

TEST_F(PtyPortTest, ReceivedBytesWakeTheThreadOnlyWhenNew) {
    std::atomic<int> deliveries{0};
    port.OnRxChar = [&](TComponent*, std::int32_t n) {
        ++deliveries;
        Record("RxChar " + std::to_string(n));
    };
    port.Open();
    pty.Send("abc");
    ASSERT_TRUE(host.RunUntil([&] { return deliveries >= 1; }, 5s));
    // The bytes stay queued; serving the host for a while brings no further delivery.
    host.RunUntil([] { return false; }, 100ms);
    EXPECT_EQ(Heard(), (std::vector<std::string>{"RxChar 3"}));
    pty.Send("d");
    ASSERT_TRUE(host.RunUntil([&] { return deliveries >= 2; }, 5s));
    EXPECT_EQ(Heard().back(), "RxChar 4");
    EXPECT_EQ(port.InputQueued(), 4);
    port.Close();
}

TEST_F(PtyPortTest, ReadOutModeAndEventCharacterInOneBatch) {
    port.SetRxCountMode(false);
    port.SetEventChar('\r');
    port.SetEvents(TComEvents{evRxChar, evRxFlag});
    port.OnRxBuf = [&](TComponent*, const void* b, std::int32_t n) {
        Record("RxBuf " + std::string(static_cast<const char*>(b), static_cast<std::size_t>(n)));
    };
    port.OnRxChar = [&](TComponent*, std::int32_t) { Record("RxChar"); };
    port.OnRxFlag = [&](TComponent*) { Record("RxFlag"); };
    port.Open();
    pty.Send("ok\r");
    ASSERT_TRUE(host.RunUntil([&] { return Heard().size() >= 2; }, 5s));
    EXPECT_EQ(Heard(), (std::vector<std::string>{"RxBuf ok\r", "RxFlag"}));
    EXPECT_EQ(port.InputQueued(), 0);
}

TEST_F(PtyPortTest, TransmitDrainAndQueueMark) {
    port.Buffer().SetInputSize(10);
    port.SetEvents(TComEvents{evTxEmpty, evRx80Full});
    port.OnTxEmpty = [&](TComponent*) { Record("TxEmpty"); };
    port.OnRx80Full = [&](TComponent*) { Record("Rx80Full"); };
    port.Open();
    port.WriteText("status");
    ASSERT_TRUE(host.RunUntil([&] { return !Heard().empty(); }, 5s));
    EXPECT_EQ(Heard(), (std::vector<std::string>{"TxEmpty"}));
    pty.Send("123456789");
    ASSERT_TRUE(host.RunUntil([&] { return Heard().size() >= 2; }, 5s));
    EXPECT_EQ(Heard().back(), "Rx80Full");
    // The queue holds what SetupComm allows; the rest waits in the driver and is counted.
    pty.Send("abcdef");
    ASSERT_TRUE(WaitFor([&] { return port.InputQueued() == 15; }));
    std::string text;
    EXPECT_EQ(port.ReadText(text, 100), 15);
    EXPECT_EQ(text, "123456789abcdef");
}

TEST_F(PtyPortTest, CloseWhileADeliveryWaitsForTheMainThread) {
    port.OnRxChar = [&](TComponent*, std::int32_t n) { Record("RxChar " + std::to_string(n)); };
    port.Open();
    pty.Send("zz");
    ASSERT_TRUE(WaitFor([&] { return port.InputQueued() == 2; }));
    std::this_thread::sleep_for(20ms);
    port.Close();
    EXPECT_FALSE(port.Connected());
    EXPECT_EQ(Heard(), (std::vector<std::string>{"RxChar 2"}));
    // Closing discarded what was still queued.
    port.Open();
    EXPECT_EQ(port.InputQueued(), 0);
}

TEST_F(PtyPortTest, OpenAndCloseWhileTheLineIsBusy) {
    std::atomic<int> deliveries{0};
    port.OnRxChar = [&](TComponent*, std::int32_t) { ++deliveries; };
    port.OnTxEmpty = [&](TComponent*) { ++deliveries; };
    std::atomic<bool> sending{true};
    std::thread sender([&] {
        while (sending) {
            pty.Send("ping");
            pty.Receive(4, 1ms);
            std::this_thread::sleep_for(1ms);
        }
    });
    for (int round = 0; round < 5; ++round) {
        port.Open();
        port.WriteText("pong");
        host.RunUntil([] { return false; }, 20ms);
        port.Close();
        EXPECT_FALSE(port.Connected());
    }
    sending = false;
    sender.join();
    EXPECT_GT(deliveries.load(), 0);
}

TEST_F(PtyPortTest, FarEndGoingAwayKeepsReceivedBytesThenFails) {
    port.SetSyncMethod(smNone);
    std::atomic<bool> ioError{false};
    port.OnError = [&](TComponent*, TComErrors e) { ioError = e.Contains(ceIO); };
    port.Open();
    pty.Send("zz");
    ASSERT_TRUE(WaitFor([&] { return port.InputQueued() == 2; }));
    pty.CloseMaster();
    ASSERT_TRUE(WaitFor([&] { return ioError.load(); }));
    std::string text;
    EXPECT_EQ(port.ReadText(text, 10), 2);
    EXPECT_EQ(text, "zz");
    EXPECT_EQ(Raised([&] { port.ReadText(text, 10); }).SystemErrorCode(),
              static_cast<int>(ERROR_DEVICE_NOT_CONNECTED));
    EXPECT_EQ(Raised([&] { port.WriteText("x"); }).ErrorCode(), 2);
    port.Close();
    EXPECT_FALSE(port.Connected());
}

} // namespace
