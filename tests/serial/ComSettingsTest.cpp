#include "Raised.h"
#include "ScriptedComPlatform.h"
#include "serial/CPort.h"

#include <gtest/gtest.h>

namespace {

using namespace serial;

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform.AddDevice("COM1");
        port.SetEvents(TComEvents{});
    }
    void OpenFresh() {
        port.Open();
        platform.ClearCalls();
    }
    ScriptedComPlatform platform;
    TComPort port{nullptr, &platform};
};

TEST(FlowControlKind, ReadsOnlyRtsCtsAndXonXoff) {
    // Each row sets all six fields of the same object, in turn, and gives the kind they make.
    struct Row {
        TRTSFlowControl rts;
        bool outCTS;
        TDTRFlowControl dtr;
        bool outDSR;
        bool xonXoffIn;
        bool xonXoffOut;
        TFlowControl kind;
    };
    const Row rows[] = {
        {rtsHandshake, true, dtrHandshake, true, false, false, fcHardware}, // DTR, DSR ignored
        {rtsHandshake, true, dtrHandshake, true, true, false, fcCustom},
        {rtsDisable, false, dtrDisable, false, true, true, fcSoftware},
        {rtsDisable, false, dtrDisable, false, true, false, fcCustom},
        {rtsEnable, false, dtrDisable, false, false, false, fcCustom},
    };
    TComFlowControl flow;
    EXPECT_EQ(flow.FlowControl(), fcNone);
    for (const Row& row : rows) {
        flow.SetControlRTS(row.rts);
        flow.SetOutCTSFlow(row.outCTS);
        flow.SetControlDTR(row.dtr);
        flow.SetOutDSRFlow(row.outDSR);
        flow.SetXonXoffIn(row.xonXoffIn);
        flow.SetXonXoffOut(row.xonXoffOut);
        EXPECT_EQ(flow.FlowControl(), row.kind) << "row " << &row - rows;
    }
}

TEST(FlowControlKind, WritingAKindKeepsTheOtherFields) {
    TComFlowControl flow;
    flow.SetControlDTR(dtrEnable);
    flow.SetDSRSensitivity(true);
    flow.SetXonChar('A');
    flow.SetFlowControl(fcSoftware);
    EXPECT_TRUE(flow.XonXoffIn());
    EXPECT_TRUE(flow.XonXoffOut());
    flow.SetFlowControl(fcHardware);
    EXPECT_EQ(flow.ControlRTS(), rtsHandshake);
    EXPECT_TRUE(flow.OutCTSFlow());
    EXPECT_FALSE(flow.XonXoffIn());
    flow.SetFlowControl(fcCustom);
    EXPECT_EQ(flow.FlowControl(), fcHardware);
    flow.SetFlowControl(fcNone);
    EXPECT_EQ(flow.ControlRTS(), rtsDisable);
    EXPECT_FALSE(flow.OutCTSFlow());
    EXPECT_EQ(flow.ControlDTR(), dtrEnable);
    EXPECT_TRUE(flow.DSRSensitivity());
    EXPECT_EQ(flow.XonChar(), 'A');
}

TEST(BufferSizes, PositiveOddSizesAreLoweredToEven) {
    TComBuffer buffer;
    buffer.SetInputSize(1025);
    EXPECT_EQ(buffer.InputSize(), 1024);
    buffer.SetInputSize(1);
    EXPECT_EQ(buffer.InputSize(), 0);
    buffer.SetOutputSize(-3);
    EXPECT_EQ(buffer.OutputSize(), -3);
}

TEST_F(SettingsTest, InitialControlBlock) {
    const TDCB dcb = port.BuildDeviceControlBlock();
    EXPECT_EQ(dcb.DCBlength, 28u);
    EXPECT_EQ(dcb.BaudRate, 9600u);
    EXPECT_EQ(dcb.fBinary, 1u);
    EXPECT_EQ(dcb.fParity, 0u);
    EXPECT_EQ(dcb.ByteSize, 8);
    EXPECT_EQ(dcb.Parity, NOPARITY);
    EXPECT_EQ(dcb.StopBits, ONESTOPBIT);
    EXPECT_EQ(dcb.XonLim, 256);
    EXPECT_EQ(dcb.XoffLim, 256);
    EXPECT_EQ(dcb.XonChar, 17);
    EXPECT_EQ(dcb.XoffChar, 19);
    EXPECT_EQ(dcb.ErrorChar, 0);
    EXPECT_EQ(dcb.fAbortOnError, 0u);
}

TEST_F(SettingsTest, ControlBlockFollowsEverySetting) {
    port.SetBaudRate(brCustom);
    EXPECT_EQ(port.BuildDeviceControlBlock().BaudRate, 9600u);
    port.SetCustomBaudRate(250000);
    port.SetDataBits(dbSeven);
    port.SetStopBits(sbTwoStopBits);
    port.SetDiscardNull(true);
    port.SetEventChar('\r');
    port.Parity().SetBits(prMark);
    port.Parity().SetReplace(true);
    port.Parity().SetReplaceChar('?');
    port.FlowControl().SetControlDTR(dtrHandshake);
    port.FlowControl().SetControlRTS(rtsToggle);
    port.FlowControl().SetTxContinueOnXoff(true);
    port.Buffer().SetInputSize(4098);
    TDCB dcb = port.BuildDeviceControlBlock();
    EXPECT_EQ(dcb.BaudRate, 250000u);
    EXPECT_EQ(dcb.ByteSize, 7);
    EXPECT_EQ(dcb.StopBits, TWOSTOPBITS);
    EXPECT_EQ(dcb.Parity, MARKPARITY);
    EXPECT_EQ(dcb.fNull, 1u);
    EXPECT_EQ(dcb.EvtChar, '\r');
    EXPECT_EQ(dcb.fDtrControl, DTR_CONTROL_HANDSHAKE);
    EXPECT_EQ(dcb.fRtsControl, RTS_CONTROL_TOGGLE);
    EXPECT_EQ(dcb.fTXContinueOnXoff, 1u);
    EXPECT_EQ(dcb.XonLim, 1024);
    // Replacing without checking parity replaces nothing.
    EXPECT_EQ(dcb.fErrorChar, 0u);
    EXPECT_EQ(dcb.ErrorChar, 0);
    port.Parity().SetCheck(true);
    dcb = port.BuildDeviceControlBlock();
    EXPECT_EQ(dcb.fParity, 1u);
    EXPECT_EQ(dcb.fErrorChar, 1u);
    EXPECT_EQ(dcb.ErrorChar, '?');
}

TEST_F(SettingsTest, ClosedPortOnlyStores) {
    port.SetBaudRate(br115200);
    port.Timeouts().SetReadInterval(5);
    port.Buffer().SetInputSize(2048);
    EXPECT_TRUE(platform.Calls().empty());
}

TEST_F(SettingsTest, OpenPortAppliesEachGroupOnChange) {
    OpenFresh();
    port.SetBaudRate(br9600);
    port.Parity().SetBits(prNone);
    port.Buffer().SetInputSize(1024);
    EXPECT_TRUE(platform.Calls().empty()) << "equal values apply nothing";

    port.SetBaudRate(br19200);
    EXPECT_EQ(platform.LastDCB().BaudRate, 19200u);
    port.Buffer().SetInputSize(2048);
    port.Timeouts().SetWriteTotalConstant(50);
    port.FlowControl().SetFlowControl(fcCustom);
    EXPECT_EQ(platform.Calls(),
              (std::vector<std::string>{"SetCommState(19200)", "SetupComm(2048,1024)",
                                        "SetCommTimeouts", "SetCommState(19200)"}));
    EXPECT_EQ(platform.LastDCB().XonLim, 512) << "limits follow at the next line apply";
    EXPECT_EQ(platform.LastTimeouts().ReadIntervalTimeout, 0xFFFFFFFFu);
    EXPECT_EQ(platform.LastTimeouts().WriteTotalTimeoutConstant, 50u);
}

TEST_F(SettingsTest, AssigningASettingsObjectAlwaysApplies) {
    OpenFresh();
    TComTimeouts same;
    port.SetTimeouts(same);
    TComParity parity;
    parity.SetBits(prEven);
    port.SetParity(parity);
    EXPECT_EQ(port.Parity().Bits(), prEven);
    EXPECT_EQ(port.Parity().ComPort(), &port) << "the link is not copied";
    EXPECT_EQ(platform.Calls(),
              (std::vector<std::string>{"SetCommTimeouts", "SetCommState(9600)"}));
}

TEST_F(SettingsTest, RefusedSettingRaisesAndStaysStored) {
    OpenFresh();
    platform.FailCall("SetCommState", 87);
    const EComPort e = Raised([&] { port.SetBaudRate(br57600); });
    EXPECT_EQ(e.ErrorCode(), 7);
    EXPECT_STREQ(e.what(), "SetCommState function failed (win error code: 87)");
    EXPECT_EQ(port.BaudRate(), br57600);
    platform.FailCall("SetCommTimeouts", 31);
    EXPECT_THROW(port.Timeouts().SetReadInterval(1), EComPort);
    platform.FailCall("SetupComm", 87);
    EXPECT_EQ(Raised([&] { port.Buffer().SetOutputSize(10); }).ErrorCode(), 9);
}

TEST_F(SettingsTest, SyncMethodCannotChangeWhileOpen) {
    OpenFresh();
    port.SetSyncMethod(smThreadSync);
    const EComPort e = Raised([&] { port.SetSyncMethod(smNone); });
    EXPECT_EQ(e.ErrorCode(), 14);
    EXPECT_EQ(e.SystemErrorCode(), -1);
    EXPECT_STREQ(e.what(), "Cannot set property while connected");
    EXPECT_EQ(port.SyncMethod(), smThreadSync);
    port.Close();
    port.SetSyncMethod(smNone);
    EXPECT_EQ(port.SyncMethod(), smNone);
}

TEST_F(SettingsTest, LoadingAndDesignModeOnlyStore) {
    OpenFresh();
    port.BeginLoading();
    port.SetBaudRate(br300);
    port.SetSyncMethod(smNone);
    EXPECT_TRUE(platform.Calls().empty());
    port.SetDesigning(true);
    port.SetDataBits(dbSix);
    port.Buffer().SetInputSize(64);
    EXPECT_TRUE(platform.Calls().empty());
    EXPECT_EQ(port.SyncMethod(), smNone);
}

TEST(EComPortMessages, CarryTheTableTextAndTheSystemCode) {
    EComPort withCode(1, 2);
    EXPECT_STREQ(withCode.what(), "Unable to open com port (win error code: 2)");
    EXPECT_EQ(withCode.SystemErrorCode(), 2);
    EComPort without(23);
    EXPECT_STREQ(without.what(), "Registry error");
    EXPECT_EQ(without.SystemErrorCode(), -1);
    EXPECT_STREQ(EComPort::Text(19), "Cannot change led state if ComPort is selected");
    EXPECT_STREQ(EComPort::Text(24), "");
}

} // namespace
