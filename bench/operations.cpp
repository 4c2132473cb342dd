#include "operations.hpp"

#include <cstring>

#include "phone_under_test.hpp"
#include "stagemark.h"

namespace bench {
namespace {

// Keeps the compiler from dropping or merging a result nobody reads.
template <class T>
void Keep(T value) {
    asm volatile("" : : "r"(value) : "memory");
}

// A read-modify-write moves the record twice: the baseline copies as many bytes,
// between buffers aligned alike, so that alignment does not decide the figure.
alignas(64) unsigned char g_from[2 * 1036];
alignas(64) unsigned char g_to[2 * 1036];

void CopyBaseline() {
    std::memcpy(g_to, g_from, sizeof g_to);
    Keep(g_to);
}

void DirectResult() { Keep(R_FT_Pass()); }
void CachedResult() { Keep(FT_Pass()); }
void StatusQuery() { Keep(FT_Status()); }

void BsnText() {
    char bsn[STAGEMARK_BSN_TEXT_SIZE];
    Keep(GetBsnStr(bsn));
    Keep(bsn);
}

void OpenAndClose() {
    Keep(OpenTestHandle());
    CloseTestHandle();
}

}  // namespace

const Operation kOperations[6] = {
    {"BaselineMemcpy", false, CopyBaseline}, {"DirectResult", false, DirectResult}, {"CachedResult", true, CachedResult},
    {"StatusQuery", true, StatusQuery},  {"BsnText", true, BsnText},  {"OpenClose", false, OpenAndClose},
};

void Prepare(const Operation& operation) {
    OpenLinkToFreshPhone();
    if (operation.needs_handle) OpenTestHandle();
}

void Finish(const Operation& operation) {
    if (operation.needs_handle) CloseTestHandle();
}

}  // namespace bench
