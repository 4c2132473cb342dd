#include <windows.h>

#include <cwchar>
#include <utility>

#include "desk_folder.hpp"
#include "process_ids.hpp"

namespace desk {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
// Never through a link or junction: the file itself, which is then checked.
constexpr DWORD kNoReparse = FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OPEN_REPARSE_POINT;

class Handle {
  public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return handle_; }
    HANDLE release() { return std::exchange(handle_, INVALID_HANDLE_VALUE); }

  private:
    HANDLE handle_;
};

std::filesystem::path Child(const std::filesystem::path& folder, const std::string& name) {
    return folder / std::filesystem::path(name);
}

// A plain file on disk: not a device, a pipe, a folder or a reparse point.
bool IsPlainFile(HANDLE file, FileId* id) {
    BY_HANDLE_FILE_INFORMATION info{};
    if (GetFileType(file) != FILE_TYPE_DISK || !GetFileInformationByHandle(file, &info)) return false;
    if ((info.dwFileAttributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT)) != 0) return false;
    if (id != nullptr) {
        *id = {info.dwVolumeSerialNumber,
               static_cast<std::uint64_t>(info.nFileIndexHigh) << 32 | static_cast<std::uint64_t>(info.nFileIndexLow),
               static_cast<std::uint64_t>(info.ftLastWriteTime.dwHighDateTime) << 32 |
                   static_cast<std::uint64_t>(info.ftLastWriteTime.dwLowDateTime)};
    }
    return true;
}

std::wstring TemporaryName(const std::string& name) {
    static unsigned counter = 0;
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    wchar_t suffix[64];
    std::swprintf(suffix, 64, L".tmp%lu-%llx-%x", GetCurrentProcessId(), static_cast<unsigned long long>(now.QuadPart),
                  ++counter);
    return std::filesystem::path(name).wstring() + suffix;
}

// Moves the file at `to` aside, then `from` into its place. Windows will not replace a
// file that a reader holds open, even one that allows deletion (a virus scanner, a
// viewer), but it will rename it: the reader keeps the old bytes. The name is free for a
// moment in between, where a station would find no phone and fail, never a wrong record.
bool ReplaceBesideAReader(const std::filesystem::path& from, const std::filesystem::path& to) {
    const std::filesystem::path aside = to.parent_path() / TemporaryName(PathText(to.filename()));
    if (!MoveFileExW(to.c_str(), aside.c_str(), MOVEFILE_WRITE_THROUGH)) return false;
    if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH)) {
        MoveFileExW(aside.c_str(), to.c_str(), MOVEFILE_WRITE_THROUGH);
        return false;
    }
    DeleteFileW(aside.c_str());  // gone when the reader closes it, or cleaned up later as stale
    return true;
}

// A reader that holds the file open blocks the replace. One that allows deletion is
// stepped around; one that does not is waited for, briefly, before giving up.
bool MoveWithRetries(const std::filesystem::path& from, const std::filesystem::path& to, bool replace) {
    for (int attempt = 0; attempt < 50; ++attempt) {
        if (MoveFileExW(from.c_str(), to.c_str(), (replace ? MOVEFILE_REPLACE_EXISTING : 0) | MOVEFILE_WRITE_THROUGH)) {
            return true;
        }
        const DWORD error = GetLastError();
        if (error != ERROR_ACCESS_DENIED && error != ERROR_SHARING_VIOLATION) return false;
        if (replace && ReplaceBesideAReader(from, to)) return true;
        SetLastError(error);
        Sleep(20);
    }
    return false;
}


// A writer killed between creating its temporary file and moving it into place leaves
// the file behind: remove those of processes that are gone.
void RemoveStaleTemporaries(const std::filesystem::path& folder, const std::string& name) {
    const std::wstring prefix = std::filesystem::path(name).wstring() + L".tmp";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(folder, error)) {
        const std::wstring file = entry.path().filename().wstring();
        if (file.compare(0, prefix.size(), prefix) != 0) continue;
        const unsigned long pid = std::wcstoul(file.c_str() + prefix.size(), nullptr, 10);
        if (pid > 0 && pid != GetCurrentProcessId() && !ProcessAlive(static_cast<long>(pid))) DeleteFileW(entry.path().c_str());
    }
}

bool WriteNewFile(const std::filesystem::path& path, const unsigned char* bytes, std::size_t size, FileId* id) {
    bool written_whole = false;
    DWORD error = 0;
    {
        // CREATE_NEW fails on anything already there, a link included.
        Handle file(CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, CREATE_NEW, kNoReparse, nullptr));
        if (file.get() == INVALID_HANDLE_VALUE) return false;
        DWORD written = 0;
        written_whole = WriteFile(file.get(), bytes, static_cast<DWORD>(size), &written, nullptr) && written == size &&
                        FlushFileBuffers(file.get()) && IsPlainFile(file.get(), id);
        error = GetLastError();
    }
    if (!written_whole) {
        DeleteFileW(path.c_str());
        SetLastError(error);
    }
    return written_whole;
}

const char* FolderProblem(DWORD attributes) {
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return "it is a link to another folder";
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return "it is not a folder";
    return nullptr;
}

}  // namespace

std::filesystem::path TemporaryFolder() {
    wchar_t folder[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH) return L"C:\\Windows\\Temp";
    return std::filesystem::path(folder);
}

// The temp folder on Windows is the user's own. The folder is held open without sharing
// deletion for the length of the call, so that it cannot be renamed or replaced while
// its files are reached by path; it must be a real folder, not a link to somewhere else.
Folder Folder::Open() {
    const std::filesystem::path path = DeskPath();
    std::error_code ignored;
    std::filesystem::create_directories(path, ignored);
    Handle folder(CreateFileW(path.c_str(), FILE_READ_ATTRIBUTES | SYNCHRONIZE, FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                              nullptr));
    if (folder.get() == INVALID_HANDLE_VALUE) return {path, -1, Refusal(path, "it cannot be created or opened")};
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(folder.get(), &info)) return {path, -1, Refusal(path, "it cannot be read")};
    if (const char* why = FolderProblem(info.dwFileAttributes)) return {path, -1, Refusal(path, why)};
    return {path, reinterpret_cast<std::intptr_t>(folder.release()), ""};
}

Folder::~Folder() {
    if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

Folder::Folder(Folder&& other) noexcept
    : path_(std::move(other.path_)), handle_(std::exchange(other.handle_, -1)), problem_(std::move(other.problem_)) {}

TextRead Folder::Read(const std::string& name, std::size_t limit, FileId* id) const {
    if (!Usable()) return {FileRead::Unreadable, {}};
    Handle file(CreateFileW(Child(path_, name).c_str(), GENERIC_READ, kShareAll, nullptr, OPEN_EXISTING, kNoReparse,
                            nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return {error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileRead::Missing
                                                                                : FileRead::Unreadable,
                {}};
    }
    if (!IsPlainFile(file.get(), id)) return {FileRead::NotRegular, {}};
    LARGE_INTEGER length{};
    if (!GetFileSizeEx(file.get(), &length)) return {FileRead::Unreadable, {}};
    if (length.QuadPart < 0 || static_cast<unsigned long long>(length.QuadPart) > limit) {
        return {FileRead::WrongSize, {}};
    }
    TextRead read{FileRead::Ok, std::string(static_cast<std::size_t>(length.QuadPart), '\0')};
    DWORD got = 0;
    if (!read.text.empty() &&
        !ReadFile(file.get(), read.text.data(), static_cast<DWORD>(read.text.size()), &got, nullptr)) {
        return {FileRead::Unreadable, {}};
    }
    read.text.resize(got);
    return read;
}

FileWrite Folder::Write(const std::string& name, const unsigned char* bytes, std::size_t size, bool replace,
                        FileId* id) const {
    if (!Usable()) return FileWrite::Failed;
    const std::filesystem::path target = Child(path_, name);
    RemoveStaleTemporaries(path_, name);
    const std::filesystem::path temporary = path_ / TemporaryName(name);
    if (!WriteNewFile(temporary, bytes, size, id)) {
        failure_ = "Windows error " + std::to_string(GetLastError());
        return FileWrite::Failed;
    }
    if (MoveWithRetries(temporary, target, replace)) return FileWrite::Ok;
    const DWORD move_error = GetLastError();
    DeleteFileW(temporary.c_str());
    if (move_error == ERROR_ALREADY_EXISTS || move_error == ERROR_FILE_EXISTS) return FileWrite::Exists;
    failure_ = "Windows error " + std::to_string(move_error);
    return FileWrite::Failed;
}

FileRemove Folder::Remove(const std::string& name) const {
    if (!Usable()) return FileRemove::Failed;
    if (DeleteFileW(Child(path_, name).c_str())) return FileRemove::Removed;
    const DWORD error = GetLastError();
    if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return FileRemove::Missing;
    failure_ = "Windows error " + std::to_string(error);
    return FileRemove::Failed;
}

bool Folder::Append(const std::string& name, std::string_view text, std::uintmax_t& size) const {
    if (!Usable()) return false;
    Handle file(CreateFileW(Child(path_, name).c_str(), FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, kShareAll, nullptr,
                            OPEN_ALWAYS, kNoReparse, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE || !IsPlainFile(file.get(), nullptr)) return false;
    DWORD written = 0;
    const bool whole =
        WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
    LARGE_INTEGER length{};
    size = GetFileSizeEx(file.get(), &length) ? static_cast<std::uintmax_t>(length.QuadPart) : 0;
    return whole;
}

bool Folder::Rename(const std::string& from, const std::string& to) const {
    return Usable() && MoveWithRetries(Child(path_, from), Child(path_, to), true);
}

bool Folder::HasRegularFile(const std::string& name) const {
    if (!Usable()) return false;
    const DWORD attributes = GetFileAttributesW(Child(path_, name).c_str());
    return attributes != INVALID_FILE_ATTRIBUTES &&
           (attributes & (FILE_ATTRIBUTE_DIRECTORY | FILE_ATTRIBUTE_REPARSE_POINT | FILE_ATTRIBUTE_DEVICE)) == 0;
}

namespace {

// One byte far past the content: Windows locks are mandatory, and others must still be
// able to read what the file says (the holder's process id).
OVERLAPPED FarByte() {
    OVERLAPPED far_byte{};
    far_byte.OffsetHigh = 0x7FFFFFFF;
    return far_byte;
}

}  // namespace

LockResult Folder::Lock(const std::string& name, std::unique_ptr<FileLock>& lock, std::string& problem) const {
    if (!Usable()) {
        problem = problem_;
        return LockResult::Failed;
    }
    Handle file(CreateFileW(Child(path_, name).c_str(), GENERIC_READ | GENERIC_WRITE, kShareAll, nullptr, OPEN_ALWAYS,
                            kNoReparse, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        problem = PathOf(name) + " cannot be created or opened (Windows error " + std::to_string(GetLastError()) + ")";
        return LockResult::Failed;
    }
    if (!IsPlainFile(file.get(), nullptr)) {
        problem = PathOf(name) + " is not a regular file";
        return LockResult::Failed;
    }
    OVERLAPPED far_byte = FarByte();
    const DWORD flags = LOCKFILE_EXCLUSIVE_LOCK | LOCKFILE_FAIL_IMMEDIATELY;
    if (!LockFileEx(file.get(), flags, 0, 1, 0, &far_byte)) {
        if (GetLastError() == ERROR_LOCK_VIOLATION || GetLastError() == ERROR_IO_PENDING) return LockResult::Busy;
        problem = PathOf(name) + " cannot be locked (Windows error " + std::to_string(GetLastError()) + ")";
        return LockResult::Failed;
    }
    lock.reset(new FileLock(reinterpret_cast<std::intptr_t>(file.release())));
    return LockResult::Taken;
}

// Unlocked before the close: Windows may take a while to drop a lock left on a closed file.
FileLock::~FileLock() {
    HANDLE file = reinterpret_cast<HANDLE>(handle_);
    OVERLAPPED far_byte = FarByte();
    UnlockFileEx(file, 0, 1, 0, &far_byte);
    CloseHandle(file);
}

bool FileLock::WriteInPlace(std::string_view text) {
    HANDLE file = reinterpret_cast<HANDLE>(handle_);
    OVERLAPPED start{};
    DWORD written = 0;
    return WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, &start) && written == text.size();
}

}  // namespace desk
