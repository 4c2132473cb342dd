/*
 * Control interface of the stand-in serial-link (sl) and phone-driver (dv)
 * libraries. Tests, benchmarks and the desk tools use it; stations never do.
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

#ifdef _WIN32
#define SIM_CALL __cdecl
#define SIM_EXPORT __declspec(dllexport)
#else
#define SIM_CALL
#define SIM_EXPORT __attribute__((visibility("default")))
#endif

#ifdef SIM_BUILDING_SL
#define SIM_SL_API SIM_EXPORT
#else
#define SIM_SL_API
#endif
#ifdef SIM_BUILDING_DV
#define SIM_DV_API SIM_EXPORT
#else
#define SIM_DV_API
#endif

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
/* Adds a check to the desk's trace: a station program's mistake and what to do. */
SIM_SL_API void SIM_CALL sim_desk_note(int port, const char *text);
/* The id of the process whose link holds the port on the desk, or the one that held it
 * when this process last failed to open it; 0 when it is free. */
SIM_SL_API long SIM_CALL sim_port_holder(int port);
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

/* For the stand-in driver: a planned fault's result for this call of `op`, or 0. */
SIM_SL_API int SIM_CALL sim_take_fault(SimOp op);
/* For the stand-in driver: logs a call, with the bytes of a write. */
SIM_SL_API void SIM_CALL sim_log_call(const SimCall *call, const unsigned char *bytes, size_t count);

/* ---- dv: the phone ---- */

/* What is on a port of the desk. */
typedef enum SimPhoneState {
    SIM_PHONE_PRESENT,   /* a phone with a sound record */
    SIM_PHONE_NONE,      /* no phone file */
    SIM_PHONE_DAMAGED,   /* a phone file of the wrong size or with a bad check */
    SIM_PHONE_UNREADABLE, /* not a regular file, or it cannot be read */
    SIM_PHONE_DESK_REFUSED /* the desk folder cannot be trusted: see sim_desk_problem */
} SimPhoneState;

/* What a desk command on a port's phone file came to. */
typedef enum SimDeskResult {
    SIM_DESK_FAILED = 0,     /* a bad argument, or the file could not be written or removed */
    SIM_DESK_DONE = 1,
    SIM_DESK_NO_PHONE = 2,   /* remove: no phone file on the port */
    SIM_DESK_PHONE_THERE = 3 /* insert: a phone file is already on the port, sound or not */
} SimDeskResult;

/* sim_link_reset, then a fresh phone kept in memory; read scripts cleared. */
SIM_DV_API void SIM_CALL sim_reset(void);
/* Puts a phone with this record in memory (every port meets it). */
SIM_DV_API void SIM_CALL sim_set_record(const unsigned char record[SIM_RECORD_SIZE]);
/* Copies the phone's record; 0 when there is no phone to read. */
SIM_DV_API int SIM_CALL sim_get_record(unsigned char record[SIM_RECORD_SIZE]);
/* The record of a new phone with this BSN (ten decimal digits). 0 on a bad BSN. */
SIM_DV_API int SIM_CALL sim_new_record(const char *bsn, unsigned char record[SIM_RECORD_SIZE]);
/* The next read that succeeds reports `length` and hands back a copy of
 * `bytes` in a buffer of exactly that length, or no bytes at all for null. */
SIM_DV_API void SIM_CALL sim_script_read(const unsigned char *bytes, unsigned short length);

/* Phones kept in files, one per port, in STAGEMARK_SIM_DIR or else
 * a stagemark-sim folder in the temp dir. The driver starts out this way. */
SIM_DV_API void SIM_CALL sim_use_phone_files(void);
/* Puts a new phone with this BSN on the port, only where no phone file is. */
SIM_DV_API SimDeskResult SIM_CALL sim_insert_phone(int port, const char *bsn);
/* Sets stages of the port's phone: states[i] for the stage of stamp slot i (BSN first)
 * is -1 to leave it, 0 not recorded (its bits cleared), 1 passed or 2 failed, stamped
 * now. Written atomically. SIM_DESK_NO_PHONE when no sound phone is on the port. */
SIM_DV_API SimDeskResult SIM_CALL sim_set_stages(int port, const signed char states[8]);
/* Takes the phone off the port, with its record. */
SIM_DV_API SimDeskResult SIM_CALL sim_remove_phone(int port);
/* What is on the port, so that a station tool on the desk can say why a read failed.
 * The vendor's driver has no such call. */
SIM_DV_API SimPhoneState SIM_CALL sim_phone_state(int port);
/* Why the desk folder cannot be used, as one sentence that says what to do; returns its
 * length, or 0 when the folder is fine (or the text does not fit). */
SIM_DV_API size_t SIM_CALL sim_desk_problem(char *out, size_t capacity);
/* Where the port's phone is kept, as UTF-8: writes the path, returns its length (0 if it does not fit). */
SIM_DV_API size_t SIM_CALL sim_phone_path(int port, char *out, size_t capacity);

#ifdef __cplusplus
}
#endif

#endif
