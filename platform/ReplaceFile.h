#pragma once

#include <string>

namespace platform {

// Replaces a file's contents in one step: the bytes are written beside it and the new file
// then takes the old one's place, so that a failure never leaves half a file. Creates the
// file when it is missing. Returns "" on success, otherwise the reason it failed (the old
// file is then untouched and nothing is left beside it).
std::string ReplaceFileContents(const std::string& path, const std::string& bytes);

} // namespace platform
