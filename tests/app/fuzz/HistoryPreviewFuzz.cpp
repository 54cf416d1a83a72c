// libFuzzer entry for the history preview: any text, read as UTF-8, gives a preview that is
// trimmed and short.
#include "HistoryPreview.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString preview =
        HistoryPreview(QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size)));
    if (preview.size() > 50 || (!preview.isEmpty() && preview.front().unicode() <= 0x20))
        std::abort();
    return 0;
}
