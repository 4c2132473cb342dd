#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "regular_file.hpp"

namespace sim {
namespace {

class Descriptor {
  public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) close(fd_);
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int get() const { return fd_; }

  private:
    int fd_;
};

// Unpredictable enough that nobody can plant a link at the name beforehand; the
// exclusive create refuses one anyway.
std::filesystem::path TemporaryName(const std::filesystem::path& path) {
    static unsigned counter = 0;
    timespec now{};
    clock_gettime(CLOCK_REALTIME, &now);
    char suffix[64];
    std::snprintf(suffix, sizeof suffix, ".tmp%ld-%lx-%x", static_cast<long>(getpid()),
                  static_cast<unsigned long>(now.tv_nsec) ^ static_cast<unsigned long>(random()), ++counter);
    std::filesystem::path name = path;
    name += suffix;
    return name;
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

bool Alive(long pid) { return kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM; }

// A writer killed between creating its temporary file and moving it into place leaves
// the file behind: remove those of processes that are gone.
void RemoveStaleTemporaries(const std::filesystem::path& path) {
    const std::string prefix = path.filename().string() + ".tmp";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(path.parent_path(), error)) {
        const std::string name = entry.path().filename().string();
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        const long pid = std::strtol(name.c_str() + prefix.size(), nullptr, 10);
        if (pid > 0 && pid != static_cast<long>(getpid()) && !Alive(pid)) unlink(entry.path().c_str());
    }
}

}  // namespace

TextRead ReadTextFile(const std::filesystem::path& path, std::size_t limit) {
    Descriptor fd(open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY));
    if (fd.get() < 0) return {errno == ENOENT ? FileRead::Missing : FileRead::Unreadable, {}};
    struct stat status {};
    if (fstat(fd.get(), &status) != 0) return {FileRead::Unreadable, {}};
    if (!S_ISREG(status.st_mode)) return {FileRead::NotRegular, {}};
    if (status.st_size < 0 || static_cast<std::size_t>(status.st_size) > limit) return {FileRead::WrongSize, {}};
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

bool AppendToFile(const std::filesystem::path& path, const std::string& text) {
    Descriptor fd(open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_NOFOLLOW | O_CLOEXEC | O_NOCTTY, 0600));
    if (fd.get() < 0) return false;
    return write(fd.get(), text.data(), text.size()) == static_cast<ssize_t>(text.size());
}

bool WriteNewFile(const std::filesystem::path& path, const unsigned char* bytes, std::size_t size) {
    Descriptor fd(open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    if (fd.get() < 0) return false;
    if (WriteAll(fd.get(), bytes, size) && fsync(fd.get()) == 0) return true;
    unlink(path.c_str());
    return false;
}

FileWrite WriteFileAtomically(const std::filesystem::path& path, const unsigned char* bytes, std::size_t size,
                              bool replace) {
    RemoveStaleTemporaries(path);
    const std::filesystem::path temporary = TemporaryName(path);
    if (!WriteNewFile(temporary, bytes, size)) return FileWrite::Failed;
    if (replace) {
        if (rename(temporary.c_str(), path.c_str()) == 0) return FileWrite::Ok;
        unlink(temporary.c_str());
        return FileWrite::Failed;
    }
    // link() refuses an existing name: the new file appears whole, and only where none was.
    const int linked = link(temporary.c_str(), path.c_str());
    const int link_error = errno;
    unlink(temporary.c_str());
    if (linked == 0) return FileWrite::Ok;
    return link_error == EEXIST ? FileWrite::Exists : FileWrite::Failed;
}

FileRemove RemoveFile(const std::filesystem::path& path) {
    if (unlink(path.c_str()) == 0) return FileRemove::Removed;
    return errno == ENOENT ? FileRemove::Missing : FileRemove::Failed;
}

std::filesystem::path TemporaryFolder() {
    // TMPDIR when it names a folder; otherwise the system's, as other programs do.
    if (const char* folder = std::getenv("TMPDIR"); folder != nullptr && folder[0] == '/') {
        struct stat status {};
        if (stat(folder, &status) == 0 && S_ISDIR(status.st_mode)) return folder;
    }
    return "/tmp";
}

std::string PreparePrivateFolder(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder.parent_path(), error);
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return "it cannot be created";
    struct stat status {};
    if (lstat(folder.c_str(), &status) != 0) return "it cannot be read";
    if (!S_ISDIR(status.st_mode)) return "it is not a folder";
    if (status.st_uid != geteuid()) return "another user owns it";
    if ((status.st_mode & (S_IWGRP | S_IWOTH)) != 0) return "other users can write to it";
    return "";
}

}  // namespace sim
