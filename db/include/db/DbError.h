#pragma once

#include <QString>
#include <stdexcept>

namespace db {

// Every failure of the database layer: what() is the driver's or the data link's own message,
// in UTF-8. Messages never hold a password.
class DbError : public std::runtime_error {
public:
    explicit DbError(const QString& message) : std::runtime_error(message.toStdString()) {}
    QString Message() const { return QString::fromUtf8(what()); }
};

} // namespace db
