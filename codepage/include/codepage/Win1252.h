#pragma once

#include <QString>
#include <string>

// Texts leave the program for the printer as single-byte Windows-1252 strings; inside
// the program they are Unicode.
namespace win1252 {

// Characters that Windows-1252 cannot hold become "?".
std::string FromUnicode(const QString& text);
QString ToUnicode(const std::string& bytes);

} // namespace win1252
