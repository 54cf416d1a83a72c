// libFuzzer entry: any statement text scans without fault, and the result stays consistent
// with the text: every marker replaced by one "?" at the place recorded for it, nothing added,
// every marker from a ":".
#include "ParameterScan.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QString sql = QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
    const db::ScannedSql scanned = db::ScanParameters(sql);

    if (scanned.text.size() > sql.size() || scanned.markers.size() > sql.count(u':') ||
        scanned.text.count(u'?') < scanned.markers.size()) {
        std::abort();
    }
    // Engines bind by the recorded places: one per marker, in order, each on a "?".
    if (scanned.markerAt.size() != scanned.markers.size())
        std::abort();
    qsizetype previous = -1;
    for (qsizetype at : scanned.markerAt) {
        if (at <= previous || at >= scanned.text.size() || scanned.text.at(at) != u'?')
            std::abort();
        previous = at;
    }
    // Text without a marker comes out unchanged but for "::".
    if (scanned.markers.isEmpty() && !sql.contains(QStringLiteral("::")) && scanned.text != sql) {
        std::abort();
    }
    return 0;
}
