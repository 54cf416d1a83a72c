// Durable writes with the Windows file calls.
#include "platform/DurableFile.h"
#include "win/SystemErrorText.h"

#include <windows.h>

namespace platform {

namespace {

std::string Failure(const char* step, const std::string& path, DWORD error) {
    return std::string(step) + " " + path + ": " + win::SystemErrorText(error);
}

std::wstring Wide(const std::string& utf8) {
    const int length =
        MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<std::size_t>(length), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                        length);
    return wide;
}

} // namespace

std::string WriteFileDurably(const std::string& path, const std::string& bytes, DurableMode mode) {
    // Appending handles write at the end of the file whatever its size, as O_APPEND does.
    const bool append = mode == DurableMode::Append;
    const HANDLE file =
        CreateFileW(Wide(path).c_str(), append ? FILE_APPEND_DATA : GENERIC_WRITE, FILE_SHARE_READ,
                    nullptr, append ? OPEN_ALWAYS : CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE)
        return Failure("CreateFile", path, GetLastError());

    std::string failure;
    std::size_t done = 0;
    while (failure.empty() && done < bytes.size()) {
        const std::size_t left = bytes.size() - done;
        const DWORD chunk = left > 0x10000000u ? 0x10000000u : static_cast<DWORD>(left);
        DWORD written = 0;
        if (!WriteFile(file, bytes.data() + done, chunk, &written, nullptr))
            failure = Failure("WriteFile", path, GetLastError());
        else if (written == 0)
            failure = Failure("WriteFile", path, ERROR_DISK_FULL);
        done += written;
    }
    // The file's data and metadata, through the disk's own cache. A folder has no flush here: a
    // new file's name is metadata that NTFS logs and replays after a power cut.
    if (failure.empty() && !FlushFileBuffers(file))
        failure = Failure("FlushFileBuffers", path, GetLastError());
    if (!CloseHandle(file) && failure.empty())
        failure = Failure("CloseHandle", path, GetLastError());
    return failure;
}

} // namespace platform
