#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "file_lock.hpp"

namespace sim {

std::unique_ptr<FileLock> FileLock::Take(const std::filesystem::path& path, bool wait) {
    const int fd = open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600);
    if (fd < 0) return nullptr;
    int locked;
    do {
        locked = flock(fd, LOCK_EX | (wait ? 0 : LOCK_NB));
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        close(fd);
        return nullptr;
    }
    return std::unique_ptr<FileLock>(new FileLock(fd));
}

std::unique_ptr<FileLock> FileLock::Wait(const std::filesystem::path& path) { return Take(path, true); }
std::unique_ptr<FileLock> FileLock::TryTake(const std::filesystem::path& path) { return Take(path, false); }

FileLock::~FileLock() { close(static_cast<int>(handle_)); }

bool FileLock::Write(const std::string& text) {
    const int fd = static_cast<int>(handle_);
    if (ftruncate(fd, 0) != 0) return false;
    return pwrite(fd, text.data(), text.size(), 0) == static_cast<ssize_t>(text.size());
}

}  // namespace sim
