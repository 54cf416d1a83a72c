#include "EscPosDecoder.h"

#include <optional>

namespace cardsim {

namespace {

constexpr std::uint8_t kDle = 0x10;
constexpr std::uint8_t kEsc = 0x1B;
constexpr std::uint8_t kGs = 0x1D;

struct CommandShape {
    std::size_t length; // all bytes, command bytes included
    EventKind kind;
};

// Every command the decoder knows: its lead byte, its code byte and its shape.
struct KnownCommand {
    std::uint8_t lead;
    std::uint8_t code;
    CommandShape shape;
};

constexpr KnownCommand kCommands[] = {
    {kDle, 0x04, {3, EventKind::StatusRequest}},
    {kGs, 'a', {3, EventKind::Setting}}, // automatic status back
    {kGs, '!', {3, EventKind::Setting}}, // character size
    {kGs, 'B', {3, EventKind::Setting}}, // reverse printing
    {kEsc, '@', {2, EventKind::Initialize}},
    {kEsc, '!', {3, EventKind::PrintMode}},
    {kEsc, 't', {3, EventKind::CodeTable}},
    {kEsc, 'p', {5, EventKind::DrawerPulse}},
    {kEsc, 'q', {2, EventKind::Release}},
    {kEsc, 'c', {4, EventKind::Setting}},
    {kEsc, '2', {2, EventKind::Setting}},
    {kEsc, '=', {3, EventKind::Setting}},
    {kEsc, 'R', {3, EventKind::Setting}},
    {kEsc, 'F', {3, EventKind::Setting}},
    {kEsc, 'U', {3, EventKind::Setting}},
    {kEsc, 'E', {3, EventKind::Setting}},
    {kEsc, 'G', {3, EventKind::Setting}},
    {kEsc, '-', {3, EventKind::Setting}},
    {kEsc, '3', {3, EventKind::Setting}},
    {kEsc, 'a', {3, EventKind::Setting}},
    {kEsc, 'M', {3, EventKind::Setting}},
};

// The shape of the command begun in `bytes` (at least two bytes long, led by DLE, ESC or
// GS), or nothing when the decoder does not know it. ESC c takes a sub-command byte
// before its parameter.
std::optional<CommandShape> Shape(const std::vector<std::uint8_t>& bytes) {
    for (const KnownCommand& command : kCommands) {
        if (command.lead == bytes[0] && command.code == bytes[1]) {
            return command.shape;
        }
    }
    return std::nullopt;
}

} // namespace

std::uint8_t Event::Parameter(std::size_t n) const {
    std::size_t commandBytes = 0;
    switch (kind) {
    case EventKind::StatusRequest:
    case EventKind::PrintMode:
    case EventKind::CodeTable:
    case EventKind::DrawerPulse:
        commandBytes = 2;
        break;
    case EventKind::Setting:
        commandBytes = (bytes.size() == 4) ? 3 : 2;
        break;
    default:
        return 0;
    }
    const std::size_t at = commandBytes + n;
    return at < bytes.size() ? bytes[at] : 0;
}

void EscPosDecoder::Feed(std::span<const std::uint8_t> bytes, std::vector<Event>& out) {
    for (std::uint8_t byte : bytes) {
        FeedByte(byte, out);
    }
}

void EscPosDecoder::Flush(std::vector<Event>& out) {
    EndText(out);
    if (!pending_.empty()) {
        Emit(EventKind::Truncated, out);
    }
}

void EscPosDecoder::FeedByte(std::uint8_t byte, std::vector<Event>& out) {
    if (!pending_.empty()) {
        pending_.push_back(byte);
        const std::optional<CommandShape> shape = Shape(pending_);
        if (!shape) {
            Emit(EventKind::Unknown, out);
        } else if (pending_.size() == shape->length) {
            if (shape->kind == EventKind::CodeTable) {
                codeTable_ = pending_[2];
            } else if (shape->kind == EventKind::Initialize) {
                codeTable_ = 0;
            }
            Emit(shape->kind, out);
        }
        return;
    }
    if (byte >= 0x20) {
        text_.push_back(byte);
        if (text_.size() == kMaxTextRun) {
            EndText(out);
        }
        return;
    }
    EndText(out);
    pending_.push_back(byte);
    switch (byte) {
    case kDle:
    case kEsc:
    case kGs:
        return; // a command begins; its length is known from its second byte
    case 0x0A:
        Emit(EventKind::LineFeed, out);
        return;
    case 0x0D:
        Emit(EventKind::CarriageReturn, out);
        return;
    case 0x0C:
        Emit(EventKind::FormFeed, out);
        return;
    default:
        Emit(EventKind::Control, out);
        return;
    }
}

void EscPosDecoder::EndText(std::vector<Event>& out) {
    if (text_.empty()) {
        return;
    }
    out.push_back(Event{EventKind::Text, std::move(text_), codeTable_});
    text_.clear();
}

void EscPosDecoder::Emit(EventKind kind, std::vector<Event>& out) {
    out.push_back(Event{kind, std::move(pending_), codeTable_});
    pending_.clear();
}

} // namespace cardsim
