#include <dlfcn.h>
#include <link.h>
#include <unistd.h>

#include <algorithm>
#include <climits>
#include <cstdlib>
#include <string_view>

#include "library.hpp"

namespace tool {
namespace {

std::string ProgramFolder() {
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path - 1);
    if (length <= 0) return ".";
    const std::string program(path, static_cast<std::size_t>(length));
    return program.substr(0, program.find_last_of('/'));
}

}  // namespace

void* OpenLibrary(std::string& problem) {
    const std::string path = ProgramFolder() + "/libstagemark.so";
    void* library = dlopen(path.c_str(), RTLD_NOW | RTLD_LOCAL);
    if (library == nullptr) {
        const char* reason = dlerror();
        problem = "loading " + path + " failed: " + (reason != nullptr ? reason : "unknown reason") +
                  "; keep libstagemark.so, libsl.so and libdv.so beside the stagemark program";
    }
    return library;
}

void* FindExport(void* library, const char* name) { return dlsym(library, name); }

// dlsym on the library's handle searches the libraries it loaded too.
void* FindDriverExport(void* library, const char* name) { return dlsym(library, name); }

// The library is loaded by the name libstagemark.so, often a link to the file that an
// install names with its version (libstagemark.so.1.0.0): the link is followed to say
// which file it was.
LibraryIdentity IdentifyLibrary(void* library) {
    LibraryIdentity identity;
    link_map* map = nullptr;
    if (dlinfo(library, RTLD_DI_LINKMAP, &map) == 0 && map != nullptr && map->l_name != nullptr) {
        identity.path = map->l_name;
    }
    if (char* real = realpath(identity.path.c_str(), nullptr)) {
        identity.path = real;
        std::free(real);
    }
    const std::string file = identity.path.substr(identity.path.find_last_of('/') + 1);
    constexpr std::string_view kPrefix = "libstagemark.so.";
    const std::string_view suffix = file.starts_with(kPrefix) ? std::string_view(file).substr(kPrefix.size()) : "";
    const bool numbered = !suffix.empty() && suffix.front() != '.' && suffix.back() != '.' &&
                          std::all_of(suffix.begin(), suffix.end(), [](char c) { return c == '.' || (c >= '0' && c <= '9'); });
    if (numbered) {
        identity.version = suffix;
    } else {
        identity.unknown = "its file name " + file + " carries none";
    }
    return identity;
}

}  // namespace tool
