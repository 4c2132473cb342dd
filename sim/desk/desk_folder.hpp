// The desk folder, opened once for each call and checked before anything in it is
// believed: a real folder of this user's that nobody else can write. Every file of the
// desk is then reached through that open folder, never again by its path, so a folder
// swapped by name after the check is never the one read or written.
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

namespace desk {

enum class FileRead { Ok, Missing, NotRegular, WrongSize, Unreadable };

struct TextRead {
    FileRead status = FileRead::Missing;
    std::string text;
};

// What is at a name of the desk. Unknown: something is there, or may be, that could not
// be looked at.
enum class FileKind { Missing, Regular, Link, Fifo, Folder, Other, Unknown };

enum class FileWrite { Ok, Exists, Failed };
enum class FileRemove { Removed, Missing, Failed };

// Which file a name led to: a file replaced by another has another id, even where the
// system hands the new file the old one's number.
struct FileId {
    std::uint64_t volume = 0, index = 0, changed = 0;
    bool operator==(const FileId&) const = default;
};

// A lock on a desk file, dropped by the system when its process ends, so that a station
// killed mid-run never leaves a port or the desk locked. The file's first bytes can carry
// a short text (the holder's process id), written in place with one write.
class FileLock {
  public:
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;
    bool WriteInPlace(std::string_view text);

  private:
    friend class Folder;
    explicit FileLock(std::intptr_t handle) : handle_(handle) {}
    std::intptr_t handle_;
};

enum class LockResult { Taken, Busy, Failed };

class Folder {
  public:
    // STAGEMARK_SIM_DIR, or else stagemark-sim in the temp folder; made, private to this
    // user, when missing.
    static Folder Open();
    ~Folder();
    Folder(Folder&& other) noexcept;
    Folder(const Folder&) = delete;
    Folder& operator=(const Folder&) = delete;
    Folder& operator=(Folder&&) = delete;

    bool Usable() const { return problem_.empty(); }
    // Which folder, why it cannot be used, and what to do; empty when usable.
    const std::string& Problem() const { return problem_; }
    // A file's path as UTF-8, for messages.
    std::string PathOf(std::string_view name) const;

    // Only a regular file, opened without waiting and never through a link, and never
    // more than `limit` bytes (WrongSize when larger).
    TextRead Read(const std::string& name, std::size_t limit, FileId* id = nullptr) const;
    // Writes a new temporary file, then moves it into place: over the old file when
    // `replace`, else only where no file is (Exists otherwise). Readers see the old bytes
    // or the new ones, never a mixture.
    FileWrite Write(const std::string& name, const unsigned char* bytes, std::size_t size, bool replace,
                    FileId* id = nullptr) const;
    FileRemove Remove(const std::string& name) const;
    // Why the last write or removal through this folder failed, from the system ("No space
    // left on device"); empty when none did.
    const std::string& LastFailure() const { return failure_; }
    // Appends the text with one write, so that lines of two processes never mix; `size`
    // is then the file's size. False when the file is not a regular file or cannot be written.
    bool Append(const std::string& name, std::string_view text, std::uintmax_t& size) const;
    bool Rename(const std::string& from, const std::string& to) const;
    // Moves the file to a name where nothing is, in one step that never replaces: a
    // process killed midway leaves the file at one name or the other, never at both and
    // never at neither. Exists when something is at `to`.
    FileWrite MoveToFree(const std::string& from, const std::string& to) const;
    // True when a regular file is at the name (a link there is not one).
    bool HasRegularFile(const std::string& name) const;
    // What is at the name, seen without opening what is there: a FIFO is never opened.
    FileKind KindOf(const std::string& name) const;
    // Locks the file, creating it if missing, only when free. `problem` says why on
    // Failed (the file cannot be created, or is not a regular file).
    LockResult Lock(const std::string& name, std::unique_ptr<FileLock>& lock, std::string& problem) const;
    // The same, waiting up to `wait_ms` for another process to let go: Busy after that.
    LockResult LockWithin(const std::string& name, int wait_ms, std::unique_ptr<FileLock>& lock,
                          std::string& problem) const;

  private:
    Folder(std::filesystem::path path, std::intptr_t handle, std::string problem)
        : path_(std::move(path)), handle_(handle), problem_(std::move(problem)) {}
    static std::string Refusal(const std::filesystem::path& path, const std::string& why);
    std::filesystem::path path_;
    std::intptr_t handle_;
    std::string problem_;
    mutable std::string failure_;
};

// The desk folder's path: STAGEMARK_SIM_DIR, or else stagemark-sim in the temp folder.
std::filesystem::path DeskPath();

// Why STAGEMARK_SIM_DIR cannot name the desk, with what to do: a relative path would put
// each program's desk under the folder it was started in. Empty when it can.
std::string DeskPathRefusal();

// What stands at a name in place of a file, for messages: "a symbolic link".
const char* KindText(FileKind kind);

// A path as UTF-8 text.
std::string PathText(const std::filesystem::path& path);

// A port's file of the desk: PortFile(1, ".phone") is "port1.phone". Not "COM1.phone":
// Windows takes COM1 to COM9 as the serial devices themselves, whatever the extension.
std::string PortFile(int port, const char* extension);

}  // namespace desk
