// A driver that does nothing but hand out one record and accept every write, linked
// straight into the program with the library's code: what is left of a call's cost is the library's.
#include <cstring>

#include "../src/driver/phone_driver.h"
#include "../src/driver/serial_link.h"
#include "phone_under_test.hpp"
#include "stagemark.h"

namespace {

alignas(64) unsigned char g_record[1036];
unsigned long g_reads = 0;
unsigned long g_writes = 0;

}  // namespace

extern "C" {

int DRIVER_CALL _SL1_12TLSAllocate(void) { return 0; }
int DRIVER_CALL _SL3_02InitSL(char*, int, int, int, int, int, int, int) { return 0; }
int DRIVER_CALL _SL3_04CloseSL(int) { return 0; }
int DRIVER_CALL _SL1_13TLSFree(void) { return 0; }
int DRIVER_CALL _dv0_25InitTatVar(void) { return 0; }
int DRIVER_CALL _dv10_00BackgroundLoop(int, void*, void*, void*, void*, void*, void*) { return 0; }

int DRIVER_CALL _dva26_00ReadVirginParameterFromDataFlash(int, unsigned char** data, unsigned short* length) {
    ++g_reads;
    *data = g_record;
    *length = sizeof g_record;
    return 0;
}

int DRIVER_CALL _dva26_01WriteVirginParameterToDataFlash(int, unsigned char*, unsigned short) {
    ++g_writes;
    return 0;
}

}  // extern "C"

namespace bench {

const char* PhoneDescription() { return "library alone, with a do-nothing driver"; }

void OpenLinkToFreshPhone() {
    CloseTestHandle();
    std::memset(g_record, 0, sizeof g_record);
    InitTat(1);
    R_RES2_Pass();
}

unsigned long DriverReads() { return g_reads; }
unsigned long DriverWrites() { return g_writes; }

}  // namespace bench
