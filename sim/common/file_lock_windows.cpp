#include <windows.h>

#include <string>

#include "file_lock.hpp"

namespace sim {
namespace {

// One byte far past the content: Windows locks are mandatory, and others must still be
// able to read what the file says (the holder's process id).
OVERLAPPED FarByte() {
    OVERLAPPED far_byte{};
    far_byte.OffsetHigh = 0x7FFFFFFF;
    return far_byte;
}

}  // namespace

std::unique_ptr<FileLock> FileLock::Take(const std::filesystem::path& path, bool wait) {
    HANDLE file = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return nullptr;
    OVERLAPPED far_byte = FarByte();
    const DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | (wait ? 0 : LOCKFILE_FAIL_IMMEDIATELY);
    if (!LockFileEx(file, flags, 0, 1, 0, &far_byte)) {
        CloseHandle(file);
        return nullptr;
    }
    return std::unique_ptr<FileLock>(new FileLock(reinterpret_cast<std::intptr_t>(file)));
}

std::unique_ptr<FileLock> FileLock::Wait(const std::filesystem::path& path) { return Take(path, true); }
std::unique_ptr<FileLock> FileLock::TryTake(const std::filesystem::path& path) { return Take(path, false); }

// Unlocked before the close: Windows may take a while to drop a lock left on a closed file.
FileLock::~FileLock() {
    HANDLE file = reinterpret_cast<HANDLE>(handle_);
    OVERLAPPED far_byte = FarByte();
    UnlockFileEx(file, 0, 1, 0, &far_byte);
    CloseHandle(file);
}

bool FileLock::Write(const std::string& text) {
    HANDLE file = reinterpret_cast<HANDLE>(handle_);
    LARGE_INTEGER start{};
    if (!SetFilePointerEx(file, start, nullptr, FILE_BEGIN) || !SetEndOfFile(file)) return false;
    DWORD written = 0;
    return WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
}

}  // namespace sim
