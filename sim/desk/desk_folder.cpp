#include "desk_folder.hpp"

#include <chrono>
#include <cstdlib>
#include <optional>
#include <thread>

namespace desk {

std::filesystem::path TemporaryFolder();  // the platform's

namespace {

std::optional<std::filesystem::path> NamedDesk() {
#ifdef _WIN32
    // Wide, so that a folder named in any language reaches the file system unchanged.
    if (const wchar_t* folder = _wgetenv(L"STAGEMARK_SIM_DIR"); folder != nullptr && *folder != L'\0') return folder;
#else
    if (const char* folder = std::getenv("STAGEMARK_SIM_DIR"); folder != nullptr && *folder != '\0') return folder;
#endif
    return std::nullopt;
}

// Windows takes "\\desk" as a folder at the root of the current drive, which is the same
// for every program of a station: only a path without a root depends on where a program
// starts ("desk", and "C:desk" too).
bool DependsOnCurrentFolder(const std::filesystem::path& path) {
#ifdef _WIN32
    return !path.has_root_directory();
#else
    return !path.is_absolute();
#endif
}

// "/tmp/desk/" and "/tmp/desk/." name the folder itself: opened so, a link at its name would
// be followed, since the system refuses a link only as a path's last name. The root keeps
// its separator.
std::filesystem::path WithoutTrailingSeparators(std::filesystem::path path) {
    while (path.has_relative_path() && (path.filename().empty() || path.filename() == ".")) {
        path = path.parent_path();
    }
    return path;
}

}  // namespace

std::filesystem::path DeskPath() {
    if (const std::optional<std::filesystem::path> named = NamedDesk()) {
        if (DependsOnCurrentFolder(*named)) return *named;  // refused by Folder::Open, never made
        std::error_code ignored;
        // absolute: so that every message names the one folder
        return WithoutTrailingSeparators(std::filesystem::absolute(*named, ignored));
    }
    return TemporaryFolder() / "stagemark-sim";
}

std::string DeskPathRefusal() {
    const std::optional<std::filesystem::path> named = NamedDesk();
    if (!named || !DependsOnCurrentFolder(*named)) return "";
#ifdef _WIN32
    const char* example = "C:\\stagemark-desk";
#else
    const char* example = "/tmp/stagemark-desk";
#endif
    return "STAGEMARK_SIM_DIR '" + PathText(*named) +
           "' is not a full path: each program would find its desk under the folder it was started in, and a new "
           "empty desk where none was meant; give the desk folder's full path, such as " + example;
}

std::string PathText(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string PortFile(int port, const char* extension) { return "port" + std::to_string(port) + extension; }

std::string Folder::PathOf(std::string_view name) const { return PathText(path_ / std::filesystem::path(name)); }

bool Folder::HasRegularFile(const std::string& name) const { return KindOf(name) == FileKind::Regular; }

const char* KindText(FileKind kind) {
    switch (kind) {
        case FileKind::Link: return "a symbolic link";
        case FileKind::Fifo: return "a FIFO (a named pipe)";
        case FileKind::Folder: return "a folder";
        case FileKind::Missing:
        case FileKind::Regular:
        case FileKind::Other:
        case FileKind::Unknown: break;
    }
    return "something other than a regular file";
}

LockResult Folder::LockWithin(const std::string& name, int wait_ms, std::unique_ptr<FileLock>& lock,
                              std::string& problem) const {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(wait_ms);
    for (;;) {
        const LockResult result = Lock(name, lock, problem);
        if (result != LockResult::Busy || std::chrono::steady_clock::now() >= deadline) return result;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
}

std::string Folder::Refusal(const std::filesystem::path& path, const std::string& why) {
    return "the desk folder " + PathText(path) + " cannot be used: " + why +
           "; remove it, or set STAGEMARK_SIM_DIR to a folder of your own";
}

}  // namespace desk
