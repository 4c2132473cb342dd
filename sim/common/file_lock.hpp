// A lock on a desk file, dropped by the operating system when its process ends, so that
// a station killed mid-run never leaves a port or the desk locked.
#pragma once

#include <filesystem>
#include <cstdint>
#include <memory>
#include <string>

namespace sim {

class FileLock {
  public:
    // Waits for the lock: for the desk's short updates (the trace, the faults).
    static std::unique_ptr<FileLock> Wait(const std::filesystem::path& path);
    // Takes the lock only when nobody holds it: a port held by a station's link.
    static std::unique_ptr<FileLock> TryTake(const std::filesystem::path& path);

    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

    // Replaces the locked file's content, for example with the holder's process id.
    bool Write(const std::string& text);

  private:
    explicit FileLock(std::intptr_t handle) : handle_(handle) {}
    static std::unique_ptr<FileLock> Take(const std::filesystem::path& path, bool wait);
    std::intptr_t handle_;
};

}  // namespace sim
