// libFuzzer entry for the Windows-1252 conversions. Every byte string survives a trip to
// Unicode and back; any Unicode text (the input read as UTF-16, lone surrogates included)
// converts to at most one byte per code unit, and that result is stable under a second trip.
#include "codepage/Win1252.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstring>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    if (win1252::FromUnicode(win1252::ToUnicode(bytes)) != bytes)
        std::abort();

    std::u16string units(size / 2, u'\0');
    std::memcpy(units.data(), data, units.size() * sizeof(char16_t));
    const QString text(reinterpret_cast<const QChar*>(units.data()), qsizetype(units.size()));
    const std::string encoded = win1252::FromUnicode(text);
    if (encoded.size() > static_cast<std::size_t>(text.size()) ||
        win1252::FromUnicode(win1252::ToUnicode(encoded)) != encoded) {
        std::abort();
    }
    return 0;
}
