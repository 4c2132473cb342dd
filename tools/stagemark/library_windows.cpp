#include <windows.h>

#include "library.hpp"

namespace tool {
namespace {

std::wstring ProgramFolder() {
    wchar_t path[32768];
    const DWORD length = GetModuleFileNameW(nullptr, path, 32768);
    std::wstring program(path, length);
    const std::size_t slash = program.find_last_of(L"\\/");
    return slash == std::wstring::npos ? L"." : program.substr(0, slash);
}

bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }

}  // namespace

void* OpenLibrary(std::string& problem) {
    // A missing DLL is reported here, in one line, never by a system dialog.
    SetErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX);
    const std::wstring folder = ProgramFolder();
    // The altered search path makes Windows look for sl.dll and dv.dll beside stagemark.dll.
    HMODULE library = LoadLibraryExW((folder + L"\\stagemark.dll").c_str(), nullptr, LOAD_WITH_ALTERED_SEARCH_PATH);
    if (library != nullptr) return reinterpret_cast<void*>(library);
    const DWORD error = GetLastError();
    const char* missing = !Exists(folder + L"\\stagemark.dll") ? "stagemark.dll"
                          : !Exists(folder + L"\\sl.dll")      ? "sl.dll (the serial-link library)"
                          : !Exists(folder + L"\\dv.dll")      ? "dv.dll (the phone-driver library)"
                                                               : nullptr;
    problem = missing != nullptr
                  ? std::string("loading stagemark.dll failed: ") + missing +
                        " is missing; put stagemark.dll, sl.dll and dv.dll in the folder of stagemark.exe"
                  : "loading stagemark.dll failed with Windows error " + std::to_string(error) +
                        "; check that stagemark.dll, sl.dll and dv.dll beside stagemark.exe are 32-bit and complete";
    return nullptr;
}

void* FindExport(void* library, const char* name) {
    return reinterpret_cast<void*>(GetProcAddress(static_cast<HMODULE>(library), name));
}

void* FindDriverExport(void*, const char* name) {
    for (const wchar_t* module : {L"dv.dll", L"sl.dll"}) {
        if (HMODULE loaded = GetModuleHandleW(module)) {
            if (FARPROC found = GetProcAddress(loaded, name)) return reinterpret_cast<void*>(found);
        }
    }
    return nullptr;
}

}  // namespace tool
