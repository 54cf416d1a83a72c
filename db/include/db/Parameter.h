#pragma once

#include <QString>
#include <QVariant>

namespace db {

// Declared types of statement parameters. ftUnknown: bound as the value's own type.
enum class FieldType { ftInteger, ftDateTime, ftString, ftUnknown };

class TDbParameter {
public:
    QString Name;
    FieldType DataType = FieldType::ftUnknown;
    int Size = 0;
    bool Nullable = true;
    QVariant Value;

    // Sets the value; a parameter of unknown type takes the value's type, and a string longer
    // than the declared size enlarges the parameter (a value is never cut).
    void SetValue(const QVariant& value);
};

} // namespace db
