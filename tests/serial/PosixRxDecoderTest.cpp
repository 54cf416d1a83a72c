#include "posix/PosixRxDecoder.h"
#include "ComPlatform.h"

#include <gtest/gtest.h>

namespace {

using namespace serial;

TEST(PosixRxDecoder, PlainBytesPassAndRaiseRxChar) {
    PosixRxDecoder decoder;
    const std::string bytes("a\0b", 3);
    auto r = decoder.Decode(bytes.data(), bytes.size());
    EXPECT_EQ(r.data, bytes);
    EXPECT_EQ(r.events, EV_RXCHAR | EV_RXFLAG) << "the event character is 0 by default";
    EXPECT_EQ(r.errors, 0u);
}

TEST(PosixRxDecoder, MarksBecomeErrorsEvenWhenSplitAcrossChunks) {
    PosixRxDecoder decoder;
    decoder.SetSettings({false, true, '?', '\r'});
    auto first = decoder.Decode("x\xFF", 2);
    EXPECT_EQ(first.data, "x");
    auto second = decoder.Decode("\xFF\xFF", 2);
    EXPECT_EQ(second.data, "\xFF") << "a doubled 0xFF is one data byte";
    std::string marked("\x00q\xFF\x00\x00\r", 6);
    auto third = decoder.Decode(marked.data(), marked.size());
    EXPECT_EQ(third.data, "?\r") << "a break is a line event, not a zero data byte";
    EXPECT_EQ(third.errors, CE_RXPARITY | CE_BREAK);
    EXPECT_EQ(third.events, EV_RXCHAR | EV_ERR | EV_BREAK | EV_RXFLAG);
}

TEST(PosixRxDecoder, DiscardsZerosWhenAsked) {
    PosixRxDecoder decoder;
    decoder.SetSettings({true, false, 0, 'z'});
    const std::string bytes("\0a\0", 3);
    auto r = decoder.Decode(bytes.data(), bytes.size());
    EXPECT_EQ(r.data, "a");
    EXPECT_EQ(r.events, EV_RXCHAR);
    auto none = decoder.Decode(bytes.data(), 1);
    EXPECT_EQ(none.events, 0u) << "nothing received, nothing raised";
}

} // namespace
