#include "ComText.h"

#include <array>
#include <charconv>

namespace {

constexpr std::array<const char*, 16> baudTexts = {
    "Custom", "110",   "300",   "600",   "1200",  "2400",   "4800",   "9600",
    "14400",  "19200", "38400", "56000", "57600", "115200", "128000", "256000"};
constexpr std::array<std::uint32_t, 16> baudValues = {0,     110,    300,    600,   1200,  2400,
                                                      4800,  9600,   14400,  19200, 38400, 56000,
                                                      57600, 115200, 128000, 256000};
constexpr std::array<const char*, 3> stopTexts = {"1", "1.5", "2"};
constexpr std::array<const char*, 4> dataTexts = {"5", "6", "7", "8"};
constexpr std::array<const char*, 5> parityTexts = {"None", "Odd", "Even", "Mark", "Space"};
constexpr std::array<const char*, 4> flowTexts = {"Hardware", "Software", "None", "Custom"};
constexpr std::array<const char*, 3> dtrTexts = {"Disable", "Enable", "Handshake"};
constexpr std::array<const char*, 4> rtsTexts = {"Disable", "Enable", "Handshake", "Toggle"};

bool SameTextAscii(const std::string& a, const char* b) {
    std::size_t i = 0;
    for (; i < a.size() && b[i] != '\0'; ++i) {
        auto up = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
        if (up(a[i]) != up(b[i]))
            return false;
    }
    return i == a.size() && b[i] == '\0';
}

template <typename E, std::size_t N>
E FromText(const std::array<const char*, N>& texts, const std::string& text, E fallback) {
    for (std::size_t i = 0; i < N; ++i)
        if (SameTextAscii(text, texts[i]))
            return static_cast<E>(i);
    return fallback;
}

template <std::size_t N> std::string ToText(const std::array<const char*, N>& texts, int value) {
    if (value < 0 || static_cast<std::size_t>(value) >= N)
        return {};
    return texts[static_cast<std::size_t>(value)];
}

} // namespace

std::string BaudRateToText(TBaudRate value) {
    return ToText(baudTexts, value);
}
std::string StopBitsToText(TStopBits value) {
    return ToText(stopTexts, value);
}
std::string DataBitsToText(TDataBits value) {
    return ToText(dataTexts, value);
}
std::string ParityToText(TParityBits value) {
    return ToText(parityTexts, value);
}
std::string FlowControlToText(TFlowControl value) {
    return ToText(flowTexts, value);
}
std::string DTRControlToText(TDTRFlowControl value) {
    return ToText(dtrTexts, value);
}
std::string RTSControlToText(TRTSFlowControl value) {
    return ToText(rtsTexts, value);
}

TBaudRate BaudRateFromText(const std::string& text) {
    return FromText(baudTexts, text, br9600);
}
TStopBits StopBitsFromText(const std::string& text) {
    return FromText(stopTexts, text, sbOneStopBit);
}
TDataBits DataBitsFromText(const std::string& text) {
    return FromText(dataTexts, text, dbEight);
}
TParityBits ParityFromText(const std::string& text) {
    return FromText(parityTexts, text, prNone);
}
TFlowControl FlowControlFromText(const std::string& text) {
    return FromText(flowTexts, text, fcCustom);
}
TDTRFlowControl DTRControlFromText(const std::string& text) {
    return FromText(dtrTexts, text, dtrDisable);
}
TRTSFlowControl RTSControlFromText(const std::string& text) {
    return FromText(rtsTexts, text, rtsDisable);
}

std::string BoolToText(bool value) {
    return value ? "Yes" : "No";
}
bool BoolFromText(const std::string& text) {
    return SameTextAscii(text, "YES");
}

std::string CharToText(char value) {
    const auto code = static_cast<unsigned char>(value);
    if (code >= 33 && code <= 127)
        return std::string(1, value);
    std::string text(1, '#');
    text += std::to_string(code);
    return text;
}

char CharFromText(const std::string& text) {
    if (text.empty())
        return 0;
    if (text[0] != '#' || text.size() == 1)
        return text[0];
    int code = 0;
    const char* first = text.data() + 1;
    const char* last = text.data() + text.size();
    auto [end, error] = std::from_chars(first, last, code);
    // A code that is no character is as malformed as one that is no number.
    if (error != std::errc() || end != last || code < 0 || code > 255)
        return 0;
    return static_cast<char>(code);
}

std::uint32_t BaudRateValue(TBaudRate value) {
    if (value < 0 || static_cast<std::size_t>(value) >= baudValues.size())
        return 0;
    return baudValues[static_cast<std::size_t>(value)];
}
