#include "posix/PosixRxDecoder.h"

#include "ComPlatform.h"

namespace serial {

void PosixRxDecoder::Emit(Result& result, char byte) {
    if (byte == 0 && settings_.discardNull)
        return;
    if (byte == settings_.eventChar)
        result.events |= EV_RXFLAG;
    result.data += byte;
}

PosixRxDecoder::Result PosixRxDecoder::Decode(const char* bytes, std::size_t count) {
    Result result;
    for (std::size_t i = 0; i < count; ++i) {
        const char c = bytes[i];
        if (marked_ == 0) {
            if (c == '\xFF')
                marked_ = 1;
            else
                Emit(result, c);
        } else if (marked_ == 1) {
            if (c == '\xFF') {
                marked_ = 0;
                Emit(result, c);
            } else if (c == 0) {
                marked_ = 2;
            } else {
                // Not a mark the driver writes; keep both bytes rather than lose one.
                marked_ = 0;
                Emit(result, '\xFF');
                Emit(result, c);
            }
        } else {
            marked_ = 0;
            if (c == 0) {
                result.errors |= CE_BREAK;
                result.events |= EV_BREAK;
            } else {
                result.errors |= CE_RXPARITY;
                result.events |= EV_ERR;
                Emit(result, settings_.replaceErrors ? settings_.errorChar : c);
            }
        }
    }
    if (result.data.empty() && result.errors == 0 && result.events == 0)
        return result;
    if (!result.data.empty())
        result.events |= EV_RXCHAR;
    return result;
}

} // namespace serial
