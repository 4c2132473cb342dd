// Stand-in serial-link library: the vendor's four operations, taken by the desk, which
// lives in this library's image.
#include "stagemark_sim.h"
#define DRIVER_API SIM_EXPORT
#include "link_calls.hpp"
#include "no_throw.hpp"
#include "serial_link.h"

namespace {

constexpr int kFailure = -1;

}  // namespace

extern "C" {

int DRIVER_CALL _SL1_12TLSAllocate(void) { return desk::NoThrow(kFailure, [] { return desk::TlsAllocate(); }); }

int DRIVER_CALL _SL3_02InitSL(char* port_name, int baud, int a, int b, int c, int d, int e, int f) {
    const int settings[] = {baud, a, b, c, d, e, f};
    return desk::NoThrow(kFailure, [&] { return desk::OpenLink(port_name, settings); });
}

int DRIVER_CALL _SL3_04CloseSL(int port) { return desk::NoThrow(kFailure, [&] { return desk::CloseLink(port); }); }

int DRIVER_CALL _SL1_13TLSFree(void) { return desk::NoThrow(kFailure, [] { return desk::TlsFree(); }); }

}  // extern "C"
