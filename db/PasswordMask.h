#pragma once

#include <QString>
#include <QStringList>

namespace db {

// What a message shows instead of a password.
inline constexpr char16_t kMaskedPassword[] = u"****";

// Hides passwords in a message before anyone sees it:
// - the value of every "PWD=" or "Password=" in the message (bare, quoted or in braces),
//   whatever it is;
// - every occurrence of a password of four characters or more;
// - a shorter password where it stands as a value: after "=", or between quotes or braces
//   (anywhere else it would also mask parts of ordinary words).
QString MaskPasswords(QString message, const QStringList& passwords);

} // namespace db
