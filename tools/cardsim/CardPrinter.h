#pragma once

#include "EscPosDecoder.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// The simulated card printer: where the card is, what gets printed on it, and what the
// printer answers to status requests. Time is passed in by the caller, so the model
// runs the same under a real clock and a fake one.
namespace cardsim {

using Micros = std::chrono::microseconds;

enum class CardState {
    Empty,    // no card; the printer waits for one
    InPlace,  // a card is in place and can be printed on
    Released, // the card was let go after printing and is still in the slot
    Taken,    // the released card has been taken out
};

const char* CardStateName(CardState state);
const char* CardStateTraceWord(CardState state); // e.g. "card-inserted"
// The console line for a printer entering the state; null for a state it does not know.
const char* CardStateAnnouncement(CardState state);

// Status bytes answered to 10 04 05. The spooler relies on the first two only.
inline constexpr std::uint8_t kReplyCardInPlace = 0x12;
inline constexpr std::uint8_t kReplyCardTaken = 0x72;
inline constexpr std::uint8_t kReplyNoCard = 0x10;
inline constexpr std::uint8_t kReplyCardReleased = 0x32;
// Answer to the other status requests (10 04 01 to 04): online, no error, paper present.
inline constexpr std::uint8_t kReplyPrinterOk = 0x12;

struct PrintedLine {
    std::string text;       // UTF-8
    std::uint8_t printMode; // ESC ! value in force for the line's first character

    bool DoubleHeight() const { return (printMode & 0x10) != 0; }
    bool DoubleWidth() const { return (printMode & 0x20) != 0; }
    bool operator==(const PrintedLine&) const = default;
};

struct Card {
    int number = 0;
    std::vector<PrintedLine> lines;
    bool printedWithoutCard = false; // some of it arrived while no card was in place
};

// Receives what the printer does; each call is made as it happens.
class PrinterListener {
public:
    virtual ~PrinterListener() = default;
    virtual void Reply(std::uint8_t byte) = 0;
    virtual void StateChanged(CardState state) = 0;
    virtual void CardPrinted(const Card& card) = 0;
    virtual void DrawerPulsed(std::uint8_t pin, std::uint8_t onTime, std::uint8_t offTime) = 0;
    // Something the printer did not expect, e.g. a release with no card in it.
    virtual void Notice(const std::string& text) = 0;
};

class CardPrinter {
public:
    struct Timing {
        Micros insertDelay{300'000};
        Micros removeDelay{500'000};
        bool automatic = true; // false: cards come and go only by Insert() and Remove()
    };

    CardPrinter(Timing timing, PrinterListener& listener);

    void Handle(const Event& event, Micros now);
    // Carries out an automatic insertion or removal that has fallen due.
    void Advance(Micros now);
    // When Advance() next has something to do.
    std::optional<Micros> NextDeadline() const;

    // The operator's hands.
    void Insert();
    void Remove();

    CardState State() const { return state_; }
    std::uint8_t StatusReply(std::uint8_t request) const;
    int CardsRemoved() const { return cardsRemoved_; }
    // True once the latest removal has been answered to a status request.
    bool RemovalReported() const { return state_ == CardState::Taken && removalReported_; }

private:
    void StatusRequest(std::uint8_t request, Micros now);
    void NoteHighBytes(const Event& text);
    void AddText(const std::string& text);
    void Tab();
    void EndLine();
    void Eject();
    void Release(Micros now);
    void SetState(CardState state);
    void NoteIfNoCard();
    bool PageEmpty() const { return page_.lines.empty() && !lineStarted_; }

    Timing timing_;
    PrinterListener& listener_;
    CardState state_ = CardState::Empty;
    std::optional<Micros> insertAt_;
    std::optional<Micros> removeAt_;
    bool removalReported_ = false;
    int cardsPrinted_ = 0;
    int cardsRemoved_ = 0;

    std::uint8_t printMode_ = 0;
    bool highBytesNoted_ = false; // for the code table in force
    Card page_;                   // the card being printed
    PrintedLine line_{};          // the line being printed
    std::size_t column_ = 0;
    bool lineStarted_ = false;
};

} // namespace cardsim
