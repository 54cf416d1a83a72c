#pragma once

#include <cstddef>
#include <cstdint>
#include <span>
#include <vector>

// Incremental decoder of the byte stream a card printer receives. Bytes may arrive in
// any chunking; the events come out the same. A command whose bytes have not all
// arrived stays pending until its last byte comes or Flush() is called (the caller
// does so when the line has gone quiet), which reports it as truncated.
namespace cardsim {

enum class EventKind {
    Text,           // printable bytes, in the code table recorded with them
    LineFeed,       // 0A: print the line and feed
    CarriageReturn, // 0D
    FormFeed,       // 0C: print and eject the card
    Control,        // any other byte below 0x20 (0x00, tab...)
    StatusRequest,  // 10 04 n: real-time status request
    Initialize,     // 1B 40
    PrintMode,      // 1B 21 n
    CodeTable,      // 1B 74 n
    DrawerPulse,    // 1B 70 m t1 t2
    Release,        // 1B 71: let the card go
    Setting,        // a known command that does not change what the card shows
    Unknown,        // a command the decoder does not know: its first two bytes
    Truncated,      // a command cut short: the bytes that did arrive
};

struct Event {
    EventKind kind;
    std::vector<std::uint8_t> bytes; // exactly as received, command bytes included
    std::uint8_t codeTable = 0;      // for Text: the table selected when the bytes came

    // The n-th byte after the command bytes; Text and single-byte events have none.
    std::uint8_t Parameter(std::size_t n) const;
    bool operator==(const Event&) const = default;
};

class EscPosDecoder {
public:
    // Appends to `out` the events completed by `bytes`.
    void Feed(std::span<const std::uint8_t> bytes, std::vector<Event>& out);
    // Ends a pending text run and reports a pending command as truncated.
    void Flush(std::vector<Event>& out);
    bool HasPending() const { return !pending_.empty() || !text_.empty(); }
    std::uint8_t CodeTable() const { return codeTable_; }

private:
    // Longest text run kept in one event, so that endless text cannot grow memory.
    static constexpr std::size_t kMaxTextRun = 4096;

    void FeedByte(std::uint8_t byte, std::vector<Event>& out);
    void EndText(std::vector<Event>& out);
    void Emit(EventKind kind, std::vector<Event>& out);

    std::vector<std::uint8_t> pending_; // the command being received
    std::vector<std::uint8_t> text_;    // the text run being received
    std::uint8_t codeTable_ = 0;
};

} // namespace cardsim
