#include "EventText.h"

#include "CodeTable.h"

#include <cstdio>

namespace cardsim {

namespace {

std::string Hex(std::uint8_t byte) {
    char buffer[3];
    std::snprintf(buffer, sizeof buffer, "%02X", byte);
    return buffer;
}

std::string PrintModeText(std::uint8_t mode) {
    std::string text = (mode & 0x01) ? "font B" : "font A";
    if (mode & 0x08) {
        text += ", emphasized";
    }
    if (mode & 0x10) {
        text += ", double height";
    }
    if (mode & 0x20) {
        text += ", double width";
    }
    if (mode & 0x80) {
        text += ", underline";
    }
    return text;
}

std::string DrawerPin(std::uint8_t m) {
    switch (m) {
    case 0x00:
    case '0':
        return "pin 2";
    case 0x01:
    case '1':
        return "pin 5";
    default:
        return "unknown pin " + Hex(m);
    }
}

std::string SettingText(const Event& event) {
    const std::uint8_t lead = event.bytes[0];
    const std::uint8_t code = event.bytes[1];
    const std::string n = Hex(event.Parameter(0));
    if (lead == 0x1D) {
        switch (code) {
        case 'a':
            return "GS a " + n + ": automatic status back " + n;
        case '!':
            return "GS ! " + n + ": character size " + n;
        default:
            return "GS B " + n + ": reverse printing " + n;
        }
    }
    if (code == 'c') {
        const std::string head =
            "ESC c " + std::string(1, static_cast<char>(event.bytes[2])) + " " + n + ": ";
        switch (event.bytes[2]) {
        case '0':
            return head + "paper types for printing " + n;
        case '1':
            return head + "paper types for command settings " + n;
        case '3':
            return head + "paper sensors to signal paper end " + n;
        case '4':
            return head + "paper sensors to stop printing " + n;
        case '5':
            return head + "panel buttons " + n;
        default:
            return head + "not simulated";
        }
    }
    const std::string head = "ESC " + std::string(1, static_cast<char>(code)) +
                             (event.bytes.size() > 2 ? " " + n : std::string()) + ": ";
    switch (code) {
    case '=':
        return head + "select peripheral " + n;
    case 'R':
        return head + "international character set " + std::to_string(event.Parameter(0));
    case 'U':
        return head + "unidirectional printing " + ((event.Parameter(0) & 1) ? "on" : "off");
    case 'E':
        return head + "emphasized " + ((event.Parameter(0) & 1) ? "on" : "off");
    case '2':
        return head + "default line spacing";
    case '3':
        return head + "line spacing " + std::to_string(event.Parameter(0));
    default:
        return head + "accepted, no effect on the card";
    }
}

} // namespace

std::string HexBytes(std::span<const std::uint8_t> bytes) {
    std::string text;
    for (std::uint8_t byte : bytes) {
        if (!text.empty()) {
            text += ' ';
        }
        text += Hex(byte);
    }
    return text;
}

std::string DescribeDrawerPulse(std::uint8_t pin, std::uint8_t onTime, std::uint8_t offTime) {
    return "drawer pulse (" + DrawerPin(pin) + ", " + std::to_string(onTime) + "/" +
           std::to_string(offTime) + ")";
}

std::string DecodeText(const Event& event) {
    std::string text;
    for (std::uint8_t byte : event.bytes) {
        AppendUtf8(text, DecodeByte(event.codeTable, byte));
    }
    return text;
}

std::string Describe(const Event& event) {
    switch (event.kind) {
    case EventKind::Text:
        return "text \"" + DecodeText(event) + "\"";
    case EventKind::LineFeed:
        return "LF";
    case EventKind::CarriageReturn:
        return "CR";
    case EventKind::FormFeed:
        return "FF: print and eject";
    case EventKind::Control:
        return "control byte " + Hex(event.bytes[0]) +
               (event.bytes[0] == 0x09 ? ": tab" : ": ignored");
    case EventKind::StatusRequest:
        return "DLE EOT " + Hex(event.Parameter(0)) + ": status request";
    case EventKind::Initialize:
        return "ESC @: initialise";
    case EventKind::PrintMode:
        return "ESC ! " + Hex(event.Parameter(0)) + ": print mode " +
               PrintModeText(event.Parameter(0));
    case EventKind::CodeTable:
        return "ESC t " + Hex(event.Parameter(0)) + ": character code table " +
               std::to_string(event.Parameter(0)) + " (" + CodeTableName(event.Parameter(0)) + ")";
    case EventKind::DrawerPulse:
        return DescribeDrawerPulse(event.Parameter(0), event.Parameter(1), event.Parameter(2));
    case EventKind::Release:
        return "ESC q: release the card";
    case EventKind::Setting:
        return SettingText(event);
    case EventKind::Unknown:
        return "unknown command " + HexBytes(event.bytes);
    case EventKind::Truncated:
        return "truncated command " + HexBytes(event.bytes);
    }
    return "event " + HexBytes(event.bytes);
}

} // namespace cardsim
