/*
 * The tests' controls of the stand-in serial-link (sl) and phone-driver (dv)
 * libraries. Tests, benchmarks and fuzzers use them; stations never do.
 *
 * The stand-ins behave like the vendor's libraries towards stagemark and add:
 *   - one call log of all eight operations, with their arguments and the
 *     bytes of each record write (kept by sl: every driver call rides the link),
 *     bounded to the most recent calls;
 *   - faults: any operation can be made to fail once or from a call on;
 *   - the phone: kept in memory for tests, or in a file per port so that
 *     station processes one after another meet the same phone.
 */
#ifndef STAGEMARK_SIM_H
#define STAGEMARK_SIM_H

#include <stddef.h>

#include "sim_api.h"

#ifdef __cplusplus
extern "C" {
#endif

#define SIM_RECORD_SIZE 1036
#define SIM_BSN_DIGITS 10

/* The eight operations of the two libraries, in the order a station meets them. */
typedef enum SimOp {
    SIM_TLS_ALLOCATE,    /* _SL1_12TLSAllocate */
    SIM_INIT_SL,         /* _SL3_02InitSL */
    SIM_INIT_TAT_VAR,    /* _dv0_25InitTatVar */
    SIM_BACKGROUND_LOOP, /* _dv10_00BackgroundLoop */
    SIM_READ_RECORD,     /* _dva26_00ReadVirginParameterFromDataFlash */
    SIM_WRITE_RECORD,    /* _dva26_01WriteVirginParameterToDataFlash */
    SIM_CLOSE_SL,        /* _SL3_04CloseSL */
    SIM_TLS_FREE,        /* _SL1_13TLSFree */
    SIM_OP_COUNT
} SimOp;

/* One logged call. Int arguments stand at their argument position; pointer
 * arguments are left 0 there. */
typedef struct SimCall {
    SimOp op;
    int result;
    int args[8];
    char port_name[16];    /* _SL3_02InitSL: the name passed, cut to 15 characters */
    unsigned short length; /* read: the length reported; write: the length passed */
} SimCall;

/* ---- sl: the link, the call log and faults ---- */

/* Closes every link, frees this thread's storage, clears the log, the counts and
 * all faults, turns logging on and the desk off. */
SIM_SL_API void SIM_CALL sim_link_reset(void);
/* The desk, on from the start of a process: every call is traced in the desk folder,
 * faults planned there are met, and an open link holds its port against other
 * processes until ExitTat or the process ends. */
SIM_SL_API void SIM_CALL sim_link_use_desk(int on);
/* 1 when a link is open on the port. */
SIM_SL_API int SIM_CALL sim_link_is_open(int port);
/* The port of the most recently opened link still open, or -1. */
SIM_SL_API int SIM_CALL sim_link_current_port(void);
/* 1 when the calling thread holds the link library's storage. */
SIM_SL_API int SIM_CALL sim_link_tls_allocated(void);

/* Makes a call of `op` return `result` (nonzero) without doing anything:
 * the call `skip` calls from now (0 = the next one), and with `sticky` every
 * call after it as well. One fault per operation; a new one replaces it. */
SIM_SL_API void SIM_CALL sim_fail(SimOp op, int skip, int result, int sticky);
SIM_SL_API void SIM_CALL sim_clear_faults(void);

/* The log keeps the most recent SIM_CALL_LOG_CAPACITY calls and drops older ones,
 * so that its memory stays flat over a long desk session. Index 0 is the oldest call
 * kept; sim_call_count() is the number kept. sim_op_count() counts every call. */
#define SIM_CALL_LOG_CAPACITY 4096
SIM_SL_API size_t SIM_CALL sim_call_count(void);
/* Copies call `index` of the log; 0 when there is no such call. */
SIM_SL_API int SIM_CALL sim_call(size_t index, SimCall *out);
/* Copies the bytes a logged write passed; returns their number (0 for other calls). */
SIM_SL_API size_t SIM_CALL sim_call_bytes(size_t index, unsigned char *out, size_t capacity);
SIM_SL_API void SIM_CALL sim_clear_calls(void);
/* How many calls of `op` were taken since the last reset, logged or not. */
SIM_SL_API unsigned long SIM_CALL sim_op_count(SimOp op);
/* With 0, calls are counted but no longer logged: for long runs such as benchmarks. */
SIM_SL_API void SIM_CALL sim_set_logging(int on);


/* ---- the phone in memory ---- */

/* sim_link_reset, then a fresh phone kept in memory; read scripts cleared. */
SIM_SL_API void SIM_CALL sim_reset(void);
/* Puts a phone with this record in memory (every port meets it). */
SIM_SL_API void SIM_CALL sim_set_record(const unsigned char record[SIM_RECORD_SIZE]);
/* Copies the phone's record, from memory or, with the desk on, from the desk file of the
 * open link's port (or the port last named); 0 when there is no phone to read. */
SIM_SL_API int SIM_CALL sim_get_record(unsigned char record[SIM_RECORD_SIZE]);
/* The record of a new phone with this BSN (ten decimal digits). 0 on a bad BSN. */
SIM_SL_API int SIM_CALL sim_new_record(const char *bsn, unsigned char record[SIM_RECORD_SIZE]);
/* With the desk on: puts a phone with this record on the port's desk file, through the
 * desk's one change path (it waits for a station's link to let the port go). 1 when done. */
SIM_SL_API int SIM_CALL sim_desk_put_record(int port, const unsigned char record[SIM_RECORD_SIZE]);
/* The next read that succeeds reports `length` and hands back a copy of
 * `bytes` in a buffer of exactly that length, or no bytes at all for null. */
SIM_SL_API void SIM_CALL sim_script_read(const unsigned char *bytes, unsigned short length);

#ifdef __cplusplus
}
#endif

#endif
