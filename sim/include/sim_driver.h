/*
 * Between the stand-in driver and the desk: the driver's four operations, taken in the
 * link library where the link, the phone and the desk are. Only the stand-in dv calls these.
 */
#ifndef STAGEMARK_SIM_DRIVER_H
#define STAGEMARK_SIM_DRIVER_H

#include "sim_api.h"

#ifdef __cplusplus
extern "C" {
#endif

SIM_SL_API int SIM_CALL sim_driver_init(void);
/* `areas_given`: 1 when all six areas are there; the loop then fills `areas[i]` with sizes[i] bytes. */
SIM_SL_API int SIM_CALL sim_driver_detect(int value, void *const areas[6], const unsigned sizes[6], int areas_given);
/* The bytes handed out stay the desk's, valid until the next read. */
SIM_SL_API int SIM_CALL sim_driver_read(int record_id, unsigned char **data, unsigned short *length);
SIM_SL_API int SIM_CALL sim_driver_write(int record_id, const unsigned char *data, unsigned short length);

#ifdef __cplusplus
}
#endif

#endif
