// libFuzzer entry for the text forms of the port settings. Any text converts to a setting;
// that setting's text converts back to the same setting and names it again (letter case
// aside). Every single character survives CharToText and CharFromText, and any text given to
// CharFromText gives one character without fault.
#include "ComText.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>

namespace {

bool SameIgnoringCase(const std::string& a, const std::string& b) {
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto up = [](char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 32) : c; };
        if (up(a[i]) != up(b[i]))
            return false;
    }
    return true;
}

// `fromText` of any text gives a setting whose text is not empty and reads back as the same
// setting; when the text was one of the setting names, it was that setting's name.
template <typename E>
void CheckRoundTrip(const std::string& text, E (*fromText)(const std::string&),
                    std::string (*toText)(E)) {
    const E value = fromText(text);
    const std::string name = toText(value);
    if (name.empty() || fromText(name) != value)
        std::abort();
    const E fallback = fromText(std::string("\x01"));
    if (value != fallback && !SameIgnoringCase(text, name))
        std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    CheckRoundTrip(text, BaudRateFromText, BaudRateToText);
    CheckRoundTrip(text, StopBitsFromText, StopBitsToText);
    CheckRoundTrip(text, DataBitsFromText, DataBitsToText);
    CheckRoundTrip(text, ParityFromText, ParityToText);
    CheckRoundTrip(text, FlowControlFromText, FlowControlToText);
    CheckRoundTrip(text, DTRControlFromText, DTRControlToText);
    CheckRoundTrip(text, RTSControlFromText, RTSControlToText);
    if (BaudRateValue(BaudRateFromText(text)) == 0 && BaudRateFromText(text) != brCustom)
        std::abort();
    if (BoolFromText(BoolToText(BoolFromText(text))) != BoolFromText(text))
        std::abort();

    (void)CharFromText(text);
    if (size > 0 &&
        CharFromText(CharToText(static_cast<char>(data[0]))) != static_cast<char>(data[0]))
        std::abort();
    return 0;
}
