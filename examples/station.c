/*
 * A station program in C: the route check, then this station's result.
 *
 *     station PORT STAGE [REQUIRED_STAGE...]
 *
 * Opens the link on COM<PORT>, detects the phone, reads its record through the test
 * handle, refuses the phone unless every required stage passed, records STAGE as passed,
 * and closes everything, on every path. Every call's result is checked, and a failure
 * names the step. Exit: 0 recorded, 1 refused, 2 a step failed, 64 usage error.
 */
#include <ctype.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "stagemark.h"

#define EXIT_REFUSED 1
#define EXIT_STEP_FAILED 2
#define EXIT_USAGE 64

typedef int(STAGEMARK_CALL *StageCall)(void);

struct Stage {
    const char *name;
    StageCall status;
    StageCall pass;
};

static const struct Stage kStages[] = {
    {"BSN", BSN_Status, BSN_Pass},    {"BT", BT_Status, BT_Pass},       {"CT", CT_Status, CT_Pass},
    {"LAMA", LAMA_Status, LAMA_Pass}, {"FT", FT_Status, FT_Pass},       {"IMEI", IMEI_Status, IMEI_Pass},
    {"RES1", RES1_Status, RES1_Pass}, {"RES2", RES2_Status, RES2_Pass},
};

/* A stage by name, in any case; null for an unknown name. */
static const struct Stage *FindStage(const char *name) {
    size_t i, k;
    for (i = 0; i < sizeof kStages / sizeof kStages[0]; ++i) {
        const char *known = kStages[i].name;
        for (k = 0; known[k] != '\0' && toupper((unsigned char)name[k]) == known[k]; ++k) {
        }
        if (known[k] == '\0' && name[k] == '\0') return &kStages[i];
    }
    return NULL;
}

static int Usage(const char *problem, const char *value) {
    fprintf(stderr, "station: %s '%s'\nusage: station PORT STAGE [REQUIRED_STAGE...]\n", problem, value);
    return EXIT_USAGE;
}

static int StepFailed(const char *step, int port, const char *what_to_try) {
    fprintf(stderr, "station: %s on COM%d failed; %s\n", step, port, what_to_try);
    return EXIT_STEP_FAILED;
}

/* A real BSN is ten decimal digits; erased flash gives "ffffffffff" and reads as all passed. */
static int IsTenDigits(const char *bsn) {
    int i;
    for (i = 0; i < 10; ++i) {
        if (bsn[i] < '0' || bsn[i] > '9') return 0;
    }
    return bsn[10] == '\0';
}

/* With the handle open: check the phone, the route, and record this station's stage. */
static int OnOpenHandle(int port, const struct Stage *stage, const struct Stage **required, int required_count) {
    char bsn[STAGEMARK_BSN_TEXT_SIZE];
    int i;
    if (!GetBsnStr(bsn)) return StepFailed("reading the BSN", port, "the test handle was not open");
    if (!IsTenDigits(bsn)) {
        fprintf(stderr, "station: phone on COM%d: BSN '%s' is not ten digits: record never written or damaged\n", port,
                bsn);
        return EXIT_STEP_FAILED;
    }
    for (i = 0; i < required_count; ++i) {
        if (required[i]->status() != 1) {
            printf("phone %s refused: %s has not passed\n", bsn, required[i]->name);
            return EXIT_REFUSED;
        }
    }
    if (!stage->pass()) return StepFailed("writing the phone's record", port, "check the link and run again");
    printf("phone %s: %s recorded as passed\n", bsn, stage->name);
    return 0;
}

int main(int argc, char **argv) {
    const struct Stage *required[8];
    const struct Stage *stage;
    char *end = NULL;
    long port;
    int i, code;

    if (argc < 3 || argc > 3 + 8) return Usage("expected a port, a stage and up to 8 required stages, got", argv[0]);
    port = strtol(argv[1], &end, 10);
    if (end == argv[1] || *end != '\0' || port < 0 || port > 255) return Usage("not a port from 0 to 255:", argv[1]);
    if ((stage = FindStage(argv[2])) == NULL) return Usage("unknown stage", argv[2]);
    for (i = 3; i < argc; ++i) {
        if ((required[i - 3] = FindStage(argv[i])) == NULL) return Usage("unknown stage", argv[i]);
    }

    if (!InitTat((unsigned char)port)) {
        return StepFailed("opening the link", (int)port, "check the port number and that no other program holds it");
    }
    if (!DetectMobile(0)) {
        code = StepFailed("detecting the phone", (int)port, "check that the phone is connected and powered");
    } else if (OpenTestHandle() == NULL) {
        code = StepFailed("reading the phone's record", (int)port, "check that the phone is on this port");
    } else {
        code = OnOpenHandle((int)port, stage, required, argc - 3);
        CloseTestHandle(); /* on every path: a handle left open would write this phone onto the next */
    }
    if (!ExitTat((unsigned char)port)) {
        return StepFailed("closing the link", (int)port, "reconnect the phone before the next run");
    }
    return code;
}
