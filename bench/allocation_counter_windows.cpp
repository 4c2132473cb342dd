// On Windows the library's DLL carries its own C++ runtime, so replacing operator new in
// the program would not see the library's allocations. Every one of them still ends in
// the C runtime's malloc, imported from msvcrt.dll: the counter patches that import in
// the library's module.
#include <windows.h>

#include <cstring>

#include "allocation_counter.hpp"

namespace {

std::size_t g_allocations = 0;

using Malloc = void*(__cdecl*)(std::size_t);
using Calloc = void*(__cdecl*)(std::size_t, std::size_t);
using Realloc = void*(__cdecl*)(void*, std::size_t);
// The runtime's own functions, taken from the import slots before they are patched.
Malloc g_malloc = nullptr;
Calloc g_calloc = nullptr;
Realloc g_realloc = nullptr;

void* __cdecl CountedMalloc(std::size_t size) {
    ++g_allocations;
    return g_malloc(size);
}
void* __cdecl CountedCalloc(std::size_t count, std::size_t size) {
    ++g_allocations;
    return g_calloc(count, size);
}
void* __cdecl CountedRealloc(void* block, std::size_t size) {
    ++g_allocations;
    return g_realloc(block, size);
}

template <class F>
void Patch(ULONG_PTR* slot, F& original, F replacement) {
    if (*slot == reinterpret_cast<ULONG_PTR>(replacement)) return;
    original = reinterpret_cast<F>(*slot);
    DWORD old_protection = 0;
    VirtualProtect(slot, sizeof *slot, PAGE_READWRITE, &old_protection);
    *slot = reinterpret_cast<ULONG_PTR>(replacement);
    VirtualProtect(slot, sizeof *slot, old_protection, &old_protection);
}

template <class T>
T At(BYTE* base, DWORD offset) {
    return reinterpret_cast<T>(base + offset);
}

}  // namespace

void bench::CountAllocationsIn(const char* module) {
    auto* base = reinterpret_cast<BYTE*>(GetModuleHandleA(module));
    if (base == nullptr) return;
    const auto* nt = At<IMAGE_NT_HEADERS*>(base, At<IMAGE_DOS_HEADER*>(base, 0)->e_lfanew);
    const IMAGE_DATA_DIRECTORY& imports = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
    for (auto* entry = At<IMAGE_IMPORT_DESCRIPTOR*>(base, imports.VirtualAddress); entry->Name != 0; ++entry) {
        if (_stricmp(At<const char*>(base, entry->Name), "msvcrt.dll") != 0) continue;
        auto* names = At<IMAGE_THUNK_DATA*>(base, entry->OriginalFirstThunk);
        auto* slots = At<IMAGE_THUNK_DATA*>(base, entry->FirstThunk);
        for (; names->u1.AddressOfData != 0; ++names, ++slots) {
            if (IMAGE_SNAP_BY_ORDINAL(names->u1.Ordinal)) continue;
            const char* name = At<IMAGE_IMPORT_BY_NAME*>(base, static_cast<DWORD>(names->u1.AddressOfData))->Name;
            if (std::strcmp(name, "malloc") == 0) Patch(&slots->u1.Function, g_malloc, &CountedMalloc);
            if (std::strcmp(name, "calloc") == 0) Patch(&slots->u1.Function, g_calloc, &CountedCalloc);
            if (std::strcmp(name, "realloc") == 0) Patch(&slots->u1.Function, g_realloc, &CountedRealloc);
        }
    }
}

std::size_t bench::AllocationCount() { return g_allocations; }
