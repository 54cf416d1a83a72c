#include "CardPrinter.h"
#include "CardText.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace cardsim {
namespace {

using namespace std::chrono_literals;

// Records what the printer does.
class Recorder : public PrinterListener {
public:
    void Reply(std::uint8_t byte) override { replies.push_back(byte); }
    void StateChanged(CardState state) override { states.push_back(state); }
    void CardPrinted(const Card& card) override { cards.push_back(card); }
    void DrawerPulsed(std::uint8_t pin, std::uint8_t onTime, std::uint8_t offTime) override {
        pulses.push_back({pin, onTime, offTime});
    }
    void Notice(const std::string& text) override { notices.push_back(text); }

    std::vector<std::uint8_t> replies;
    std::vector<CardState> states;
    std::vector<Card> cards;
    std::vector<std::vector<std::uint8_t>> pulses;
    std::vector<std::string> notices;
};

// Drives the printer with decoded bytes and a fake clock.
class CardsimPrinter : public ::testing::Test {
protected:
    explicit CardsimPrinter(bool automatic = true)
        : printer(CardPrinter::Timing{300ms, 500ms, automatic}, recorder) {}

    void Send(std::initializer_list<int> values) {
        std::vector<std::uint8_t> bytes;
        for (int v : values) {
            bytes.push_back(static_cast<std::uint8_t>(v));
        }
        SendBytes(bytes);
    }
    void SendText(const std::string& text) {
        SendBytes(std::vector<std::uint8_t>(text.begin(), text.end()));
    }
    void SendBytes(const std::vector<std::uint8_t>& bytes) {
        std::vector<Event> events;
        decoder.Feed(bytes, events);
        for (const Event& e : events) {
            printer.Handle(e, now);
        }
    }
    void At(Micros time) {
        now = time;
        printer.Advance(now);
    }
    // One status request 10 04 05; returns its reply.
    std::uint8_t Poll() {
        const std::size_t before = recorder.replies.size();
        Send({0x10, 0x04, 0x05});
        EXPECT_EQ(recorder.replies.size(), before + 1);
        return recorder.replies.back();
    }

    Recorder recorder;
    EscPosDecoder decoder;
    CardPrinter printer;
    Micros now{0};
};

class CardsimManualPrinter : public CardsimPrinter {
protected:
    CardsimManualPrinter() : CardsimPrinter(false) {}
};

TEST_F(CardsimPrinter, RepliesInEachStateOfOneCard) {
    Send({0x10, 0x04, 0x01});
    EXPECT_EQ(recorder.replies.back(), kReplyPrinterOk);
    EXPECT_FALSE(printer.NextDeadline()); // the start-up request does not ask for a card

    EXPECT_EQ(Poll(), kReplyNoCard);
    ASSERT_TRUE(printer.NextDeadline());
    EXPECT_EQ(*printer.NextDeadline(), 300ms);
    At(50ms);
    EXPECT_EQ(Poll(), kReplyNoCard);
    EXPECT_EQ(*printer.NextDeadline(), 300ms); // later requests do not push it back
    At(299ms);
    EXPECT_EQ(Poll(), kReplyNoCard);
    At(300ms);
    EXPECT_EQ(printer.State(), CardState::InPlace);
    EXPECT_EQ(Poll(), kReplyCardInPlace);

    SendText("linha\r\n");
    Send({0x0C, 0x1B, 0x71});
    EXPECT_EQ(printer.State(), CardState::Released);
    EXPECT_EQ(*printer.NextDeadline(), 800ms);
    At(799ms);
    EXPECT_EQ(Poll(), kReplyCardReleased);
    At(800ms);
    EXPECT_EQ(printer.CardsRemoved(), 1);
    EXPECT_FALSE(printer.RemovalReported());
    EXPECT_EQ(Poll(), kReplyCardTaken);
    EXPECT_TRUE(printer.RemovalReported());

    const std::vector<CardState> states = {CardState::InPlace, CardState::Released,
                                           CardState::Taken};
    EXPECT_EQ(recorder.states, states);
    EXPECT_TRUE(recorder.notices.empty());
}

TEST_F(CardsimPrinter, TheRequestThatLearnsOfTheRemovalDoesNotAskForTheNextCard) {
    Poll();
    At(300ms);
    Send({0x1B, 0x71});
    At(800ms);
    EXPECT_EQ(Poll(), kReplyCardTaken);
    EXPECT_FALSE(printer.NextDeadline());
    // The next job's wait for a card: 72 stays until the new card is in.
    At(2000ms);
    EXPECT_EQ(Poll(), kReplyCardTaken);
    EXPECT_EQ(*printer.NextDeadline(), 2300ms);
    At(2300ms);
    EXPECT_EQ(Poll(), kReplyCardInPlace);
}

TEST_F(CardsimPrinter, PrintsTheSpoolersCardWithItsPrintModes) {
    Poll();
    At(300ms);
    Send({0x0D, 0x0A, 0x0D, 0x0A});
    Send({0x1B, 0x21, 0x31});
    SendText("MESA 4\r\n");
    Send({0x1B, 0x21, 0x01});
    SendText("Bica\tcurta\r\n");
    SendText("AB");
    Send({0x00});
    SendText("CD\r\n");
    Send({0x0C, 0x1B, 0x71});
    Send({0x1B, 0x70, 0x00, 0xC8, 0xC8});

    ASSERT_EQ(recorder.cards.size(), 1u);
    const Card& card = recorder.cards[0];
    EXPECT_EQ(card.number, 1);
    EXPECT_FALSE(card.printedWithoutCard);
    const std::vector<PrintedLine> lines = {
        {"", 0x00}, {"", 0x00}, {"MESA 4", 0x31}, {"Bica    curta", 0x01}, {"ABCD", 0x01},
    };
    EXPECT_EQ(card.lines, lines);
    EXPECT_TRUE(card.lines[2].DoubleHeight() && card.lines[2].DoubleWidth());
    const std::vector<std::vector<std::uint8_t>> pulses = {{0x00, 0xC8, 0xC8}};
    EXPECT_EQ(recorder.pulses, pulses);
}

TEST_F(CardsimPrinter, OddPrintingIsKeptAndReported) {
    // Text with no card in place still reaches a card, marked as such.
    SendText("sem cartao\r\n");
    Send({0x0C});
    ASSERT_EQ(recorder.cards.size(), 1u);
    EXPECT_TRUE(recorder.cards[0].printedWithoutCard);
    // A form feed or a release with nothing to act on is only reported.
    Send({0x0C, 0x1B, 0x71});
    EXPECT_EQ(recorder.cards.size(), 1u);
    EXPECT_EQ(recorder.notices.size(), 3u);
    // A release without a form feed still gives the card what was printed.
    Poll();
    At(300ms);
    SendText("ultima");
    Send({0x1B, 0x71});
    ASSERT_EQ(recorder.cards.size(), 2u);
    EXPECT_EQ(recorder.cards[1].lines.size(), 1u);
    EXPECT_EQ(recorder.cards[1].lines[0].text, "ultima");
    // An undefined status request gets no reply.
    const std::size_t replies = recorder.replies.size();
    Send({0x10, 0x04, 0x07});
    EXPECT_EQ(recorder.replies.size(), replies);
}

TEST_F(CardsimPrinter, SaysOncePerCodeTableHowLettersBeyondAsciiPrint) {
    Poll();
    At(300ms);
    Send({0x1B, 0x74, 0x02});
    SendText("P\xE3o\r\n");
    SendText("A\xE7\xFA"
             "car\r\n");
    ASSERT_EQ(recorder.notices.size(), 1u);
    EXPECT_EQ(recorder.notices[0],
              "bytes above 7F print as character table 2 (code page 850) has them");
    Send({0x1B, 0x74, 0x10});
    SendText("P\xE3o\r\n");
    EXPECT_EQ(recorder.notices.size(), 2u);
    Send({0x0C});
    ASSERT_EQ(recorder.cards.size(), 1u);
    EXPECT_EQ(recorder.cards[0].lines[0].text, "P\u00D2o");
    EXPECT_EQ(recorder.cards[0].lines[2].text, "P\u00E3o");
}

TEST_F(CardsimManualPrinter, CardsComeAndGoOnlyByHand) {
    EXPECT_EQ(Poll(), kReplyNoCard);
    At(10s);
    EXPECT_EQ(printer.State(), CardState::Empty);
    EXPECT_FALSE(printer.NextDeadline());

    printer.Insert();
    EXPECT_EQ(Poll(), kReplyCardInPlace);
    printer.Insert();
    EXPECT_EQ(recorder.notices.size(), 1u);
    // Pulled out before its release: no 72, the printer simply has no card.
    printer.Remove();
    EXPECT_EQ(Poll(), kReplyNoCard);
    EXPECT_EQ(printer.CardsRemoved(), 0);
    printer.Remove();
    EXPECT_EQ(recorder.notices.size(), 2u);

    printer.Insert();
    Send({0x1B, 0x71});
    At(20s);
    EXPECT_EQ(Poll(), kReplyCardReleased);
    printer.Remove();
    EXPECT_EQ(Poll(), kReplyCardTaken);
    EXPECT_EQ(printer.CardsRemoved(), 1);
}

TEST(CardsimCardText, DrawsLargePrintLargeInAnEvenBox) {
    Card card;
    card.number = 3;
    card.lines = {{"T\u00CDTULO", 0x31},
                  {"alto", 0x10},
                  {"largo", 0x20},
                  {"", 0x01},
                  {std::string(60, 'x'), 0x01},
                  {std::string(170, 'y'), 0x01}};
    const std::string text = RenderCardText(card);
    std::vector<std::string> rows;
    std::size_t start = 0;
    for (std::size_t end; (end = text.find('\n', start)) != std::string::npos; start = end + 1) {
        rows.push_back(text.substr(start, end - start));
    }
    ASSERT_EQ(rows.size(), 1u + 1 + 9 + 1);
    EXPECT_EQ(rows[0], "card 3, 6 lines");
    EXPECT_EQ(rows[2], rows[3]);
    EXPECT_EQ(rows[2].substr(0, 16), "\u2502 T \u00CD T U L O");
    EXPECT_EQ(rows[4], rows[5]);
    EXPECT_EQ(rows[4].substr(0, 9), "\u2502 alto ");
    EXPECT_EQ(rows[6].substr(0, 14), "\u2502 l a r g o ");
    // A line wider than the widest box goes on in the next row.
    EXPECT_EQ(rows[9], "\u2502 " + std::string(kMaxCardColumns, 'y') + " \u2502");
    EXPECT_EQ(rows[10].substr(0, 15), "\u2502 " + std::string(10, 'y') + " ");
    // Every row of the box is as wide as the widest, counted in characters.
    auto width = [](const std::string& row) {
        std::size_t n = 0;
        for (unsigned char c : row) {
            n += (c & 0xC0) != 0x80;
        }
        return n;
    };
    for (std::size_t i = 1; i < rows.size(); ++i) {
        EXPECT_EQ(width(rows[i]), kMaxCardColumns + 4) << rows[i];
    }
}

} // namespace
} // namespace cardsim
