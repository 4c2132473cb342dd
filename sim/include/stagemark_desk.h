/*
 * The desk's interface for station tools: what is on a port and why a link or a read
 * failed there, so that a tool can say what is true. Exported by the stand-in link
 * library; the vendor's libraries have none of it, so a tool looks these up at run time
 * and does without them.
 */
#ifndef STAGEMARK_DESK_H
#define STAGEMARK_DESK_H

#include <stddef.h>

#include "sim_api.h"

#ifdef __cplusplus
extern "C" {
#endif

/* What is on a port of the desk. */
typedef enum SimPhoneState {
    SIM_PHONE_PRESENT,     /* a phone with a sound file (its record may be erased) */
    SIM_PHONE_NONE,        /* no phone file */
    SIM_PHONE_DAMAGED,     /* a phone file of the wrong size or with a bad check */
    SIM_PHONE_UNREADABLE,  /* not a regular file, or it cannot be read */
    SIM_PHONE_DESK_REFUSED /* the desk folder cannot be trusted: see sim_desk_problem */
} SimPhoneState;

SIM_SL_API SimPhoneState SIM_CALL sim_phone_state(int port);
/* Why the desk folder cannot be used, as one sentence that says what to do; returns its
 * length, or 0 when the folder is fine (or the text does not fit). */
SIM_SL_API size_t SIM_CALL sim_desk_problem(char *out, size_t capacity);
/* The id of the live process whose link holds the port (this one's included); 0 when it
 * is free or its holder cannot be named. */
SIM_SL_API long SIM_CALL sim_port_holder(int port);
/* Why this process's last attempt to open a link on the port failed, as one sentence
 * with what to try ("COM1 is in use by process 4711: ..."); returns its length, or 0
 * when the last attempt did not fail on the desk (or the text does not fit). */
SIM_SL_API size_t SIM_CALL sim_port_problem(int port, char *out, size_t capacity);
/* Where the port's phone is kept, as UTF-8: writes the path, returns its length (0 if it
 * does not fit). */
SIM_SL_API size_t SIM_CALL sim_phone_path(int port, char *out, size_t capacity);
/* The whole record the port's phone holds, as the desk keeps it: a station's library keeps
 * only the stage fields of what it reads, and a tool may want to show the rest. Reads the
 * desk file only, never over the link, and through the folder of this process's open link
 * on the port when there is one. Returns the record's size (1036), or 0 when there is no
 * sound phone there or `capacity` is smaller. */
SIM_SL_API size_t SIM_CALL sim_phone_record(int port, unsigned char *out, size_t capacity);

#ifdef __cplusplus
}
#endif

#endif
