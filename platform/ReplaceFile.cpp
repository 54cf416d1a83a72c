#include "ReplaceFile.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <system_error>

namespace platform {

std::string ReplaceFileContents(const std::string& path, const std::string& bytes) {
    const std::string temporary = path + ".tmp";
    {
        std::ofstream out(temporary, std::ios::binary | std::ios::trunc);
        if (!out)
            return std::strerror(errno);
        out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
        out.flush();
        if (!out) {
            const std::string reason = std::strerror(errno);
            std::error_code ignored;
            std::filesystem::remove(temporary, ignored);
            return reason;
        }
    }
    // std::rename fails on Windows when the target exists; the library's rename replaces it
    // there as it does on POSIX.
    std::error_code error;
    std::filesystem::rename(temporary, path, error);
    if (error) {
        std::error_code ignored;
        std::filesystem::remove(temporary, ignored);
        return error.message();
    }
    return {};
}

} // namespace platform
