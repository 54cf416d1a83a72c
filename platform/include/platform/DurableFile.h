#pragma once

#include <string>

namespace platform {

// How a durable write puts its bytes in the file.
enum class DurableMode {
    Replace, // the file is created, or emptied first
    Append,  // the bytes go after what the file holds; a missing file is created
};

// Writes `bytes` to the file at `path` (UTF-8) and returns only once the system reports them
// on the disk, so that they outlive a power cut as well as the end of the program: fdatasync
// on POSIX, and the folder flushed too when the write created the file, so that its name
// survives with it; FlushFileBuffers on Windows. Returns "" on success, otherwise the step
// that failed, the file and the system's reason ("write /x/Plinova.jnl: No space left on
// device"); the file may then hold any part of the bytes.
std::string WriteFileDurably(const std::string& path, const std::string& bytes, DurableMode mode);

} // namespace platform
