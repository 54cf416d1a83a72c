// libFuzzer entry: any bytes given as a data link file either parse or raise DbError.
#include "db/DataLink.h"
#include "db/DbError.h"

#include <cstddef>
#include <cstdint>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    try {
        db::ParseDataLink(bytes, QStringLiteral("/station/Molvar.udl"));
    } catch (const db::DbError&) {
    }
    return 0;
}
