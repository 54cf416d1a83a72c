// Feeds arbitrary bytes, in arbitrary pieces, to the card printer's decoder and model.
// Checks that every byte comes out in exactly one event, that the pieces do not change
// the events, and that the printer and the card pictures cope with whatever arrives.
#include "CardPrinter.h"
#include "CardText.h"
#include "EscPosDecoder.h"
#include "EventText.h"

#include <cstdlib>
#include <span>
#include <vector>

namespace {

class Sink : public cardsim::PrinterListener {
public:
    void Reply(std::uint8_t) override {}
    void StateChanged(cardsim::CardState) override {}
    void CardPrinted(const cardsim::Card& card) override { (void)cardsim::RenderCardText(card); }
    void DrawerPulsed(std::uint8_t, std::uint8_t, std::uint8_t) override {}
    void Notice(const std::string&) override {}
};

std::vector<cardsim::Event> Decode(std::span<const std::uint8_t> bytes, std::size_t piece) {
    cardsim::EscPosDecoder decoder;
    std::vector<cardsim::Event> events;
    for (std::size_t at = 0; at < bytes.size(); at += piece) {
        decoder.Feed(bytes.subspan(at, std::min(piece, bytes.size() - at)), events);
    }
    decoder.Flush(events);
    return events;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 1) {
        return 0;
    }
    const std::size_t piece = 1 + data[0] % 16;
    const std::span<const std::uint8_t> bytes(data + 1, size - 1);

    const std::vector<cardsim::Event> whole = Decode(bytes, bytes.size() + 1);
    std::vector<std::uint8_t> seen;
    for (const cardsim::Event& event : whole) {
        seen.insert(seen.end(), event.bytes.begin(), event.bytes.end());
        (void)cardsim::Describe(event);
    }
    if (!std::equal(seen.begin(), seen.end(), bytes.begin(), bytes.end()) ||
        Decode(bytes, piece) != whole) {
        std::abort();
    }

    Sink sink;
    cardsim::CardPrinter printer(cardsim::CardPrinter::Timing{}, sink);
    cardsim::Micros now{0};
    for (const cardsim::Event& event : whole) {
        now += cardsim::Micros(100'000);
        printer.Advance(now);
        printer.Handle(event, now);
    }
    return 0;
}
