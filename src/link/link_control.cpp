// Opening and closing the serial link to the phone, and the driver's detection loop.
// The link's state lives in the vendor's libraries; nothing is kept here.
#include "../driver/phone_driver.h"
#include "../driver/serial_link.h"
#include "port_name.hpp"
#include "stagemark.h"

namespace {

constexpr int LINK_BAUD = 115200;
// Passed unchanged on every open; 73 and 79 are the letters I and O.
constexpr int kLinkSettings[6] = {0, 0, 73, 79, 0, 0};

}  // namespace

extern "C" {

int STAGEMARK_CALL InitTat(unsigned char port) {
    char name[stagemark::kPortNameSize];
    stagemark::BuildPortName(port, name);
    if (_SL1_12TLSAllocate() != 0) return 0;
    // A failed open leaves the thread's storage allocated: there is no link for ExitTat to close.
    if (_SL3_02InitSL(name, LINK_BAUD, kLinkSettings[0], kLinkSettings[1], kLinkSettings[2], kLinkSettings[3],
                      kLinkSettings[4], kLinkSettings[5]) != 0) {
        return 0;
    }
    _dv0_25InitTatVar();  // the link is open whatever the driver reports here
    return 1;
}

int STAGEMARK_CALL DetectMobile(int value) {
    // What the loop reports in these areas is the driver's business; they are dropped.
    unsigned char area1[4], area2[4], area3[4], area4[8], area5[16], area6[4];
    return _dv10_00BackgroundLoop(value, area1, area2, area3, area4, area5, area6) == 0 ? 1 : 0;
}

int STAGEMARK_CALL ExitTat(unsigned char port) {
    if (_SL3_04CloseSL(static_cast<int>(port)) != 0) return 0;  // storage stays allocated
    return _SL1_13TLSFree() == 0 ? 1 : 0;
}

}  // extern "C"
