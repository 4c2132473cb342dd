#include <windows.h>

#include <cstdio>
#include <vector>

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

std::string Utf8(const std::wstring& text) {
    if (text.empty()) return "";
    const int size = WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr,
                                         nullptr);
    std::string utf8(static_cast<std::size_t>(size > 0 ? size : 0), '\0');
    if (size > 0) {
        WideCharToMultiByte(CP_UTF8, 0, text.data(), static_cast<int>(text.size()), utf8.data(), size, nullptr,
                            nullptr);
    }
    return utf8;
}

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


// The version Windows shows in the DLL's properties: its version resource.
LibraryIdentity IdentifyLibrary(void* library) {
    LibraryIdentity identity;
    std::vector<wchar_t> path(32768);
    const DWORD length = GetModuleFileNameW(static_cast<HMODULE>(library), path.data(), static_cast<DWORD>(path.size()));
    identity.path = Utf8(std::wstring(path.data(), length));
    DWORD ignored = 0;
    const DWORD size = length == 0 ? 0 : GetFileVersionInfoSizeW(path.data(), &ignored);
    std::vector<unsigned char> info(size);
    void* fixed = nullptr;
    UINT fixed_size = 0;
    if (size == 0 || !GetFileVersionInfoW(path.data(), 0, size, info.data()) ||
        !VerQueryValueW(info.data(), L"\\", &fixed, &fixed_size) || fixed == nullptr ||
        fixed_size < sizeof(VS_FIXEDFILEINFO) || static_cast<VS_FIXEDFILEINFO*>(fixed)->dwSignature != 0xFEEF04BD) {
        identity.unknown = "the DLL carries no version resource";
        return identity;
    }
    const auto* version = static_cast<VS_FIXEDFILEINFO*>(fixed);
    char text[32];
    std::snprintf(text, sizeof text, "%u.%u.%u", static_cast<unsigned>(HIWORD(version->dwFileVersionMS)),
                  static_cast<unsigned>(LOWORD(version->dwFileVersionMS)),
                  static_cast<unsigned>(HIWORD(version->dwFileVersionLS)));
    identity.version = text;
    if (const unsigned build = LOWORD(version->dwFileVersionLS); build != 0) {
        std::snprintf(text, sizeof text, ".%u", build);
        identity.version += text;
    }
    return identity;
}

}  // namespace tool
