#include "CodeTable.h"
#include "EscPosDecoder.h"
#include "EventText.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace cardsim {
namespace {

using Bytes = std::vector<std::uint8_t>;

Bytes B(std::initializer_list<int> values) {
    Bytes bytes;
    for (int v : values) {
        bytes.push_back(static_cast<std::uint8_t>(v));
    }
    return bytes;
}

Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) {
        all.insert(all.end(), part.begin(), part.end());
    }
    return all;
}

// Feeds the stream in pieces of the given sizes (cycled), then flushes.
std::vector<Event> Decode(const Bytes& stream, const std::vector<std::size_t>& pieces = {}) {
    EscPosDecoder decoder;
    std::vector<Event> events;
    std::size_t at = 0;
    for (std::size_t i = 0; at < stream.size(); ++i) {
        const std::size_t size = pieces.empty()
                                     ? stream.size()
                                     : std::min(pieces[i % pieces.size()], stream.size() - at);
        decoder.Feed(std::span(stream).subspan(at, size), events);
        at += size;
    }
    decoder.Flush(events);
    return events;
}

std::vector<EventKind> Kinds(const std::vector<Event>& events) {
    std::vector<EventKind> kinds;
    for (const Event& e : events) {
        kinds.push_back(e.kind);
    }
    return kinds;
}

// The twelve writes the spooler sends at start-up.
const Bytes kInitialisation = Join({
    B({0x10, 0x04, 0x01}),
    B({0x1B, 0x3D, 0x01, 0x1D, 0x61, 0x27}),
    B({0x1B, 0x52, 0x00}),
    B({0x1B, 0x74, 0x10}),
    B({0x1B, 0x3D, 0x01}),
    B({0x1B, 0x63, 0x34, 0x10}),
    B({0x1B, 0x46, 0x01}),
    B({0x1B, 0x63, 0x34, 0x10}),
    B({0x1B, 0x63, 0x30, 0x04}),
    B({0x1B, 0x63, 0x31, 0x04}),
    B({0x1B, 0x55, 0x00}),
    B({0x1B, 0x74, 0x02}),
});

// A card as the spooler sends it: offset lines, title, two lines, eject, release,
// with status requests, a drawer pulse and an accented letter around it.
const Bytes kCardStream = Join({
    kInitialisation,
    B({0x1B, 0x70, 0x00, 0xC8, 0xC8}),
    B({0x10, 0x04, 0x05}),
    B({0x0D, 0x0A, 0x0D, 0x0A}),
    B({0x1B, 0x21, 0x31}),
    Text("MESA 4\r\n"),
    B({0x1B, 0x21, 0x01}),
    Text("Caf\xE9 com leite\r\n"),
    Text(std::string("2 x \0 tosta\r\n", 13)),
    B({0x0C, 0x1B, 0x71}),
    B({0x10, 0x04, 0x05}),
});

TEST(CardsimDecoder, DecodesTheStartUpSequenceAndKeepsTheLastCodeTable) {
    EscPosDecoder decoder;
    std::vector<Event> events;
    decoder.Feed(kInitialisation, events);
    EXPECT_FALSE(decoder.HasPending());
    EXPECT_EQ(decoder.CodeTable(), kCodeTable850);
    const std::vector<EventKind> expected = {
        EventKind::StatusRequest, EventKind::Setting,   EventKind::Setting,
        EventKind::Setting,       EventKind::CodeTable, // 16: Windows-1252
        EventKind::Setting,       EventKind::Setting,   EventKind::Setting,
        EventKind::Setting,       EventKind::Setting,   EventKind::Setting,
        EventKind::Setting,       EventKind::CodeTable, // 2: code page 850
    };
    EXPECT_EQ(Kinds(events), expected);
    EXPECT_EQ(events[0].Parameter(0), 0x01);
    EXPECT_EQ(events[6].bytes, B({0x1B, 0x63, 0x34, 0x10}));
    EXPECT_EQ(events[6].Parameter(0), 0x10);
    EXPECT_EQ(Describe(events[6]), "ESC c 4 10: paper sensors to stop printing 10");
    EXPECT_EQ(Describe(events[12]), "ESC t 02: character code table 2 (code page 850)");
}

TEST(CardsimDecoder, DecodesACardWithItsParameters) {
    const std::vector<Event> events = Decode(kCardStream);
    std::vector<Event> card(events.begin() + 13, events.end());
    const std::vector<EventKind> expected = {
        EventKind::DrawerPulse,    EventKind::StatusRequest,  EventKind::CarriageReturn,
        EventKind::LineFeed,       EventKind::CarriageReturn, EventKind::LineFeed,
        EventKind::PrintMode,      EventKind::Text,           EventKind::CarriageReturn,
        EventKind::LineFeed,       EventKind::PrintMode,      EventKind::Text,
        EventKind::CarriageReturn, EventKind::LineFeed,       EventKind::Text,
        EventKind::Control,        EventKind::Text,           EventKind::CarriageReturn,
        EventKind::LineFeed,       EventKind::FormFeed,       EventKind::Release,
        EventKind::StatusRequest,
    };
    ASSERT_EQ(Kinds(card), expected);
    EXPECT_EQ(Describe(card[0]), "drawer pulse (pin 2, 200/200)");
    EXPECT_EQ(card[1].Parameter(0), 0x05);
    EXPECT_EQ(card[6].Parameter(0), 0x31);
    EXPECT_EQ(DecodeText(card[7]), "MESA 4");
    // The text bytes are read in the table selected last: 0xE9 is "Ú" in code page 850.
    EXPECT_EQ(DecodeText(card[11]), "Caf\u00DA com leite");
    EXPECT_EQ(card[15].bytes, B({0x00}));
    EXPECT_EQ(DecodeText(card[14]) + DecodeText(card[16]), "2 x  tosta");
}

TEST(CardsimDecoder, AnyChunkingGivesTheSameEvents) {
    const std::vector<Event> whole = Decode(kCardStream);
    EXPECT_EQ(Decode(kCardStream, {1}), whole);
    EXPECT_EQ(Decode(kCardStream, {2}), whole);
    EXPECT_EQ(Decode(kCardStream, {3, 1, 4, 1, 5, 9, 2, 6}), whole);
    std::mt19937 random(7);
    for (int round = 0; round < 50; ++round) {
        std::vector<std::size_t> pieces;
        for (int i = 0; i < 16; ++i) {
            pieces.push_back(1 + random() % 11);
        }
        ASSERT_EQ(Decode(kCardStream, pieces), whole) << "round " << round;
    }
}

TEST(CardsimDecoder, RandomBytesAreAllAccountedForWhateverTheChunking) {
    std::mt19937 random(11);
    for (int round = 0; round < 200; ++round) {
        Bytes stream(1 + random() % 300);
        for (std::uint8_t& byte : stream) {
            // Plenty of command bytes so that commands and cut-offs are common.
            const unsigned pick = random() % 8;
            byte = pick == 0   ? 0x1B
                   : pick == 1 ? 0x10
                   : pick == 2 ? 0x1D
                               : static_cast<std::uint8_t>(random());
        }
        const std::vector<Event> whole = Decode(stream);
        Bytes seen;
        for (const Event& e : whole) {
            seen.insert(seen.end(), e.bytes.begin(), e.bytes.end());
        }
        ASSERT_EQ(seen, stream) << "round " << round;
        ASSERT_EQ(Decode(stream, {1 + random() % 7}), whole) << "round " << round;
    }
}

TEST(CardsimDecoder, UnknownCommandsAreReportedAndDecodingGoesOn) {
    const std::vector<Event> events =
        Decode(Join({B({0x1B, 0x7A}), Text("ok"), B({0x10, 0x14}), B({0x1D, 0x28}), Text("x")}));
    ASSERT_EQ(events.size(), 5u);
    EXPECT_EQ(events[0].kind, EventKind::Unknown);
    EXPECT_EQ(events[0].bytes, B({0x1B, 0x7A}));
    EXPECT_EQ(DecodeText(events[1]), "ok");
    EXPECT_EQ(events[2].kind, EventKind::Unknown);
    EXPECT_EQ(events[3].kind, EventKind::Unknown);
    EXPECT_EQ(Describe(events[3]), "unknown command 1D 28");
    EXPECT_EQ(DecodeText(events[4]), "x");
}

TEST(CardsimDecoder, EveryCutShortCommandIsReportedAsTruncated) {
    const std::vector<Bytes> commands = {
        B({0x10, 0x04, 0x05}),
        B({0x1B, 0x21, 0x31}),
        B({0x1B, 0x74, 0x02}),
        B({0x1B, 0x63, 0x34, 0x10}),
        B({0x1B, 0x70, 0x00, 0xC8, 0xC8}),
        B({0x1D, 0x61, 0x27}),
    };
    for (const Bytes& command : commands) {
        for (std::size_t cut = 1; cut < command.size(); ++cut) {
            const Bytes prefix(command.begin(), command.begin() + cut);
            EscPosDecoder decoder;
            std::vector<Event> events;
            decoder.Feed(prefix, events);
            EXPECT_TRUE(events.empty());
            EXPECT_TRUE(decoder.HasPending());
            decoder.Flush(events);
            ASSERT_EQ(events.size(), 1u);
            EXPECT_EQ(events[0].kind, EventKind::Truncated);
            EXPECT_EQ(events[0].bytes, prefix);
            // The decoder starts afresh after a flush.
            events.clear();
            decoder.Feed(B({0x1B, 0x71}), events);
            ASSERT_EQ(events.size(), 1u);
            EXPECT_EQ(events[0].kind, EventKind::Release);
        }
    }
}

TEST(CardsimDecoder, TextIsShownInTheSelectedCodeTable) {
    const Bytes stream =
        Join({B({0x1B, 0x74, 0x10, 0xE3, 0x80}), B({0x1B, 0x74, 0x02, 0xE3}),
              B({0x1B, 0x74, 0x07, 0xE3, 0x80}), B({0x1B, 0x74, 0x10}), B({0x1B, 0x40, 0xE3})});
    std::vector<std::string> texts;
    for (const Event& e : Decode(stream)) {
        if (e.kind == EventKind::Text) {
            texts.push_back(DecodeText(e));
        }
    }
    // Windows-1252, code page 850, another table as Latin-1, then reset by ESC @.
    const std::vector<std::string> expected = {"\u00E3\u20AC", "\u00D2", "\u00E3\uFFFD", "\u00E3"};
    EXPECT_EQ(texts, expected);
    EXPECT_EQ(DecodeByte(kCodeTable1252, 0x81), U'\uFFFD');
    EXPECT_EQ(DecodeByte(kCodeTable850, 0xC6), U'\u00E3');
}

TEST(CardsimDecoder, EndlessTextIsCutIntoBoundedEvents) {
    const Bytes stream(10'000, 'A');
    const std::vector<Event> events = Decode(stream);
    std::size_t total = 0;
    for (const Event& e : events) {
        EXPECT_EQ(e.kind, EventKind::Text);
        EXPECT_LE(e.bytes.size(), 4096u);
        total += e.bytes.size();
    }
    EXPECT_EQ(total, stream.size());
}

} // namespace
} // namespace cardsim
