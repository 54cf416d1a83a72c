// Turns the bytes the terminal driver hands over, with its error marks (0xFF 0x00 x for a
// byte received with a parity or framing error, 0xFF 0x00 0x00 for a break, 0xFF 0xFF for a
// data byte 0xFF), into the bytes a reader gets and the line events they raise. A break
// raises its event and error and adds no byte.
#pragma once

#include <cstdint>
#include <string>

namespace serial {

class PosixRxDecoder {
public:
    struct Settings {
        bool discardNull = false;
        bool replaceErrors = false;
        char errorChar = 0;
        char eventChar = 0;
    };
    struct Result {
        std::string data;
        std::uint32_t errors = 0; // CE_ bits
        std::uint32_t events = 0; // EV_ bits
    };

    void SetSettings(const Settings& settings) { settings_ = settings; }
    // Decodes one chunk; a mark split across chunks is finished by the next one.
    Result Decode(const char* bytes, std::size_t count);

private:
    void Emit(Result& result, char byte);

    Settings settings_;
    int marked_ = 0; // bytes of a mark seen so far: 0, 1 (0xFF) or 2 (0xFF 0x00)
};

} // namespace serial
