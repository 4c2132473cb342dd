#include <windows.h>

#include <cwchar>

#include "regular_file.hpp"

namespace sim {
namespace {

class Handle {
  public:
    explicit Handle(HANDLE handle) : handle_(handle) {}
    ~Handle() {
        if (handle_ != INVALID_HANDLE_VALUE) CloseHandle(handle_);
    }
    Handle(const Handle&) = delete;
    Handle& operator=(const Handle&) = delete;
    HANDLE get() const { return handle_; }

  private:
    HANDLE handle_;
};

std::filesystem::path TemporaryName(const std::filesystem::path& path) {
    static unsigned counter = 0;
    LARGE_INTEGER now{};
    QueryPerformanceCounter(&now);
    wchar_t suffix[64];
    std::swprintf(suffix, 64, L".tmp%lu-%llx-%x", GetCurrentProcessId(), static_cast<unsigned long long>(now.QuadPart),
                  ++counter);
    std::filesystem::path name = path;
    name += suffix;
    return name;
}

// Moves the file at `to` aside, then `from` into its place. Windows will not replace a
// file that a reader holds open, even one that allows deletion (a virus scanner, a
// viewer), but it will rename it: the reader keeps the old bytes. The name is free for a
// moment in between, where a station would find no phone and fail, never a wrong record.
bool ReplaceBesideAReader(const std::filesystem::path& from, const std::filesystem::path& to) {
    const std::filesystem::path aside = TemporaryName(to);
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

bool Alive(DWORD pid) {
    HANDLE process = OpenProcess(SYNCHRONIZE, FALSE, pid);
    if (process == nullptr) return GetLastError() == ERROR_ACCESS_DENIED;
    const bool running = WaitForSingleObject(process, 0) == WAIT_TIMEOUT;
    CloseHandle(process);
    return running;
}

// A writer killed between creating its temporary file and moving it into place leaves
// the file behind: remove those of processes that are gone.
void RemoveStaleTemporaries(const std::filesystem::path& path) {
    const std::wstring prefix = path.filename().wstring() + L".tmp";
    std::error_code error;
    for (const auto& entry : std::filesystem::directory_iterator(path.parent_path(), error)) {
        const std::wstring name = entry.path().filename().wstring();
        if (name.compare(0, prefix.size(), prefix) != 0) continue;
        const unsigned long pid = std::wcstoul(name.c_str() + prefix.size(), nullptr, 10);
        if (pid > 0 && pid != GetCurrentProcessId() && !Alive(pid)) DeleteFileW(entry.path().c_str());
    }
}

}  // namespace

TextRead ReadTextFile(const std::filesystem::path& path, std::size_t limit) {
    Handle file(CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        return {error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileRead::Missing
                                                                                : FileRead::Unreadable,
                {}};
    }
    if (GetFileType(file.get()) != FILE_TYPE_DISK) return {FileRead::NotRegular, {}};
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

bool AppendToFile(const std::filesystem::path& path, const std::string& text) {
    Handle file(CreateFileW(path.c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
                            nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
    if (file.get() == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    return WriteFile(file.get(), text.data(), static_cast<DWORD>(text.size()), &written, nullptr) &&
           written == text.size();
}

bool WriteNewFile(const std::filesystem::path& path, const unsigned char* bytes, std::size_t size) {
    bool written_whole = false;
    {
        // CREATE_NEW fails on anything already there, a link included.
        Handle file(CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_NEW, FILE_ATTRIBUTE_NORMAL, nullptr));
        if (file.get() == INVALID_HANDLE_VALUE) return false;
        DWORD written = 0;
        written_whole = WriteFile(file.get(), bytes, static_cast<DWORD>(size), &written, nullptr) && written == size &&
                        FlushFileBuffers(file.get());
    }
    if (!written_whole) DeleteFileW(path.c_str());
    return written_whole;
}

FileWrite WriteFileAtomically(const std::filesystem::path& path, const unsigned char* bytes, std::size_t size,
                              bool replace) {
    RemoveStaleTemporaries(path);
    const std::filesystem::path temporary = TemporaryName(path);
    if (!WriteNewFile(temporary, bytes, size)) return FileWrite::Failed;
    if (MoveWithRetries(temporary, path, replace)) return FileWrite::Ok;
    const DWORD move_error = GetLastError();
    DeleteFileW(temporary.c_str());
    return move_error == ERROR_ALREADY_EXISTS || move_error == ERROR_FILE_EXISTS ? FileWrite::Exists
                                                                                 : FileWrite::Failed;
}

FileRemove RemoveFile(const std::filesystem::path& path) {
    if (DeleteFileW(path.c_str())) return FileRemove::Removed;
    const DWORD error = GetLastError();
    return error == ERROR_FILE_NOT_FOUND || error == ERROR_PATH_NOT_FOUND ? FileRemove::Missing : FileRemove::Failed;
}

std::filesystem::path TemporaryFolder() {
    wchar_t folder[MAX_PATH + 1];
    const DWORD length = GetTempPathW(MAX_PATH + 1, folder);
    if (length == 0 || length > MAX_PATH) return L"C:\\Windows\\Temp";
    return std::filesystem::path(folder);
}

// The temp folder on Windows is the user's own; the desk checks only that its folder is a
// real folder, not a link to somewhere else.
std::string PreparePrivateFolder(const std::filesystem::path& folder) {
    std::error_code error;
    std::filesystem::create_directories(folder, error);
    const DWORD attributes = GetFileAttributesW(folder.c_str());
    if (attributes == INVALID_FILE_ATTRIBUTES) return "it cannot be created";
    if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return "it is not a folder";
    if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) return "it is a link to another folder";
    return "";
}

}  // namespace sim
