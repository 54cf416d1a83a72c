#include "ComText.h"

#include <gtest/gtest.h>

namespace {

TEST(ComText, EnumerationsRoundTripThroughTheirTexts) {
    for (int v = brCustom; v <= br256000; ++v)
        EXPECT_EQ(BaudRateFromText(BaudRateToText(static_cast<TBaudRate>(v))), v);
    for (int v = prNone; v <= prSpace; ++v)
        EXPECT_EQ(ParityFromText(ParityToText(static_cast<TParityBits>(v))), v);
    for (int v = rtsDisable; v <= rtsToggle; ++v)
        EXPECT_EQ(RTSControlFromText(RTSControlToText(static_cast<TRTSFlowControl>(v))), v);
    EXPECT_EQ(StopBitsToText(sbOne5StopBits), "1.5");
    EXPECT_EQ(StopBitsFromText("1.5"), sbOne5StopBits);
    EXPECT_EQ(DataBitsFromText("7"), dbSeven);
    EXPECT_EQ(DTRControlFromText("handshake"), dtrHandshake);
}

TEST(ComText, MatchIgnoresCaseButNotBlanks) {
    EXPECT_EQ(ParityFromText("eVeN"), prEven);
    EXPECT_EQ(ParityFromText("Even "), prNone);
    EXPECT_EQ(BaudRateFromText(""), br9600);
    EXPECT_EQ(FlowControlFromText("RTS/CTS"), fcCustom);
    EXPECT_EQ(FlowControlFromText("SOFTWARE"), fcSoftware);
    EXPECT_EQ(StopBitsFromText("3"), sbOneStopBit);
    EXPECT_EQ(RTSControlFromText("Toggl"), rtsDisable);
}

TEST(ComText, Booleans) {
    EXPECT_EQ(BoolToText(true), "Yes");
    EXPECT_EQ(BoolToText(false), "No");
    EXPECT_TRUE(BoolFromText("yEs"));
    EXPECT_FALSE(BoolFromText("True"));
    EXPECT_FALSE(BoolFromText("Yes "));
}

TEST(ComText, Characters) {
    EXPECT_EQ(CharToText(17), "#17");
    EXPECT_EQ(CharToText(static_cast<char>(200)), "#200");
    EXPECT_EQ(CharToText(' '), "#32");
    EXPECT_EQ(CharToText('A'), "A");
    EXPECT_EQ(CharToText(127), "\x7F");
    EXPECT_EQ(CharFromText("#17"), 17);
    EXPECT_EQ(static_cast<unsigned char>(CharFromText("#200")), 200);
    EXPECT_EQ(CharFromText("#"), '#');
    EXPECT_EQ(CharFromText("Abc"), 'A');
    EXPECT_EQ(CharFromText(""), 0);
    // Codes that are no character read as 0, like text that is no number.
    EXPECT_EQ(CharFromText("#300"), 0);
    EXPECT_EQ(CharFromText("#-1"), 0);
    EXPECT_EQ(CharFromText("#x1"), 0);
    EXPECT_EQ(CharFromText("#0"), 0);
}

} // namespace
