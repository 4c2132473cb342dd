#include "test_handle.hpp"

#include <cstdio>
#include <new>

#include "stage_result.hpp"
#include "virgin_param.hpp"

namespace stagemark {
namespace {

// Null while no handle is open. Stations call from one thread, so no lock.
TestHandle* g_handle = nullptr;

}  // namespace

bool SetPassFail(StageMask mask, bool pass) {
    if (g_handle == nullptr) return false;
    RecordStageResult(*g_handle, mask, pass);
    return WriteVirginParam(*g_handle);
}

int GetStageStatus(StageMask mask) {
    if (g_handle == nullptr || (g_handle->doneFlags & mask) == 0) return 0;
    return (g_handle->passFlags & mask) != 0 ? 1 : 2;
}

}  // namespace stagemark

using stagemark::g_handle;

extern "C" {

unsigned char* STAGEMARK_CALL OpenTestHandle(void) {
    if (g_handle != nullptr) return nullptr;
    auto* copy = new (std::nothrow) TestHandle;
    if (copy == nullptr) return nullptr;
    if (!stagemark::ReadVirginParam(*copy)) {
        delete copy;
        return nullptr;
    }
    g_handle = copy;
    return reinterpret_cast<unsigned char*>(g_handle);
}

void STAGEMARK_CALL CloseTestHandle(void) {
    // The working copy is dropped unwritten: only recorded results reach the phone.
    delete g_handle;
    g_handle = nullptr;
}

int STAGEMARK_CALL GetBsnStr(char* buffer) {
    if (g_handle == nullptr || buffer == nullptr) return 0;
    const unsigned char* bsn = g_handle->bsn;
    std::snprintf(buffer, STAGEMARK_BSN_TEXT_SIZE, "%.2x%.2x%.2x%.2x%.2x", bsn[0], bsn[1], bsn[2], bsn[3], bsn[4]);
    return 1;
}

}  // extern "C"
