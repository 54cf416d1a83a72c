#pragma once

#include <cstdint>
#include <string>

namespace platform::win {

// The system's text for a Windows error code, without its closing line end; "error N" when
// the system has none.
std::string SystemErrorText(std::uint32_t code);

} // namespace platform::win
