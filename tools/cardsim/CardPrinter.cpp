#include "CardPrinter.h"

#include "CodeTable.h"
#include "EventText.h"

#include <algorithm>
#include <iterator>

namespace cardsim {

namespace {

constexpr std::size_t kTabWidth = 8;

// Everything the simulator says about a card state, one row a state.
struct CardStateFacts {
    CardState state;
    const char* name;         // in the printer's notices
    const char* traceWord;    // the event word in the trace file
    const char* announcement; // what the console says on entering the state
    std::uint8_t reply;       // the answer to the status request 10 04 05
};

constexpr CardStateFacts kCardStates[] = {
    {CardState::Empty, "no card", "card-emptied", "card taken out before its release",
     kReplyNoCard},
    {CardState::InPlace, "card in place", "card-inserted", "card inserted", kReplyCardInPlace},
    {CardState::Released, "card released", "card-released", "card released", kReplyCardReleased},
    {CardState::Taken, "card removed", "card-removed", "card removed", kReplyCardTaken},
};

const CardStateFacts* FactsOf(CardState state) {
    const auto* found =
        std::find_if(std::begin(kCardStates), std::end(kCardStates),
                     [state](const CardStateFacts& row) { return row.state == state; });
    return found != std::end(kCardStates) ? found : nullptr;
}

} // namespace

const char* CardStateName(CardState state) {
    const CardStateFacts* facts = FactsOf(state);
    return facts != nullptr ? facts->name : "?";
}

const char* CardStateTraceWord(CardState state) {
    const CardStateFacts* facts = FactsOf(state);
    return facts != nullptr ? facts->traceWord : "card-unknown";
}

const char* CardStateAnnouncement(CardState state) {
    const CardStateFacts* facts = FactsOf(state);
    return facts != nullptr ? facts->announcement : nullptr;
}

CardPrinter::CardPrinter(Timing timing, PrinterListener& listener)
    : timing_(timing), listener_(listener) {}

std::uint8_t CardPrinter::StatusReply(std::uint8_t request) const {
    if (request != 0x05) {
        return kReplyPrinterOk;
    }
    const CardStateFacts* facts = FactsOf(state_);
    return facts != nullptr ? facts->reply : kReplyNoCard;
}

void CardPrinter::Handle(const Event& event, Micros now) {
    switch (event.kind) {
    case EventKind::StatusRequest:
        StatusRequest(event.Parameter(0), now);
        break;
    case EventKind::Text:
        NoteHighBytes(event);
        AddText(DecodeText(event));
        break;
    case EventKind::Control:
        if (event.bytes[0] == 0x09) {
            Tab();
        }
        break;
    case EventKind::LineFeed:
        EndLine();
        break;
    case EventKind::FormFeed:
        Eject();
        break;
    case EventKind::Release:
        Release(now);
        break;
    case EventKind::PrintMode:
        printMode_ = event.Parameter(0);
        break;
    case EventKind::Initialize:
        printMode_ = 0;
        highBytesNoted_ = false;
        break;
    case EventKind::CodeTable:
        highBytesNoted_ = false;
        break;
    case EventKind::DrawerPulse:
        listener_.DrawerPulsed(event.Parameter(0), event.Parameter(1), event.Parameter(2));
        break;
    case EventKind::CarriageReturn: // the line is printed by the LF that follows
    case EventKind::Setting:
    case EventKind::Unknown:
    case EventKind::Truncated:
        break;
    }
}

void CardPrinter::StatusRequest(std::uint8_t request, Micros now) {
    if (request < 0x01 || request > 0x05) {
        listener_.Notice("status request " + std::to_string(request) + " is not defined; no reply");
        return;
    }
    if (request == 0x05 && timing_.automatic && !insertAt_) {
        // A request while the printer is idle means someone waits for a card. Right
        // after a removal the first request is the one that learns of it, so only
        // the requests after that one ask for a new card.
        if (state_ == CardState::Empty || (state_ == CardState::Taken && removalReported_)) {
            insertAt_ = now + timing_.insertDelay;
        }
    }
    listener_.Reply(StatusReply(request));
    if (request == 0x05 && state_ == CardState::Taken) {
        removalReported_ = true;
    }
}

void CardPrinter::Advance(Micros now) {
    if (insertAt_ && now >= *insertAt_) {
        insertAt_.reset();
        Insert();
    }
    if (removeAt_ && now >= *removeAt_) {
        removeAt_.reset();
        Remove();
    }
}

std::optional<Micros> CardPrinter::NextDeadline() const {
    if (insertAt_ && removeAt_) {
        return std::min(*insertAt_, *removeAt_);
    }
    return insertAt_ ? insertAt_ : removeAt_;
}

void CardPrinter::Insert() {
    insertAt_.reset();
    if (state_ == CardState::InPlace || state_ == CardState::Released) {
        listener_.Notice("a card is already in the printer");
        return;
    }
    SetState(CardState::InPlace);
}

void CardPrinter::Remove() {
    removeAt_.reset();
    switch (state_) {
    case CardState::InPlace:
        if (!PageEmpty()) {
            listener_.Notice("card taken out in the middle of printing");
            Eject();
        }
        SetState(CardState::Empty);
        break;
    case CardState::Released:
        ++cardsRemoved_;
        removalReported_ = false;
        SetState(CardState::Taken);
        break;
    case CardState::Empty:
    case CardState::Taken:
        listener_.Notice("there is no card to remove");
        break;
    }
}

void CardPrinter::NoteIfNoCard() {
    if (state_ != CardState::InPlace && !page_.printedWithoutCard) {
        page_.printedWithoutCard = true;
        listener_.Notice("printing with no card in place");
    }
}

// Letters beyond ASCII come out as the selected table has them, which may not be what
// the sender meant; say once which table that is.
void CardPrinter::NoteHighBytes(const Event& text) {
    if (highBytesNoted_) {
        return;
    }
    for (std::uint8_t byte : text.bytes) {
        if (byte >= 0x80) {
            highBytesNoted_ = true;
            listener_.Notice("bytes above 7F print as character table " +
                             std::to_string(text.codeTable) + " (" + CodeTableName(text.codeTable) +
                             ") has them");
            return;
        }
    }
}

void CardPrinter::AddText(const std::string& text) {
    NoteIfNoCard();
    if (!lineStarted_) {
        line_.printMode = printMode_;
        lineStarted_ = true;
    }
    line_.text += text;
    for (unsigned char c : text) {
        // Count characters, not the continuation bytes of UTF-8 sequences.
        if ((c & 0xC0) != 0x80) {
            ++column_;
        }
    }
}

void CardPrinter::Tab() {
    AddText(std::string(kTabWidth - column_ % kTabWidth, ' '));
}

void CardPrinter::EndLine() {
    NoteIfNoCard();
    if (!lineStarted_) {
        line_.printMode = printMode_;
    }
    page_.lines.push_back(std::move(line_));
    line_ = PrintedLine{};
    column_ = 0;
    lineStarted_ = false;
}

void CardPrinter::Eject() {
    if (lineStarted_) {
        EndLine();
    }
    if (page_.lines.empty() && state_ != CardState::InPlace) {
        listener_.Notice("form feed with no card in place");
        return;
    }
    page_.number = ++cardsPrinted_;
    listener_.CardPrinted(page_);
    page_ = Card{};
}

void CardPrinter::Release(Micros now) {
    if (state_ != CardState::InPlace) {
        listener_.Notice("release with no card in place");
        return;
    }
    if (!PageEmpty()) {
        Eject(); // released without a form feed: what was printed is on the card
    }
    SetState(CardState::Released);
    if (timing_.automatic) {
        removeAt_ = now + timing_.removeDelay;
    }
}

void CardPrinter::SetState(CardState state) {
    state_ = state;
    listener_.StateChanged(state);
}

} // namespace cardsim
