#include <windows.h>
#include <winternl.h>

#include <cstring>
#include <cwchar>
#include <vector>
#include <utility>

#include "desk_folder.hpp"
#include "process_ids.hpp"

namespace desk {
namespace {

constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;

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

// Opens a file relative to the open desk folder, never through a link: whatever now has
// the folder's name, the file is the one in the folder that was opened and checked.
HANDLE OpenIn(std::intptr_t folder, const std::filesystem::path& name, ACCESS_MASK access, ULONG share,
              ULONG disposition, DWORD& error) {
    std::wstring text = name.wstring();
    UNICODE_STRING unicode{};
    unicode.Buffer = text.data();
    unicode.Length = unicode.MaximumLength = static_cast<USHORT>(text.size() * sizeof(wchar_t));
    OBJECT_ATTRIBUTES attributes;
    InitializeObjectAttributes(&attributes, &unicode, OBJ_CASE_INSENSITIVE, reinterpret_cast<HANDLE>(folder), nullptr);
    IO_STATUS_BLOCK io{};
    HANDLE file = nullptr;
    const NTSTATUS status =
        NtCreateFile(&file, access | SYNCHRONIZE, &attributes, &io, nullptr, FILE_ATTRIBUTE_NORMAL, share, disposition,
                     FILE_NON_DIRECTORY_FILE | FILE_SYNCHRONOUS_IO_NONALERT | FILE_OPEN_REPARSE_POINT, nullptr, 0);
    if (status >= 0) return file;
    error = RtlNtStatusToDosError(status);
    return INVALID_HANDLE_VALUE;
}

// The native API's rename request: the new name relative to a folder's handle.
struct RenameRequest {
    BOOLEAN ReplaceIfExists;
    HANDLE RootDirectory;
    ULONG FileNameLength;
    WCHAR FileName[1];
};
constexpr int kFileRenameInformation = 10;

// Renames an open file within the open desk folder.
bool RenameIn(HANDLE file, std::intptr_t folder, const std::filesystem::path& name, bool replace) {
    const std::wstring text = name.wstring();
    std::vector<unsigned char> buffer(sizeof(RenameRequest) + text.size() * sizeof(wchar_t));
    auto* info = reinterpret_cast<RenameRequest*>(buffer.data());
    info->ReplaceIfExists = replace ? TRUE : FALSE;
    info->RootDirectory = reinterpret_cast<HANDLE>(folder);
    info->FileNameLength = static_cast<ULONG>(text.size() * sizeof(wchar_t));
    std::memcpy(info->FileName, text.c_str(), text.size() * sizeof(wchar_t));
    IO_STATUS_BLOCK io{};
    const NTSTATUS status = NtSetInformationFile(file, &io, info, static_cast<ULONG>(buffer.size()),
                                                 static_cast<FILE_INFORMATION_CLASS>(kFileRenameInformation));
    if (status >= 0) return true;
    SetLastError(RtlNtStatusToDosError(status));
    return false;
}

bool DeleteOpen(HANDLE file) {
    FILE_DISPOSITION_INFO disposition{};
    disposition.DeleteFile = TRUE;
    return SetFileInformationByHandle(file, FileDispositionInfo, &disposition, sizeof disposition) != 0;
}

std::filesystem::path Child(const std::filesystem::path& folder, const std::string& name) {
    return folder / std::filesystem::path(name);
}

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

extern "C" NTSTATUS NTAPI NtQueryDirectoryFile(HANDLE folder, HANDLE event, PVOID apc, PVOID apc_context,
                                               PIO_STATUS_BLOCK io, PVOID information, ULONG length,
                                               FILE_INFORMATION_CLASS information_class, BOOLEAN single_entry,
                                               PUNICODE_STRING name, BOOLEAN restart);
constexpr int kFileIdBothDirectoryInformation = 37;

// True when the folder's name, as its parent lists it now, is a real folder and the one
// that was opened: a link that stood at the name for a moment, and was followed by a
// system that follows links when it opens, is caught by the open folder's id.
bool NameIsTheOpenFolder(std::filesystem::path path, HANDLE folder) {
    if (!path.has_filename()) path = path.parent_path();  // "C:\\desk\\" names the folder "desk"
    BY_HANDLE_FILE_INFORMATION opened{};
    if (!GetFileInformationByHandle(folder, &opened)) return false;
    Handle parent(CreateFileW(path.parent_path().c_str(), FILE_LIST_DIRECTORY | SYNCHRONIZE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
                              FILE_FLAG_BACKUP_SEMANTICS, nullptr));
    if (parent.get() == INVALID_HANDLE_VALUE) return false;
    std::wstring leaf = path.filename().wstring();
    UNICODE_STRING mask{};
    mask.Buffer = leaf.data();
    mask.Length = mask.MaximumLength = static_cast<USHORT>(leaf.size() * sizeof(wchar_t));
    alignas(8) unsigned char buffer[sizeof(FILE_ID_BOTH_DIR_INFO) + MAX_PATH * sizeof(wchar_t)];
    IO_STATUS_BLOCK io{};
    const NTSTATUS status = NtQueryDirectoryFile(parent.get(), nullptr, nullptr, nullptr, &io, buffer, sizeof buffer,
                                                 static_cast<FILE_INFORMATION_CLASS>(kFileIdBothDirectoryInformation),
                                                 TRUE, &mask, TRUE);
    if (status < 0) return false;
    const auto* entry = reinterpret_cast<const FILE_ID_BOTH_DIR_INFO*>(buffer);
    const auto index = static_cast<std::uint64_t>(opened.nFileIndexHigh) << 32 | opened.nFileIndexLow;
    return (entry->FileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0 &&
           (entry->FileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0 &&
           static_cast<std::uint64_t>(entry->FileId.QuadPart) == index;
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
    if (std::string refusal = DeskPathRefusal(); !refusal.empty()) return {path, -1, std::move(refusal)};
    std::error_code ignored;
    std::filesystem::create_directories(path, ignored);
    // The name's own attributes first: some systems report a link's target through the handle.
    if (const DWORD attributes = GetFileAttributesW(path.c_str()); attributes != INVALID_FILE_ATTRIBUTES) {
        if (const char* why = FolderProblem(attributes)) return {path, -1, Refusal(path, why)};
    }
    Handle folder(CreateFileW(path.c_str(), FILE_LIST_DIRECTORY | FILE_TRAVERSE | FILE_READ_ATTRIBUTES | SYNCHRONIZE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE,
                              nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT,
                              nullptr));
    if (folder.get() == INVALID_HANDLE_VALUE) return {path, -1, Refusal(path, "it cannot be created or opened")};
    BY_HANDLE_FILE_INFORMATION info{};
    if (!GetFileInformationByHandle(folder.get(), &info)) return {path, -1, Refusal(path, "it cannot be read")};
    if (const char* why = FolderProblem(info.dwFileAttributes)) return {path, -1, Refusal(path, why)};
    if (!NameIsTheOpenFolder(path, folder.get())) {
        return {path, -1, Refusal(path, "it is reached through a link, or was replaced while it was opened")};
    }
    return {path, reinterpret_cast<std::intptr_t>(folder.release()), ""};
}

Folder::~Folder() {
    if (handle_ != -1) CloseHandle(reinterpret_cast<HANDLE>(handle_));
}

Folder::Folder(Folder&& other) noexcept
    : path_(std::move(other.path_)), handle_(std::exchange(other.handle_, -1)), problem_(std::move(other.problem_)) {}

TextRead Folder::Read(const std::string& name, std::size_t limit, FileId* id) const {
    if (!Usable()) return {FileRead::Unreadable, {}};
    DWORD error = 0;
    Handle file(OpenIn(handle_, name, GENERIC_READ, kShareAll, FILE_OPEN, error));
    if (file.get() == INVALID_HANDLE_VALUE) {
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
    RemoveStaleTemporaries(path_, name);
    const std::wstring temporary = TemporaryName(name);
    DWORD error = 0;
    // Created only where nothing is, a link included, and written to stable storage.
    Handle file(OpenIn(handle_, temporary, GENERIC_READ | GENERIC_WRITE | DELETE, 0, FILE_CREATE, error));
    if (file.get() == INVALID_HANDLE_VALUE) {
        failure_ = "Windows error " + std::to_string(error);
        return FileWrite::Failed;
    }
    DWORD written = 0;
    if (!WriteFile(file.get(), bytes, static_cast<DWORD>(size), &written, nullptr) || written != size ||
        !FlushFileBuffers(file.get()) || !IsPlainFile(file.get(), id)) {
        failure_ = "Windows error " + std::to_string(GetLastError());
        DeleteOpen(file.get());
        return FileWrite::Failed;
    }
    if (RenameIn(file.get(), handle_, name, replace)) return FileWrite::Ok;
    const DWORD move_error = GetLastError();
    if (move_error == ERROR_ALREADY_EXISTS || move_error == ERROR_FILE_EXISTS) {
        DeleteOpen(file.get());
        return FileWrite::Exists;
    }
    // A reader holding the old file open blocks the replace: stepped around by path, the
    // folder held open meanwhile.
    const std::filesystem::path from = path_ / temporary;
    CloseHandle(file.release());
    if (replace && MoveWithRetries(from, Child(path_, name), true)) return FileWrite::Ok;
    failure_ = "Windows error " + std::to_string(move_error);
    DeleteFileW(from.c_str());
    return FileWrite::Failed;
}

FileRemove Folder::Remove(const std::string& name) const {
    if (!Usable()) return FileRemove::Failed;
    DWORD error = 0;
    Handle file(OpenIn(handle_, name, DELETE | FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, error));
    if (file.get() == INVALID_HANDLE_VALUE) {
        if (error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND) return FileRemove::Missing;
        failure_ = "Windows error " + std::to_string(error);
        return FileRemove::Failed;
    }
    if (DeleteOpen(file.get())) return FileRemove::Removed;
    failure_ = "Windows error " + std::to_string(GetLastError());
    return FileRemove::Failed;
}

bool Folder::Append(const std::string& name, std::string_view text, std::uintmax_t& size) const {
    if (!Usable()) return false;
    DWORD error = 0;
    Handle file(OpenIn(handle_, name, FILE_APPEND_DATA | FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN_IF, error));
    if (file.get() == INVALID_HANDLE_VALUE || !IsPlainFile(file.get(), nullptr)) return false;
    DWORD written = 0;
    const bool whole =
        WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) && written == text.size();
    LARGE_INTEGER length{};
    size = GetFileSizeEx(file.get(), &length) ? static_cast<std::uintmax_t>(length.QuadPart) : 0;
    return whole;
}

bool Folder::Rename(const std::string& from, const std::string& to) const {
    if (!Usable()) return false;
    DWORD error = 0;
    Handle file(OpenIn(handle_, from, DELETE | FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, error));
    return file.get() != INVALID_HANDLE_VALUE && IsPlainFile(file.get(), nullptr) && RenameIn(file.get(), handle_, to, true);
}

FileWrite Folder::MoveToFree(const std::string& from, const std::string& to) const {
    if (!Usable()) return FileWrite::Failed;
    DWORD error = 0;
    Handle file(OpenIn(handle_, from, DELETE | FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, error));
    if (file.get() == INVALID_HANDLE_VALUE || !IsPlainFile(file.get(), nullptr)) {
        failure_ = "Windows error " + std::to_string(file.get() == INVALID_HANDLE_VALUE ? error : ERROR_INVALID_HANDLE);
        return FileWrite::Failed;
    }
    if (RenameIn(file.get(), handle_, to, false)) return FileWrite::Ok;
    const DWORD move_error = GetLastError();
    if (move_error == ERROR_ALREADY_EXISTS || move_error == ERROR_FILE_EXISTS) return FileWrite::Exists;
    failure_ = "Windows error " + std::to_string(move_error);
    return FileWrite::Failed;
}

FileKind Folder::KindOf(const std::string& name) const {
    if (!Usable()) return FileKind::Unknown;
    DWORD error = 0;
    Handle file(OpenIn(handle_, name, FILE_READ_ATTRIBUTES, kShareAll, FILE_OPEN, error));
    if (file.get() == INVALID_HANDLE_VALUE) {
        return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileKind::Missing : FileKind::Unknown;
    }
    if (IsPlainFile(file.get(), nullptr)) return FileKind::Regular;
    BY_HANDLE_FILE_INFORMATION info{};
    const bool link = GetFileInformationByHandle(file.get(), &info) &&
                      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0;
    return link ? FileKind::Link : FileKind::Other;
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
    DWORD error = 0;
    Handle file(OpenIn(handle_, name, GENERIC_READ | GENERIC_WRITE, kShareAll, FILE_OPEN_IF, error));
    if (file.get() == INVALID_HANDLE_VALUE) {
        problem = PathOf(name) + " cannot be created or opened (Windows error " + std::to_string(error) + ")";
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
