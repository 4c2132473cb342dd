/*
 * stagemark: marks phones on a production line with their test results.
 *
 * A station's test program records in the phone's own data flash whether the
 * phone passed or failed the station's stage, and asks which stages the phone
 * has already passed. The phone keeps one test record (1036 bytes); for each
 * of the eight stages it holds a recorded bit, a pass bit and a time stamp.
 *
 * Every function returns its result; nothing is logged or shown. Results are
 * 1 for success and 0 for failure unless a function says otherwise.
 *
 * Plain C: compiles as C99 and as C++. On Windows every function is cdecl
 * (the caller removes the arguments) and exported under its plain name.
 */
#ifndef STAGEMARK_H
#define STAGEMARK_H

#ifdef _WIN32
#define STAGEMARK_CALL __cdecl
#define STAGEMARK_API
#else
#define STAGEMARK_CALL
#define STAGEMARK_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* ---- The working copy of the phone's test record ----------------------- */

#define STAGEMARK_TEST_HANDLE_SIZE 819 /* bytes in the working copy */
#define STAGEMARK_PASSTHROUGH_SIZE 780 /* record bytes carried unchanged */
#define STAGEMARK_BSN_SIZE 5           /* BSN: ten digits, packed BCD */
#define STAGEMARK_STAMP_COUNT 8        /* one time stamp per stage */
#define STAGEMARK_STAMP_SIZE 4         /* seconds, most significant byte first */
#define STAGEMARK_BSN_TEXT_SIZE 11     /* GetBsnStr: ten digits and a zero byte */

/*
 * Byte layout of the working copy, 819 bytes with no padding:
 *
 *   offset   0  passthrough  780  the record's leading bytes, carried as read
 *   offset 780  bsn            5  packed BCD, first digit in the high nibble
 *   offset 785  passFlags      1  bit set: the stage's last result was a pass
 *   offset 786  doneFlags      1  bit set: a result was recorded for the stage
 *   offset 787  stamps        32  slot i at 787 + 4 * i
 *
 * Stage bits and stamp slots:
 *   BSN 0x80 slot 0, BT 0x40 slot 1, CT 0x20 slot 2, LAMA 0x10 slot 3,
 *   FT 0x08 slot 4, IMEI 0x04 slot 5, RES1 0x02 slot 6, RES2 0x01 slot 7.
 *
 * A stamp is the time the result was recorded, in Unix seconds (UTC, since
 * 1970-01-01T00:00:00Z), kept as the low 32 bits, most significant byte first:
 * an unsigned count that runs to 2106-02-07T06:28:15Z and then wraps to 0.
 *
 * A record that was never written, or is damaged, is recognised by its BSN:
 * a real BSN is ten decimal digits, so GetBsnStr then gives letters (erased
 * flash reads 0xFF and gives "ffffffffff"). Check the BSN before trusting any
 * status: an erased record reads as every stage passed.
 */
typedef struct TestHandle {
    unsigned char passthrough[STAGEMARK_PASSTHROUGH_SIZE];
    unsigned char bsn[STAGEMARK_BSN_SIZE];
    unsigned char passFlags;
    unsigned char doneFlags;
    unsigned char stamps[STAGEMARK_STAMP_COUNT][STAGEMARK_STAMP_SIZE];
} TestHandle;

/* ---- The link to the phone ------------------------------------------------
 *
 * A station's usual order: InitTat, DetectMobile, then test-handle calls or
 * direct results, then ExitTat with the same port. InitTat, every call that
 * reaches the phone, and ExitTat must come from one thread.
 *
 * The library holds one link per process, as the vendor's link library does:
 * the link is the process's state, not a value a station holds.
 */

/** Opens the serial link to the phone on serial port `port` (1 is COM1; from
 *  10 up the device-namespace name is used) at 115200 bit/s, and initialises
 *  the phone driver. Returns 1 when the link is open. The library holds one
 *  link per process: call InitTat again only after ExitTat. A second InitTat
 *  while a link is open does not give a second link: every later call reaches
 *  the phone on the newer port, so a station still working on the first phone
 *  marks the other. After a failed open the
 *  link library's per-thread storage stays allocated, and ExitTat, whose close
 *  then fails, does not release it. */
STAGEMARK_API int STAGEMARK_CALL InitTat(unsigned char port);

/** Runs the phone driver's detection loop, handing it `value` unchanged.
 *  Returns 1 when the driver reported success. */
STAGEMARK_API int STAGEMARK_CALL DetectMobile(int value);

/** Closes the link on `port` and releases the link library's per-thread
 *  storage. Returns 1 when both succeeded; when the close fails, the storage
 *  stays allocated and 0 is returned. */
STAGEMARK_API int STAGEMARK_CALL ExitTat(unsigned char port);

/* ---- The test handle -------------------------------------------------------
 *
 * A station that works on one phone for a while opens the test handle: the
 * phone's record is read once into the working copy, statuses and the BSN are
 * read from that copy without reaching the phone, and every recorded result
 * changes the copy and writes the whole record to the phone at once.
 *
 * There is one handle per process. Make every call from one thread: the same
 * thread that called InitTat.
 *
 * The hazard that writes a wrong phone: the handle belongs to the process, not
 * to the link or the phone. A handle left open across ExitTat and InitTat, or
 * across a change of phone, writes the first phone's whole record, its BSN
 * included, onto whichever phone is on the link at the next recorded result;
 * and while it stays open, OpenTestHandle returns null for every later phone.
 * Close the handle on every path, error paths included (in LabVIEW, where an
 * error wire skips the nodes after it, wire CloseTestHandle so it always runs).
 *
 * Do not mix the two paths on one phone: a direct result (R_...) recorded while
 * a handle is open is not seen by the handle, and the handle's next recorded
 * result writes its own copy back over it, so the direct result is lost.
 */

/** Reads the phone's record into the working copy and returns the copy's
 *  address (laid out as TestHandle), valid until CloseTestHandle. The station
 *  may read and change the copy in place; the next recorded result writes the
 *  change to the phone. Null when a handle is already open (it stays open),
 *  when the record could not be read, or when memory ran out. */
STAGEMARK_API unsigned char *STAGEMARK_CALL OpenTestHandle(void);

/** Drops the working copy without writing anything to the phone. Does nothing
 *  when no handle is open. */
STAGEMARK_API void STAGEMARK_CALL CloseTestHandle(void);

/** Writes the BSN as ten lowercase hexadecimal digits and a zero byte into
 *  `buffer`, which must hold STAGEMARK_BSN_TEXT_SIZE (11) bytes; for a BCD BSN
 *  these are its decimal digits. Returns 1, or 0 with nothing written when no
 *  handle is open or `buffer` is null. */
STAGEMARK_API int STAGEMARK_CALL GetBsnStr(char *buffer);

/* STAGE_Pass and STAGE_Fail record the stage's result in the working copy with
 * the current time and write the whole record to the phone. They return 1 when
 * the phone stored it, and 0 when no handle is open (nothing changes) or the
 * write failed. A failed write is not undone in the copy: the next recorded
 * result that is written carries it to the phone as well.
 *
 * STAGE_Status reads the working copy only: 0 not recorded (also when no
 * handle is open), 1 the last recorded result was a pass, 2 it was a fail. */

/** Records a pass for stage BSN and writes the record. */
STAGEMARK_API int STAGEMARK_CALL BSN_Pass(void);
/** Records a fail for stage BSN and writes the record. */
STAGEMARK_API int STAGEMARK_CALL BSN_Fail(void);
/** Status of stage BSN in the working copy: 0, 1 or 2. */
STAGEMARK_API int STAGEMARK_CALL BSN_Status(void);

/** Records a pass for stage BT and writes the record. */
STAGEMARK_API int STAGEMARK_CALL BT_Pass(void);
/** Records a fail for stage BT and writes the record. */
STAGEMARK_API int STAGEMARK_CALL BT_Fail(void);
/** Status of stage BT in the working copy: 0, 1 or 2. */
STAGEMARK_API int STAGEMARK_CALL BT_Status(void);

/** Records a pass for stage CT and writes the record. */
STAGEMARK_API int STAGEMARK_CALL CT_Pass(void);
/** Records a fail for stage CT and writes the record. */
STAGEMARK_API int STAGEMARK_CALL CT_Fail(void);
/** Status of stage CT in the working copy: 0, 1 or 2. */
STAGEMARK_API int STAGEMARK_CALL CT_Status(void);

/** Records a pass for stage LAMA and writes the record. */
STAGEMARK_API int STAGEMARK_CALL LAMA_Pass(void);
/** Records a fail for stage LAMA and writes the record. */
STAGEMARK_API int STAGEMARK_CALL LAMA_Fail(void);
/** Status of stage LAMA in the working copy: 0, 1 or 2. */
STAGEMARK_API int STAGEMARK_CALL LAMA_Status(void);

/** Records a pass for stage FT and writes the record. */
STAGEMARK_API int STAGEMARK_CALL FT_Pass(void);
/** Records a fail for stage FT and writes the record. */
STAGEMARK_API int STAGEMARK_CALL FT_Fail(void);
/** Status of stage FT in the working copy: 0, 1 or 2. */
STAGEMARK_API int STAGEMARK_CALL FT_Status(void);

/** Records a pass for stage IMEI and writes the record. */
STAGEMARK_API int STAGEMARK_CALL IMEI_Pass(void);
/** Records a fail for stage IMEI and writes the record. */
STAGEMARK_API int STAGEMARK_CALL IMEI_Fail(void);
/** Status of stage IMEI in the working copy: 0, 1 or 2. */
STAGEMARK_API int STAGEMARK_CALL IMEI_Status(void);

/** Records a pass for stage RES1 and writes the record. */
STAGEMARK_API int STAGEMARK_CALL RES1_Pass(void);
/** Records a fail for stage RES1 and writes the record. */
STAGEMARK_API int STAGEMARK_CALL RES1_Fail(void);
/** Status of stage RES1 in the working copy: 0, 1 or 2. */
STAGEMARK_API int STAGEMARK_CALL RES1_Status(void);

/** Records a pass for stage RES2 and writes the record. */
STAGEMARK_API int STAGEMARK_CALL RES2_Pass(void);
/** Records a fail for stage RES2 and writes the record. */
STAGEMARK_API int STAGEMARK_CALL RES2_Fail(void);
/** Status of stage RES2 in the working copy: 0, 1 or 2. */
STAGEMARK_API int STAGEMARK_CALL RES2_Status(void);

/* ---- Direct results ------------------------------------------------------
 *
 * Each call reads the phone's record, records the stage's result with the
 * current time, and writes the whole record back: one read and one write.
 * The link must be open. Returns 1 when the record was read and written back,
 * 0 otherwise; when the read fails nothing is written.
 */

/** Records a pass for stage BSN in the phone. */
STAGEMARK_API int STAGEMARK_CALL R_BSN_Pass(void);
/** Records a fail for stage BSN in the phone. */
STAGEMARK_API int STAGEMARK_CALL R_BSN_Fail(void);
/** Records a pass for stage BT in the phone. */
STAGEMARK_API int STAGEMARK_CALL R_BT_Pass(void);
/** Records a fail for stage BT in the phone. */
STAGEMARK_API int STAGEMARK_CALL R_BT_Fail(void);
/** Records a pass for stage CT in the phone. */
STAGEMARK_API int STAGEMARK_CALL R_CT_Pass(void);
/** Records a fail for stage CT in the phone. */
STAGEMARK_API int STAGEMARK_CALL R_CT_Fail(void);
/** Records a pass for stage LAMA in the phone. */
STAGEMARK_API int STAGEMARK_CALL R_LAMA_Pass(void);
/** Records a fail for stage LAMA in the phone. */
STAGEMARK_API int STAGEMARK_CALL R_LAMA_Fail(void);
/** Records a pass for stage FT in the phone. */
STAGEMARK_API int STAGEMARK_CALL R_FT_Pass(void);
/** Records a fail for stage FT in the phone. */
STAGEMARK_API int STAGEMARK_CALL R_FT_Fail(void);
/** Records a pass for stage IMEI in the phone. */
STAGEMARK_API int STAGEMARK_CALL R_IMEI_Pass(void);
/** Records a fail for stage IMEI in the phone. */
STAGEMARK_API int STAGEMARK_CALL R_IMEI_Fail(void);
/** Records a pass for stage RES1 in the phone. */
STAGEMARK_API int STAGEMARK_CALL R_RES1_Pass(void);
/** Records a fail for stage RES1 in the phone. */
STAGEMARK_API int STAGEMARK_CALL R_RES1_Fail(void);
/** Records a pass for stage RES2 in the phone. */
STAGEMARK_API int STAGEMARK_CALL R_RES2_Pass(void);
/** Records a fail for stage RES2 in the phone. */
STAGEMARK_API int STAGEMARK_CALL R_RES2_Fail(void);

#ifdef __cplusplus
}
#endif

#endif /* STAGEMARK_H */
