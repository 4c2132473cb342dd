#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <utility>
#include <dirent.h>

#include "desk_folder.hpp"
#include "process_ids.hpp"

namespace desk {
namespace {

constexpr int kOpenFlags = O_NONBLOCK | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY;

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }
    int release() { return std::exchange(fd_, -1); }

  private:
    int fd_;
};

int Dir(std::intptr_t handle) { return static_cast<int>(handle); }

FileId IdOf(const struct stat& status) {
    return {static_cast<std::uint64_t>(status.st_dev), static_cast<std::uint64_t>(status.st_ino),
            static_cast<std::uint64_t>(status.st_ctim.tv_sec) * 1000000000u +
                static_cast<std::uint64_t>(status.st_ctim.tv_nsec)};
}

// Unpredictable enough that nobody can plant a link at the name beforehand; the
// exclusive create refuses one anyway.
std::string TemporaryName(const std::string& name) {
    static unsigned counter = 0;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".tmp%ld-%lx-%x", static_cast<long>(getpid()),
                  static_cast<unsigned long>(now.tv_nsec) ^ static_cast<unsigned long>(random()), ++counter);
    return name + suffix;
}

bool WriteAll(int fd, const unsigned char* bytes, std::size_t size) {
    while (size > 0) {
        const ssize_t written = write(fd, bytes, size);
        if (written < 0 && errno == EINTR) continue;
        if (written <= 0) return false;
        bytes += written;
        size -= static_cast<std::size_t>(written);
    }
    return true;
}


// A writer killed between creating its temporary file and moving it into place leaves
// the file behind: remove those of processes that are gone.
void RemoveStaleTemporaries(int dir, const std::string& name) {
    const int listing = openat(dir, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listing < 0) return;
    DIR* entries = fdopendir(listing);
    if (entries == nullptr) {
        close(listing);
        return;
    }
    const std::string prefix = name + ".tmp";
    while (const dirent* entry = readdir(entries)) {
        if (std::strncmp(entry->d_name, prefix.c_str(), prefix.size()) != 0) continue;
        const long pid = std::strtol(entry->d_name + prefix.size(), nullptr, 10);
        if (pid > 0 && pid != static_cast<long>(getpid()) && !ProcessAlive(static_cast<long>(pid))) unlinkat(dir, entry->d_name, 0);
    }
    closedir(entries);
}

// Creates the file only where nothing is, never through a link, and writes the bytes to
// stable storage.
bool WriteNewFile(int dir, const std::string& name, const unsigned char* bytes, std::size_t size, FileId* id) {
    Descriptor fd(openat(dir, name.c_str(), O_WRONLY | O_CREAT | O_EXCL | kOpenFlags, 0600));
    if (fd.get() < 0) return false;
    struct stat status {};
    if (WriteAll(fd.get(), bytes, size) && fsync(fd.get()) == 0 && fstat(fd.get(), &status) == 0) {
        if (id != nullptr) *id = IdOf(status);
        return true;
    }
    const int error = errno;
    unlinkat(dir, name.c_str(), 0);
    errno = error;
    return false;
}

const char* FolderProblem(int error) {
    switch (error) {
        case ELOOP: return "it is a symbolic link";
        case ENOTDIR: return "it is not a folder";
        case EACCES: return "it cannot be opened (permission denied)";
        default: return "it cannot be opened";
    }
}

}  // namespace

std::filesystem::path TemporaryFolder() {
    // TMPDIR when it names a folder; otherwise the system's, as other programs do.
    if (const char* folder = std::getenv("TMPDIR"); folder != nullptr && folder[0] == '/') {
        struct stat status {};
        if (stat(folder, &status) == 0 && S_ISDIR(status.st_mode)) return folder;
    }
    return "/tmp";
}

Folder Folder::Open() {
    const std::filesystem::path path = DeskPath();
    if (std::string refusal = DeskPathRefusal(); !refusal.empty()) return {path, -1, std::move(refusal)};
    const int flags = O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC;
    int fd = open(path.c_str(), flags);
    if (fd < 0 && errno == ENOENT) {
        std::error_code ignored;
        std::filesystem::create_directories(path.parent_path(), ignored);
        if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return {path, -1, Refusal(path, "it cannot be created")};
        fd = open(path.c_str(), flags);
    }
    if (fd < 0) {
        const int error = errno;
        struct stat link {};
        const bool is_link = lstat(path.c_str(), &link) == 0 && S_ISLNK(link.st_mode);
        return {path, -1, Refusal(path, is_link ? "it is a symbolic link" : FolderProblem(error))};
    }
    // What was opened is checked, not the name: the name may lead elsewhere a moment later.
    struct stat status {};
    if (fstat(fd, &status) != 0) {
        close(fd);
        return {path, -1, Refusal(path, "it cannot be read")};
    }
    const char* why = !S_ISDIR(status.st_mode)                      ? "it is not a folder"
                      : status.st_uid != geteuid()                  ? "another user owns it"
                      : (status.st_mode & (S_IWGRP | S_IWOTH)) != 0 ? "other users can write to it"
                                                                    : nullptr;
    if (why != nullptr) {
        close(fd);
        return {path, -1, Refusal(path, why)};
    }
    return {path, fd, ""};
}

Folder::~Folder() {
    if (handle_ >= 0) close(Dir(handle_));
}

Folder::Folder(Folder&& other) noexcept
    : path_(std::move(other.path_)), handle_(std::exchange(other.handle_, -1)), problem_(std::move(other.problem_)) {}

TextRead Folder::Read(const std::string& name, std::size_t limit, FileId* id) const {
    if (!Usable()) return {FileRead::Unreadable, {}};
    Descriptor fd(openat(Dir(handle_), name.c_str(), O_RDONLY | kOpenFlags));
    if (fd.get() < 0) {
        if (errno == ENOENT) return {FileRead::Missing, {}};
        return {errno == ELOOP || errno == ENXIO ? FileRead::NotRegular : FileRead::Unreadable, {}};
    }
    struct stat status {};
    if (fstat(fd.get(), &status) != 0) return {FileRead::Unreadable, {}};
    if (!S_ISREG(status.st_mode)) return {FileRead::NotRegular, {}};
    if (status.st_size < 0 || static_cast<std::size_t>(status.st_size) > limit) return {FileRead::WrongSize, {}};
    if (id != nullptr) *id = IdOf(status);
    TextRead read{FileRead::Ok, std::string(static_cast<std::size_t>(status.st_size), '\0')};
    std::size_t got = 0;
    while (got < read.text.size()) {
        const ssize_t n = ::read(fd.get(), read.text.data() + got, read.text.size() - got);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return {FileRead::Unreadable, {}};
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
    }
    read.text.resize(got);
    return read;
}

FileWrite Folder::Write(const std::string& name, const unsigned char* bytes, std::size_t size, bool replace,
                        FileId* id) const {
    if (!Usable()) return FileWrite::Failed;
    const int dir = Dir(handle_);
    RemoveStaleTemporaries(dir, name);
    const std::string temporary = TemporaryName(name);
    if (!WriteNewFile(dir, temporary, bytes, size, id)) {
        failure_ = std::strerror(errno);
        return FileWrite::Failed;
    }
    // Moving the file changes its status: its id is taken where it landed.
    const auto landed = [&] {
        struct stat status {};
        if (id != nullptr && fstatat(dir, name.c_str(), &status, AT_SYMLINK_NOFOLLOW) == 0) *id = IdOf(status);
        return FileWrite::Ok;
    };
    if (replace) {
        if (renameat(dir, temporary.c_str(), dir, name.c_str()) == 0) return landed();
        failure_ = std::strerror(errno);
        unlinkat(dir, temporary.c_str(), 0);
        return FileWrite::Failed;
    }
    // linkat() refuses an existing name: the new file appears whole, and only where none was.
    const int linked = linkat(dir, temporary.c_str(), dir, name.c_str(), 0);
    const int link_error = errno;
    unlinkat(dir, temporary.c_str(), 0);
    if (linked == 0) return landed();
    if (link_error == EEXIST) return FileWrite::Exists;
    failure_ = std::strerror(link_error);
    return FileWrite::Failed;
}

FileRemove Folder::Remove(const std::string& name) const {
    if (!Usable()) return FileRemove::Failed;
    if (unlinkat(Dir(handle_), name.c_str(), 0) == 0) return FileRemove::Removed;
    if (errno == ENOENT) return FileRemove::Missing;
    failure_ = std::strerror(errno);
    return FileRemove::Failed;
}

bool Folder::Append(const std::string& name, std::string_view text, std::uintmax_t& size) const {
    if (!Usable()) return false;
    Descriptor fd(openat(Dir(handle_), name.c_str(), O_WRONLY | O_APPEND | O_CREAT | kOpenFlags, 0600));
    struct stat status {};
    if (fd.get() < 0 || fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode)) return false;
    const bool whole = write(fd.get(), text.data(), text.size()) == static_cast<ssize_t>(text.size());
    size = static_cast<std::uintmax_t>(status.st_size) + text.size();
    return whole;
}

bool Folder::Rename(const std::string& from, const std::string& to) const {
    return Usable() && renameat(Dir(handle_), from.c_str(), Dir(handle_), to.c_str()) == 0;
}

FileWrite Folder::MoveToFree(const std::string& from, const std::string& to) const {
    if (!Usable()) return FileWrite::Failed;
    const int dir = Dir(handle_);
    if (renameat2(dir, from.c_str(), dir, to.c_str(), RENAME_NOREPLACE) == 0) return FileWrite::Ok;
    if (errno == EEXIST) return FileWrite::Exists;
    // A file system without the no-replace rename: a second name that only a free name
    // takes, then the first let go. Killed between the two, the file has both names, one
    // file with one record: nothing is lost, and the next move of it is refused.
    if (errno != EINVAL && errno != ENOSYS) {
        failure_ = std::strerror(errno);
        return FileWrite::Failed;
    }
    if (linkat(dir, from.c_str(), dir, to.c_str(), 0) != 0) {
        if (errno == EEXIST) return FileWrite::Exists;
        failure_ = std::strerror(errno);
        return FileWrite::Failed;
    }
    if (unlinkat(dir, from.c_str(), 0) == 0) return FileWrite::Ok;
    failure_ = std::strerror(errno);
    unlinkat(dir, to.c_str(), 0);
    return FileWrite::Failed;
}

FileKind Folder::KindOf(const std::string& name) const {
    struct stat status {};
    if (!Usable()) return FileKind::Unknown;
    if (fstatat(Dir(handle_), name.c_str(), &status, AT_SYMLINK_NOFOLLOW) != 0) {
        return errno == ENOENT ? FileKind::Missing : FileKind::Unknown;
    }
    if (S_ISREG(status.st_mode)) return FileKind::Regular;
    if (S_ISLNK(status.st_mode)) return FileKind::Link;
    if (S_ISFIFO(status.st_mode)) return FileKind::Fifo;
    return S_ISDIR(status.st_mode) ? FileKind::Folder : FileKind::Other;
}

LockResult Folder::Lock(const std::string& name, std::unique_ptr<FileLock>& lock, std::string& problem) const {
    if (!Usable()) {
        problem = problem_;
        return LockResult::Failed;
    }
    Descriptor fd(openat(Dir(handle_), name.c_str(), O_RDWR | O_CREAT | kOpenFlags, 0600));
    if (fd.get() < 0) {
        const int error = errno;
        problem = PathOf(name) + (error == ELOOP                      ? " is a symbolic link"
                                  : error == ENXIO || error == EISDIR ? " is not a regular file"
                                                                      : " cannot be created or opened (" +
                                                                            std::string(std::strerror(error)) + ")");
        return LockResult::Failed;
    }
    struct stat status {};
    if (fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        problem = PathOf(name) + " is not a regular file";
        return LockResult::Failed;
    }
    int locked;
    do {
        locked = flock(fd.get(), LOCK_EX | LOCK_NB);
    } while (locked != 0 && errno == EINTR);
    if (locked != 0) {
        if (errno == EWOULDBLOCK) return LockResult::Busy;
        problem = PathOf(name) + " cannot be locked (" + std::string(std::strerror(errno)) + ")";
        return LockResult::Failed;
    }
    lock.reset(new FileLock(fd.release()));
    return LockResult::Taken;
}

FileLock::~FileLock() { close(static_cast<int>(handle_)); }

bool FileLock::WriteInPlace(std::string_view text) {
    return pwrite(static_cast<int>(handle_), text.data(), text.size(), 0) == static_cast<ssize_t>(text.size());
}

}  // namespace desk
