#include "ComErrorCodes.h"
#include "ComPlatform.h"
#include "ComRequest.h"
#include "ScriptedComPlatform.h"
#include "serial/CPort.h"

#include "Raised.h"

#include <gtest/gtest.h>

#include <algorithm>

namespace {

using namespace serial;

class PortIOTest : public ::testing::Test {
protected:
    void SetUp() override {
        platform.AddDevice("COM1");
        port.SetEvents(TComEvents{});
        port.Open();
        platform.ClearCalls();
    }
    bool Called(const std::string& prefix) const {
        const auto calls = platform.Calls();
        return std::any_of(calls.begin(), calls.end(),
                           [&](const std::string& c) { return c.rfind(prefix, 0) == 0; });
    }
    ScriptedComPlatform platform;
    TComPort port{nullptr, &platform};
};

TEST_F(PortIOTest, WriteTextSendsEveryByteIncludingZeros) {
    const std::string command("\x1B\x70\x00\xC8\xC8", 5);
    EXPECT_EQ(port.WriteText(command), 5);
    EXPECT_EQ(platform.TakeOutput(), command);
    platform.ClearCalls();
    EXPECT_EQ(port.WriteText(""), 0);
    EXPECT_FALSE(Called("WriteFile"));
    EXPECT_EQ(platform.TakeOutput(), "");
}

TEST_F(PortIOTest, SynchronousCallsMakeAndFreeOneRequestEach) {
    platform.RecordEventCalls(true);
    platform.FeedInput("r");
    port.WriteText("w");
    std::string text;
    port.ReadText(text, 4);
    EXPECT_EQ(platform.Calls(),
              (std::vector<std::string>{"CreateEvent", "WriteFile(1)", "WaitForSingleObject",
                                        "GetOverlappedResult", "CloseHandle(event)", "CreateEvent",
                                        "ReadFile(4)", "WaitForSingleObject", "GetOverlappedResult",
                                        "CloseHandle(event)"}));
}

TEST_F(PortIOTest, ReadTextReturnsWhatIsQueued) {
    std::string text = "old";
    EXPECT_EQ(port.ReadText(text, 0), 0);
    EXPECT_EQ(text, "");
    EXPECT_EQ(port.ReadText(text, -5), 0);
    EXPECT_FALSE(Called("ReadFile"));

    platform.FeedInput(std::string("a\0c", 3));
    EXPECT_EQ(port.ReadText(text, 10), 3);
    EXPECT_EQ(text, std::string("a\0c", 3));
    EXPECT_EQ(port.ReadText(text, 10), 0);
    EXPECT_EQ(text, "");

    platform.FeedInput("xyz");
    char bytes[2];
    EXPECT_EQ(port.ReadBytes(bytes, 2), 2);
    EXPECT_EQ(std::string(bytes, 2), "xy");
}

TEST_F(PortIOTest, RequestsStartedAndWaitedForSeparately) {
    platform.HoldRequests(true);
    TComRequest* write = port.CreateRequest();
    TComRequest* read = port.CreateRequest();
    std::string text;
    EXPECT_EQ(port.WaitForRequest(write), 0) << "a request never started is already done";
    EXPECT_EQ(port.StartWriteText("hello", write), 0);
    platform.FeedInput("ab");
    EXPECT_EQ(port.StartReadText(text, 4, read), 0);
    platform.ReleaseHeld();
    EXPECT_EQ(port.WaitForRequest(read), 2);
    EXPECT_EQ(text.substr(0, 2), "ab");
    EXPECT_EQ(port.WaitForRequest(write), 5);
    EXPECT_EQ(port.WaitForRequest(write), 5) << "waiting again gives the same result";
    EXPECT_EQ(platform.TakeOutput(), "hello");
    EXPECT_EQ(write->SentCopy, "hello");
    port.FreeRequest(write);
    port.FreeRequest(read);
    EXPECT_EQ(write, nullptr);
}

TEST_F(PortIOTest, AbortEndsPendingRequestsWithTheirDirection) {
    platform.HoldRequests(true);
    TComRequest* write = port.CreateRequest();
    TComRequest* read = port.CreateRequest();
    char buffer[8];
    port.StartWrite("abc", 3, write);
    port.StartRead(buffer, 8, read);
    port.AbortAllRequests();
    EComPort w = Raised([&] { port.WaitForRequest(write); });
    EXPECT_EQ(w.ErrorCode(), 2);
    EXPECT_EQ(w.SystemErrorCode(), 995);
    EXPECT_STREQ(w.what(), "WriteFile function failed (win error code: 995)");
    EComPort r = Raised([&] { port.WaitForRequest(read); });
    EXPECT_EQ(r.ErrorCode(), 3);
    port.FreeRequest(write);
    port.FreeRequest(read);
}

TEST_F(PortIOTest, MissingRequestIsRefusedBeforeAnyCall) {
    char buffer[1];
    std::string text;
    for (auto op : {std::function<void()>([&] { port.StartWrite("a", 1, nullptr); }),
                    std::function<void()>([&] { port.StartRead(buffer, 1, nullptr); }),
                    std::function<void()>([&] { port.StartReadText(text, 1, nullptr); }),
                    std::function<void()>([&] { port.WaitForRequest(nullptr); })}) {
        EComPort e = Raised(op);
        EXPECT_EQ(e.ErrorCode(), 4);
        EXPECT_EQ(e.SystemErrorCode(), -1);
    }
    EXPECT_TRUE(platform.Calls().empty());
}

TEST_F(PortIOTest, FailingCallsRaiseTheirCodes) {
    platform.FailCall("WriteFile", 31);
    EXPECT_EQ(Raised([&] { port.WriteText("x"); }).ErrorCode(), 2);
    platform.FailCall("ReadFile", 31);
    std::string text;
    EXPECT_EQ(Raised([&] { port.ReadText(text, 1); }).ErrorCode(), 3);
    platform.FailCall("ClearCommError", 31);
    EXPECT_EQ(Raised([&] { port.InputQueued(); }).ErrorCode(), 10);
    EXPECT_EQ(Raised([&] { port.TakeLineErrors(); }).ErrorCode(), 10);
    platform.FailCall("GetCommModemStatus", 31);
    EComPort e = Raised([&] { port.ModemSignals(); });
    EXPECT_EQ(e.ErrorCode(), 11);
    EXPECT_EQ(e.SystemErrorCode(), 31);
}

TEST_F(PortIOTest, ClosedPortRaisesWithInvalidHandle) {
    port.Close();
    std::string text = "old";
    EXPECT_EQ(port.WriteText(""), 0) << "nothing to write needs no device";
    EXPECT_EQ(port.ReadText(text, 0), 0) << "nothing to read needs no device";
    EXPECT_EQ(text, "");
    EComPort w = Raised([&] { port.WriteText("x"); });
    EXPECT_EQ(w.ErrorCode(), 2);
    EXPECT_EQ(w.SystemErrorCode(), static_cast<int>(ERROR_INVALID_HANDLE));
    EXPECT_EQ(Raised([&] { port.ReadText(text, 1); }).SystemErrorCode(), 6);
    EXPECT_EQ(Raised([&] { port.OutputQueued(); }).ErrorCode(), 10);
    EXPECT_EQ(Raised([&] { port.AbortAllRequests(); }).ErrorCode(), 5);
    EXPECT_EQ(Raised([&] { port.ModemSignals(); }).ErrorCode(), 11);
}

TEST_F(PortIOTest, QueueCountsSignalsAndErrors) {
    platform.FeedInput("12345");
    platform.SetOutputQueued(7);
    EXPECT_EQ(port.InputQueued(), 5);
    EXPECT_EQ(port.OutputQueued(), 7);
    platform.SetModemStatus(MS_CTS_ON | MS_RLSD_ON);
    EXPECT_EQ(port.ModemSignals(), (TModemSignals{msCTS, msRLSD}));

    platform.SetLineErrors(CE_RXPARITY | CE_FRAME | CE_TXFULL | 0x2000);
    EXPECT_EQ(port.TakeLineErrors(), (TComErrors{ceFrame, ceTxFull}));
    EXPECT_TRUE(port.TakeLineErrors().Empty()) << "taking clears the errors";
    port.Parity().SetCheck(true);
    platform.SetLineErrors(CE_RXPARITY | CE_OVERRUN | CE_BREAK | CE_IOE | CE_MODE | CE_RXOVER);
    EXPECT_EQ(port.TakeLineErrors(),
              (TComErrors{ceRxParity, ceOverrun, ceBreak, ceIO, ceMode, ceRxOver}));
}

TEST_F(PortIOTest, LinksHearOfTransfers) {
    std::vector<std::string> heard;
    PortLink link;
    link.TxActivitySlot = [&](TComponent*, bool on) { heard.push_back(on ? "tx on" : "tx off"); };
    link.TxBufSlot = [&](TComponent*, const void* b, std::int32_t n) {
        heard.push_back("sent " + std::string(static_cast<const char*>(b), n));
    };
    link.RxActivitySlot = [&](TComponent*, bool on) { heard.push_back(on ? "rx on" : "rx off"); };
    port.RegisterLink(&link);
    port.WriteText("ab");
    platform.FeedInput("xyz");
    std::string text;
    port.ReadText(text, 2);
    port.ReadText(text, 2);
    EXPECT_EQ(heard, (std::vector<std::string>{"tx on", "sent ab", "rx off"}));
    EXPECT_THROW(port.RegisterLink(&link), EComPort);
    port.UnregisterLink(&link);
    EXPECT_THROW(port.UnregisterLink(&link), EComPort);
}

} // namespace
