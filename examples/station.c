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

/* 0..255 in plain decimal, as the station tool takes it; -1 for any other text. strtol would
 * also take " 12", "+12" and "012", each as COM12, and mark a phone nobody named. */
static int ParsePort(const char *text) {
    int port = 0;
    size_t i;
    if (text[0] == '\0' || (text[0] == '0' && text[1] != '\0')) return -1;
    for (i = 0; text[i] != '\0'; ++i) {
        if (i == 3 || text[i] < '0' || text[i] > '9') return -1;
        port = port * 10 + (text[i] - '0');
    }
    return port <= 255 ? port : -1;
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
    int port, i, code;

    if (argc < 3 || argc > 3 + 8) return Usage("expected a port, a stage and up to 8 required stages, got", argv[0]);
    if ((port = ParsePort(argv[1])) < 0) return Usage("not a port from 0 to 255:", argv[1]);
    if ((stage = FindStage(argv[2])) == NULL) return Usage("unknown stage", argv[2]);
    for (i = 3; i < argc; ++i) {
        if ((required[i - 3] = FindStage(argv[i])) == NULL) return Usage("unknown stage", argv[i]);
    }

    if (!InitTat((unsigned char)port)) {
        return StepFailed("opening the link", port, "check the port number and that no other program holds it");
    }
    if (!DetectMobile(0)) {
        code = StepFailed("detecting the phone", port, "check that the phone is connected and powered");
    } else if (OpenTestHandle() == NULL) {
        code = StepFailed("reading the phone's record", port, "check that the phone is on this port");
    } else {
        code = OnOpenHandle(port, stage, required, argc - 3);
        CloseTestHandle(); /* on every path: a handle left open would write this phone onto the next */
    }
    if (!ExitTat((unsigned char)port)) {
        return StepFailed("closing the link", port, "reconnect the phone before the next run");
    }
    return code;
}
