// The POSIX backend on a simulated UART: what a real serial line does that a
// pseudo-terminal never shows.
#include "SimulatedUart.h"
#include "ComErrorCodes.h"
#include "ComPlatform.h"
#include "posix/ComPlatformPosix.h"
#include "serial/CPort.h"

#include "HeardEvents.h"
#include "Raised.h"
#include "WaitFor.h"

#include <gtest/gtest.h>

#include <atomic>
#include <utility>

namespace {

using namespace serial;
using namespace std::chrono_literals;

class UartPort : public ::testing::Test, protected HeardEvents {
protected:
    void SetUp() override {
        port.SetPort(uart.Path());
        port.SetSyncMethod(smNone);
        port.OnError = [this](TComponent*, TComErrors e) {
            Record("Error " + std::to_string(e.ToBits()));
        };
        port.OnBreak = [this](TComponent*) { Record("Break"); };
        port.OnRing = [this](TComponent*) { Record("Ring"); };
        port.OnCTSChange = [this](TComponent*, bool on) { Record(on ? "CTS on" : "CTS off"); };
        port.OnDSRChange = [this](TComponent*, bool on) { Record(on ? "DSR on" : "DSR off"); };
    }

    SimulatedUart uart;
    ComPlatformPosix platform{uart};
    TComPort port{nullptr, &platform};
};

TEST_F(UartPort, LineErrorsReachTheUserWithTheParityCheckOff) {
    const auto frame = std::to_string(TComErrors{ceFrame}.ToBits());
    const auto overrun = std::to_string(TComErrors{ceOverrun}.ToBits());
    port.Open();
    uart.ReceiveFrameError('f');
    ASSERT_TRUE(WaitFor([&] { return HeardOf("Error " + frame); }));
    uart.Overrun();
    uart.Receive("x");
    ASSERT_TRUE(WaitFor([&] { return HeardOf("Error " + overrun); }));
    std::string text;
    EXPECT_EQ(port.ReadText(text, 10), 2);
    EXPECT_EQ(text, "fx") << "without the check the byte arrives as it came";

    // With the check on, the byte with the error is marked and replaced.
    port.Parity().SetCheck(true);
    port.Parity().SetReplace(true);
    port.Parity().SetReplaceChar('?');
    port.Close();
    port.SetEvents(TComEvents{});
    port.Open();
    uart.ReceiveParityError('p');
    ASSERT_TRUE(WaitFor([&] { return port.InputQueued() == 1; }));
    EXPECT_EQ(port.ReadText(text, 10), 1);
    EXPECT_EQ(text, "?");
    uart.ReceiveParityError('q');
    ASSERT_TRUE(WaitFor([&] { return port.TakeLineErrors().Contains(ceRxParity); }));
}

// A queue count reads the error word off the device as a side effect; the errors it read
// still reach the next error report, whichever thread counted.
TEST_F(UartPort, AnErrorReadByAQueueCountIsStillReported) {
    port.SetEvents(TComEvents{});
    port.Open();
    uart.ReceiveFrameError('f');
    ASSERT_TRUE(WaitFor([&] { return port.InputQueued() == 1; }));
    EXPECT_EQ(port.OutputQueued(), 0);
    EXPECT_TRUE(port.TakeLineErrors().Contains(ceFrame));
    EXPECT_TRUE(port.TakeLineErrors().Empty()) << "reported once";

    // Errors of an earlier session are not reported after the port is opened again.
    uart.Overrun();
    uart.Receive("x");
    ASSERT_TRUE(WaitFor([&] { return port.InputQueued() == 2; }));
    port.Close();
    port.Open();
    EXPECT_TRUE(port.TakeLineErrors().Empty());
}

// The second error comes while the first is being reported, before the event step of the
// byte that carried the first counts the queue: that count must not swallow it.
TEST_F(UartPort, AnErrorThatComesDuringAnErrorReportIsReportedNext) {
    const auto overrun = std::to_string(TComErrors{ceOverrun}.ToBits());
    port.OnError = [this, first = true](TComponent*, TComErrors e) mutable {
        Record("Error " + std::to_string(e.ToBits()));
        if (std::exchange(first, false)) {
            uart.Overrun();
            uart.Receive("x");
        }
    };
    port.Open();
    uart.ReceiveFrameError('f');
    ASSERT_TRUE(WaitFor([&] { return HeardOf("Error " + overrun); }));
}

// An error the counters show when a modem line changes is reported with the change, not
// taken silently: no data may follow to report it later.
TEST_F(UartPort, AnErrorSeenWithAModemChangeIsReported) {
    const auto overrun = std::to_string(TComErrors{ceOverrun}.ToBits());
    port.Open();
    uart.Overrun();
    uart.SetLine(TIOCM_CTS, true);
    ASSERT_TRUE(WaitFor([&] { return HeardOf("CTS on"); }));
    ASSERT_TRUE(WaitFor([&] { return HeardOf("Error " + overrun); }));
}

// A ring pulse only the counters show is not lost to a change that comes between a look at
// the lines and the next wait for a change...
TEST_F(UartPort, ARingPulseJustBeforeAModemWaitIsReported) {
    port.SetEvents(TComEvents{evRing});
    port.Open();
    uart.BeforeNextModemWait([this] { uart.RingPulse(); });
    uart.SetLine(TIOCM_CTS, true);
    ASSERT_TRUE(WaitFor([&] { return HeardOf("Ring"); }));
}

// ...nor to bytes whose arrival reads the counters first (here before the next look at the
// lines of a driver without modem waits).
TEST_F(UartPort, ARingPulseWithAByteIsReported) {
    uart.WithoutModemWaits();
    port.SetEvents(TComEvents{evRing, evRxChar});
    port.Open();
    uart.RingPulse();
    uart.Receive("x");
    ASSERT_TRUE(WaitFor([&] { return HeardOf("Ring"); }));
}

TEST_F(UartPort, ABreakIsAnEventAndNoByte) {
    port.Open();
    uart.ReceiveBreak();
    ASSERT_TRUE(WaitFor([&] { return HeardOf("Break"); }));
    EXPECT_EQ(port.InputQueued(), 0);
    uart.Receive("z");
    ASSERT_TRUE(WaitFor([&] { return port.InputQueued() == 1; }));
}

// Modem lines are seen by a wait for their change where the driver has one, otherwise by
// reading them at intervals while someone listens; a ring pulse over before anyone reads
// the line still counts.
class SimulatedUartLines : public UartPort, public ::testing::WithParamInterface<bool> {};

TEST_P(SimulatedUartLines, ModemChangesAndAShortRingPulseAreReported) {
    if (!GetParam())
        uart.WithoutModemWaits();
    uart.SetLine(TIOCM_DSR, true);
    port.Open();
    ASSERT_TRUE(WaitFor([&] { return HeardOf("DSR on"); })) << "reported on opening";
    Forget();
    uart.SetLine(TIOCM_CTS, true);
    ASSERT_TRUE(WaitFor([&] { return HeardOf("CTS on"); }));
    uart.SetLine(TIOCM_DSR, false);
    ASSERT_TRUE(WaitFor([&] { return HeardOf("DSR off"); }));
    uart.RingPulse();
    ASSERT_TRUE(WaitFor([&] { return HeardOf("Ring"); }));
    EXPECT_EQ(port.ModemSignals(), TModemSignals{msCTS});
    port.Close();
}

INSTANTIATE_TEST_SUITE_P(ModemWaits, SimulatedUartLines, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "With" : "Without"; });

TEST_F(UartPort, DsrSensitivityDropsBytesWhileDsrIsLowWithoutModemWaits) {
    uart.WithoutModemWaits();
    port.SetEvents(TComEvents{});
    port.FlowControl().SetDSRSensitivity(true);
    port.Open();
    uart.SetLine(TIOCM_DSR, true);
    std::this_thread::sleep_for(50ms);
    uart.Receive("a");
    ASSERT_TRUE(WaitFor([&] { return port.InputQueued() == 1; }));
    uart.SetLine(TIOCM_DSR, false);
    std::this_thread::sleep_for(50ms);
    uart.Receive("b");
    std::this_thread::sleep_for(20ms);
    EXPECT_EQ(port.InputQueued(), 1) << "a byte that came with DSR low is dropped";
}

// A write ends when its bytes have left the line, so a pause after it starts after them.
TEST_F(UartPort, WriteEndsWhenItsBytesHaveLeftAt9600Baud) {
    port.SetEvents(TComEvents{});
    port.Open();
    const std::string card(96, 'c');
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.WriteText(card), 96);
    const auto took = std::chrono::steady_clock::now() - start;
    // 96 bytes of ten bits at 9600 bit/s take 100 ms on the line.
    EXPECT_GE(took, 95ms);
    EXPECT_EQ(port.OutputQueued(), 0);
    EXPECT_EQ(uart.TakeSent(), card);
}

TEST_F(UartPort, WriteTimesOutOnALineHeldByCts) {
    port.SetEvents(TComEvents{});
    port.FlowControl().SetFlowControl(fcHardware);
    port.Timeouts().SetWriteTotalMultiplier(0);
    port.Timeouts().SetWriteTotalConstant(100);
    port.Open();
    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(port.WriteText(std::string(40, 'x')), 0) << "nothing could leave";
    EXPECT_GE(std::chrono::steady_clock::now() - start, 95ms);
    // What the write did not send is not sent later either.
    uart.SetLine(TIOCM_CTS, true);
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(uart.TakeSent(), "");
    EXPECT_EQ(port.WriteText("ok"), 2);
    EXPECT_EQ(uart.TakeSent(), "ok");
}

TEST_F(UartPort, APortNodeWithoutAUartIsAMissingPort) {
    uart.WithoutUart();
    const EComPort e = Raised([&] { port.Open(); });
    EXPECT_EQ(e.ErrorCode(), CError_OpenFailed);
    EXPECT_EQ(e.SystemErrorCode(), static_cast<int>(ERROR_FILE_NOT_FOUND));
    EXPECT_FALSE(uart.IsOpen());

    SimulatedUart usb("/dev/ttySIM1");
    usb.WithoutPortType();
    ComPlatformPosix usbPlatform(usb);
    TComPort adapter(nullptr, &usbPlatform);
    adapter.SetPort(usb.Path());
    adapter.Open();
    EXPECT_TRUE(adapter.Connected()) << "a working port whose driver leaves the type unset";
}

} // namespace
