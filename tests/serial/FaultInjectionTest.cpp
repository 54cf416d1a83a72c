// Every call the port makes fails in turn, once: each failure surfaces as the operation's
// own error, leaves nothing open or running, and the port opens again afterwards. Runs on
// the scripted platform and, through the system-call interface, on a simulated UART.
#include "ComErrorCodes.h"
#include "ComPlatform.h"
#include "ScriptedComPlatform.h"
#include "SimulatedUart.h"
#include "posix/ComPlatformPosix.h"
#include "serial/CPort.h"
#include "serial/ComPlainSyncHost.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <map>
#include <memory>
#include <set>

namespace {

using namespace serial;

// A platform whose calls can be made to fail, with the far end of its line.
struct Rig {
    virtual ~Rig() = default;
    virtual ComPlatform& Platform() = 0;
    virtual CallFault& Faults() = 0;
    virtual std::string Port() = 0;
    virtual bool DeviceOpen() = 0;
    virtual void Send(const std::string& bytes) = 0;
    virtual std::uint32_t Error() = 0;
};

struct ScriptedRig : Rig {
    ScriptedRig() { platform.AddDevice("COM1"); }
    ComPlatform& Platform() override { return platform; }
    CallFault& Faults() override { return platform.Faults(); }
    std::string Port() override { return "COM1"; }
    bool DeviceOpen() override { return platform.IsOpen("COM1"); }
    void Send(const std::string& bytes) override { platform.FeedInput(bytes); }
    std::uint32_t Error() override { return ERROR_GEN_FAILURE; }
    ScriptedComPlatform platform;
};

struct UartRig : Rig {
    ComPlatform& Platform() override { return platform; }
    CallFault& Faults() override { return uart.Faults(); }
    std::string Port() override { return uart.Path(); }
    bool DeviceOpen() override { return uart.IsOpen(); }
    void Send(const std::string& bytes) override { uart.Receive(bytes); }
    std::uint32_t Error() override { return EIO; }
    SimulatedUart uart;
    ComPlatformPosix platform{uart};
};

class FaultInjection : public ::testing::TestWithParam<bool> {};

TEST_P(FaultInjection, EveryCallOfOpenWriteReadAndCloseFailsInTurn) {
    std::unique_ptr<Rig> rig;
    if (GetParam())
        rig = std::make_unique<UartRig>();
    else
        rig = std::make_unique<ScriptedRig>();
    ComPlainSyncHost host;
    TComPort port(nullptr, &rig->Platform());
    port.SetSyncHost(&host);
    port.SetPort(rig->Port());
    const std::map<std::string, std::set<int>> codes = {
        {"Open",
         {CError_OpenFailed, CError_SetStateFailed, CError_TimeoutsFailed, CError_SetupComFailed,
          CError_ModemStatFailed}},
        {"WriteText", {CError_WriteFailed}},
        {"ReadText", {CError_ReadFailed}},
        {"Close", {CError_PurgeFailed}}};
    // Calls of the scripted platform whose failure names the error exactly.
    const std::map<std::string, int> exact = {
        {"CreateFile", CError_OpenFailed},       {"SetupComm", CError_SetupComFailed},
        {"SetCommState", CError_SetStateFailed}, {"SetCommTimeouts", CError_TimeoutsFailed},
        {"WriteFile", CError_WriteFailed},       {"ReadFile", CError_ReadFailed}};
    int n = 1;
    for (;; ++n) {
        SCOPED_TRACE("call " + std::to_string(n));
        std::string stage;
        int code = 0;
        int systemCode = 0;
        rig->Faults().Arm(n, rig->Error());
        try {
            stage = "Open";
            port.Open();
            rig->Send("r");
            stage = "WriteText";
            port.WriteText("ab");
            stage = "ReadText";
            std::string text;
            port.ReadText(text, 1);
            stage = "Close";
            port.Close();
            stage.clear();
        } catch (const EComPort& e) {
            code = e.ErrorCode();
            systemCode = e.SystemErrorCode();
        }
        rig->Faults().Disarm();
        const std::string failed = rig->Faults().Failed();
        if (failed.empty()) {
            EXPECT_TRUE(stage.empty()) << "nothing failed, yet " << stage << " raised " << code;
            break;
        }
        SCOPED_TRACE(failed + " failed in " + stage);
        if (code != 0) {
            EXPECT_TRUE(codes.at(stage).count(code)) << "code " << code;
            if (!GetParam()) {
                if (exact.count(failed)) {
                    EXPECT_EQ(code, exact.at(failed));
                }
                EXPECT_EQ(systemCode, static_cast<int>(rig->Error()));
            }
        }
        if (port.Connected()) {
            EXPECT_NO_THROW(port.Close());
        }
        EXPECT_FALSE(port.Connected());
        EXPECT_FALSE(port.WatchThreadRunning());
        EXPECT_FALSE(rig->DeviceOpen()) << "left open";
        EXPECT_NO_THROW(port.Open()) << "does not open again";
        EXPECT_NO_THROW(port.Close());
        EXPECT_FALSE(rig->DeviceOpen());
        if (::testing::Test::HasFailure())
            break;
    }
    EXPECT_GT(n, 15) << "the sequence makes that many calls at least";
}

INSTANTIATE_TEST_SUITE_P(Platforms, FaultInjection, ::testing::Bool(),
                         [](const auto& info) { return info.param ? "Uart" : "Scripted"; });

} // namespace
