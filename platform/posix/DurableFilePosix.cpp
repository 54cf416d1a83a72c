// Durable writes with the POSIX file calls.
#include "platform/DurableFile.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace platform {

namespace {

std::string Failure(const char* step, const std::string& path, int error) {
    return std::string(step) + " " + path + ": " + std::strerror(error);
}

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

// A new file's name lives in its folder, which the file's own flush does not write.
std::string FlushFolder(const std::string& path) {
    const std::string folder = FolderOf(path);
    const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0)
        return Failure("open", folder, errno);
    const int synced = ::fsync(fd);
    const int error = errno;
    ::close(fd);
    return synced == 0 ? std::string() : Failure("fsync", folder, error);
}

} // namespace

std::string WriteFileDurably(const std::string& path, const std::string& bytes, DurableMode mode) {
    struct stat before {};
    const bool existed = ::stat(path.c_str(), &before) == 0;
    const int flags =
        O_WRONLY | O_CREAT | O_CLOEXEC | (mode == DurableMode::Append ? O_APPEND : O_TRUNC);
    int fd;
    do
        fd = ::open(path.c_str(), flags, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0)
        return Failure("open", path, errno);

    std::string failure;
    std::size_t done = 0;
    while (failure.empty() && done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n > 0)
            done += static_cast<std::size_t>(n);
        else if (n == 0)
            failure = Failure("write", path, ENOSPC);
        else if (errno != EINTR)
            failure = Failure("write", path, errno);
    }
    // fdatasync writes the file's size with its data: all a reader needs.
    if (failure.empty() && ::fdatasync(fd) != 0)
        failure = Failure("fdatasync", path, errno);
    if (::close(fd) != 0 && failure.empty())
        failure = Failure("close", path, errno);
    if (failure.empty() && !existed)
        failure = FlushFolder(path);
    return failure;
}

} // namespace platform
