/*
 * The phone driver's operations (dv.dll), as the station's vendor ships them.
 * All are cdecl with 32-bit int results; 0 means success.
 */
#ifndef STAGEMARK_DRIVER_PHONE_DRIVER_H
#define STAGEMARK_DRIVER_PHONE_DRIVER_H

#include "driver_api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Initialises the driver's variables for a newly opened link. */
DRIVER_API int DRIVER_CALL _dv0_25InitTatVar(void);

/* Runs the driver's background loop that detects the phone. The six areas
 * receive 4, 4, 4, 8, 16 and 4 bytes. */
DRIVER_API int DRIVER_CALL _dv10_00BackgroundLoop(int value, void *area4a, void *area4b, void *area4c, void *area8,
                                                  void *area16, void *area4d);

/* Reads a data-flash record. On 0 the driver has set *data to its own bytes
 * and *length to their number; the bytes stay the driver's. */
DRIVER_API int DRIVER_CALL _dva26_00ReadVirginParameterFromDataFlash(int record_id, unsigned char **data,
                                                                       unsigned short *length);

/* Writes a whole data-flash record of `length` bytes. */
DRIVER_API int DRIVER_CALL _dva26_01WriteVirginParameterToDataFlash(int record_id, unsigned char *data,
                                                                      unsigned short length);

#ifdef __cplusplus
}
#endif

#endif
