#include "desk_folder.hpp"

#include <cstdlib>

#include "regular_file.hpp"

namespace sim {

std::filesystem::path DeskFolder() {
#ifdef _WIN32
    // Wide, so that a folder named in any language reaches the file system unchanged.
    if (const wchar_t* folder = _wgetenv(L"STAGEMARK_SIM_DIR"); folder != nullptr && *folder != L'\0') return folder;
#else
    if (const char* folder = std::getenv("STAGEMARK_SIM_DIR"); folder != nullptr && *folder != '\0') return folder;
#endif
    return TemporaryFolder() / "stagemark-sim";
}

std::string PathText(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}

std::filesystem::path DeskFile(const std::string& name) { return DeskFolder() / name; }

std::filesystem::path PortFile(int port, const char* extension) {
    return DeskFile("port" + std::to_string(port) + extension);
}

std::string PrepareDeskFolder() {
    const std::filesystem::path folder = DeskFolder();
    const std::string problem = PreparePrivateFolder(folder);
    if (problem.empty()) return "";
    return "the desk folder " + PathText(folder) + " cannot be used: " + problem +
           "; remove it, or set STAGEMARK_SIM_DIR to a folder of your own";
}

std::unique_ptr<FileLock> LockDesk() {
    if (!PrepareDeskFolder().empty()) return nullptr;
    return FileLock::Wait(DeskFile("desk.lock"));
}

}  // namespace sim
