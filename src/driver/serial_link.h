/*
 * The serial-link library's operations (sl.dll), as the station's vendor ships them.
 * All are cdecl with 32-bit int results; 0 means success.
 */
#ifndef STAGEMARK_DRIVER_SERIAL_LINK_H
#define STAGEMARK_DRIVER_SERIAL_LINK_H

#include "driver_api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* Allocates the link library's storage for the calling thread. */
DRIVER_API int DRIVER_CALL _SL1_12TLSAllocate(void);

/* Opens the link on the named port with the seven link settings. */
DRIVER_API int DRIVER_CALL _SL3_02InitSL(char *port_name, int baud, int a, int b, int c, int d, int e, int f);

/* Closes the link on the port. */
DRIVER_API int DRIVER_CALL _SL3_04CloseSL(int port);

/* Releases the calling thread's storage. */
DRIVER_API int DRIVER_CALL _SL1_13TLSFree(void);

#ifdef __cplusplus
}
#endif

#endif
