// Stand-in phone driver: the vendor's four operations, handed to the desk in the link
// library, where the link and the phone are.
#include "sim_driver.h"
#include "stagemark_sim.h"
#define DRIVER_API SIM_EXPORT
#include "phone_driver.h"

extern "C" {

int DRIVER_CALL _dv0_25InitTatVar(void) { return sim_driver_init(); }

int DRIVER_CALL _dv10_00BackgroundLoop(int value, void* area4a, void* area4b, void* area4c, void* area8, void* area16,
                                       void* area4d) {
    void* const areas[] = {area4a, area4b, area4c, area8, area16, area4d};
    const unsigned sizes[] = {4, 4, 4, 8, 16, 4};
    int given = 1;
    for (void* area : areas) given = given && area != nullptr;
    return sim_driver_detect(value, areas, sizes, given);
}

int DRIVER_CALL _dva26_00ReadVirginParameterFromDataFlash(int record_id, unsigned char** data, unsigned short* length) {
    return sim_driver_read(record_id, data, length);
}

int DRIVER_CALL _dva26_01WriteVirginParameterToDataFlash(int record_id, unsigned char* data, unsigned short length) {
    return sim_driver_write(record_id, data, length);
}

}  // extern "C"
