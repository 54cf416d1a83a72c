#include "ScriptedComPlatform.h"
#include "serial/CPort.h"

#include "FileRegistry.h"
#include "platform/ProfileFile.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <filesystem>
#include <fstream>

namespace {

using namespace serial;

namespace fs = std::filesystem;

// Expects every getter to read the same from a and b, one check each; a failure names the
// group and the getter's place in the list.
template <typename Group, typename... Getters>
void ExpectSame(const char* group, const Group& a, const Group& b, Getters... getters) {
    int place = 0;
    const auto expect = [&](auto getter) {
        ++place;
        EXPECT_EQ((a.*getter)(), (b.*getter)()) << group << ", getter " << place;
    };
    (expect(getters), ...);
}

class StorageTest : public ::testing::Test {
protected:
    void SetUp() override {
        dir =
            fs::temp_directory_path() /
            ("serial-storage-" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()) +
             "-" + ::testing::UnitTest::GetInstance()->current_test_info()->name());
        fs::create_directories(dir);
        platform.AddDevice("COM3");
        port.SetName("cpcert");
    }
    void TearDown() override { fs::remove_all(dir); }
    std::string File(const char* name) const { return (dir / name).string(); }
    std::string ReadAll(const std::string& path) const {
        std::ifstream in(path);
        std::string text(std::istreambuf_iterator<char>(in), {});
        std::erase(text, '\r');
        return text;
    }
    void ChangeEverything(TCustomComPort& p) {
        p.SetPort("COM3");
        p.SetBaudRate(brCustom);
        p.SetCustomBaudRate(31250);
        p.SetStopBits(sbTwoStopBits);
        p.SetDataBits(dbSeven);
        p.SetEventChar('\r');
        p.SetDiscardNull(true);
        TComParity& parity = p.Parity();
        parity.SetBits(prSpace);
        parity.SetCheck(true);
        parity.SetReplace(true);
        parity.SetReplaceChar('#');
        TComFlowControl& flow = p.FlowControl();
        flow.SetFlowControl(fcHardware);
        flow.SetControlDTR(dtrHandshake);
        flow.SetDSRSensitivity(true);
        flow.SetOutDSRFlow(true);
        flow.SetTxContinueOnXoff(true);
        flow.SetXonChar('A');
        flow.SetXoffChar(static_cast<char>(200));
        p.Buffer().SetInputSize(4096);
        p.Buffer().SetOutputSize(512);
        TComTimeouts& timeouts = p.Timeouts();
        timeouts.SetReadInterval(10);
        timeouts.SetReadTotalConstant(20);
        timeouts.SetReadTotalMultiplier(30);
        timeouts.SetWriteTotalConstant(40);
        timeouts.SetWriteTotalMultiplier(50);
    }
    // Every setting the storage groups cover, getter by getter.
    void ExpectSameSettings(const TCustomComPort& a, const TCustomComPort& b) {
        using P = TCustomComPort;
        ExpectSame("port", a, b, &P::Port, &P::BaudRate, &P::CustomBaudRate, &P::StopBits,
                   &P::DataBits, &P::EventChar, &P::DiscardNull);
        using R = TComParity;
        ExpectSame("parity", a.Parity(), b.Parity(), &R::Bits, &R::Check, &R::Replace,
                   &R::ReplaceChar);
        using F = TComFlowControl;
        ExpectSame("flow control", a.FlowControl(), b.FlowControl(), &F::ControlRTS, &F::ControlDTR,
                   &F::OutCTSFlow, &F::OutDSRFlow, &F::DSRSensitivity, &F::TxContinueOnXoff,
                   &F::XonXoffIn, &F::XonXoffOut, &F::XonChar, &F::XoffChar);
        ExpectSame("buffer", a.Buffer(), b.Buffer(), &TComBuffer::InputSize,
                   &TComBuffer::OutputSize);
        using T = TComTimeouts;
        ExpectSame("timeouts", a.Timeouts(), b.Timeouts(), &T::ReadInterval, &T::ReadTotalConstant,
                   &T::ReadTotalMultiplier, &T::WriteTotalConstant, &T::WriteTotalMultiplier);
    }

    fs::path dir;
    ScriptedComPlatform platform;
    TComPort port{nullptr, &platform};
};

const TStoredGroups allGroups{sgBasic, sgFlowControl, sgBuffer, sgTimeouts, sgParity, sgOthers};

TEST_F(StorageTest, DefaultGroupWritesTheBasicKeysOnly) {
    platform::ProfileFile profile(File("port.ini"));
    port.StoreToProfile(profile);
    EXPECT_EQ(ReadAll(File("port.ini")), "[cpcert]\nPort=COM1\nBaudRate=9600\nStopBits=1\n"
                                         "DataBits=8\nParity=None\nFlowControl=None\n");
    platform::FileRegistry registry(File("store.reg"));
    ASSERT_TRUE(registry.OpenKey("Software\\Plinova\\Port", true));
    port.SetBaudRate(brCustom);
    port.StoreToRegistry(registry);
    EXPECT_EQ(registry.ReadString("BaudRate"), "Custom");
    EXPECT_EQ(registry.ReadInteger("CustomBaudRate"), 9600);
    EXPECT_FALSE(registry.ValueExists("EventChar"));
}

TEST_F(StorageTest, ProfileRoundTripOfEveryGroup) {
    ChangeEverything(port);
    port.SetStoredGroups(allGroups);
    platform::ProfileFile profile(File("port.ini"));
    port.StoreToProfile(profile);
    EXPECT_EQ(profile.ReadString("cpcert", "FlowControl.XonChar", ""), "A");
    EXPECT_EQ(profile.ReadString("cpcert", "FlowControl.XoffChar", ""), "#200");
    EXPECT_EQ(profile.ReadString("cpcert", "EventChar", ""), "#13");

    TComPort loaded(nullptr, &platform);
    loaded.SetName("cpcert");
    loaded.SetStoredGroups(allGroups);
    loaded.LoadFromProfile(profile);
    ExpectSameSettings(port, loaded);
}

TEST_F(StorageTest, RegistryRoundTripOfEveryGroup) {
    ChangeEverything(port);
    port.SetStoredGroups(allGroups);
    {
        platform::FileRegistry registry(File("store.reg"));
        ASSERT_TRUE(registry.OpenKey("Software\\Plinova\\Port", true));
        port.StoreToRegistry(registry);
        EXPECT_EQ(registry.GetDataType("Buffer.InputSize"), platform::RegDataType::Integer);
        EXPECT_EQ(registry.GetDataType("Parity.Check"), platform::RegDataType::String);
    }
    platform::FileRegistry reopened(File("store.reg"));
    ASSERT_TRUE(reopened.OpenKey("Software\\Plinova\\Port", false));
    TComPort loaded(nullptr, &platform);
    loaded.SetStoredGroups(allGroups);
    loaded.LoadFromRegistry(reopened);
    ExpectSameSettings(port, loaded);
}

TEST_F(StorageTest, MissingProfileKeysKeepTheCurrentSettings) {
    platform::WriteProfileString(File("port.ini"), "cpcert", "BaudRate", "19200");
    platform::WriteProfileString(File("port.ini"), "cpcert", "FlowControl.XonXoffIn", "yes");
    platform::WriteProfileString(File("port.ini"), "cpcert", "Buffer.InputSize", "lots");
    platform::WriteProfileString(File("port.ini"), "cpcert", "Buffer.OutputSize", "4294967295");
    port.FlowControl().SetOutDSRFlow(true);
    port.Buffer().SetInputSize(2048);
    port.SetStoredGroups(allGroups);
    platform::ProfileFile profile(File("port.ini"));
    port.LoadFromProfile(profile);
    EXPECT_EQ(port.BaudRate(), br19200);
    EXPECT_TRUE(port.FlowControl().XonXoffIn());
    EXPECT_TRUE(port.FlowControl().OutDSRFlow());
    EXPECT_EQ(port.Port(), "COM1");
    EXPECT_EQ(port.Buffer().InputSize(), 2048);
    EXPECT_EQ(port.Buffer().OutputSize(), 1024) << "a number outside 32 bits is no number";
}

TEST_F(StorageTest, RegistryLoadStopsAtTheFirstBadValue) {
    platform::FileRegistry registry(File("store.reg"));
    ASSERT_TRUE(registry.OpenKey("Port", true));
    registry.WriteString("Port", "COM3");
    registry.WriteString("BaudRate", "custom");
    registry.WriteString("CustomBaudRate", "fast");
    try {
        port.LoadFromRegistry(registry);
        FAIL() << "no error raised";
    } catch (const platform::RegistryError& e) {
        EXPECT_STREQ(e.what(), "Invalid data type for 'CustomBaudRate'");
    }
    EXPECT_EQ(port.Port(), "COM3");
    EXPECT_EQ(port.BaudRate(), brCustom);
    EXPECT_EQ(port.StopBits(), sbOneStopBit);

    registry.DeleteValue("CustomBaudRate");
    try {
        port.LoadFromRegistry(registry);
        FAIL() << "no error raised";
    } catch (const platform::RegistryError& e) {
        EXPECT_STREQ(e.what(), "Failed to get data for 'CustomBaudRate'");
    }
}

TEST_F(StorageTest, RegistryTextsMissingGiveTheFallbacks) {
    platform::FileRegistry registry(File("store.reg"));
    ASSERT_TRUE(registry.OpenKey("Empty", true));
    port.SetBaudRate(br300);
    port.SetStoredGroups(TStoredGroups{sgBasic, sgOthers});
    port.SetEventChar('x');
    port.LoadFromRegistry(registry);
    EXPECT_EQ(port.Port(), "");
    EXPECT_EQ(port.BaudRate(), br9600);
    EXPECT_EQ(port.FlowControl().FlowControl(), fcNone);
    EXPECT_EQ(port.EventChar(), 0);
}

TEST_F(StorageTest, LoadingANewPortNameReopensAnOpenPort) {
    port.SetEvents(TComEvents{});
    platform.AddDevice("COM1");
    port.Open();
    platform::WriteProfileString(File("port.ini"), "cpcert", "Port", "COM3");
    platform::ProfileFile profile(File("port.ini"));
    port.LoadFromProfile(profile);
    EXPECT_TRUE(port.Connected());
    EXPECT_TRUE(platform.IsOpen("COM3"));
    EXPECT_FALSE(platform.IsOpen("COM1"));
}

} // namespace
