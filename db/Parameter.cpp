#include "db/Parameter.h"

#include <QDate>
#include <QDateTime>
#include <limits>

namespace db {

void TDbParameter::SetValue(const QVariant& value) {
    Value = value;
    if (DataType == FieldType::ftUnknown) {
        switch (value.typeId()) {
        case QMetaType::Int:
        case QMetaType::UInt:
        case QMetaType::LongLong:
        case QMetaType::ULongLong:
        case QMetaType::Short:
        case QMetaType::UShort:
            DataType = FieldType::ftInteger;
            break;
        case QMetaType::QDateTime:
        case QMetaType::QDate:
            DataType = FieldType::ftDateTime;
            break;
        case QMetaType::QString:
        case QMetaType::QByteArray:
            DataType = FieldType::ftString;
            break;
        default:
            break;
        }
    }
    if (DataType == FieldType::ftString && value.typeId() == QMetaType::QString) {
        const qsizetype length = value.toString().size();
        if (length > Size)
            Size = int(qMin<qsizetype>(length, std::numeric_limits<int>::max()));
    }
}

} // namespace db
