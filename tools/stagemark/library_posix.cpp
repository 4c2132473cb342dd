#include <dlfcn.h>
#include <unistd.h>

#include <climits>

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

}  // namespace tool
