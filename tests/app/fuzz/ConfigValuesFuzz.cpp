// libFuzzer entry for the configuration value parsers. Any text parses or is refused without
// fault; a number parsed reads back the same from its decimal and hexadecimal forms, a time
// of day from its "HH:mm:ss.zzz" form.
#include "app/core/ConfigValues.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <string>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);

    if (const std::optional<qint32> number = config::ParseInteger(text)) {
        char hex[16];
        std::snprintf(hex, sizeof hex, "$%X", static_cast<quint32>(*number));
        if (config::ParseInteger(std::to_string(*number)) != number ||
            config::ParseInteger(hex) != number) {
            std::abort();
        }
    }

    if (const std::optional<QTime> time = config::ParseTimeOfDay(text)) {
        if (!time->isValid() ||
            config::ParseTimeOfDay(time->toString(QStringLiteral("HH:mm:ss.zzz")).toStdString()) !=
                time) {
            std::abort();
        }
    }

    return 0;
}
