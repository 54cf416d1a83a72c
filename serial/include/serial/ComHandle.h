// The handle of an open device or event, as the serial platform hands them out.
#pragma once

#include <cstdint>

namespace serial {

using THandle = std::intptr_t;

} // namespace serial
