#include "DevicePublication.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace cardsim {

namespace {

std::runtime_error Failure(const std::string& what) {
    return std::runtime_error(what + ": " + std::strerror(errno));
}

// Written under a temporary name and renamed, so that a script waiting for the file
// never reads half of it.
void WriteFile(const std::string& path, const std::string& text) {
    const std::string temporary = path + ".tmp";
    std::FILE* file = std::fopen(temporary.c_str(), "w");
    if (file == nullptr) {
        throw Failure("cannot create " + temporary);
    }
    const bool written = std::fputs(text.c_str(), file) >= 0;
    if (std::fclose(file) != 0 || !written) {
        std::remove(temporary.c_str());
        throw Failure("cannot write " + temporary);
    }
    if (std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(temporary.c_str());
        throw Failure("cannot rename " + temporary + " to " + path);
    }
}

std::string LinkTarget(const std::string& link) {
    char target[4096];
    const ssize_t length = readlink(link.c_str(), target, sizeof target - 1);
    return length < 0 ? std::string() : std::string(target, static_cast<std::size_t>(length));
}

void MakeLink(const std::string& device, const std::string& link) {
    struct stat status {};
    if (lstat(link.c_str(), &status) == 0) {
        if (!S_ISLNK(status.st_mode)) {
            throw std::runtime_error("cannot make the link " + link +
                                     ": a file of that name exists and is not a link");
        }
        // Left over from an earlier run.
        if (unlink(link.c_str()) != 0) {
            throw Failure("cannot replace the link " + link);
        }
    }
    if (symlink(device.c_str(), link.c_str()) != 0) {
        throw Failure("cannot make the link " + link);
    }
}

} // namespace

DevicePublication::DevicePublication(const std::string& device, std::string file, std::string link)
    : device_(device) {
    // The link comes first: a script that waits for the file may use the link at once.
    if (!link.empty()) {
        MakeLink(device, link);
        link_ = std::move(link);
    }
    if (!file.empty()) {
        try {
            WriteFile(file, device + "\n");
        } catch (...) {
            if (!link_.empty()) {
                unlink(link_.c_str());
            }
            throw;
        }
        file_ = std::move(file);
    }
}

DevicePublication::~DevicePublication() {
    if (!file_.empty()) {
        std::remove(file_.c_str());
    }
    // Another simulator may have taken the name over since.
    if (!link_.empty() && LinkTarget(link_) == device_) {
        unlink(link_.c_str());
    }
}

} // namespace cardsim
