// The Windows serial platform on a real port: COM5, which the test's far end
// (plinova_com_far_end) maps onto a pseudo-terminal under wine. The far end records every
// byte it receives in the file named by PLINOVA_FAR_END_RECORD and answers each status
// request with one byte. Where wine's serial layer differs from Windows', a case expects
// wine's behaviour only under wine.
#include "Raised.h"
#include "WaitFor.h"

#include "ComErrorCodes.h"
#include "ComPlatform.h"
#include "serial/CPort.h"
#include "serial/ComPlainSyncHost.h"
#include "serial/DevicePath.h"
#include "win/Kernel32.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

namespace {

const std::string kStatusRequest("\x10\x04\x05", 3);
const std::string kStatusReply("\x12", 1);
// The printer's initialisation sequence: zero bytes and bytes above 127 among its commands.
const std::string kInitialisation = std::string("\x10\x04\x01\x1B\x3D\x01\x1D\x61\x27", 9) +
                                    std::string("\x1B\x52\x00\x1B\x74\x10\x1B\x63\x34\x10", 10) +
                                    std::string("\x1B\x55\x00\x1B\x74\x02\xE7\xFF", 8);

// What the far end has received so far, read through wine's drive for the Unix root.
std::string FarEndReceived() {
    const char* record = std::getenv("PLINOVA_FAR_END_RECORD");
    if (record == nullptr)
        return {};
    std::string path = std::string("Z:") + record;
    for (char& c : path)
        if (c == '/')
            c = '\\';
    std::ifstream in(path, std::ios::binary);
    std::ostringstream bytes;
    bytes << in.rdbuf();
    return bytes.str();
}

TEST(WinDeviceNames, PortNumbersNameTheDeviceTheSystemOpens) {
    EXPECT_EQ(serial::DevicePathFor(5), "\\\\.\\COM5");
    EXPECT_EQ(serial::DevicePathFor(12), "\\\\.\\COM12");
    EXPECT_EQ(serial::DevicePathFor(0), "");
}

class WinComPort : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::getenv("PLINOVA_FAR_END_RECORD") == nullptr)
            GTEST_SKIP() << "no far end: run under plinova_com_far_end";
        port.SetPort("COM5");
        port.FlowControl().SetFlowControl(fcHardware);
        port.FlowControl().SetControlRTS(rtsHandshake);
        // No event thread: none of these cases listens for line events, and wine ends a
        // line-event wait at once on a pseudo-terminal (README, "Windows").
        port.SetEvents({});
    }

    // Opens the port. Its last step reports the modem lines; wine reads none on a
    // pseudo-terminal (ERROR_NOT_SUPPORTED, 50), nor do some Windows drivers, and the port
    // opens all the same.
    void OpenPort() {
        ASSERT_NO_THROW(port.Open());
        ASSERT_TRUE(port.Connected());
    }

    // Sends a status request and reads the one-byte reply, as the card dialogue does: the
    // read comes only once the input count shows the byte.
    std::string AskStatus() {
        port.WriteText(kStatusRequest);
        if (!WaitFor([&] { return port.InputQueued() > 0; }))
            return "(no reply)";
        std::string reply;
        port.ReadText(reply, 1);
        return reply;
    }

    ComPlainSyncHost host;
    TComPort port{nullptr};
};

TEST_F(WinComPort, OpensWithTheLineSettingsAndReadsThemBack) {
    OpenPort();
    const serial::TDCB sent = port.BuildDeviceControlBlock();
    serial::TDCB line;
    ASSERT_TRUE(serial::kernel32::GetLineState(port.DeviceHandle(), line));
    EXPECT_EQ(line.BaudRate, 9600u);
    EXPECT_EQ(line.ByteSize, 8);
    EXPECT_EQ(line.Parity, serial::NOPARITY);
    EXPECT_EQ(line.StopBits, serial::ONESTOPBIT);
    EXPECT_EQ(line.fBinary, 1u);
    EXPECT_EQ(line.fOutxCtsFlow, 1u);
    EXPECT_EQ(line.fOutX, 0u);
    EXPECT_EQ(line.fInX, 0u);
    EXPECT_EQ(sent.fRtsControl, serial::RTS_CONTROL_HANDSHAKE);
    // Wine keeps RTS/CTS handshaking on the line but reads RTS back as merely enabled.
    EXPECT_EQ(line.fRtsControl, serial::kernel32::RunningUnderWine()
                                    ? serial::RTS_CONTROL_ENABLE
                                    : serial::RTS_CONTROL_HANDSHAKE);
}

TEST_F(WinComPort, BytesReachTheFarEndAndItsReplyIsRead) {
    OpenPort();
    EXPECT_EQ(port.WriteText(kInitialisation), static_cast<std::int32_t>(kInitialisation.size()));
    EXPECT_TRUE(WaitFor([] { return FarEndReceived().size() >= kInitialisation.size(); }));
    EXPECT_EQ(FarEndReceived(), kInitialisation);
    // The sequence begins with a status request of its own.
    ASSERT_TRUE(WaitFor([&] { return port.InputQueued() == 1; }));
    std::string reply;
    EXPECT_EQ(port.ReadText(reply, 1), 1);
    EXPECT_EQ(reply, kStatusReply);
    EXPECT_EQ(AskStatus(), kStatusReply);
    EXPECT_EQ(port.InputQueued(), 0);
    EXPECT_EQ(port.OutputQueued(), 0);
}

TEST_F(WinComPort, PurgeDropsWhatWasReceived) {
    OpenPort();
    port.WriteText(kStatusRequest + kStatusRequest);
    ASSERT_TRUE(WaitFor([&] { return port.InputQueued() == 2; }));
    ASSERT_TRUE(port.Platform().PurgeComm(port.DeviceHandle(),
                                          serial::PURGE_RXCLEAR | serial::PURGE_RXABORT));
    EXPECT_EQ(port.InputQueued(), 0);
    EXPECT_EQ(AskStatus(), kStatusReply);
}

TEST_F(WinComPort, ClosesAndOpensAgain) {
    for (int round = 0; round < 3; ++round) {
        OpenPort();
        EXPECT_EQ(AskStatus(), kStatusReply) << "round " << round;
        port.Close();
        EXPECT_FALSE(port.Connected());
    }
}

// The spooler's port in full: every event watched, delivered on the main thread. Opening
// tells the lines the driver reads: all three on Windows, none under wine.
TEST_F(WinComPort, OpensWithTheSpoolersSettingsAndTellsTheLinesTheDriverReads) {
    port.SetSyncHost(&host);
    port.SetEvents(AllComEvents);
    std::vector<std::string> told;
    port.OnCTSChange = [&](TComponent*, bool) { told.push_back("CTS"); };
    port.OnDSRChange = [&](TComponent*, bool) { told.push_back("DSR"); };
    port.OnRLSDChange = [&](TComponent*, bool) { told.push_back("RLSD"); };
    OpenPort();
    EXPECT_TRUE(port.WatchThreadRunning());
    const std::vector<std::string> lines{"CTS", "DSR", "RLSD"};
    EXPECT_EQ(told, serial::kernel32::RunningUnderWine() ? std::vector<std::string>() : lines);
    EXPECT_EQ(AskStatus(), kStatusReply);
    port.Close();
    EXPECT_FALSE(port.WatchThreadRunning());
}

TEST_F(WinComPort, AMissingPortFailsToOpenWithTheSystemsCode) {
    port.SetPort("COM200");
    const EComPort e = Raised([&] { port.Open(); });
    EXPECT_EQ(e.ErrorCode(), 1);
    EXPECT_EQ(e.SystemErrorCode(), 2);
    EXPECT_FALSE(port.Connected());
}

// The event thread's wait: on Windows it ends when the reply arrives, with EV_RXCHAR; on a
// pseudo-terminal wine ends it at once, aborted (ERROR_OPERATION_ABORTED, 995).
TEST_F(WinComPort, ALineEventWaitEndsWithTheReplyOnWindowsAndAbortedUnderWine) {
    OpenPort();
    serial::ComPlatform& system = port.Platform();
    const serial::THandle device = port.DeviceHandle();
    ASSERT_TRUE(system.SetCommMask(device, serial::EV_RXCHAR));
    serial::TOverlapped overlapped;
    overlapped.hEvent = system.CreateEvent(true, false);
    std::uint32_t mask = 0;
    const bool done = system.WaitCommEvent(device, &mask, &overlapped);
    ASSERT_TRUE(done || system.GetLastError() == serial::ERROR_IO_PENDING);
    if (!done)
        port.WriteText(kStatusRequest);
    EXPECT_EQ(system.WaitForSingleObject(overlapped.hEvent, 5000), serial::WAIT_OBJECT_0);
    std::uint32_t count = 0;
    const bool ok = system.GetOverlappedResult(device, &overlapped, &count, true);
    if (serial::kernel32::RunningUnderWine()) {
        EXPECT_FALSE(ok);
        EXPECT_EQ(system.GetLastError(), serial::ERROR_OPERATION_ABORTED);
    } else {
        EXPECT_TRUE(ok);
        EXPECT_EQ(mask, serial::EV_RXCHAR);
    }
    system.SetCommMask(device, 0);
    system.CloseHandle(overlapped.hEvent);
}

TEST_F(WinComPort, ModemLinesReadOnWindowsAndFailUnderWine) {
    OpenPort();
    if (serial::kernel32::RunningUnderWine())
        EXPECT_EQ(Raised([&] { port.ModemSignals(); }).SystemErrorCode(), 50);
    else
        EXPECT_NO_THROW(port.ModemSignals());
}

} // namespace
