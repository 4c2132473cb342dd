#include "desk_folder.hpp"

#include <chrono>
#include <cstdlib>
#include <thread>

namespace desk {

std::filesystem::path TemporaryFolder();  // the platform's

std::filesystem::path DeskPath() {
#ifdef _WIN32
    // Wide, so that a folder named in any language reaches the file system unchanged.
    if (const wchar_t* folder = _wgetenv(L"STAGEMARK_SIM_DIR"); folder != nullptr && *folder != L'\0') {
        std::error_code ignored;
        return std::filesystem::absolute(folder, ignored);  // so that every message names the one folder
    }
#else
    if (const char* folder = std::getenv("STAGEMARK_SIM_DIR"); folder != nullptr && *folder != '\0') {
        std::error_code ignored;
        return std::filesystem::absolute(folder, ignored);  // so that every message names the one folder
    }
#endif
    return TemporaryFolder() / "stagemark-sim";
}

std::string PathText(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::string PortFile(int port, const char* extension) { return "port" + std::to_string(port) + extension; }

std::string Folder::PathOf(std::string_view name) const { return PathText(path_ / std::filesystem::path(name)); }

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
